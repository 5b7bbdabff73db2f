#include "blitter/draw.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "blitter/draw_internal.h"
#include "blitter/fixed.h"
#include "blitter/sprite.h"
#include "machine/machine.h"
#include "machine/palette.h"
#include "tests/blitter/blitter_test_support.h"
#include "tools/common/png_io.h"

namespace {

constexpr int32_t ONE = 0x10000;
constexpr int32_t px(int pixels) { return pixels * ONE; }
constexpr uint8_t BACKGROUND = 0x01;  // no luma-mode sprite byte in variant 0 ends in 1

// 8 x 8 test picture: the value changes along both axes, so a shift of a row
// or a column, or a mirror, shows.
int test_rule(int i, int j) { return (i + 3 * j + 1) & 15; }
uint8_t test_byte(int i, int j, int variant = 0) {
  return colour_encode(COLOUR_MODE_LUMA, uint32_t(test_rule(i, j)), uint32_t(variant));
}

using Picture = std::vector<uint8_t>;  // 320 x 240 colour bytes, row after row

Picture blank_picture() { return Picture(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT, BACKGROUND); }

void paint(Picture& picture, int column, int row, uint8_t value) {
  if (column >= 0 && column < SCREEN_WIDTH && row >= 0 && row < SCREEN_HEIGHT)
    picture[size_t(row) * SCREEN_WIDTH + size_t(column)] = value;
}

// The back buffer against an expected picture, with the first differences.
testing::AssertionResult back_buffer_is(const Picture& want) {
  int differences = 0;
  std::string first;
  for (int r = 0; r < SCREEN_HEIGHT; ++r) {
    for (int c = 0; c < SCREEN_WIDTH; ++c) {
      const uint8_t got = back_pixel(c, r);
      const uint8_t expected = want[size_t(r) * SCREEN_WIDTH + size_t(c)];
      if (got != expected && ++differences <= 5) {
        first += " (" + std::to_string(c) + "," + std::to_string(r) + "): got " +
                 std::to_string(got) + " want " + std::to_string(expected) + ";";
      }
    }
  }
  if (differences == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differences << " pixels differ:" << first;
}

// Source (i, j) of the 8 x 8 test picture at back-buffer (c0 + i, r0 + j).
Picture natural_picture_at(int c0, int r0) {
  Picture want = blank_picture();
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 8; ++i) paint(want, c0 + i, r0 + j, test_byte(i, j));
  return want;
}

struct DrawFixture : testing::Test {
  Sprite* sprite = nullptr;
  void SetUp() override {
    blitter_test_start();
    sprite = make_sprite(8, 8, test_rule);
    ASSERT_NE(sprite, nullptr);
    clear_back_buffer(BACKGROUND);
    test_machine_start();  // the clock back to 0 after the creation
  }
  void TearDown() override { sprite_destroy(sprite); }
};

}  // namespace

// --- fixed_mul ---------------------------------------------------------------

TEST(FixedMul, MultipliesSixteenSixteenValues) {
  blitter_test_start();
  EXPECT_EQ(fixed_mul(0x18000, 0x20000), 0x30000) << "1.5 * 2.0";
  EXPECT_EQ(fixed_mul(-0x18000, 0x20000), -0x30000);
  EXPECT_EQ(fixed_mul(0x8000, 0x400000), 0x200000) << "half a pixel of a 1:1 source step";
  EXPECT_EQ(fixed_mul(-1, 1), -1) << "the shift rounds towards minus infinity";
  EXPECT_EQ(fixed_mul(1, 1), 0);
  EXPECT_EQ(*allegro_errno, 0);
}

TEST(FixedMul, SaturatesBySignOfEachOperandAndSetsErange) {
  struct Case { int32_t a, b, want; } cases[] = {
      {0x7FFFFFFF, 0x20000, 0x7FFFFFFF},
      {-0x7FFFFFFF, 0x20000, -0x7FFFFFFF},
      {0x7FFFFFFF, -0x20000, -0x7FFFFFFF},
      {-0x40000000, -0x40000000, 0x7FFFFFFF},
      {INT32_MIN, -ONE, 0x7FFFFFFF},  // 2^31 does not fit: never 0x80000000
  };
  for (const Case& c : cases) {
    blitter_test_start();
    EXPECT_EQ(fixed_mul(c.a, c.b), c.want) << c.a << " * " << c.b;
    EXPECT_EQ(*allegro_errno, ERANGE) << c.a << " * " << c.b;
  }
}

TEST(FixedMul, TheLargestResultsThatFitDoNotSaturate) {
  blitter_test_start();
  EXPECT_EQ(fixed_mul(INT32_MIN, ONE), INT32_MIN);
  EXPECT_EQ(fixed_mul(0x8000, INT32_MIN), -0x40000000);
  EXPECT_EQ(fixed_mul(0x7FFFFFFF, ONE), 0x7FFFFFFF);
  EXPECT_EQ(*allegro_errno, 0);
  EXPECT_EQ(fixed_mul(0x40000000, 0x20000), 0x7FFFFFFF) << "2^31 is one too many";
  EXPECT_EQ(*allegro_errno, ERANGE);
}

// --- fixed_div ---------------------------------------------------------------

