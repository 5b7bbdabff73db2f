#include <allegro.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "machine/palette.h"

namespace {

struct Colour {
  int r, g, b;
};

// The nominal conversion, computed independently of the machine's single-
// precision detour: Y = luma/16, U and V = (code - 2)/4, JFIF coefficients.
Colour nominal(int colour_byte) {
  int n = colour_byte ^ 0x0A;
  double y = (n >> 4) / 16.0;
  double u = (((n >> 2) & 3) - 2) / 4.0;
  double v = ((n & 3) - 2) / 4.0;
  double rgb[3] = {y + 1.402 * v, y - 0.344136 * u - 0.714136 * v, y + 1.772 * u};
  int out[3];
  for (int i = 0; i < 3; ++i) out[i] = int(std::clamp(rgb[i], 0.0, 1.0) * 63.0);
  return {out[0], out[1], out[2]};
}

Colour entry(const RGB* palette, int colour_byte) {
  return {palette[colour_byte].r, palette[colour_byte].g, palette[colour_byte].b};
}

}  // namespace

TEST(Palette, EveryEntryMatchesTheNominalConversion) {
  PALETTE palette;
  palette_compute(palette);
  for (int c = 0; c < 256; ++c) {
    Colour want = nominal(c);
    Colour got = entry(palette, c);
    EXPECT_EQ(got.r, want.r) << "colour byte " << c;
    EXPECT_EQ(got.g, want.g) << "colour byte " << c;
    EXPECT_EQ(got.b, want.b) << "colour byte " << c;
  }
}

TEST(Palette, TintsAtThreeBrightnessesMatchTheMachineTable) {
  // Rows by offset low nibble: (luma 0), (luma 8), (luma 15).
  const int table[16][9] = {
      {0, 33, 0, 0, 63, 0, 14, 63, 3},     {0, 22, 0, 9, 53, 0, 36, 63, 3},
      {0, 10, 0, 31, 42, 0, 59, 63, 3},    {22, 0, 0, 53, 31, 0, 63, 58, 3},
      {0, 27, 0, 0, 59, 3, 14, 63, 31},    {0, 16, 0, 9, 48, 3, 36, 63, 31},
      {0, 5, 0, 31, 36, 3, 59, 63, 31},    {22, 0, 0, 53, 25, 3, 63, 53, 31},
      {0, 22, 0, 0, 53, 31, 14, 63, 59},   {0, 11, 0, 9, 42, 31, 36, 63, 59},
      {0, 0, 0, 31, 31, 31, 59, 59, 59},   {22, 0, 0, 53, 20, 31, 63, 47, 59},
      {0, 17, 27, 0, 48, 59, 14, 63, 63},  {0, 5, 27, 9, 37, 59, 36, 63, 63},
      {0, 0, 27, 31, 26, 59, 59, 53, 63},  {22, 0, 27, 53, 14, 59, 63, 42, 63},
  };
  PALETTE palette;
  palette_compute(palette);
  const int lumas[3] = {0, 8, 15};
  for (int low = 0; low < 16; ++low) {
    for (int k = 0; k < 3; ++k) {
      int colour_byte = colour_from_offset(uint8_t(lumas[k] << 4 | low));
      Colour got = entry(palette, colour_byte);
      EXPECT_EQ(got.r, table[low][3 * k]) << "offset nibble " << low << " luma " << lumas[k];
      EXPECT_EQ(got.g, table[low][3 * k + 1]) << "offset nibble " << low << " luma " << lumas[k];
      EXPECT_EQ(got.b, table[low][3 * k + 2]) << "offset nibble " << low << " luma " << lumas[k];
    }
  }
}

TEST(Palette, GreysAndClampedExtremes) {
  PALETTE palette;
  palette_compute(palette);
  const int greys[16] = {0, 3, 7, 11, 15, 19, 23, 27, 31, 35, 39, 43, 47, 51, 55, 59};
  for (int luma = 0; luma < 16; ++luma) {
    Colour got = entry(palette, luma << 4);
    EXPECT_EQ(got.r, greys[luma]);
    EXPECT_EQ(got.g, greys[luma]);
    EXPECT_EQ(got.b, greys[luma]);
  }
  Colour black = entry(palette, 0x00);
  EXPECT_EQ(black.r + black.g + black.b, 0) << "a freshly cleared bitmap is black";
  Colour green = entry(palette, 0x0A);
  EXPECT_EQ(green.g, 33) << "offset form 0x00 is a dark green";
  Colour clamped = entry(palette, 0xF9);
  EXPECT_EQ(clamped.r, 63);
  EXPECT_EQ(clamped.g, 58);
  EXPECT_EQ(clamped.b, 3);
  Colour bright = entry(palette, 0x8A);
  EXPECT_EQ(bright.g, 63) << "full components only with a tint";
}
