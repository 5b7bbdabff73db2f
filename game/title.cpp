// Title screen effects. The logo's angle is a 32-bit float, as the machine
// keeps it, so the intro ends in the same frame on every host; the reveal and
// the scroller are plain integer and 16.16 arithmetic.
#include "game/title.h"

#include <cmath>

#include "blitter/bank.h"
#include "blitter/draw.h"
#include "blitter/fixed.h"

namespace {

constexpr int32_t TITLE_X     = 0x3E8000;  // 62.5: the 195-pixel title centred on 320
constexpr int32_t TITLE_Y     = 0xA0000;   // 10.0
constexpr int32_t SCROLL_Y    = 214 * FIXED_ONE;
constexpr int32_t SCROLL_STEP = 5 * FIXED_ONE;    // 250 pixels per second
constexpr int32_t SCREEN_END  = 320 * FIXED_ONE;
constexpr int     FADE_FRAMES = 15;               // the plain fill fades from 15 to 0
constexpr int     UNWIND_END  = 160;              // reveal frame at which the title stands still
constexpr int32_t MENU_COLOUR = 10;

struct HelpLine {
  int32_t     y;  // pixels
  const char* text;
};
constexpr HelpLine HELP_LINES[] = {
    {60, "LEFT/RIGHT: move block"},
    {86, "DOWN: fast drop"},
    {112, "UP: rotate (anti-clockwise)"},
    {138, "ESC: return to title screen"},
    {190, "SPACE: start game"},
};

// The effects' own state.
struct TitleState {
  float   logo_angle;    // radians, never reset: the intro plays once per run
  float   logo_spin;     // radians per frame, grows by 0.00011 each frame
  int32_t reveal_frame;  // frames spent in the title reveal, never reset
  int32_t scroll_x;      // 16.16 screen x of the scroller window's first character
  int32_t scroll_start;  // index in scroll_text of the window's first character
};

TitleState state;
char       scroll_window[SCROLL_WINDOW_SIZE];

// To 16.16 with halves rounded away from zero.
int32_t to_fixed(double value) {
  return value >= 0 ? int32_t(value * 65536.0 + 0.5) : int32_t(value * 65536.0 - 0.5);
}

}  // namespace

const char scroll_text[SCROLL_TEXT_LENGTH + 1] =
    "                       "
    "\t\tWelcome to Orvalin: Quadrillo, the falling-blocks game of the Orvalin machine. Pull up a chair, warm up your fingers and watch the well."
    "                       "
    "Seven pieces of four blocks drop into a well ten cells wide and eighteen deep. Turn them and slide them so that rows fill from wall to wall: a full row turns grey and vanishes, and all above it sinks by one row."
    "                       "
    "\t\tScoring: one row gives 40 points, two rows 100, three rows 300 and four rows 1200, times your level plus one. Every ten rows raise the level and the blocks fall faster, up to level 19."
    "                       "
    "Hold DOWN to hurry a piece along, tap UP to turn it, and press ESC to come back to this screen when you need a rest."
    "                       "
    "\t\tCredits: the game, the blitter, the sound chip and the music player were written for the Orvalin machine, a fantasy computer with a 320 by 240 screen, a palette built from luma and colour difference, a blitter that scales, tilts and stretches, an 11-row keyboard and an AY-3-8910 sound chip that sings through its ports."
    "                       "
    "The pictures, the font and the three tunes are plain files that sit next to the program, so anyone may paint or compose their own."
    "                       "
    "\t\tGreetings go out to everyone who still counts machine cycles and loves a big, square pixel."
    "                       "
    "Thanks for playing, friend."
    "                       "
    "\t\tWhen the stack reaches the top the game is over: press any key and you are back here for one more try."
    "                                              "
    "Press SPACE to start a game. Good luck, and may the long bar come when you need it!"
    "                                              ";

int title_logo_frame(const Sprite* logo) {
  double sa = std::sin(double(state.logo_angle));
  double ca = std::cos(double(state.logo_angle));
  int32_t s = to_fixed(sa), c = to_fixed(ca);
  int32_t s21 = to_fixed(21.0 * sa), c160 = to_fixed(160.0 * ca);
  // Centred on (160, 120): 320 cos wide (mirrored once cos is negative) and
  // 42 sin high; at angle 0 the height is 0 and nothing is drawn.
  sprite_draw_keyed(logo, 10, 160 * FIXED_ONE - c160, 120 * FIXED_ONE - s21, c, s, 0, 0);
  state.logo_angle = state.logo_angle + state.logo_spin;
  state.logo_spin = state.logo_spin + 0.00011f;
  return state.logo_angle > 3.1415927f ? -1 : 0;
}

void title_reveal_frame(const Sprite* title, int32_t& fill_luma) {
  if (state.reveal_frame < FADE_FRAMES) {
    fill_luma -= 1;
    state.reveal_frame += 1;
    return;
  }
  int32_t v = state.reveal_frame < UNWIND_END ? (UNWIND_END - state.reveal_frame) * 100 : 0;
  // Raw 16.16: height 1 + 4v, each row 63v further left and v wider than the
  // row above; v shrinks linearly from 14500 to 0.
  sprite_draw_keyed(title, 10, TITLE_X, TITLE_Y, FIXED_ONE, FIXED_ONE + 4 * v, -63 * v, v);
  // Past the unwinding the count only matters as "done"; stop it well before
  // it could overflow in a run of many months.
  if (state.reveal_frame < 0x40000000) state.reveal_frame += 1;
}

void title_menu_frame(const Sprite* title) {
  sprite_draw_keyed(title, 10, TITLE_X, TITLE_Y, FIXED_ONE, FIXED_ONE, 0, 0);
  for (const HelpLine& line : HELP_LINES)
    text_draw(30 * FIXED_ONE, line.y * FIXED_ONE, MENU_COLOUR, "%s", line.text);

  state.scroll_x -= SCROLL_STEP;
  if (scroll_text[state.scroll_start] == 0) state.scroll_start = 0;  // x goes on from here

  // The window holds the characters from the first one still (partly) on the
  // screen up to the first one that reaches past the right edge. A character
  // wholly left of the screen leaves the window and moves x on by its width.
  int n = 0;
  for (;;) {
    scroll_window[n] = scroll_text[state.scroll_start + n];
    n += 1;
    scroll_window[n] = 0;
    int32_t width = text_width("%s", scroll_window);
    if (state.scroll_x + width < 0) {
      state.scroll_x += width;
      state.scroll_start += 1;
      n = 0;
    }
    if (state.scroll_x + text_width("%s", scroll_window) > SCREEN_END) break;
    if (scroll_text[state.scroll_start + n] == 0) break;
  }
  // Colour -1: every character gets a random palette variant in every frame.
  text_draw(state.scroll_x, SCROLL_Y, -1, "%s", scroll_window);
}

void title_scroll_reset() {
  state.scroll_x = 0;
  state.scroll_start = 0;
}