TEST(FixedDiv, SourceStepsOfCommonSizes) {
  blitter_test_start();
  EXPECT_EQ(fixed_div(0x400000, ONE), 0x400000);
  EXPECT_EQ(fixed_div(0x400000, 2 * ONE), 0x200000);
  EXPECT_EQ(fixed_div(0x400000, ONE / 2), 0x800000);
  EXPECT_EQ(fixed_div(0x400000, -ONE), -0x400000);
  EXPECT_EQ(fixed_div(-1, 3), -21845) << "truncates towards zero, not down";
  EXPECT_EQ(*allegro_errno, 0);
}

TEST(FixedDiv, SaturatesAtOneFiveHundredTwelfthOfAPixel) {
  blitter_test_start();
  EXPECT_EQ(fixed_div(0x400000, 0x81), 0x7F01FC07);
  EXPECT_EQ(fixed_div(0x400000, -0x81), -0x7F01FC07);
  EXPECT_EQ(*allegro_errno, 0) << "0x81 still fits";
  EXPECT_EQ(fixed_div(0x400000, 0x80), 0x7FFFFFFF) << "quotient 2^31";
  EXPECT_EQ(*allegro_errno, ERANGE);
  *allegro_errno = 0;
  EXPECT_EQ(fixed_div(0x400000, -0x80), -0x7FFFFFFF);
  EXPECT_EQ(*allegro_errno, ERANGE);
  *allegro_errno = 0;
  EXPECT_EQ(fixed_div(0x400000, 0x40), 0x7FFFFFFF) << "(|a| >> 16) >= |b|";
  EXPECT_EQ(*allegro_errno, ERANGE);
}

TEST(FixedDiv, DivisionByZeroAndTheMostNegativeDividendSaturate) {
  blitter_test_start();
  EXPECT_EQ(fixed_div(5, 0), 0x7FFFFFFF);
  EXPECT_EQ(*allegro_errno, ERANGE);
  *allegro_errno = 0;
  EXPECT_EQ(fixed_div(-5, 0), -0x7FFFFFFF);
  *allegro_errno = 0;
  EXPECT_EQ(fixed_div(INT32_MIN, 0x10000 * 0x4000), -0x20000) << "|INT32_MIN| = 2^31 unsigned";
  EXPECT_EQ(*allegro_errno, 0);
  EXPECT_EQ(fixed_div(INT32_MIN, ONE), -0x7FFFFFFF);
  EXPECT_EQ(*allegro_errno, ERANGE);
}

// --- placement ---------------------------------------------------------------

TEST_F(DrawFixture, WholeCoordinatesCopyOneToOneFor209Cycles) {
  sprite_draw(sprite, 0, px(20), px(30), ONE, ONE, 0, 0);
  EXPECT_TRUE(back_buffer_is(natural_picture_at(20, 30)));
  EXPECT_EQ(machine_total_cycles(), 209u) << "25 + 8 * (15 + 8)";
}

TEST_F(DrawFixture, FirstColumnIsTheFirstCentreAtOrRightOfX) {
  struct Case { int32_t x; int column; } cases[] = {
      {px(10), 10}, {px(10) + 0x8000, 10}, {px(10) + 0x8001, 11}, {px(10) - 0x7FFF, 10},
      {px(10) - 0x8000, 9}};
  for (const Case& c : cases) {
    clear_back_buffer(BACKGROUND);
    sprite_draw(sprite, 0, c.x, px(50), ONE, ONE, 0, 0);
    EXPECT_TRUE(back_buffer_is(natural_picture_at(c.column, 50))) << "x = " << c.x;
  }
}

TEST_F(DrawFixture, FirstRowIsTheFirstCentreAtOrBelowY) {
  struct Case { int32_t y; int row; } cases[] = {
      {px(10), 10}, {px(10) + 0x8000, 10}, {px(10) + 0x8001, 11}, {px(10) - 0x8001, 9}};
  for (const Case& c : cases) {
    clear_back_buffer(BACKGROUND);
    test_machine_start();
    sprite_draw(sprite, 0, px(40), c.y, ONE, ONE, 0, 0);
    EXPECT_TRUE(back_buffer_is(natural_picture_at(40, c.row))) << "y = " << c.y;
    EXPECT_EQ(machine_total_cycles(), 209u) << "still eight rows";
  }
}

TEST_F(DrawFixture, NegativeHsizeMirrorsLeftOfX) {
  sprite_draw(sprite, 0, px(100), px(50), -ONE, ONE, 0, 0);
  Picture want = blank_picture();
  for (int j = 0; j < 8; ++j)
    for (int k = 0; k < 8; ++k) paint(want, 92 + k, 50 + j, test_byte(7 - k, j));
  EXPECT_TRUE(back_buffer_is(want)) << "source column 7 in column 92";
  EXPECT_EQ(machine_total_cycles(), 209u);
}

TEST_F(DrawFixture, NegativeVsizeMirrorsAboveY) {
  sprite_draw(sprite, 0, px(60), px(100), ONE, -ONE, 0, 0);
  Picture want = blank_picture();
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 8; ++i) paint(want, 60 + i, 92 + k, test_byte(i, 7 - k));
  EXPECT_TRUE(back_buffer_is(want)) << "upside down in rows 92..99";
  EXPECT_EQ(machine_total_cycles(), 209u);
}

