// The title menu's scroller where the golden replays do not go: characters
// without width, and the message starting again after its last character.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "blitter/bank.h"
#include "game/title.h"
#include "tests/support/headless.h"

TEST(Scroller, DropsZeroWidthCharactersAtOnceAndWrapsWhereItStands) {
  test_machine_start();
  // Every character from ' ' to 'z' an 8 x 8 block; the tab has no glyph and
  // width 0.
  const std::string path = testing::TempDir() + "title_test_" + std::to_string(getpid()) + ".fnt";
  std::string font;
  for (char c = ' '; c <= 'z'; ++c) font += std::string{c, 8, 8} + std::string(32, 0x11);
  std::ofstream(path, std::ios::binary) << font;
  ASSERT_EQ(bank_load(path.c_str()), -1);
  std::remove(path.c_str());

  title_scroll_reset();
  int wraps = 0;
  for (int frame = 1; frame <= 3000; ++frame) {
    const TitleState before = title_state();
    title_menu_frame(nullptr);
    const TitleState& now = title_state();
    ASSERT_NE(scroll_text[now.scroll_start], '\t') << "frame " << frame << ": x is negative";
    if (now.scroll_start < before.scroll_start) {
      // Past the terminator the message begins again at the current x; the
      // blanks that lead it may leave at once, moving x on by 8 each.
      ++wraps;
      EXPECT_EQ(before.scroll_start, SCROLL_TEXT_LENGTH);
      EXPECT_EQ(now.scroll_x, before.scroll_x - 5 * 65536 + now.scroll_start * 8 * 65536);
    } else {
      int32_t passed = 0;  // pixels of the characters that left the window
      for (int i = before.scroll_start; i < now.scroll_start; ++i) passed += scroll_text[i] == '\t' ? 0 : 8;
      EXPECT_GE(now.scroll_x, -8 * 65536) << "frame " << frame;
      EXPECT_EQ(now.scroll_x, before.scroll_x + (passed - 5) * 65536) << "frame " << frame;
    }
  }
  EXPECT_EQ(wraps, 1) << "1699 characters of 8 pixels pass in 2719 frames";
  bank_free();
}
