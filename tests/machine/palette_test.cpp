#include "machine/palette.h"

#include <gtest/gtest.h>

// The machine's worked palette: for each low nibble of the offset form (colour
// byte XOR 0x0A), red, green, blue at luma 0, 8 and 15; then the 16 greys.
TEST(Palette, TintsAtThreeBrightnessesAndTheGreys) {
  const int tints[16][9] = {
      {0, 33, 0, 0, 63, 0, 14, 63, 3},    {0, 22, 0, 9, 53, 0, 36, 63, 3},
      {0, 10, 0, 31, 42, 0, 59, 63, 3},   {22, 0, 0, 53, 31, 0, 63, 58, 3},
      {0, 27, 0, 0, 59, 3, 14, 63, 31},   {0, 16, 0, 9, 48, 3, 36, 63, 31},
      {0, 5, 0, 31, 36, 3, 59, 63, 31},   {22, 0, 0, 53, 25, 3, 63, 53, 31},
      {0, 22, 0, 0, 53, 31, 14, 63, 59},  {0, 11, 0, 9, 42, 31, 36, 63, 59},
      {0, 0, 0, 31, 31, 31, 59, 59, 59},  {22, 0, 0, 53, 20, 31, 63, 47, 59},
      {0, 17, 27, 0, 48, 59, 14, 63, 63}, {0, 5, 27, 9, 37, 59, 36, 63, 63},
      {0, 0, 27, 31, 26, 59, 59, 53, 63}, {22, 0, 27, 53, 14, 59, 63, 42, 63},
  };
  const int greys[16] = {0, 3, 7, 11, 15, 19, 23, 27, 31, 35, 39, 43, 47, 51, 55, 59};
  uint8_t palette[256][3];
  palette_compute(palette);
  auto rgb = [&palette](int c) { return palette[c][0] * 10000 + palette[c][1] * 100 + palette[c][2]; };
  for (int low = 0; low < 16; ++low) {
    EXPECT_EQ(rgb(low << 4), greys[low] * 10101) << "grey " << low;
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(rgb(((k == 0 ? 0 : k == 1 ? 0x80 : 0xF0) | low) ^ 0x0A),
                tints[low][3 * k] * 10000 + tints[low][3 * k + 1] * 100 + tints[low][3 * k + 2])
          << "offset nibble " << low << " brightness " << k;
  }
}