TEST_F(DrawFixture, BothSizesNegativeTurnThePictureHalfAround) {
  sprite_draw(sprite, 0, px(100), px(100), -ONE, -ONE, 0, 0);
  Picture want = blank_picture();
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 8; ++i) paint(want, 92 + i, 92 + k, test_byte(7 - i, 7 - k));
  EXPECT_TRUE(back_buffer_is(want));
}

TEST_F(DrawFixture, ScaleTwoDoublesEveryPixel) {
  sprite_draw(sprite, 0, px(20), px(20), 2 * ONE, 2 * ONE, 0, 0);
  Picture want = blank_picture();
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) paint(want, 20 + c, 20 + r, test_byte(c / 2, r / 2));
  EXPECT_TRUE(back_buffer_is(want));
  EXPECT_EQ(machine_total_cycles(), 521u) << "25 + 16 * (15 + 16)";
}

TEST_F(DrawFixture, HalfScaleSamplesTheOddPixelsAtTheirCentres) {
  sprite_draw(sprite, 0, px(20), px(20), ONE / 2, ONE / 2, 0, 0);
  Picture want = blank_picture();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) paint(want, 20 + c, 20 + r, test_byte(2 * c + 1, 2 * r + 1));
  EXPECT_TRUE(back_buffer_is(want));
  EXPECT_EQ(machine_total_cycles(), 101u) << "25 + 4 * (15 + 4)";
}

TEST_F(DrawFixture, TiltShiftsEachRowByItsAmount) {
  sprite_draw(sprite, 0, px(10), px(10), ONE, ONE, ONE, 0);
  Picture want = blank_picture();
  // Row j's left edge is measured at its centre: x + tilt * (j + 0.5).
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 8; ++i) paint(want, 10 + j + i, 10 + j, test_byte(i, j));
  EXPECT_TRUE(back_buffer_is(want));
  EXPECT_EQ(machine_total_cycles(), 209u);
}

TEST_F(DrawFixture, StretchWidensEachRowByItsAmount) {
  sprite_draw(sprite, 0, px(10), px(10), ONE, ONE / 2, 0, 2 * ONE);
  Picture want = blank_picture();
  // vsize 0.5: four rows, sampling source rows 1, 3, 5, 7. Row k's size is
  // measured at its centre: 1 + 2 * (k + 0.5) = 2 + 2k.
  uint32_t row_cycles = 0;
  for (int k = 0; k < 4; ++k) {
    const int size = 2 + 2 * k;
    for (int c = 0; c < 8 * size; ++c) paint(want, 10 + c, 10 + k, test_byte(c / size, 2 * k + 1));
    row_cycles += 15 + uint32_t(8 * size);
  }
  EXPECT_TRUE(back_buffer_is(want));
  EXPECT_EQ(machine_total_cycles(), 25 + row_cycles);
}

TEST_F(DrawFixture, UpsideDownTiltIsWoundBackBySourceRows) {
  sprite_draw(sprite, 0, px(50), px(50), ONE, -ONE, ONE, 0);
  Picture want = blank_picture();
  // Rows 42..49 show source rows 7..0; the tilt was wound back by 8 rows, so
  // row 42 starts at column 42 and each row below one further right.
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 8; ++i) paint(want, 42 + k + i, 42 + k, test_byte(i, 7 - k));
  EXPECT_TRUE(back_buffer_is(want));
}

// --- clipping and costs ------------------------------------------------------

TEST_F(DrawFixture, NegativeXShowsTheHiddenColumnsClippedAway) {
  sprite_draw(sprite, 0, px(-3), px(5), ONE, ONE, 0, 0);
  EXPECT_TRUE(back_buffer_is(natural_picture_at(-3, 5))) << "source column 3 in column 0";
  EXPECT_EQ(back_pixel(0, 5), test_byte(3, 0));
  EXPECT_EQ(machine_total_cycles(), 209u) << "rows are charged before clipping";
}

TEST_F(DrawFixture, MirroredRowClippedAtTheLeftStillEndsAtX) {
  sprite_draw(sprite, 0, px(3), px(5), -ONE, ONE, 0, 0);
  Picture want = blank_picture();
  for (int j = 0; j < 8; ++j)
    for (int k = 0; k < 8; ++k) paint(want, -5 + k, 5 + j, test_byte(7 - k, j));
  EXPECT_TRUE(back_buffer_is(want));
}

TEST_F(DrawFixture, RightAndBottomEdgesClipWithoutSpillingIntoTheNextRow) {
  sprite_draw(sprite, 0, px(316), px(236), ONE, ONE, 0, 0);
  EXPECT_TRUE(back_buffer_is(natural_picture_at(316, 236)));
  EXPECT_EQ(machine_total_cycles(), 209u);
}

TEST_F(DrawFixture, FarOffScreenDrawsNothingButPaysEveryRow) {
  sprite_draw(sprite, 0, px(40), px(300), ONE, ONE, 0, 0);
  EXPECT_EQ(machine_total_cycles(), 209u);
  sprite_draw(sprite, 0, px(-4000), px(-40), 2 * ONE, ONE, 0, 0);
  EXPECT_EQ(machine_total_cycles(), 209u + 25 + 8 * (15 + 16));
  EXPECT_TRUE(back_buffer_is(blank_picture()));
}

