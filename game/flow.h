// The game's main function: start-up (machine, pictures, font, music), one
// pass of the frame loop per video frame through a state machine of seven
// screens, and the orderly shut-down. Start-up, one frame and shut-down are
// separate calls so that tools and tests can drive the real game frame by frame.
#pragma once
#include <cstdint>

struct Sprite;

// Screens of the state machine (the values the game stores).
inline constexpr int32_t STATE_TITLE_REVEAL = 0;  // fill fading to black, title unwinding
inline constexpr int32_t STATE_TITLE_MENU   = 1;  // title, help lines, scroller
inline constexpr int32_t STATE_LOGO_INTRO   = 2;  // tumbling logo; the state at start-up
inline constexpr int32_t STATE_PLAY         = 3;  // the falling piece under control
inline constexpr int32_t STATE_LINE_CHECK   = 4;  // scans for full rows after a lock
inline constexpr int32_t STATE_LINE_CLEAR   = 5;  // one full row shown marked
inline constexpr int32_t STATE_GAME_OVER    = 6;  // "GAME OVER" over the darkening board

// The whole program: start-up, frames until the close button, shut-down.
// Returns 0; 1 (with one line on standard error) when no display could be
// opened.
int game_main();

// machine_init, then the game's own start-up: window title, font bank cleared,
// "logo.raw", "menu1.psg" (once), the fill and block Sprites, "tahoma.fnt".
// Data files are read from the working directory. -1 on success; 0 when the
// machine could not set a graphics mode (the machine is then shut down again
// and nothing was drawn).
int game_start();

// One pass of the loop: draws the frame, presents it, steps the music and
// changes state. 0 once the close button was pressed (the loop should stop),
// -1 otherwise.
int game_frame();

// Stops the music, frees the font and the game's Sprites, shuts the machine down.
void game_stop();

int32_t game_current_state();  // one of the STATE_ values

// key_latch = -1: a key counts only after all keys were up once.
void key_latch_arm();

// ANDs keyboard rows 10 down to 0. No key down: clears the latch, returns 0.
// Otherwise 1 when the latch is clear, else 0.
int any_key_after_release();
