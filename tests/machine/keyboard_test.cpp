#include "machine/keyboard.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/headless.h"
#include "tools/replay/keyscript.h"

// The machine's keyboard matrix by the keys' script names, rows 0..10, bit 7
// first; "-" marks a bit without a key, which always reads 1.
const char* const MATRIX =
    "6 5 4 3 2 1 ESC - 7 8 9 0 MINUS EQUALS BACKSPACE - Y T R E W Q TAB - "
    "U I O P OPENBRACE CLOSEBRACE ENTER - H G F D S A - - J K L COLON QUOTE TILDE - - "
    "B V C X Z BACKSLASH LSHIFT - N M COMMA STOP SLASH RSHIFT - - SPACE ALT LCONTROL - - - - - "
    "ALTGR RCONTROL - - - - - - RIGHT UP DOWN LEFT - - - -";

// Holding each key alone (then none, then A and S with three keys outside the
// matrix) clears its own bit and nothing else; every read costs one cycle.
TEST(Keyboard, EachKeyClearsItsOwnBitOnly) {
  test_machine_start();
  const uint32_t start = machine_total_cycles();
  std::istringstream names(std::string(MATRIX) + " A+S");
  int held = 0, reads = 0;
  for (std::string name; names >> name; ++held) {
    if (name == "-") continue;
    headless_release_keys();
    for (const char* k : {"A", "S", "F1", "DEL", "0_PAD"})
      if (name == "A+S") headless_key(keyscript_code(k), -1);
    if (name != "A+S") headless_key(keyscript_code(name), -1);
    for (int row = 0; row < 11; ++row, ++reads) {
      const uint8_t want = held / 8 == row ? uint8_t(~(0x80 >> held % 8)) : held == 88 && row == 4 ? 0xF3 : 0xFF;
      EXPECT_EQ(keyboard_read_row(row), want) << name << " row " << row;
    }
  }
  for (int row : {11, 255, -1, 1 << 30}) EXPECT_EQ(keyboard_read_row(row), 0xFF) << row;
  EXPECT_EQ(machine_total_cycles() - start, uint32_t(reads + 4));
  EXPECT_EQ(reads, (62 + 1) * 11);
}
