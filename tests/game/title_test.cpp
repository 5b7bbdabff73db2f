#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include <allegro.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "blitter/bank.h"
#include "blitter/sprite.h"
#include "game/title.h"
#include "game/title_internal.h"
#include "machine/machine.h"
#include "tests/support/headless.h"

namespace {

constexpr int32_t ONE = 0x10000;

// A font in which every printable character from ' ' to 'z' is an 8 x 8
// block of luma 1 and the tab has no glyph (width 0).
void load_block_font() {
  std::string path = testing::TempDir() + "title_test_font_" + std::to_string(getpid()) + ".fnt";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (int c = ' '; c <= 'z'; ++c) {
    uint8_t head[3] = {uint8_t(c), 8, 8};
    std::fwrite(head, 1, 3, f);
    uint8_t pixels[32];
    std::memset(pixels, 0x11, sizeof pixels);
    std::fwrite(pixels, 1, sizeof pixels, f);
  }
  std::fclose(f);
  ASSERT_EQ(bank_load(path.c_str()), -1);
}

struct Box {
  int left = 1000, right = -1, top = 1000, bottom = -1;
};

Box bounding_box(BITMAP* b, uint8_t background) {
  Box box;
  for (int y = 0; y < b->h; ++y)
    for (int x = 0; x < b->w; ++x)
      if (b->line[y][x] != background) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
      }
  return box;
}

// Leftmost drawn column of row `y`, or -1.
int row_left(BITMAP* b, int y, uint8_t background) {
  for (int x = 0; x < b->w; ++x)
    if (b->line[y][x] != background) return x;
  return -1;
}

}  // namespace

TEST(ScrollText, HasTheMessageLayout) {
  ASSERT_EQ(std::strlen(scroll_text), size_t(SCROLL_TEXT_LENGTH));
  for (int i = 0; i < SCROLL_TEXT_LENGTH; ++i) {
    unsigned char c = scroll_text[i];
    ASSERT_TRUE(c >= 9 && c <= 122) << "character " << i << " is " << int(c);
    ASSERT_NE(c, '%') << "the text is a format: no conversions";
  }
  // Split into runs of blanks (23 or more) and paragraphs.
  std::string text(scroll_text);
  std::vector<int> blank_runs;
  std::vector<std::string> paragraphs;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = i;
    while (j < text.size() && text[j] == ' ') ++j;
    size_t run = j - i;
    size_t k = j;
    // A paragraph ends where a run of at least 23 blanks begins.
    while (k < text.size() && text.compare(k, 23, std::string(23, ' ')) != 0) ++k;
    blank_runs.push_back(int(run));
    if (k > j) paragraphs.push_back(text.substr(j, k - j));
    i = k;
  }
  ASSERT_EQ(paragraphs.size(), 10u);
  ASSERT_EQ(blank_runs.size(), 11u) << "one run before each paragraph and one after the last";
  EXPECT_EQ(blank_runs.front(), 23);
  for (int r = 1; r < 9; ++r) EXPECT_EQ(blank_runs[r], 23) << "between paragraphs " << r;
  EXPECT_EQ(blank_runs[9], 46) << "before the last paragraph";
  EXPECT_EQ(blank_runs[10], 46) << "after the last paragraph";
  int tabbed = 0;
  size_t shortest = 10000, longest = 0;
  for (const std::string& p : paragraphs) {
    shortest = std::min(shortest, p.size());
    longest = std::max(longest, p.size());
    EXPECT_NE(p.back(), ' ');
    tabbed += p.compare(0, 2, "\t\t") == 0;
    EXPECT_NE(p[p.compare(0, 2, "\t\t") == 0 ? 2 : 0], '\t') << "exactly two tabs";
  }
  EXPECT_EQ(shortest, 27u);
  EXPECT_EQ(longest, 322u);
  EXPECT_EQ(tabbed, 5);
}

