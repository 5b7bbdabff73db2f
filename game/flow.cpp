// The game flow. One pass of the loop is one video frame: the background and
// the current screen's work are drawn into the back buffer, the frame is
// presented (which paces the host), the music is stepped, and only then does
// the state change take effect, with its actions (pictures, music, new game).
#include "game/flow.h"

#include <cstdio>

#include "blitter/bank.h"
#include "blitter/draw.h"
#include "blitter/fixed.h"
#include "blitter/picture.h"
#include "blitter/sprite.h"
#include "game/board.h"
#include "game/score.h"
#include "game/title.h"
#include "machine/keyboard.h"
#include "machine/machine.h"
#include "sound/psg.h"

namespace {

constexpr int32_t SCORE_COLOUR   = 9;
constexpr int32_t MESSAGE_COLOUR = 10;
constexpr int32_t CLEAR_FRAMES   = 3;    // a marked row is seen in three frames
constexpr int32_t BOARD_BRIGHT   = 255;  // board_luma of a new game
constexpr int32_t BOARD_DIMMEST  = 16;   // game over darkens the board down to luma 1
constexpr int32_t DIM_STEP       = 3;

// Raw pictures: headerless, one byte per pixel, the top nibble used.
constexpr int LOGO_WIDTH = 320, LOGO_HEIGHT = 42;
constexpr int TITLE_WIDTH = 195, TITLE_HEIGHT = 26;
constexpr int BEACH_WIDTH = 320, BEACH_HEIGHT = 240;

struct FlowState {
  int32_t game_state;   // STATE_ value
  int32_t play_screen;  // -1: playfield drawn as background; 0: the plain fill
  int32_t fill_luma;    // luma (fill_sprite's variant) of the plain fill
  int32_t board_luma;   // 0..255; board_draw gets board_luma >> 4
  int32_t check_row;    // row at which the line check goes on
  int32_t clear_delay;  // frames left in the line clear
  uint8_t prev_arrows;  // pressed bits of keyboard row 10 in the last play frame
  int32_t key_latch;    // -1 after key_latch_arm, cleared by a frame without keys
};

// At start-up: the logo intro over the plain fill at its brightest grey.
FlowState flow = {.game_state = STATE_LOGO_INTRO, .play_screen = 0, .fill_luma = 15,
                  .board_luma = 0, .check_row = 0, .clear_delay = CLEAR_FRAMES,
                  .prev_arrows = 0, .key_latch = 0};
Sprite*   logo_sprite;   // 320 x 42, freed at the first change of state
Sprite*   title_sprite;  // 195 x 26, loaded at the first change of state
Sprite*   beach_sprite;  // 320 x 240 backdrop of the playfield
Sprite*   fill_sprite;   // 1 x 1 grey stretched over the screen for the plain fill

int space_down() { return !(keyboard_read_row(KEYBOARD_ROW_SPACE) & KEYBOARD_BIT_SPACE); }

void draw_background() {
  if (!flow.play_screen) {
    sprite_draw(fill_sprite, flow.fill_luma, 0, 0, 320 * FIXED_ONE, 240 * FIXED_ONE, 0, 0);
    return;
  }
  sprite_draw(beach_sprite, 10, 0, 0, FIXED_ONE, FIXED_ONE, 0, 0);
  board_draw(flow.board_luma >> 4);
  const ScoreState& s = score_state();
  text_draw(180 * FIXED_ONE, 3 * FIXED_ONE, SCORE_COLOUR, "Score: %d", int(s.score));
  text_draw(180 * FIXED_ONE, 33 * FIXED_ONE, SCORE_COLOUR, "Lines: %d", int(s.lines));
  text_draw(180 * FIXED_ONE, 63 * FIXED_ONE, SCORE_COLOUR, "Level: %d", int(s.level));
}

int32_t play_frame() {
  int32_t next = STATE_PLAY;
  if (!(keyboard_read_row(KEYBOARD_ROW_ESC) & KEYBOARD_BIT_ESC)) {
    // The rest of the frame still runs, and a lock in this frame wins.
    flow.play_screen = 0;
    next = STATE_TITLE_MENU;
  }
  uint8_t pressed = uint8_t(~keyboard_read_row(KEYBOARD_ROW_ARROWS));
  uint8_t fresh = uint8_t(pressed & ~flow.prev_arrows);  // keys that went down since the last play frame
  if (fresh & KEYBOARD_BIT_LEFT) piece_move(-1.0f);
  if (fresh & KEYBOARD_BIT_RIGHT) piece_move(1.0f);
  if (fresh & KEYBOARD_BIT_UP) piece_rotate(1);
  if (pressed & KEYBOARD_BIT_DOWN) score_fast_drop();  // while held, not only when it goes down
  flow.prev_arrows = pressed;
  if (score_play_frame()) {
    flow.check_row = BOARD_ROWS - 1;
    next = STATE_LINE_CHECK;
  }
  return next;
}

// Tests the rows from check_row upwards within one frame. A full row is marked
// and left for the line clear; the check comes back to the same row after the
// collapse, since what lay above it may be full too.
int32_t line_check_frame() {
  while (flow.check_row >= 0 && !board_row_full(flow.check_row)) flow.check_row -= 1;
  if (flow.check_row >= 0) {
    board_row_mark(flow.check_row);
    score_add_pending_line();
    return STATE_LINE_CLEAR;
  }
  return piece_spawn_and_test() ? STATE_GAME_OVER : STATE_PLAY;
}

int32_t line_clear_frame() {
  flow.clear_delay -= 1;
  if (flow.clear_delay != 0) return STATE_LINE_CLEAR;
  board_row_collapse(flow.check_row);
  flow.clear_delay = CLEAR_FRAMES;
  return STATE_LINE_CHECK;
}

int32_t game_over_frame() {
  // Centred by halving the 16.16 width with an arithmetic shift.
  text_draw(160 * FIXED_ONE - (text_width("GAME OVER") >> 1), 107 * FIXED_ONE, MESSAGE_COLOUR,
            "GAME OVER");
  flow.board_luma -= DIM_STEP;
  if (flow.board_luma < BOARD_DIMMEST) flow.board_luma = BOARD_DIMMEST;
  if (any_key_after_release() == 1) {
    flow.play_screen = 0;
    return STATE_TITLE_MENU;
  }
  return STATE_GAME_OVER;
}

int32_t state_work() {
  int32_t next = flow.game_state;
  switch (flow.game_state) {
    case STATE_LOGO_INTRO:
      if (title_logo_frame(logo_sprite)) next = STATE_TITLE_REVEAL;
      if (space_down()) next = STATE_PLAY;  // SPACE wins, without any release first
      break;
    case STATE_TITLE_REVEAL:
      title_reveal_frame(title_sprite, flow.fill_luma);
      if (space_down()) next = STATE_PLAY;
      break;
    case STATE_TITLE_MENU:
      title_menu_frame(title_sprite);
      // A key that was down when the menu appeared must be released first.
      if (any_key_after_release() == 1 && space_down()) next = STATE_PLAY;
      break;
    case STATE_PLAY: next = play_frame(); break;
    case STATE_LINE_CHECK: next = line_check_frame(); break;
    case STATE_LINE_CLEAR: next = line_clear_frame(); break;
    case STATE_GAME_OVER: next = game_over_frame(); break;
    default: break;
  }
  return next;
}

void change_state(int32_t old_state, int32_t new_state) {
  // The logo goes first, so its sprite memory is free before the next pictures.
  if (logo_sprite) {
    sprite_destroy(logo_sprite);
    logo_sprite = nullptr;
  }
  if (!title_sprite) {
    title_sprite = picture_load("Quadrillo.raw", TITLE_WIDTH, TITLE_HEIGHT, 0, -1);
    // Without a title picture this is tried again at every change; the
    // backdrop is loaded only once so that no Sprite is lost.
    if (!beach_sprite)
      beach_sprite = picture_load("beach.raw", BEACH_WIDTH, BEACH_HEIGHT, 0, 0);
  }
  switch (new_state) {
    case STATE_TITLE_MENU:
      psg_open("menu2.psg", -1);
      title_scroll_reset();
      flow.fill_luma = 0;
      key_latch_arm();
      break;
    case STATE_PLAY:
      flow.play_screen = -1;
      if (old_state != STATE_LINE_CHECK) {  // a new game; after a line check the game goes on
        flow.board_luma = BOARD_BRIGHT;
        score_new_game();
        flow.fill_luma = 0;
        psg_open("game.psg", -1);
        board_clear();
        piece_spawn();
      }
      break;
    case STATE_GAME_OVER: key_latch_arm(); break;
    default: break;
  }
}

}  // namespace

