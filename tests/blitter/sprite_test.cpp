#include "blitter/sprite.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include <set>

#include "blitter/sprite_internal.h"
#include "machine/machine.h"
#include "tests/blitter/blitter_test_support.h"

namespace {

// The pixel value behind a stored byte of a luma-mode sprite: its high nibble.
int luma_pixel(const Sprite* sprite, int variant, int column, int row) {
  return sprite->variant_bitmap[variant]->line[row][column] >> 4;
}

}  // namespace

// --- colour_encode ---------------------------------------------------------

TEST(ColourEncode, WorkedValuesOfTheThreeModes) {
  EXPECT_EQ(colour_encode(COLOUR_MODE_LUMA, 15, 0), 0xFA);
  EXPECT_EQ(colour_encode(COLOUR_MODE_CHROMA, 5, 3), 0x3F);
  EXPECT_EQ(colour_encode(COLOUR_MODE_INTERLEAVED, 15, 0), 0xC0);
  EXPECT_EQ(colour_encode(COLOUR_MODE_INTERLEAVED, 5, 3), 0x4D);
  EXPECT_EQ(colour_encode(COLOUR_MODE_INTERLEAVED, 0, 15), 0x3F) << "variant bits 3 2 . 1 . 0";
}

TEST(ColourEncode, LumaModeKeepsPixelAsBrightnessAndVariantAsTint) {
  for (uint32_t v = 0; v < 16; ++v) {
    for (uint32_t p = 0; p < 16; ++p) {
      const uint8_t byte = colour_encode(COLOUR_MODE_LUMA, p, v);
      EXPECT_EQ(byte >> 4, int(p));
      EXPECT_EQ((byte ^ 0x0A) & 0x0F, int(v));
    }
  }
}

TEST(ColourEncode, ChromaPixelTenGivesTheSixteenGreys) {
  for (uint32_t v = 0; v < 16; ++v) {
    EXPECT_EQ(colour_encode(COLOUR_MODE_CHROMA, 10, v), v << 4) << "variant " << v;
  }
}

TEST(ColourEncode, EveryModeOtherThanZeroAndTwoActsAsChroma) {
  for (int32_t mode : {3, 7, -1, 1000}) {
    for (uint32_t v = 0; v < 16; ++v)
      for (uint32_t p = 0; p < 16; ++p)
        EXPECT_EQ(colour_encode(mode, p, v), colour_encode(COLOUR_MODE_CHROMA, p, v)) << mode;
  }
}

TEST(ColourEncode, DifferentPixelsGiveDifferentBytesInEveryModeAndVariant) {
  for (int32_t mode : {COLOUR_MODE_LUMA, COLOUR_MODE_CHROMA, COLOUR_MODE_INTERLEAVED}) {
    for (uint32_t v = 0; v < 16; ++v) {
      std::set<uint8_t> bytes;
      for (uint32_t p = 0; p < 16; ++p) bytes.insert(colour_encode(mode, p, v));
      EXPECT_EQ(bytes.size(), 16u) << "mode " << mode << " variant " << v;
    }
  }
}

TEST(ColourEncode, OnlyTheLowFourBitsCount) {
  EXPECT_EQ(colour_encode(COLOUR_MODE_INTERLEAVED, 0x1F, 0x13), colour_encode(COLOUR_MODE_INTERLEAVED, 15, 3));
  EXPECT_EQ(colour_encode(COLOUR_MODE_LUMA, 0xFFFFFFF5u, 16), colour_encode(COLOUR_MODE_LUMA, 5, 0));
}

// --- sprite memory ---------------------------------------------------------

TEST(SpriteMemory, ExactFitLeavesNothingAndRefusesTheNextByte) {
  blitter_test_start();
  Sprite* big = make_sprite(512, 256, [](int, int) { return 1; });  // 256 * 256 bytes
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->memory_charge, 65536);
  EXPECT_EQ(sprite_memory_free(), 0);
  const uint32_t before = machine_total_cycles();
  EXPECT_EQ(make_sprite(1, 1, [](int, int) { return 1; }), nullptr);
  EXPECT_EQ(machine_total_cycles(), before) << "a refusal costs nothing";
  EXPECT_EQ(sprite_memory_free(), 0);
  sprite_destroy(big);
  EXPECT_EQ(sprite_memory_free(), 65536);
}

TEST(SpriteMemory, ChargeCountsPackedBytesOfOddWidths) {
  blitter_test_start();
  struct Case { int w, h, charge; } cases[] = {
      {320, 240, 38400}, {320, 42, 6720}, {195, 26, 2548}, {1, 1, 1}, {3, 5, 10}};
  for (const Case& c : cases) {
    Sprite* s = make_sprite(c.w, c.h, [](int, int) { return 0; });
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->memory_charge, c.charge) << c.w << " x " << c.h;
    EXPECT_EQ(sprite_memory_free(), 65536 - c.charge);
    sprite_destroy(s);
  }
}

