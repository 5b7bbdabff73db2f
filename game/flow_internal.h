// Inner state of the game flow that tests look at and set directly, and the
// start-up and shut-down steps without the machine's own, so that a test can
// run the real game on a machine it started itself.
#pragma once
#include <cstdint>

struct Sprite;

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

FlowState& flow_state();

// The game's start-up after machine_init, and its shut-down before
// machine_shutdown.
void game_load();
void game_unload();

// Every value of the flow, the title effects, the score and the board back to
// program start (tests only; the game never does this).
void game_reset();

// Reads a raw picture (one byte per pixel, top nibble used, inverted when
// `inverted`) into a COLOUR_MODE_LUMA Sprite. Null when the file is missing,
// shorter than width x height, or refused by the sprite memory.
Sprite* game_load_picture(const char* name, int width, int height, int32_t key, int inverted);

const Sprite* game_logo_sprite();
const Sprite* game_title_sprite();
const Sprite* game_beach_sprite();