TEST(LogoIntro, EndsInItsTwoHundredFortiethFrame) {
  title_reset();
  test_machine_start();
  int frame = 0;
  while (!title_logo_frame(nullptr)) {
    ++frame;
    ASSERT_LT(frame, 1000);
  }
  EXPECT_EQ(frame + 1, 240);
  EXPECT_GT(title_state().logo_angle, 3.1415927f);
  float spin = 0.0f;
  for (int i = 0; i < 240; ++i) spin += 0.00011f;
  EXPECT_EQ(title_state().logo_spin, spin) << "32-bit float accumulation";
}

TEST(LogoIntro, DrawsTheLogoTurnedAboutTheCentre) {
  test_machine_start();
  std::vector<uint8_t> pixels(320 * 42, 1);
  for (int y = 0; y < 42; ++y)
    for (int x = 0; x < 160; ++x) pixels[y * 320 + x] = 2;  // left half luma 2
  Sprite* logo = sprite_create(0, pixels.data(), 1, 320, 42, 15);
  ASSERT_NE(logo, nullptr);
  BITMAP* back = machine_back_buffer();

  title_reset();
  clear_to_color(back, 0);
  title_logo_frame(logo);
  EXPECT_EQ(test_count_pixels(back, 0), 320 * 240) << "angle 0: no height";

  title_state().logo_angle = 1.0f;
  clear_to_color(back, 0);
  title_logo_frame(logo);
  // cos 1 = 0.5403: 172.9 wide; sin 1 = 0.8415: 35.3 high; centred on (160, 120).
  Box box = bounding_box(back, 0);
  EXPECT_NEAR(box.left, 74, 1);
  EXPECT_NEAR(box.right, 245, 1);
  EXPECT_NEAR(box.top, 102, 1);
  EXPECT_NEAR(box.bottom, 137, 1);
  uint8_t left_colour = back->line[120][90];

  title_state().logo_angle = 2.0f;  // cos < 0: mirrored
  clear_to_color(back, 0);
  title_logo_frame(logo);
  EXPECT_NE(back->line[120][120], left_colour) << "the left half is now on the right";
  EXPECT_EQ(back->line[120][200], left_colour);
  sprite_destroy(logo);
}

TEST(TitleReveal, FadesForFifteenFramesThenUnwinds) {
  test_machine_start();
  std::vector<uint8_t> pixels(195 * 26, 5);
  Sprite* title = sprite_create(0, pixels.data(), 1, 195, 26, 0);
  ASSERT_NE(title, nullptr);
  BITMAP* back = machine_back_buffer();
  title_reset();
  int32_t fill = 15;
  clear_to_color(back, 0);
  for (int i = 0; i < 15; ++i) title_reveal_frame(title, fill);
  EXPECT_EQ(fill, 0);
  EXPECT_EQ(test_count_pixels(back, 0), 320 * 240) << "nothing drawn while fading";

  title_reveal_frame(title, fill);  // reveal frame 15: v = 14500
  EXPECT_EQ(fill, 0);
  EXPECT_EQ(title_state().reveal_frame, 16);
  Box box = bounding_box(back, 0);
  EXPECT_EQ(box.top, 10);
  EXPECT_NEAR(box.bottom, 58, 1) << "26 rows at 1.885 times: 49 rows";
  int first = row_left(back, 10, 0), second = row_left(back, 11, 0),
      third = row_left(back, 12, 0);
  EXPECT_LE(first, 62) << "the tilt has already moved the first drawn row left";
  EXPECT_GE(first, 48);
  EXPECT_NEAR(first - second, 14, 1) << "each row starts 13.94 pixels further left";
  EXPECT_NEAR(second - third, 14, 1);

  for (int i = 16; i < 160; ++i) title_reveal_frame(title, fill);
  clear_to_color(back, 0);
  title_reveal_frame(title, fill);
  box = bounding_box(back, 0);
  EXPECT_EQ(box.top, 10);
  EXPECT_EQ(box.bottom, 35) << "no distortion left from frame 160";
  EXPECT_NEAR(box.left, 62, 1);
  EXPECT_EQ(box.right - box.left, 194);
  sprite_destroy(title);
}