TEST(SpriteMemory, Width512PassesAnd513IsRefusedEvenWithMemoryFree) {
  blitter_test_start();
  Sprite* wide = make_sprite(512, 1, [](int, int) { return 3; });
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(sprite_width(wide), 512);
  sprite_destroy(wide);
  Sprite* tall = make_sprite(1, 512, [](int, int) { return 3; });
  ASSERT_NE(tall, nullptr);
  sprite_destroy(tall);
  const uint32_t before = machine_total_cycles();
  EXPECT_EQ(make_sprite(513, 1, [](int, int) { return 3; }), nullptr);
  EXPECT_EQ(make_sprite(1, 513, [](int, int) { return 3; }), nullptr);
  EXPECT_EQ(machine_total_cycles(), before);
  EXPECT_EQ(sprite_memory_free(), 65536);
}

TEST(SpriteMemory, NegativeSizesAreRefusedWithoutTouchingTheMemory) {
  blitter_test_start();
  uint8_t data[4] = {};
  EXPECT_EQ(sprite_create(COLOUR_MODE_LUMA, data, PIXEL_FORMAT_BYTE, -3, 2, 0), nullptr);
  EXPECT_EQ(sprite_create(COLOUR_MODE_LUMA, data, PIXEL_FORMAT_BYTE, 2, -3, 0), nullptr);
  EXPECT_EQ(sprite_memory_free(), 65536) << "a negative charge must not add memory";
  EXPECT_EQ(machine_total_cycles(), 0u);
}

TEST(SpriteMemory, ZeroSizedSpritesAreValidAndFree) {
  blitter_test_start();
  uint8_t data[1] = {};
  Sprite* no_width = sprite_create(COLOUR_MODE_LUMA, data, PIXEL_FORMAT_BYTE, 0, 5, 0);
  ASSERT_NE(no_width, nullptr);
  EXPECT_EQ(machine_total_cycles(), 60u);
  Sprite* no_height = sprite_create(COLOUR_MODE_LUMA, data, PIXEL_FORMAT_PACKED, 7, 0, 0);
  ASSERT_NE(no_height, nullptr);
  EXPECT_EQ(machine_total_cycles(), 120u);
  EXPECT_EQ(sprite_width(no_width), 0);
  EXPECT_EQ(sprite_height(no_width), 5);
  EXPECT_EQ(sprite_width(no_height), 7);
  EXPECT_EQ(sprite_height(no_height), 0);
  EXPECT_EQ(no_width->memory_charge + no_height->memory_charge, 0);
  EXPECT_EQ(sprite_memory_free(), 65536);
  sprite_destroy(no_width);
  sprite_destroy(no_height);
}

TEST(SpriteMemory, DestroyingEverySpriteRestoresTheWholeBudget) {
  blitter_test_start();
  std::vector<Sprite*> sprites;
  for (int i = 1; i <= 40; ++i) {
    Sprite* s = make_sprite(i * 3, i, [](int x, int y) { return x ^ y; });
    if (s) sprites.push_back(s);
  }
  EXPECT_LT(sprite_memory_free(), 65536);
  EXPECT_GE(sprite_memory_free(), 0);
  for (Sprite* s : sprites) sprite_destroy(s);
  EXPECT_EQ(sprite_memory_free(), 65536);
}

// --- cycle charges ---------------------------------------------------------

TEST(SpriteCycles, CreationChargesEightPerPixelPlusSixty) {
  struct Case { int w, h; uint32_t cycles; } cases[] = {{1, 1, 68}, {195, 26, 40620}, {8, 3, 252}};
  for (const Case& c : cases) {
    blitter_test_start();
    Sprite* s = make_sprite(c.w, c.h, [](int, int) { return 0; });
    EXPECT_EQ(machine_total_cycles(), c.cycles) << c.w << " x " << c.h;
    sprite_destroy(s);
  }
}

TEST(SpriteCycles, AFullScreenPictureCostsMoreThanAFrame) {
  blitter_test_start();
  Sprite* s = make_sprite(320, 240, [](int, int) { return 0; });
  EXPECT_EQ(machine_total_cycles(), 614460u);
  EXPECT_EQ(machine_frames_elapsed(), 1u) << "614460 cycles cross one frame end";
  sprite_destroy(s);
}

