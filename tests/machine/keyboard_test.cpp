#include <allegro.h>
#include <gtest/gtest.h>

#include "machine/keyboard.h"
#include "machine/machine.h"
#include "tests/support/headless.h"

TEST(Keyboard, NoKeyHeldReadsAllOnes) {
  test_machine_start();
  for (int row = 0; row < KEYBOARD_ROWS; ++row) EXPECT_EQ(keyboard_read_row(row), 0xFF) << row;
}

TEST(Keyboard, HeldKeysClearTheirBits) {
  test_machine_start();
  key[KEY_SPACE] = 1;
  EXPECT_EQ(keyboard_read_row(8), 0x7F);
  key[KEY_SPACE] = 0;
  key[KEY_ESC] = 1;
  EXPECT_EQ(keyboard_read_row(0), 0xFD);
  key[KEY_ESC] = 0;
  key[KEY_LEFT] = 1;
  EXPECT_EQ(keyboard_read_row(10), 0xEF);
  EXPECT_EQ(keyboard_read_row(9), 0xFF) << "a held key shows in its own row only";
  key[KEY_LEFT] = 0;
  key[KEY_A] = 1;
  key[KEY_S] = 1;
  EXPECT_EQ(keyboard_read_row(4), 0xF3);
  test_release_all_keys();
  key[KEY_ALT] = 1;
  EXPECT_EQ(keyboard_read_row(8), 0xBF);
  key[KEY_ENTER] = 1;
  EXPECT_EQ(keyboard_read_row(3), 0xFD);
  test_release_all_keys();
}

TEST(Keyboard, EveryMatrixKeyClearsExactlyItsBit) {
  test_machine_start();
  int keys_seen = 0;
  for (int row = 0; row < KEYBOARD_ROWS; ++row) {
    for (int bit = 0; bit < 8; ++bit) {
      int code = keyboard_key_at(row, bit);
      if (code == 0) continue;
      ++keys_seen;
      key[code] = 1;
      for (int r = 0; r < KEYBOARD_ROWS; ++r) {
        uint8_t want = r == row ? uint8_t(~(1u << bit)) : 0xFF;
        EXPECT_EQ(keyboard_read_row(r), want) << "key " << code << " read in row " << r;
      }
      key[code] = 0;
    }
  }
  EXPECT_EQ(keys_seen, 62) << "the matrix holds 62 keys";
  EXPECT_EQ(keyboard_key_at(0, 0), 0) << "bit 0 of every row has no key";
}

TEST(Keyboard, KeysOutsideTheMatrixAreInvisible) {
  test_machine_start();
  key[KEY_F1] = 1;
  key[KEY_DEL] = 1;
  key[KEY_0_PAD] = 1;
  for (int row = 0; row < KEYBOARD_ROWS; ++row) EXPECT_EQ(keyboard_read_row(row), 0xFF);
  test_release_all_keys();
}

TEST(Keyboard, EveryReadChargesOneCycleRowsOutsideTheMatrixToo) {
  test_machine_start();
  key[KEY_SPACE] = 1;
  uint32_t before = machine_total_cycles();
  EXPECT_EQ(keyboard_read_row(11), 0xFF);
  EXPECT_EQ(keyboard_read_row(255), 0xFF);
  EXPECT_EQ(keyboard_read_row(-1), 0xFF) << "negative rows are outside too";
  EXPECT_EQ(keyboard_read_row(8), 0x7F);
  EXPECT_EQ(machine_total_cycles() - before, 4u);
  test_release_all_keys();
}