void key_latch_arm() { flow.key_latch = -1; }

int any_key_after_release() {
  uint8_t rows = 0xFF;
  for (int row = KEYBOARD_ROWS - 1; row >= 0; --row) rows &= keyboard_read_row(row);
  if (rows == 0xFF) {
    flow.key_latch = 0;
    return 0;
  }
  return flow.key_latch == 0 ? 1 : 0;
}


int game_start() {
  if (!machine_init()) {
    machine_shutdown();
    return 0;
  }
  machine_set_title("Orvalin: Quadrillo");
  logo_sprite = picture_load("logo.raw", LOGO_WIDTH, LOGO_HEIGHT, 15, 0);
  psg_open("menu1.psg", 0);  // the title music plays once; its end brings the menu
  // Pixel value 10 has neutral colour differences in the chroma mode, so the
  // variant alone sets the grey.
  uint8_t grey = 10;
  fill_sprite = sprite_create(COLOUR_MODE_CHROMA, &grey, PIXEL_FORMAT_BYTE, 1, 1, 0);
  board_sprites_create();
  bank_load("tahoma.fnt");
  return -1;
}

int game_frame() {
  draw_background();
  int32_t next = state_work();
  machine_present();
  if (!psg_step()) next = STATE_TITLE_MENU;  // no music open, or the piece ended
  if (next != flow.game_state) {
    change_state(flow.game_state, next);
    flow.game_state = next;
  }
  return machine_quit_requested() ? 0 : -1;
}


void game_stop() {
  psg_stop();
  bank_free();
  sprite_destroy(fill_sprite);
  fill_sprite = nullptr;
  board_sprites_destroy();
  // The logo still exists when the window is closed during the intro.
  sprite_destroy(logo_sprite);
  sprite_destroy(title_sprite);
  sprite_destroy(beach_sprite);
  logo_sprite = title_sprite = beach_sprite = nullptr;
  machine_shutdown();
}

int game_main() {
  if (!game_start()) {
    // One line: the host's own reason follows when it gave one.
    const char* reason = machine_host_error();
    std::fprintf(stderr, "quadrillo: no display could be opened%s%s\n", *reason ? ": " : "", reason);
    return 1;
  }
  if (!machine_quit_requested()) {
    while (game_frame()) {
    }
  }
  game_stop();
  return 0;
}

int32_t game_current_state() { return flow.game_state; }
