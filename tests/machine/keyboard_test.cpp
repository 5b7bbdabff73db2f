#include "machine/keyboard.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include "machine/machine.h"
#include "tests/support/headless.h"

// The machine's keyboard matrix, rows 0..10, bit 7 first; 0 marks a bit
// without a key, which always reads 1.
const int KEY_MATRIX[11][8] = {
    {KEY_6, KEY_5, KEY_4, KEY_3, KEY_2, KEY_1, KEY_ESC, 0},
    {KEY_7, KEY_8, KEY_9, KEY_0, KEY_MINUS, KEY_EQUALS, KEY_BACKSPACE, 0},
    {KEY_Y, KEY_T, KEY_R, KEY_E, KEY_W, KEY_Q, KEY_TAB, 0},
    {KEY_U, KEY_I, KEY_O, KEY_P, KEY_OPENBRACE, KEY_CLOSEBRACE, KEY_ENTER, 0},
    {KEY_H, KEY_G, KEY_F, KEY_D, KEY_S, KEY_A, 0, 0},
    {KEY_J, KEY_K, KEY_L, KEY_COLON, KEY_QUOTE, KEY_TILDE, 0, 0},
    {KEY_B, KEY_V, KEY_C, KEY_X, KEY_Z, KEY_BACKSLASH, KEY_LSHIFT, 0},
    {KEY_N, KEY_M, KEY_COMMA, KEY_STOP, KEY_SLASH, KEY_RSHIFT, 0, 0},
    {KEY_SPACE, KEY_ALT, KEY_LCONTROL, 0, 0, 0, 0, 0},
    {KEY_ALTGR, KEY_RCONTROL, 0, 0, 0, 0, 0, 0},
    {KEY_RIGHT, KEY_UP, KEY_DOWN, KEY_LEFT, 0, 0, 0, 0},
};

// Holding each key alone (then none, then A and S with three keys outside the
// matrix) clears its own bit and nothing else; every read costs one cycle.
TEST(Keyboard, EachKeyClearsItsOwnBitOnly) {
  test_machine_start();
  for (int held = -1; held <= 88; ++held) {  // -1: none; 0..87: row * 8 + 7 - bit; 88: A and S
    test_release_all_keys();
    const int code = held >= 0 && held < 88 ? KEY_MATRIX[held / 8][held % 8] : 0;
    if (code) key[code] = 1;
    else if (held == 88) for (int k : {KEY_A, KEY_S, KEY_F1, KEY_DEL, KEY_0_PAD}) key[k] = 1;
    else if (held >= 0) continue;
    for (int row = 0; row < 11; ++row) {
      const uint8_t want = code && held / 8 == row ? uint8_t(~(0x80 >> held % 8)) : held == 88 && row == 4 ? 0xF3 : 0xFF;
      EXPECT_EQ(keyboard_read_row(row), want) << "key " << held << " row " << row;
    }
  }
  for (int row : {11, 255, -1, 1 << 30}) EXPECT_EQ(keyboard_read_row(row), 0xFF) << row;
  EXPECT_EQ(machine_total_cycles(), (1 + 62 + 1) * 11u + 4) << "a cycle a read, outside the matrix too";
}
