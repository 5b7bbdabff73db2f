#include "blitter/sprite.h"

#include <gtest/gtest.h>

#include "tests/blitter/blitter_test_support.h"

TEST(ColourEncode, WorkedValuesOfTheModes) {
  const struct { int32_t mode; uint32_t pixel, variant; uint8_t want; } rows[] = {
      {COLOUR_MODE_LUMA, 15, 0, 0xFA},        {COLOUR_MODE_CHROMA, 5, 3, 0x3F},  {3, 5, 3, 0x3F}, {-1, 5, 3, 0x3F},
      {COLOUR_MODE_INTERLEAVED, 15, 0, 0xC0}, {COLOUR_MODE_INTERLEAVED, 5, 3, 0x4D}, {COLOUR_MODE_INTERLEAVED, 0, 15, 0x3F},
      {COLOUR_MODE_INTERLEAVED, 0x1F, 0x13, 0xC5}, {COLOUR_MODE_LUMA, 0xFFFFFFF5u, 16, 0x5A},  // low 4 bits only
      {COLOUR_MODE_CHROMA, 10, 0, 0x00},      {COLOUR_MODE_CHROMA, 10, 15, 0xF0}};  // pixel 10: the greys
  for (const auto& row : rows)
    EXPECT_EQ(colour_encode(row.mode, row.pixel, row.variant), row.want) << row.mode << " " << row.pixel << " " << row.variant;
}

// The one check of the sprite memory: each size takes its packed bytes, is
// refused above 512 or beyond the memory left, and gives them all back.
TEST(SpriteMemory, ChargesPackedBytesAndGivesThemBack) {
  const struct { int w, h, charge; uint32_t cycles; } rows[] = {
      {320, 240, 38400, 614460}, {195, 26, 2548, 40620}, {320, 42, 6720, 107580}, {1, 1, 1, 68}, {3, 5, 10, 180},
      {0, 5, 0, 60}, {7, 0, 0, 60}, {512, 1, 256, 4156}, {1, 512, 512, 4156},
      {512, 256, 65536, 1048636},  // the whole memory: nothing left
      {513, 1, -1, 0}, {1, 513, -1, 0}, {-3, 2, -1, 0}, {2, -3, -1, 0}};
  blitter_test_start();
  for (const auto& row : rows) test_fresh([&] {
    const uint32_t start = machine_total_cycles();
    Sprite* s = make_sprite(row.w, row.h, [](int i, int j) { return i ^ j; });
    EXPECT_EQ(s != nullptr, row.charge >= 0) << row.w << " x " << row.h;
    EXPECT_EQ(sprite_memory_free(), 65536 - (s ? row.charge : 0)) << row.w << " x " << row.h;
    EXPECT_EQ(machine_total_cycles() - start, row.cycles) << row.w << " x " << row.h;
    EXPECT_EQ(sprite_width(s) * 1000 + sprite_height(s), s ? row.w * 1000 + row.h : 0);
    Sprite* one = make_sprite(1, 1, [](int, int) { return 1; });
    EXPECT_EQ(one != nullptr, row.charge < 65536) << "a byte more after " << row.w << " x " << row.h;
    sprite_destroy(one);
    sprite_destroy(s);
    sprite_destroy(nullptr);
    EXPECT_EQ(sprite_memory_free(), 65536);
    EXPECT_EQ(machine_total_cycles() - start, row.cycles + (one ? 69 : 0) + (s ? 1 : 0)) << "1 cycle a destroy";
  });
}
