#include "machine/keyboard.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include "machine/machine.h"
#include "tests/support/headless.h"

namespace {

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

// All eleven rows as read now, each charging one cycle.
void expect_rows(const uint8_t (&want)[11], const char* what) {
  uint32_t before = machine_total_cycles();
  for (int row = 0; row < 11; ++row) EXPECT_EQ(keyboard_read_row(row), want[row]) << what << " row " << row;
  EXPECT_EQ(machine_total_cycles() - before, 11u) << what;
}

}  // namespace

TEST(Keyboard, EachKeyClearsItsOwnBitOnly) {
  test_machine_start();
  uint8_t want[11] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  expect_rows(want, "no key");
  for (int row = 0; row < 11; ++row) {
    for (int bit = 7; bit >= 0; --bit) {
      if (!KEY_MATRIX[row][7 - bit]) continue;
      key[KEY_MATRIX[row][7 - bit]] = 1;
      want[row] = uint8_t(~(1u << bit));
      expect_rows(want, "one key");
      key[KEY_MATRIX[row][7 - bit]] = 0;
      want[row] = 0xFF;
    }
  }
  // F1, Del and the keypad's 0 lie outside the matrix: invisible.
  for (int held : {KEY_A, KEY_S, KEY_F1, KEY_DEL, KEY_0_PAD}) key[held] = 1;
  want[4] = 0xF3;
  expect_rows(want, "A and S");
  test_release_all_keys();
}

TEST(Keyboard, RowsOutsideTheMatrixReadAllOnesForOneCycle) {
  test_machine_start();
  for (int held : {KEY_SPACE, KEY_6, KEY_RIGHT}) key[held] = 1;
  for (int row : {11, 255, -1, 1 << 30}) EXPECT_EQ(keyboard_read_row(row), 0xFF) << row;
  EXPECT_EQ(machine_total_cycles(), 4u);
  test_release_all_keys();
}