TEST(TitleMenu, ScrollerWindowCoversTheScreen) {
  test_machine_start();
  load_block_font();
  title_reset();
  title_scroll_reset();
  BITMAP* back = machine_back_buffer();
  clear_to_color(back, 0);
  title_menu_frame(nullptr);
  EXPECT_EQ(title_state().scroll_x, -5 * ONE);
  EXPECT_EQ(title_state().scroll_start, 0);
  // x = -5: 41 glyphs of 8 pixels reach past 320 (-5 + 328 > 320); the two
  // tabs of the first paragraph have no width, so the window holds 43.
  EXPECT_EQ(std::string(title_scroll_window()), std::string(scroll_text, 43));
  // Help lines in colour 10: "LEFT/RIGHT: move block" is 22 blocks at y 60.
  uint8_t help = colour_encode(COLOUR_MODE_LUMA, 1, 10);
  int help_pixels = 0, gap_pixels = 0;
  for (int x = 0; x < 320; ++x) {
    for (int y = 60; y < 68; ++y) help_pixels += back->line[y][x] == help;
    for (int y = 68; y < 86; ++y) gap_pixels += back->line[y][x] != 0;
  }
  EXPECT_EQ(help_pixels, 22 * 64);
  EXPECT_EQ(gap_pixels, 0);
  int scroller = 0;
  for (int y = 214; y < 222; ++y)
    for (int x = 0; x < 320; ++x) scroller += back->line[y][x] != 0;
  EXPECT_EQ(scroller, 320 * 8) << "the window covers x -5 .. 323";

  title_menu_frame(nullptr);  // x -10: the first blank ends at -2 and leaves
  EXPECT_EQ(title_state().scroll_start, 1);
  EXPECT_EQ(title_state().scroll_x, -2 * ONE) << "x moves on by the width that left";
  bank_free();
}

TEST(TitleMenu, ScrollerWrapsAtTheEndOfTheMessage) {
  test_machine_start();
  load_block_font();
  title_reset();
  title_state().scroll_start = SCROLL_TEXT_LENGTH - 1;
  title_state().scroll_x = -4 * ONE;
  title_menu_frame(nullptr);  // x -9: the last character leaves
  EXPECT_EQ(title_state().scroll_start, SCROLL_TEXT_LENGTH);
  EXPECT_EQ(title_state().scroll_x, -1 * ONE);
  title_menu_frame(nullptr);  // the message begins again at the current x
  EXPECT_EQ(title_state().scroll_start, 0);
  EXPECT_EQ(title_state().scroll_x, -6 * ONE);
  EXPECT_EQ(std::string(title_scroll_window()), std::string(scroll_text, 43));
  bank_free();
}

TEST(TitleMenu, ZeroWidthCharactersLeaveTheWindowAtOnce) {
  test_machine_start();
  load_block_font();
  title_reset();
  const char* tabs = std::strstr(scroll_text, "\t\t");
  ASSERT_NE(tabs, nullptr);
  title_state().scroll_start = int32_t(tabs - scroll_text);
  title_state().scroll_x = 3 * ONE;
  title_menu_frame(nullptr);  // x -2: both tabs (width 0) are dropped
  EXPECT_EQ(title_state().scroll_start, int32_t(tabs - scroll_text) + 2);
  EXPECT_EQ(title_scroll_window()[0], tabs[2]);
  bank_free();
}

TEST(TitleMenu, WindowHoldsAtMostTheRestOfTheMessage) {
  test_machine_start();
  // Every slot redefined as an empty glyph of width 0 (widths outlive loads).
  std::string path = testing::TempDir() + "title_test_empty_" + std::to_string(getpid()) + ".fnt";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (int c = 0; c < 256; ++c) {
    uint8_t record[3] = {uint8_t(c), 0, 0};
    std::fwrite(record, 1, 3, f);
  }
  std::fclose(f);
  ASSERT_EQ(bank_load(path.c_str()), -1);
  title_reset();
  title_state().scroll_x = 100 * ONE;  // zero widths never reach the right edge
  title_menu_frame(nullptr);
  EXPECT_EQ(std::strlen(title_scroll_window()), size_t(SCROLL_TEXT_LENGTH));
  bank_free();
}