TEST_F(DrawFixture, HsizeZeroPaysRowsAndDrawsNothing) {
  sprite_draw(sprite, 0, px(40), px(40), 0, ONE, 0, 0);
  EXPECT_EQ(machine_total_cycles(), 25u + 8 * 15);
  EXPECT_TRUE(back_buffer_is(blank_picture()));
}

TEST_F(DrawFixture, VsizeZeroAndNullSpritesCostNothing) {
  sprite_draw(sprite, 0, px(40), px(40), ONE, 0, 0, 0);
  sprite_draw_keyed(sprite, 0, px(40), px(40), ONE, 0, 0, 0);
  sprite_draw(nullptr, 0, px(40), px(40), ONE, ONE, 0, 0);
  sprite_draw_keyed(nullptr, 0, px(40), px(40), ONE, ONE, 0, 0);
  EXPECT_EQ(machine_total_cycles(), 0u);
  EXPECT_TRUE(back_buffer_is(blank_picture()));
}

TEST(DrawCost, OnePixelFillsTheScreenFor80425Cycles) {
  blitter_test_start();
  Sprite* dot = make_sprite(1, 1, [](int, int) { return 10; }, COLOUR_MODE_CHROMA);
  clear_back_buffer(BACKGROUND);
  test_machine_start();
  sprite_draw(dot, 7, 0, 0, px(320), px(240), 0, 0);
  EXPECT_EQ(machine_total_cycles(), 80425u) << "25 + 240 * (15 + 320)";
  EXPECT_EQ(test_count_pixels(machine_back_buffer(), 0x70), 320 * 240) << "grey of luma 7";
  sprite_destroy(dot);
}

TEST(DrawCost, ABoardCellIsThirteenRowsOfThirteen) {
  blitter_test_start();
  Sprite* dot = make_sprite(1, 1, [](int, int) { return 10; }, COLOUR_MODE_CHROMA);
  clear_back_buffer(BACKGROUND);
  test_machine_start();
  sprite_draw(dot, 3, px(13), px(26), px(13), px(13), 0, 0);
  EXPECT_EQ(machine_total_cycles(), 25u + 13 * (15 + 13));
  EXPECT_EQ(test_count_pixels(machine_back_buffer(), 0x30), 169);
  EXPECT_EQ(back_pixel(13, 26), 0x30);
  EXPECT_EQ(back_pixel(25, 38), 0x30);
  EXPECT_EQ(back_pixel(26, 38), BACKGROUND);
  sprite_destroy(dot);
}

// --- saturated steps ---------------------------------------------------------

TEST_F(DrawFixture, VsizeOf128RawDrawsOneRowAndSetsErange) {
  sprite_draw(sprite, 0, px(10), px(10) + 0x8000, ONE, 0x80, 0, 0);
  EXPECT_EQ(*allegro_errno, ERANGE);
  Picture want = blank_picture();
  for (int i = 0; i < 8; ++i) paint(want, 10 + i, 10, test_byte(i, 0));
  EXPECT_TRUE(back_buffer_is(want)) << "one row, then the step leaves the source";
  EXPECT_EQ(machine_total_cycles(), 25u + 15 + 8);
}

TEST_F(DrawFixture, VsizeOf129RawIsNotAnError) {
  sprite_draw(sprite, 0, px(10), px(10) + 0x8000, ONE, 0x81, 0, 0);
  EXPECT_EQ(*allegro_errno, 0);
  EXPECT_EQ(machine_total_cycles(), 25u + 15 + 8) << "one row: 508 source rows a step";
}

TEST_F(DrawFixture, HsizeOf128RawDrawsOnePixelPerRow) {
  sprite_draw(sprite, 0, px(10) + 0x8000, px(10), 0x80, ONE, 0, 0);
  EXPECT_EQ(*allegro_errno, ERANGE);
  Picture want = blank_picture();
  for (int j = 0; j < 8; ++j) paint(want, 10, 10 + j, test_byte(0, j));
  EXPECT_TRUE(back_buffer_is(want));
  EXPECT_EQ(machine_total_cycles(), 25u + 8 * (15 + 1));
}

TEST_F(DrawFixture, OrdinaryDrawsLeaveTheErrorNumberAlone) {
  sprite_draw(sprite, 3, px(10) + 123, px(10) + 4567, 3 * ONE / 2, -2 * ONE, 300, -200);
  EXPECT_EQ(*allegro_errno, 0);
}

// --- keyed drawing and variants ---------------------------------------------

TEST(DrawKeyed, KeyedSkipsTheKeyColourOpaqueWritesIt) {
  blitter_test_start();
  auto rule = [](int i, int j) { return (i + j) % 3 == 0 ? 6 : i + 1; };
  Sprite* s = make_sprite(8, 8, rule, COLOUR_MODE_LUMA, 6);
  ASSERT_NE(s, nullptr);
  for (bool keyed : {false, true}) {
    clear_back_buffer(BACKGROUND);
    if (keyed) {
      sprite_draw_keyed(s, 5, px(30), px(40), ONE, ONE, 0, 0);
    } else {
      sprite_draw(s, 5, px(30), px(40), ONE, ONE, 0, 0);
    }
    Picture want = blank_picture();
    for (int j = 0; j < 8; ++j) {
      for (int i = 0; i < 8; ++i) {
        if (keyed && rule(i, j) == 6) continue;
        paint(want, 30 + i, 40 + j, colour_encode(COLOUR_MODE_LUMA, uint32_t(rule(i, j)), 5));
      }
    }
    EXPECT_TRUE(back_buffer_is(want)) << (keyed ? "keyed" : "opaque");
  }
  sprite_destroy(s);
}