TEST(SpriteCycles, DestroyCostsOneAndNullCostsNothing) {
  blitter_test_start();
  Sprite* s = make_sprite(2, 2, [](int, int) { return 0; });
  const uint32_t after_create = machine_total_cycles();
  sprite_destroy(nullptr);
  EXPECT_EQ(machine_total_cycles(), after_create);
  sprite_destroy(s);
  EXPECT_EQ(machine_total_cycles(), after_create + 1);
}

// --- pixel formats and variants -------------------------------------------

TEST(SpriteFormat, PackedRowsReadHighNibbleFirstAndSkipThePadding) {
  blitter_test_start();
  // 3 x 2: rows of 2 bytes; the low nibble of each row's second byte is padding.
  const uint8_t data[] = {0x12, 0x3F, 0x45, 0x6E};
  Sprite* s = sprite_create(COLOUR_MODE_LUMA, data, PIXEL_FORMAT_PACKED, 3, 2, 0);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(sprite_width(s), 3);
  ASSERT_EQ(sprite_height(s), 2);
  const int want[2][3] = {{1, 2, 3}, {4, 5, 6}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(luma_pixel(s, 0, c, r), want[r][c]) << c << "," << r;
  sprite_destroy(s);
}

TEST(SpriteFormat, ByteFormatUsesTheLowNibbleAndAnyOtherFormatIsByte) {
  blitter_test_start();
  const uint8_t data[] = {0xF7, 0x0A, 0x31, 0xFF};
  for (int32_t format : {PIXEL_FORMAT_BYTE, 0, 5}) {
    Sprite* s = sprite_create(COLOUR_MODE_LUMA, data, format, 2, 2, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(luma_pixel(s, 0, 0, 0), 7) << "format " << format;
    EXPECT_EQ(luma_pixel(s, 0, 1, 0), 10);
    EXPECT_EQ(luma_pixel(s, 0, 0, 1), 1);
    EXPECT_EQ(luma_pixel(s, 0, 1, 1), 15);
    sprite_destroy(s);
  }
}

TEST(SpriteVariants, EachVariantHoldsThePictureInItsOwnColours) {
  blitter_test_start();
  auto rule = [](int x, int y) { return (x * 3 + y * 5) & 15; };
  for (int32_t mode : {COLOUR_MODE_LUMA, COLOUR_MODE_CHROMA, COLOUR_MODE_INTERLEAVED}) {
    Sprite* s = make_sprite(5, 4, rule, mode, 9);
    ASSERT_NE(s, nullptr);
    for (int v = 0; v < 16; ++v) {
      ASSERT_EQ(s->variant_bitmap[v]->w, 5);
      ASSERT_EQ(s->variant_bitmap[v]->h, 4);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
          ASSERT_EQ(s->variant_bitmap[v]->line[r][c], colour_encode(mode, uint32_t(rule(c, r)), uint32_t(v)))
              << "mode " << mode << " variant " << v << " at " << c << "," << r;
      EXPECT_EQ(s->variant_key[v], colour_encode(mode, 9, uint32_t(v)));
    }
    sprite_destroy(s);
  }
}

TEST(SpriteVariants, KeyUsesOnlyItsLowFourBits) {
  blitter_test_start();
  Sprite* a = make_sprite(1, 1, [](int, int) { return 0; }, COLOUR_MODE_CHROMA, 0x1F);
  Sprite* b = make_sprite(1, 1, [](int, int) { return 0; }, COLOUR_MODE_CHROMA, 15);
  for (int v = 0; v < 16; ++v) EXPECT_EQ(a->variant_key[v], b->variant_key[v]);
  EXPECT_EQ(a->variant_key[3], 0x35) << "v=3, p=15: n=0x3F, stored XOR 0x0A";
  sprite_destroy(a);
  sprite_destroy(b);
}

// --- host allocation failures ---------------------------------------------

TEST(SpriteAllocation, AFailureAtAnyStepGivesEverythingBack) {
  // 17 host allocations: the record, then 16 bitmaps. Under the address
  // sanitizer a leak of the half-built sprite fails the run.
  for (int successes = 0; successes <= 16; ++successes) {
    blitter_test_start();
    sprite_fail_allocation_after(successes);
    EXPECT_EQ(make_sprite(20, 10, [](int x, int) { return x; }), nullptr) << successes;
    EXPECT_EQ(sprite_memory_free(), 65536);
    EXPECT_EQ(machine_total_cycles(), 0u);
  }
  Sprite* s = make_sprite(20, 10, [](int x, int) { return x; });
  EXPECT_NE(s, nullptr) << "the failure is a one-off";
  sprite_destroy(s);
  sprite_fail_allocation_after(-1);
}
