// Inner state of the title effects that tests look at and set directly. The
// game itself never resets the logo or the reveal: they play once per run.
#pragma once
#include <cstdint>

struct TitleState {
  float   logo_angle;    // radians, never reset by the game
  float   logo_spin;     // radians per frame, grows by 0.00011 each frame
  int32_t reveal_frame;  // frames spent in the title reveal
  int32_t scroll_x;      // 16.16 screen x of the window's first character
  int32_t scroll_start;  // index in scroll_text of the window's first character
};

TitleState& title_state();           // the effects' state itself
const char* title_scroll_window();   // the characters the scroller shows now
void        title_reset();           // everything back to program start
