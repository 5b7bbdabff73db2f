#include "machine/keyboard.h"

#include <gtest/gtest.h>

#include "tests/support/headless.h"

// The machine's keyboard matrix, rows 0..10, bit 7 first; 0 marks a bit
// without a key, which always reads 1.
const int HOST_KEY_MATRIX[11][8] = {
    {HOST_KEY_6, HOST_KEY_5, HOST_KEY_4, HOST_KEY_3, HOST_KEY_2, HOST_KEY_1, HOST_KEY_ESC, 0},
    {HOST_KEY_7, HOST_KEY_8, HOST_KEY_9, HOST_KEY_0, HOST_KEY_MINUS, HOST_KEY_EQUALS, HOST_KEY_BACKSPACE, 0},
    {HOST_KEY_Y, HOST_KEY_T, HOST_KEY_R, HOST_KEY_E, HOST_KEY_W, HOST_KEY_Q, HOST_KEY_TAB, 0},
    {HOST_KEY_U, HOST_KEY_I, HOST_KEY_O, HOST_KEY_P, HOST_KEY_OPENBRACE, HOST_KEY_CLOSEBRACE, HOST_KEY_ENTER, 0},
    {HOST_KEY_H, HOST_KEY_G, HOST_KEY_F, HOST_KEY_D, HOST_KEY_S, HOST_KEY_A, 0, 0},
    {HOST_KEY_J, HOST_KEY_K, HOST_KEY_L, HOST_KEY_COLON, HOST_KEY_QUOTE, HOST_KEY_TILDE, 0, 0},
    {HOST_KEY_B, HOST_KEY_V, HOST_KEY_C, HOST_KEY_X, HOST_KEY_Z, HOST_KEY_BACKSLASH, HOST_KEY_LSHIFT, 0},
    {HOST_KEY_N, HOST_KEY_M, HOST_KEY_COMMA, HOST_KEY_STOP, HOST_KEY_SLASH, HOST_KEY_RSHIFT, 0, 0},
    {HOST_KEY_SPACE, HOST_KEY_ALT, HOST_KEY_LCONTROL, 0, 0, 0, 0, 0},
    {HOST_KEY_ALTGR, HOST_KEY_RCONTROL, 0, 0, 0, 0, 0, 0},
    {HOST_KEY_RIGHT, HOST_KEY_UP, HOST_KEY_DOWN, HOST_KEY_LEFT, 0, 0, 0, 0},
};

// Holding each key alone (then none, then A and S with three keys outside the
// matrix) clears its own bit and nothing else; every read costs one cycle.
TEST(Keyboard, EachKeyClearsItsOwnBitOnly) {
  test_machine_start();
  const uint32_t start = machine_total_cycles();
  for (int held = -1; held <= 88; ++held) {  // -1: none; 0..87: row * 8 + 7 - bit; 88: A and S
    headless_release_keys();
    const int code = held >= 0 && held < 88 ? HOST_KEY_MATRIX[held / 8][held % 8] : 0;
    if (code) headless_key(code, -1);
    else if (held == 88) for (int k : {HOST_KEY_A, HOST_KEY_S, HOST_KEY_F1, HOST_KEY_DEL, HOST_KEY_0_PAD}) headless_key(k, -1);
    else if (held >= 0) continue;
    for (int row = 0; row < 11; ++row) {
      const uint8_t want = code && held / 8 == row ? uint8_t(~(0x80 >> held % 8)) : held == 88 && row == 4 ? 0xF3 : 0xFF;
      EXPECT_EQ(keyboard_read_row(row), want) << "key " << held << " row " << row;
    }
  }
  for (int row : {11, 255, -1, 1 << 30}) EXPECT_EQ(keyboard_read_row(row), 0xFF) << row;
  EXPECT_EQ(machine_total_cycles() - start, (1 + 62 + 1) * 11u + 4) << "a cycle a read, outside the matrix too";
}
