// The font bank builder: record packing, memory charge, and the glyphs it
// renders from DejaVu Sans. The game's own bank is pinned by its rebuild
// (DataFilesRebuildIdentically).
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
    if (code > 32)
      EXPECT_TRUE(std::any_of(g.pixels.begin(), g.pixels.end(), [](uint8_t p) { return p > 0; })) << code;
  }
  EXPECT_EQ(glyph(glyphs, 32).height, 0) << "a space is blank and costs no sprite memory";
  EXPECT_EQ(glyph(glyphs, 9).height, 0);
  EXPECT_EQ(glyph(glyphs, 9).width, 4 * glyph(glyphs, 32).width) << "tab = 4 spaces";
  EXPECT_LT(fontbank_charge(glyphs), 24000) << "leaves room for the pictures";
}

TEST(FontBankBuild, UnreadableFontFails) {
  std::vector<BankGlyph> glyphs;
  std::string error;
  EXPECT_EQ(fontbank_build("/nonexistent.ttf", FontBankOptions{18, 4, 0}, glyphs, error), 0);
  EXPECT_NE(error.find("/nonexistent.ttf"), std::string::npos);
  EXPECT_TRUE(glyphs.empty());
}