TEST(DrawKeyed, KeyedAndOpaqueCostTheSame) {
  blitter_test_start();
  Sprite* s = make_sprite(8, 8, test_rule);
  test_machine_start();
  sprite_draw_keyed(s, 0, px(3), px(3), 3 * ONE, ONE / 3, ONE / 7, ONE / 5);
  const uint32_t keyed = machine_total_cycles();
  test_machine_start();
  sprite_draw(s, 0, px(3), px(3), 3 * ONE, ONE / 3, ONE / 7, ONE / 5);
  EXPECT_EQ(machine_total_cycles(), keyed);
  sprite_destroy(s);
}

TEST_F(DrawFixture, OnlyTheLowFourBitsOfTheVariantCount) {
  struct Case { int32_t variant, same_as; } cases[] = {{16, 0}, {-1, 15}, {0x7FFFFFF3, 3}};
  for (const Case& c : cases) {
    sprite_draw(sprite, c.variant, px(10), px(10), ONE, ONE, 0, 0);
    Picture want = blank_picture();
    for (int j = 0; j < 8; ++j)
      for (int i = 0; i < 8; ++i) paint(want, 10 + i, 10 + j, test_byte(i, j, c.same_as));
    EXPECT_TRUE(back_buffer_is(want)) << "variant " << c.variant;
  }
}

// --- the row and span routines ----------------------------------------------

TEST(DrawSpan, SpanStopsAtTheSourceEndAndAtColumn320) {
  blitter_test_start();
  Sprite* s = make_sprite(8, 1, [](int i, int) { return i + 1; });
  uint8_t row[330];
  for (SpanFunction span : {span_copy, span_copy_keyed}) {
    std::memset(row, 0xEE, sizeof row);
    span(s->variant_bitmap[0], 0, 0x400000, px(316), row, s->variant_bitmap[0]->line[0], -1);
    EXPECT_EQ(row[316], colour_encode(COLOUR_MODE_LUMA, 1, 0));
    EXPECT_EQ(row[319], colour_encode(COLOUR_MODE_LUMA, 4, 0));
    EXPECT_EQ(row[320], 0xEE) << "column 320 is never written";
    std::memset(row, 0xEE, sizeof row);
    span(s->variant_bitmap[0], 0x200000, 0x200000, 0, row, s->variant_bitmap[0]->line[0], -1);
    EXPECT_EQ(row[14], colour_encode(COLOUR_MODE_LUMA, 8, 0)) << "half-size steps: 15 pixels";
    EXPECT_EQ(row[15], 0xEE);
    std::memset(row, 0xEE, sizeof row);
    span(s->variant_bitmap[0], (8 << 22) - 1, -0x400000, 0, row, s->variant_bitmap[0]->line[0], -1);
    EXPECT_EQ(row[0], colour_encode(COLOUR_MODE_LUMA, 8, 0)) << "backwards from the last column";
    EXPECT_EQ(row[7], colour_encode(COLOUR_MODE_LUMA, 1, 0));
    EXPECT_EQ(row[8], 0xEE);
  }
  sprite_destroy(s);
}

