// The font bank builder's record packing and memory charge, on the bank
// file's worked example. The glyphs it renders for the game are pinned by the
// byte-for-byte rebuild of tahoma.fnt (DataFilesRebuildIdentically).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/fontbank/fontbank.h"

TEST(FontBankPack, RecordsAreSlotSizeAndPackedRows) {
  // 3 x 2 glyph in slot 65: rows 1 2 3 and 4 5 6, odd width padded with 0.
  std::vector<BankGlyph> glyphs = {{65, 3, 2, {1, 2, 3, 4, 5, 6}}, {9, 24, 0, {}}};
  std::vector<uint8_t> expected = {0x41, 0x03, 0x02, 0x12, 0x30, 0x45, 0x60, 0x09, 24, 0};
  EXPECT_EQ(fontbank_pack(glyphs), expected);
  EXPECT_EQ(fontbank_charge(glyphs), 2 * 2) << "height x ((width + 1) >> 1); a blank glyph costs nothing";
}

TEST(FontBankBuild, UnreadableFontFails) {
  std::vector<BankGlyph> glyphs;
  std::string error;
  EXPECT_EQ(fontbank_build("/nonexistent.ttf", FontBankOptions{18, 4, 0}, glyphs, error), 0);
  EXPECT_NE(error.find("/nonexistent.ttf"), std::string::npos);
  EXPECT_TRUE(glyphs.empty());
}
