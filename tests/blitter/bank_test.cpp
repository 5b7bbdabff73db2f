#include "blitter/bank.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "blitter/sprite.h"
#include "machine/machine.h"
#include "machine/random.h"
#include "tests/blitter/blitter_test_support.h"

namespace {

constexpr int32_t ONE = 0x10000;
constexpr uint8_t BACKGROUND = 0x01;

// Writes `bytes` to a fresh file in the test's temporary folder.
std::string write_bank(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = testing::TempDir() + "blitter_bank_" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  if (file) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

// The pixel value behind a luma-mode glyph byte is its high nibble.
int glyph_pixel(const Sprite* glyph, int column, int row) {
  return glyph->variant_bitmap[0]->line[row][column] >> 4;
}

// A record for `slot`: a width x height glyph, every pixel `value`.
std::vector<uint8_t> solid_record(int slot, int width, int height, int value) {
  std::vector<uint8_t> record = {uint8_t(slot), uint8_t(width), uint8_t(height)};
  record.insert(record.end(), size_t(height) * size_t((width + 1) >> 1), uint8_t(value * 0x11));
  return record;
}

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Every test starts from an empty bank, a full sprite memory and a clock at 0.
struct BankFixture : testing::Test {
  void SetUp() override {
    blitter_test_start();
    bank_free();
    test_machine_start();
  }
  void TearDown() override { bank_free(); }
};

}  // namespace

// --- bank_load ---------------------------------------------------------------

TEST_F(BankFixture, TheThreeByTwoAGlyphRecord) {
  const std::string path = write_bank("a", {0x41, 0x03, 0x02, 0x12, 0x30, 0x45, 0x60});
  EXPECT_EQ(bank_load(path.c_str()), -1);
  const Sprite* a = bank_sprite(65);
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(sprite_width(a), 3);
  ASSERT_EQ(sprite_height(a), 2);
  const int want[2][3] = {{1, 2, 3}, {4, 5, 6}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(glyph_pixel(a, c, r), want[r][c]) << c << "," << r;
  EXPECT_EQ(bank_width(65), 3);
  EXPECT_EQ(a->variant_key[4], colour_encode(COLOUR_MODE_LUMA, 0, 4)) << "key 0 in luma mode";
  EXPECT_EQ(sprite_memory_free(), 65536 - 4);
  EXPECT_EQ(machine_total_cycles(), 3u * 2 * 8 + 60) << "reading the file costs nothing";
  for (int slot = 0; slot < 256; ++slot) {
    if (slot != 65) {
      EXPECT_EQ(bank_sprite(slot), nullptr) << slot;
    }
  }
}

TEST_F(BankFixture, AnEmptyFileLoadsAnEmptyBank) {
  ASSERT_EQ(bank_load(write_bank("one", solid_record(66, 2, 2, 3)).c_str()), -1);
  ASSERT_NE(bank_sprite(66), nullptr);
  EXPECT_EQ(bank_load(write_bank("empty", {}).c_str()), -1);
  EXPECT_EQ(bank_sprite(66), nullptr);
  EXPECT_EQ(sprite_memory_free(), 65536);
}

TEST_F(BankFixture, AMissingFileLeavesAnEmptyBankAndKeepsTheWidths) {
  ASSERT_EQ(bank_load(write_bank("two", join({solid_record(66, 5, 2, 3), solid_record(200, 9, 1, 1)})).c_str()), -1);
  EXPECT_EQ(bank_load((testing::TempDir() + "no_such_bank.fnt").c_str()), 0);
  EXPECT_EQ(bank_sprite(66), nullptr);
  EXPECT_EQ(bank_sprite(200), nullptr);
  EXPECT_EQ(bank_width(66), 5);
  EXPECT_EQ(bank_width(200), 9);
  EXPECT_EQ(sprite_memory_free(), 65536);
}

TEST_F(BankFixture, FreeDestroysEveryGlyphForOneCycleEachAndKeepsTheWidths) {
  ASSERT_EQ(bank_load(write_bank("three", join({solid_record(1, 2, 2, 1), solid_record(128, 3, 3, 2),
                                                  solid_record(255, 4, 4, 3)})).c_str()), -1);
  EXPECT_EQ(sprite_memory_free(), 65536 - 2 - 6 - 8);
  test_machine_start();
  bank_free();
  EXPECT_EQ(machine_total_cycles(), 3u);
  EXPECT_EQ(sprite_memory_free(), 65536);
  EXPECT_EQ(bank_sprite(128), nullptr);
  EXPECT_EQ(bank_width(1), 2);
  EXPECT_EQ(bank_width(128), 3);
  EXPECT_EQ(bank_width(255), 4);
  bank_free();
  EXPECT_EQ(machine_total_cycles(), 3u) << "empty slots cost nothing";
}

TEST_F(BankFixture, ClearForgetsTheGlyphsWithoutDestroyingThem) {
  ASSERT_EQ(bank_load(write_bank("clear", solid_record(70, 4, 2, 5)).c_str()), -1);
  Sprite* kept = const_cast<Sprite*>(bank_sprite(70));
  test_machine_start();
  bank_clear();
  EXPECT_EQ(bank_sprite(70), nullptr);
  EXPECT_EQ(bank_width(70), 4);
  EXPECT_EQ(sprite_memory_free(), 65536 - 4) << "the glyph still holds its memory";
  EXPECT_EQ(machine_total_cycles(), 0u);
  sprite_destroy(kept);
}

TEST_F(BankFixture, ASlotNamedTwiceKeepsTheLaterGlyphAndFreesTheEarlier) {
  const auto file = join({solid_record(80, 6, 6, 1), solid_record(80, 2, 3, 9)});
  ASSERT_EQ(bank_load(write_bank("twice", file).c_str()), -1);
  const Sprite* glyph = bank_sprite(80);
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(sprite_width(glyph), 2);
  EXPECT_EQ(glyph_pixel(glyph, 1, 2), 9);
  EXPECT_EQ(bank_width(80), 2);
  EXPECT_EQ(sprite_memory_free(), 65536 - 3) << "the 6 x 6 glyph's 18 bytes came back";
  EXPECT_EQ(machine_total_cycles(), (6u * 6 * 8 + 60) + 1 + (2u * 3 * 8 + 60));
}

TEST_F(BankFixture, ARecordCutShortIsDroppedAndTheGlyphsBeforeItStay) {
  const auto good = join({solid_record(90, 3, 3, 7), solid_record(91, 4, 1, 2)});
  struct Case { const char* name; std::vector<uint8_t> tail; } cases[] = {
      {"slot_only", {92}},
      {"no_height", {92, 4}},
      {"short_pixels", {92, 4, 4, 0x11, 0x11, 0x11}},
      {"one_pixel_byte_short", {92, 3, 2, 0x11, 0x11, 0x11}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(bank_load(write_bank(c.name, join({good, c.tail})).c_str()), -1) << c.name;
    EXPECT_NE(bank_sprite(90), nullptr) << c.name;
    EXPECT_NE(bank_sprite(91), nullptr) << c.name;
    EXPECT_EQ(bank_sprite(92), nullptr) << c.name;
    EXPECT_EQ(bank_width(92), 0) << c.name << ": a dropped record sets no width";
    EXPECT_EQ(sprite_memory_free(), 65536 - 6 - 2) << c.name;
  }
}

TEST_F(BankFixture, ACutRecordDoesNotReplaceAnEarlierGlyphOfItsSlot) {
  const auto file = join({solid_record(93, 3, 1, 4), std::vector<uint8_t>{93, 8, 8, 0x22}});
  ASSERT_EQ(bank_load(write_bank("cut_same_slot", file).c_str()), -1);
  ASSERT_NE(bank_sprite(93), nullptr);
  EXPECT_EQ(sprite_width(bank_sprite(93)), 3);
  EXPECT_EQ(bank_width(93), 3);
}

TEST_F(BankFixture, AGlyphRefusedByTheMemoryLeavesItsSlotEmptyButSetsItsWidth) {
  sprite_memory_set(5);
  ASSERT_EQ(bank_load(write_bank("tight", join({solid_record(48, 4, 2, 1), solid_record(49, 6, 2, 1),
                                                 solid_record(50, 1, 1, 1)})).c_str()), -1);
  EXPECT_NE(bank_sprite(48), nullptr);
  EXPECT_EQ(bank_sprite(49), nullptr) << "6 bytes do not fit the 1 left";
  EXPECT_EQ(bank_width(49), 6);
  EXPECT_NE(bank_sprite(50), nullptr) << "a later, smaller glyph still fits";
  EXPECT_EQ(sprite_memory_free(), 0);
  bank_free();
  sprite_memory_set(SPRITE_MEMORY_SIZE);
}

// --- text_width --------------------------------------------------------------

TEST_F(BankFixture, TextWidthSumsTheWidthsOfEveryCharacter) {
  ASSERT_EQ(bank_load(write_bank("ab", join({solid_record('A', 5, 2, 1), solid_record('B', 7, 2, 1),
                                               solid_record(0xE9, 11, 1, 1), solid_record(' ', 3, 0, 0)})).c_str()), -1);
  EXPECT_EQ(text_width("%s", ""), 0);
  EXPECT_EQ(text_width("AB"), (5 + 7) * ONE);
  EXPECT_EQ(text_width("%s%c", "BAB", 'A'), (7 + 5 + 7 + 5) * ONE);
  EXPECT_EQ(text_width("A B"), (5 + 3 + 7) * ONE) << "a glyph of height 0 still advances";
  EXPECT_EQ(text_width("\xE9"), 11 * ONE) << "codes 128..255 are their own slots";
  // Widths last for the whole process; no test here ever loads slot '~'.
  EXPECT_EQ(text_width("A~"), 5 * ONE) << "a slot never defined has width 0";
  EXPECT_EQ(machine_total_cycles(), uint32_t((5 * 2 + 7 * 2 + 11 + 0) * 8 + 4 * 60)) << "measuring is free";
}

TEST_F(BankFixture, TextWidthCountsSlotsWhoseGlyphsAreGone) {
  ASSERT_EQ(bank_load(write_bank("gone", solid_record('Q', 9, 2, 1)).c_str()), -1);
  bank_free();
  EXPECT_EQ(text_width("QQQ"), 27 * ONE);
}

TEST_F(BankFixture, LongTextIsCutAt2047Characters) {
  ASSERT_EQ(bank_load(write_bank("long", solid_record('x', 1, 1, 3)).c_str()), -1);
  const std::string text(5000, 'x');
  EXPECT_EQ(text_width("%s", text.c_str()), 2047 * ONE);
  test_machine_start();
  text_draw(0, 0, 2, "%s%s", text.c_str(), text.c_str());
  EXPECT_EQ(machine_total_cycles(), 2047u * (25 + 1 * (15 + 1))) << "2047 glyphs drawn, no more";
}

// --- text_draw ---------------------------------------------------------------

TEST_F(BankFixture, TextDrawPlacesEachGlyphAtTheAdvanceOfThoseBefore) {
  // 'A' is 3 x 2 of pixels 1..6, 'i' is 1 x 3 of value 9 with a width of 1.
  ASSERT_EQ(bank_load(write_bank("draw", join({{0x41, 0x03, 0x02, 0x12, 0x30, 0x45, 0x60},
                                                 solid_record('i', 1, 3, 9)})).c_str()), -1);
  clear_back_buffer(BACKGROUND);
  test_machine_start();
  text_draw(10 * ONE, 20 * ONE, 9, "A%ciA", 'i');
  const uint32_t a_cost = 25 + 2 * (15 + 3);
  const uint32_t i_cost = 25 + 3 * (15 + 1);
  EXPECT_EQ(machine_total_cycles(), 2 * a_cost + 2 * i_cost);
  auto byte = [](int p) { return colour_encode(COLOUR_MODE_LUMA, uint32_t(p), 9); };
  EXPECT_EQ(back_pixel(10, 20), byte(1));
  EXPECT_EQ(back_pixel(12, 21), byte(6));
  EXPECT_EQ(back_pixel(13, 22), byte(9)) << "first i at x = 13";
  EXPECT_EQ(back_pixel(14, 20), byte(9)) << "second i at x = 14";
  EXPECT_EQ(back_pixel(15, 20), byte(1)) << "second A at x = 15";
  EXPECT_EQ(back_pixel(17, 21), byte(6));
  EXPECT_EQ(test_count_pixels(machine_back_buffer(), BACKGROUND), 320 * 240 - 2 * 6 - 2 * 3);
}

TEST_F(BankFixture, TextDrawIsKeyedOnPixelZero) {
  ASSERT_EQ(bank_load(write_bank("keyed", {'o', 2, 2, 0x50, 0x05}).c_str()), -1);
  clear_back_buffer(BACKGROUND);
  text_draw(0, 0, 10, "o");
  EXPECT_EQ(back_pixel(0, 0), colour_encode(COLOUR_MODE_LUMA, 5, 10));
  EXPECT_EQ(back_pixel(1, 0), BACKGROUND);
  EXPECT_EQ(back_pixel(0, 1), BACKGROUND);
  EXPECT_EQ(back_pixel(1, 1), colour_encode(COLOUR_MODE_LUMA, 5, 10));
}

TEST_F(BankFixture, NegativeColourDrawsOneRandomVariantPerCharacterEmptySlotsIncluded) {
  ASSERT_EQ(bank_load(write_bank("random", join({solid_record('a', 1, 1, 15), solid_record('b', 2, 1, 15)})).c_str()), -1);
  clear_back_buffer(BACKGROUND);
  const uint32_t start = 0x12345678;
  lcg_set_state(start);
  // 'z' has no glyph and width 0: it still takes its random number.
  text_draw(ONE * 100, ONE * 50, -1, "azbza");
  const uint32_t after = lcg_state();
  lcg_set_state(start);
  std::vector<int> variants;
  for (int i = 0; i < 5; ++i) variants.push_back(lcg_rand() / 2047);
  EXPECT_EQ(lcg_state(), after) << "exactly five calls";
  auto variant_at = [](int c) { return (back_pixel(c, 50) ^ 0x0A) & 0x0F; };
  EXPECT_EQ(variant_at(100), variants[0] & 15);
  EXPECT_EQ(variant_at(101), variants[2] & 15);
  EXPECT_EQ(variant_at(102), variants[2] & 15);
  EXPECT_EQ(variant_at(103), variants[4] & 15);
  EXPECT_EQ(back_pixel(104, 50), BACKGROUND);
}

TEST_F(BankFixture, RandomVariantSixteenDrawsAsVariantZero) {
  ASSERT_EQ(bank_load(write_bank("sixteen", solid_record('a', 1, 1, 15)).c_str()), -1);
  // Find a generator state whose next number is 32767 / 2047 = 16 territory.
  uint32_t state = 1;
  for (;;) {
    lcg_set_state(state);
    if (lcg_rand() >= 16 * 2047) break;
    state = lcg_state();
  }
  clear_back_buffer(BACKGROUND);
  lcg_set_state(state);
  text_draw(0, 0, -1, "a");
  EXPECT_EQ(back_pixel(0, 0), colour_encode(COLOUR_MODE_LUMA, 15, 0));
}

TEST_F(BankFixture, FixedColourDrawsCallNoRandomNumber) {
  ASSERT_EQ(bank_load(write_bank("fixed", solid_record('a', 1, 1, 15)).c_str()), -1);
  lcg_set_state(777);
  text_draw(0, 0, 9, "aaaa");
  text_draw(0, 0, 0, "a");
  EXPECT_EQ(lcg_state(), 777u);
}