// The span routines count their pixels first and copy runs; this holds them
// to the machine's plain loop: while the source column is in 0..w-1 and the
// destination column below 320, copy (or skip the key), U += d, X += 1.0.
TEST(DrawSpan, AgreesWithThePixelByPixelLoopForAnyStep) {
  blitter_test_start();
  sprite_memory_set(2 * SPRITE_MEMORY_SIZE);
  Sprite* narrow = make_sprite(8, 1, [](int i, int) { return i * 2 + 1; });
  Sprite* wide = make_sprite(512, 1, [](int i, int) { return (i * 7 + i / 16) & 15; });
  uint32_t seed = 12345;
  auto next = [&seed] { seed = seed * 1103515245u + 12345u; return seed; };
  const int32_t steps[] = {0x400000, -0x400000, 0x100000, -0x100000, 0x100001, 0xFFFFF, 1, -1,
                           0x7FFFFFFF, -0x7FFFFFFF, 0x4EC4E, -0x4EC4E, 0x12345, 0x555555, -0x3FFFFF};
  int compared = 0;
  for (Sprite* s : {narrow, wide}) {
    const BITMAP* bitmap = s->variant_bitmap[0];
    const int64_t end = int64_t(bitmap->w) << 22;
    const int32_t key = bitmap->line[0][3];
    for (int trial = 0; trial < 4000; ++trial) {
      int32_t d = steps[trial % std::size(steps)];
      if (trial % 3 == 0) d = int32_t(next());
      int64_t U = int64_t(next() % uint32_t(end + 2)) - 1;  // -1 .. end
      if (trial % 5 == 0) U = (trial & 8) ? end - 1 : 0;
      const int32_t X = (trial % 7 == 0) ? int32_t(next()) : int32_t((next() % 340u) << 16);
      for (bool keyed : {false, true}) {
        uint8_t want[SCREEN_WIDTH], got[SCREEN_WIDTH];
        std::memset(want, 0xEE, sizeof want);
        std::memset(got, 0xEE, sizeof got);
        int64_t u = U;
        for (int32_t x = X; u < end && u >= 0 && x >= 0 && x < px(320); x += ONE, u += d) {
          const uint8_t pixel = bitmap->line[0][u >> 22];
          if (!keyed || pixel != key) want[x >> 16] = pixel;
        }
        (keyed ? span_copy_keyed : span_copy)(bitmap, U, d, X, got, bitmap->line[0], key);
        ASSERT_EQ(std::memcmp(want, got, sizeof want), 0)
            << "w " << bitmap->w << " U " << U << " d " << d << " X " << X << (keyed ? " keyed" : "");
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 16000);
  sprite_destroy(narrow);
  sprite_destroy(wide);
  sprite_memory_set(SPRITE_MEMORY_SIZE);
}

TEST(DrawSpan, RowOutsideTheScreenOrOfZeroSizeDrawsNothing) {
  blitter_test_start();
  Sprite* s = make_sprite(8, 1, [](int i, int) { return i + 1; });
  clear_back_buffer(BACKGROUND);
  test_machine_start();
  for (int32_t row : {-1, 240, 100000}) {
    sprite_draw_row(s->variant_bitmap[0], 0, row, px(10), ONE, -1, span_copy);
  }
  sprite_draw_row(s->variant_bitmap[0], 0, 5, px(10), 0, -1, span_copy);
  EXPECT_TRUE(back_buffer_is(blank_picture()));
  EXPECT_EQ(machine_total_cycles(), 0u) << "rows charge nothing themselves";
  sprite_draw_row(s->variant_bitmap[0], 0, 239, px(310), ONE, -1, span_copy);
  EXPECT_EQ(back_pixel(310, 239), colour_encode(COLOUR_MODE_LUMA, 1, 0));
  EXPECT_EQ(back_pixel(317, 239), colour_encode(COLOUR_MODE_LUMA, 8, 0));
  sprite_destroy(s);
}

// --- nothing outside the back buffer ----------------------------------------

namespace {

// Points the back buffer's rows into a larger block with a band of guard
// bytes on every side, so that a write left of column 0, at column 320 or
// beyond, or through a row pointer gone astray, lands in the band.
struct GuardedBackBuffer {
  static constexpr int GUARD = 32;
  static constexpr int STRIDE = SCREEN_WIDTH + 2 * GUARD;
  static constexpr uint8_t GUARD_BYTE = 0xA5;
  std::vector<uint8_t> block;
  BITMAP* bitmap;
  std::vector<unsigned char*> saved_rows;

  GuardedBackBuffer()
      : block(size_t(STRIDE) * (SCREEN_HEIGHT + 2 * GUARD), GUARD_BYTE),
        bitmap(machine_back_buffer()) {
    for (int r = 0; r < SCREEN_HEIGHT; ++r) {
      saved_rows.push_back(bitmap->line[r]);
      bitmap->line[r] = &block[size_t(r + GUARD) * STRIDE + GUARD];
      std::memset(bitmap->line[r], BACKGROUND, SCREEN_WIDTH);
    }
  }
  ~GuardedBackBuffer() {
    for (int r = 0; r < SCREEN_HEIGHT; ++r) bitmap->line[r] = saved_rows[size_t(r)];
  }
  int guard_writes() const {
    int writes = 0;
    for (size_t i = 0; i < block.size(); ++i) {
      const int r = int(i / STRIDE) - GUARD;
      const int c = int(i % STRIDE) - GUARD;
      const bool inside = r >= 0 && r < SCREEN_HEIGHT && c >= 0 && c < SCREEN_WIDTH;
      writes += !inside && block[i] != GUARD_BYTE;
    }
    return writes;
  }
};

}  // namespace

TEST(DrawClip, NoWriteEverLandsOutsideTheBackBuffer) {
  blitter_test_start();
  Sprite* s = make_sprite(8, 8, test_rule);
  Sprite* wide = make_sprite(33, 5, test_rule);
  GuardedBackBuffer guarded;
  const int32_t positions[] = {px(-30) - 300, -0x7FF1, 0, px(300) + 0x8000, px(315) + 0xB000,
                               px(319) + 0x7FFF, px(319) + 0x8001, px(330)};
  const int32_t hsizes[] = {ONE, 0x2B333, -ONE, -0x2B333, 0x81, -0x81};
  const int32_t vsizes[] = {ONE, 0x1E666, -ONE, -0x1E666};
  const int32_t slants[] = {0, 0x54CCC, -0x54CCC};
  const int32_t stretches[] = {0, 0x4CCC, -0x4CCC};
  int draws = 0;
  for (int32_t x : positions)
    for (int32_t y : positions)
      for (int32_t hsize : hsizes)
        for (int32_t vsize : vsizes)
          for (int32_t tilt : slants)
            for (int32_t stretch : stretches) {
              sprite_draw(s, 1, x, y, hsize, vsize, tilt, stretch);
              sprite_draw_keyed(wide, 2, x, y, hsize, vsize, tilt, stretch);
              ++draws;
            }
  EXPECT_EQ(guarded.guard_writes(), 0) << "after " << draws << " draw pairs";
  EXPECT_LT(test_count_pixels(machine_back_buffer(), BACKGROUND), 320 * 240) << "something was drawn";
  sprite_destroy(s);
  sprite_destroy(wide);
}

TEST(DrawClip, ExtremeArgumentsWrapWithoutWritingOutside) {
  blitter_test_start();
  Sprite* s = make_sprite(8, 8, test_rule);
  GuardedBackBuffer guarded;
  struct Case { int32_t x, y, hsize, vsize, tilt, stretch; } cases[] = {
      {0x7FFF8001, px(120), ONE, ONE, 0, 0},  // the sub-pixel step wraps the row start
      {0x7FFFFFFF, px(120), ONE, ONE, 0, 0},
      {INT32_MIN, px(120), -ONE, ONE, 0, 0},
      {0x7FFFFFFF, px(120), -ONE, ONE, 0, 0},
      {px(100), px(120), 0x7FFFFFFF, ONE, 0, 0},
      {px(100), px(120), -0x7FFFFFFF, ONE, 0, 0},
      {px(100), px(120), ONE, ONE, 0x7FFFFFFF, 0x7FFFFFFF},
      {px(100), px(120), ONE, -ONE, INT32_MIN, INT32_MIN},
      {px(100), INT32_MIN, ONE, 0x7FFFFFFF, 0, 0},
      {px(100), 0x7FFFFFFF, ONE, -0x7FFFFFFF, 0, 0},
      {-px(100), px(10), px(300), px(30), -px(7), px(2)},
  };
  for (const Case& c : cases) {
    sprite_draw(s, 1, c.x, c.y, c.hsize, c.vsize, c.tilt, c.stretch);
    sprite_draw_keyed(s, 1, c.x, c.y, c.hsize, c.vsize, c.tilt, c.stretch);
  }
  EXPECT_EQ(guarded.guard_writes(), 0);
  sprite_destroy(s);
}

TEST(DrawClip, ARowStartBeyondTheLargestPositionDrawsNothing) {
  blitter_test_start();
  Sprite* s = make_sprite(8, 8, test_rule);
  GuardedBackBuffer guarded;
  test_machine_start();
  sprite_draw(s, 1, 0x7FFF8001, px(120), ONE, ONE, 0, 0);
  EXPECT_EQ(test_count_pixels(machine_back_buffer(), BACKGROUND), 320 * 240);
  EXPECT_EQ(guarded.guard_writes(), 0);
  EXPECT_EQ(machine_total_cycles(), 209u);
  sprite_destroy(s);
}

// --- sprites 512 pixels wide and high ---------------------------------------

namespace {

int big_rule(int i, int j) { return ((i >> 4) * 5 + (j >> 4) * 3 + i + 2 * j) & 15; }
uint8_t big_byte(int i, int j) { return colour_encode(COLOUR_MODE_LUMA, uint32_t(big_rule(i, j)), 0); }

struct BigSpriteFixture : testing::Test {
  Sprite* sprite = nullptr;
  void SetUp() override {
    blitter_test_start();
    sprite_memory_set(2 * SPRITE_MEMORY_SIZE);  // 512 x 512 takes 131072 bytes
    sprite = make_sprite(512, 512, big_rule);
    ASSERT_NE(sprite, nullptr);
    clear_back_buffer(BACKGROUND);
    test_machine_start();
  }
  void TearDown() override {
    sprite_destroy(sprite);
    sprite_memory_set(SPRITE_MEMORY_SIZE);
  }
};

}  // namespace

TEST_F(BigSpriteFixture, DrawsAtNaturalSizeDownToItsLastPixel) {
  sprite_draw(sprite, 0, px(-192), px(-272), ONE, ONE, 0, 0);
  Picture want = blank_picture();
  for (int r = 0; r < 240; ++r)
    for (int c = 0; c < 320; ++c) paint(want, c, r, big_byte(c + 192, r + 272));
  EXPECT_TRUE(back_buffer_is(want)) << "column 319 shows source 511, row 239 source 511";
  EXPECT_EQ(machine_total_cycles(), 25u + 512 * (15 + 512));
}

TEST_F(BigSpriteFixture, DrawsMirroredInBothDirections) {
  sprite_draw(sprite, 0, px(320), px(240), -ONE, -ONE, 0, 0);
  Picture want = blank_picture();
  for (int r = 0; r < 240; ++r)
    for (int c = 0; c < 320; ++c) paint(want, c, r, big_byte(319 - c, 239 - r));
  EXPECT_TRUE(back_buffer_is(want));
  EXPECT_EQ(machine_total_cycles(), 25u + 512 * (15 + 512));
}

TEST_F(BigSpriteFixture, DrawsAtHalfSize) {
  sprite_draw(sprite, 0, 0, 0, ONE / 2, ONE / 2, 0, 0);
  Picture want = blank_picture();
  for (int r = 0; r < 240; ++r)
    for (int c = 0; c < 256; ++c) paint(want, c, r, big_byte(2 * c + 1, 2 * r + 1));
  EXPECT_TRUE(back_buffer_is(want));
  EXPECT_EQ(machine_total_cycles(), 25u + 256 * (15 + 256));
}

// --- pictures for a person to look at ----------------------------------------

namespace {

// A 195 x 26 stand-in for the title picture: a white frame, a brightness ramp
// from left to right, and square holes of the key colour (pixel 0).
int title_rule(int i, int j) {
  if (i == 0 || j == 0 || i == 194 || j == 25) return 15;
  if ((i / 5 + j / 5) % 4 == 0) return 0;
  return 4 + i * 11 / 195;
}

constexpr uint8_t PICTURE_BACKGROUND = 0x24;  // dark blue: luma 2, U +1

// Compares the back buffer, as the RGB picture the palette makes of it, with
// tests/blitter/golden/<name>.png. QUADRILLO_UPDATE_GOLDEN=1 rewrites the
// golden instead; a mismatch writes <name>.actual.png beside it.
void expect_matches_golden(const std::string& name) {
  const std::string golden = std::string(BLITTER_GOLDEN_DIR) + "/" + name + ".png";
  const std::string actual = std::string(BLITTER_GOLDEN_DIR) + "/" + name + ".actual.png";
  const std::string fresh = testing::TempDir() + "blitter_" + name + ".png";
  PALETTE palette;
  palette_compute(palette);
  BITMAP* picture = machine_back_buffer();
  const int stride = int(picture->line[1] - picture->line[0]);
  const char* update = std::getenv("QUADRILLO_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    ASSERT_EQ(png_write_indexed(golden.c_str(), 320, 240, picture->line[0], stride, palette), -1);
    return;
  }
  ASSERT_EQ(png_write_indexed(fresh.c_str(), 320, 240, picture->line[0], stride, palette), -1);
  std::vector<uint8_t> want, got;
  int want_w = 0, want_h = 0, got_w = 0, got_h = 0;
  const bool have_golden = png_read_rgb(golden.c_str(), want, want_w, want_h) == -1;
  ASSERT_EQ(png_read_rgb(fresh.c_str(), got, got_w, got_h), -1);
  std::remove(fresh.c_str());
  int differing = 0;
  if (have_golden && want_w == got_w && want_h == got_h) {
    for (size_t i = 0; i + 2 < got.size(); i += 3)
      differing += want[i] != got[i] || want[i + 1] != got[i + 1] || want[i + 2] != got[i + 2];
  }
  if (have_golden && want_w == got_w && want_h == got_h && differing == 0) {
    std::remove(actual.c_str());
    return;
  }
  png_write_indexed(actual.c_str(), 320, 240, picture->line[0], stride, palette);
  ADD_FAILURE() << (have_golden ? std::to_string(differing) + " pixels differ from "
                                : "no golden picture ")
                << golden << "; the picture drawn is in " << actual;
}

struct PictureFixture : testing::Test {
  Sprite* title = nullptr;
  void SetUp() override {
    blitter_test_start();
    title = make_sprite(195, 26, title_rule);
    ASSERT_NE(title, nullptr);
    clear_back_buffer(PICTURE_BACKGROUND);
  }
  void TearDown() override { sprite_destroy(title); }
};

}  // namespace

TEST_F(PictureFixture, ScaledPicture) {
  sprite_draw_keyed(title, 10, px(10), px(8), 3 * ONE / 2, 3 * ONE, 0, 0);
  sprite_draw_keyed(title, 10, px(20) + 0x4000, px(100), 3 * ONE / 4, ONE, 0, 0);
  sprite_draw(title, 5, px(180), px(100), ONE / 3, 5 * ONE / 2, 0, 0);
  sprite_draw_keyed(title, 10, px(4), px(150), 8 * ONE / 5, 7 * ONE / 2, 0, 0);
  expect_matches_golden("scaled");
}

TEST_F(PictureFixture, MirroredPicture) {
  sprite_draw_keyed(title, 10, px(62) + 0x8000, px(10), ONE, ONE, 0, 0);
  sprite_draw_keyed(title, 10, px(257) + 0x8000, px(50), -ONE, ONE, 0, 0);
  sprite_draw_keyed(title, 10, px(62) + 0x8000, px(140), ONE, -2 * ONE, 0, 0);
  sprite_draw_keyed(title, 10, px(257) + 0x8000, px(230), -ONE, -3 * ONE / 2, 0, 0);
  expect_matches_golden("mirrored");
}

TEST_F(PictureFixture, TiltedPicture) {
  sprite_draw_keyed(title, 10, px(40), px(10), ONE, 2 * ONE, 3 * ONE / 4, 0);
  sprite_draw_keyed(title, 10, px(280) - 195 * ONE, px(130), ONE, 2 * ONE, -3 * ONE / 4, 0);
  expect_matches_golden("tilted");
}

TEST_F(PictureFixture, StretchedPicture) {
  sprite_draw_keyed(title, 10, px(20), px(8), 2 * ONE / 5, 4 * ONE, 0, ONE / 100);
  // Tilt that takes back half the growth keeps the rows centred: a trapezoid.
  sprite_draw_keyed(title, 10, px(160) - 195 * ONE / 4, px(122), ONE / 2, 4 * ONE,
                    -195 * (ONE / 200), ONE / 100);
  expect_matches_golden("stretched");
}

TEST_F(PictureFixture, TitleRevealPicture) {
  // The title reveal's first distorted frame: v = 14500.
  const int32_t v = 14500;
  sprite_draw_keyed(title, 10, px(62) + 0x8000, px(10), ONE, 65536 + 4 * v, -63 * v, v);
  expect_matches_golden("title_reveal");
}
