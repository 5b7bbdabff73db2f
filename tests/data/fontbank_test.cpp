// The font bank builder: record packing, memory charge, and the glyphs it
// renders from DejaVu Sans (the font the game's bank is made from).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tools/fontbank/fontbank.h"

namespace {

const std::string FONT_PATH = std::string(QUADRILLO_FONT_DIR) + "/DejaVuSans.ttf";
const char* FONT = FONT_PATH.c_str();

std::vector<BankGlyph> build(int size, int shadow) {
  std::vector<BankGlyph> glyphs;
  std::string error;
  EXPECT_EQ(fontbank_build(FONT, FontBankOptions{size, 4, shadow}, glyphs, error), -1) << error;
  return glyphs;
}

const BankGlyph& glyph(const std::vector<BankGlyph>& glyphs, int slot) {
  static const BankGlyph none{};
  auto it = std::find_if(glyphs.begin(), glyphs.end(), [&](const BankGlyph& g) { return g.slot == slot; });
  return it == glyphs.end() ? none : *it;
}

int count_value(const BankGlyph& g, int low, int high) {
  return int(std::count_if(g.pixels.begin(), g.pixels.end(), [&](uint8_t p) { return p >= low && p <= high; }));
}

}  // namespace

TEST(FontBankPack, RecordsAreSlotSizeAndPackedRows) {
  // 3 x 2 glyph in slot 65: rows 1 2 3 and 4 5 6, odd width padded with 0.
  std::vector<BankGlyph> glyphs = {{65, 3, 2, {1, 2, 3, 4, 5, 6}}, {9, 24, 0, {}}};
  std::vector<uint8_t> expected = {0x41, 0x03, 0x02, 0x12, 0x30, 0x45, 0x60, 0x09, 24, 0};
  EXPECT_EQ(fontbank_pack(glyphs), expected);
  EXPECT_EQ(fontbank_charge(glyphs), 2 * 2) << "height x ((width + 1) >> 1); a blank glyph costs nothing";
}

TEST(FontBankBuild, CoversPrintableAsciiAndTheTab) {
  std::vector<BankGlyph> glyphs = build(18, -1);
  ASSERT_EQ(glyphs.size(), 96u);
  for (int code = 32; code <= 126; ++code) {
    const BankGlyph& g = glyph(glyphs, code);
    EXPECT_EQ(g.slot, code);
    EXPECT_GT(g.width, 0) << "every character advances, code " << code;
    EXPECT_EQ(g.pixels.size(), size_t(g.width * g.height));
    if (code > 32) {
      EXPECT_GT(count_value(g, 1, 15), 0) << "visible ink, code " << code;
    }
  }
  EXPECT_EQ(glyph(glyphs, 32).height, 0) << "a space is blank and costs no sprite memory";
  EXPECT_EQ(glyph(glyphs, 9).height, 0);
  EXPECT_EQ(glyph(glyphs, 9).width, 4 * glyph(glyphs, 32).width) << "tab = 4 spaces";
  EXPECT_LT(fontbank_charge(glyphs), 24000) << "leaves room for the pictures";
}

TEST(FontBankBuild, GlyphsHangFromTheLineTopAndKeepTheirBaseline) {
  std::vector<BankGlyph> glyphs = build(18, 0);
  const BankGlyph &x = glyph(glyphs, 'x'), &g = glyph(glyphs, 'g'), &h = glyph(glyphs, 'h');
  EXPECT_EQ(x.height, h.height) << "x and h both end on the baseline";
  EXPECT_GT(g.height, x.height) << "g descends below it";
  // The top rows of 'x' are blank: its top is the x-height, not the line top.
  int first_ink_row = -1;
  for (int y = 0; y < x.height && first_ink_row < 0; ++y)
    for (int c = 0; c < x.width; ++c)
      if (x.pixels[size_t(y * x.width + c)]) first_ink_row = y;
  EXPECT_GT(first_ink_row, 3);
  int tallest_top = 99;
  for (const BankGlyph& any : glyphs)
    for (int y = 0; y < any.height && y < tallest_top; ++y)
      for (int c = 0; c < any.width; ++c)
        if (any.pixels[size_t(y * any.width + c)]) tallest_top = std::min(tallest_top, y);
  EXPECT_EQ(tallest_top, 0) << "no wasted rows above the tallest glyph";
}

TEST(FontBankBuild, EdgesAreAntiAliasedAndTheShadowIsDark) {
  std::vector<BankGlyph> plain = build(18, 0), shaded = build(18, -1);
  const BankGlyph &o = glyph(plain, 'O'), &o_shaded = glyph(shaded, 'O');
  EXPECT_GT(count_value(o, 15, 15), 10) << "solid strokes";
  EXPECT_GT(count_value(o, 2, 12), 10) << "grey edge pixels";
  EXPECT_GT(count_value(glyph(shaded, 'I'), 1, 1), count_value(glyph(plain, 'I'), 1, 1) + 10)
      << "the shadow adds a column and a row of luma 1";
  EXPECT_GE(o_shaded.width, o.width);
  EXPECT_EQ(o_shaded.height, o.height + 1) << "one more row for the shadow";
}

TEST(FontBankBuild, DigitsShareOneWidthAndSizeScales) {
  std::vector<BankGlyph> small = build(12, 0), large = build(24, 0);
  for (int digit = '1'; digit <= '9'; ++digit) EXPECT_EQ(glyph(small, digit).width, glyph(small, '0').width);
  EXPECT_NEAR(double(glyph(large, 'M').width) / glyph(small, 'M').width, 2.0, 0.25);
  EXPECT_NEAR(double(glyph(large, 'M').height) / glyph(small, 'M').height, 2.0, 0.25);
}

TEST(FontBankBuild, UnreadableFontFails) {
  std::vector<BankGlyph> glyphs;
  std::string error;
  EXPECT_EQ(fontbank_build("/nonexistent.ttf", FontBankOptions{18, 4, 0}, glyphs, error), 0);
  EXPECT_NE(error.find("/nonexistent.ttf"), std::string::npos);
  EXPECT_TRUE(glyphs.empty());
}
