#include "blitter/bank.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "machine/random.h"
#include "tests/blitter/blitter_test_support.h"

namespace {

constexpr int32_t ONE = 0x10000;
using Bytes = std::vector<uint8_t>;

// An empty bank, all the sprite memory free and the clock at 0.
void fresh() {
  bank_free();
  blitter_test_start();
}

// Loads a bank file holding `bytes`.
int32_t load(const Bytes& bytes) {
  const std::string path = testing::TempDir() + "blitter_bank.fnt";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return bank_load(path.c_str());
}

// A record for `slot`: a width x height glyph, every pixel `value`.
Bytes solid(int slot, int width, int height, int value) {
  Bytes record = {uint8_t(slot), uint8_t(width), uint8_t(height)};
  record.insert(record.end(), size_t(height) * size_t((width + 1) >> 1), uint8_t(value * 0x11));
  return record;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// 'A' is 3 x 2 of pixels 1..6; slot 0, 'i', 0xE9 and ' ' (height 0) are
// solid; slot 80 is named twice.
const Bytes GLYPHS = Bytes{0x41, 0x03, 0x02, 0x12, 0x30, 0x45, 0x60} + solid(0, 2, 1, 4) + solid('i', 1, 3, 9) +
                   solid(0xE9, 11, 1, 1) + solid(' ', 3, 0, 0) + solid(80, 6, 6, 1) + solid(80, 2, 3, 9);
constexpr uint32_t FONT_CYCLES = (48 + 60) + (16 + 60) + (24 + 60) + (88 + 60) + 60 + (288 + 60) + 1 + (48 + 60);
constexpr int32_t FONT_BYTES = 4 + 1 + 3 + 6 + 0 + 3;

}  // namespace

TEST(Bank, LoadsEveryRecordAndMeasuresText) {
  fresh();
  ASSERT_EQ(load(GLYPHS), -1);
  EXPECT_EQ(machine_total_cycles(), FONT_CYCLES) << "reading the file costs nothing";
  EXPECT_EQ(sprite_memory_free(), 65536 - FONT_BYTES) << "the first glyph of slot 80 was given back";
  const Sprite* a = bank_sprite('A');
  ASSERT_NE(a, nullptr);
  for (int p = 1; p <= 6; ++p) EXPECT_EQ(a->variant_bitmap[4]->line[(p - 1) / 3][(p - 1) % 3], colour_encode(0, p, 4));
  EXPECT_EQ(a->variant_key[4], colour_encode(COLOUR_MODE_LUMA, 0, 4)) << "key 0 in luma mode";
  EXPECT_EQ(sprite_width(bank_sprite(80)) * 10 + sprite_height(bank_sprite(80)), 23) << "the later glyph";
  int glyphs = 0;
  for (int slot = 0; slot < 256; ++slot) glyphs += bank_sprite(slot) != nullptr;
  EXPECT_EQ(glyphs, 6);
  const struct { const char* text; int32_t width; } rows[] = {
      {"", 0}, {"A", 3}, {"\x01", 0}, {"A i\xE9", 3 + 3 + 1 + 11}, {"\x50~", 2}};
  for (const auto& row : rows) EXPECT_EQ(text_width("%s", row.text), row.width * ONE) << row.text;
  EXPECT_EQ(bank_width(0), 2);
  EXPECT_EQ(text_width("%s", std::string(5000, 'A').c_str()), 2047 * 3 * ONE) << "cut at 2047 characters";
  EXPECT_EQ(machine_total_cycles(), FONT_CYCLES) << "measuring is free";
}

TEST(Bank, FreeClearAndFailedLoadsKeepTheWidths) {
  fresh();
  ASSERT_EQ(load(GLYPHS), -1);
  bank_free();
  EXPECT_EQ(machine_total_cycles(), FONT_CYCLES + 6) << "one cycle a glyph";
  EXPECT_EQ(sprite_memory_free(), 65536);
  EXPECT_EQ(text_width("A i\xE9"), 18 * ONE) << "the widths stay";
  ASSERT_EQ(load(GLYPHS), -1);
  std::vector<const Sprite*> held;
  for (int slot = 0; slot < 256; ++slot) held.push_back(bank_sprite(slot));
  bank_clear();
  EXPECT_EQ(bank_sprite('i'), nullptr);
  EXPECT_EQ(sprite_memory_free(), 65536 - FONT_BYTES) << "clear forgets, destroys nothing";
  for (const Sprite* glyph : held) sprite_destroy(const_cast<Sprite*>(glyph));
  ASSERT_EQ(load(GLYPHS), -1);
  EXPECT_EQ(load({}), -1);
  EXPECT_EQ(sprite_memory_free(), 65536) << "an empty file empties the bank";
  ASSERT_EQ(load(GLYPHS), -1);
  EXPECT_EQ(bank_load((testing::TempDir() + "no_such_bank.fnt").c_str()), 0);
  EXPECT_EQ(sprite_memory_free(), 65536) << "a missing file empties the bank";
  EXPECT_EQ(text_width("A i\xE9"), 18 * ONE);
}

TEST(Bank, RecordsCutShortOrRefusedByTheMemory) {
  fresh();
  const Bytes good = solid(90, 3, 3, 7) + solid(91, 4, 1, 2);
  for (const Bytes& tail : {Bytes{92}, Bytes{92, 4}, Bytes{92, 4, 4, 0x11, 0x11, 0x11}, Bytes{91, 8, 8, 0x22}}) {
    ASSERT_EQ(load(good + tail), -1) << tail.size();
    EXPECT_EQ(sprite_width(bank_sprite(90)) + sprite_width(bank_sprite(91)), 7) << tail.size();
    EXPECT_EQ(bank_sprite(92), nullptr) << tail.size();
    EXPECT_EQ(text_width("\x5A\x5B\x5C"), 7 * ONE) << "a cut record sets no width";
  }
  fresh();
  sprite_memory_set(5);
  ASSERT_EQ(load(solid(48, 4, 2, 1) + solid(49, 6, 2, 1) + solid(50, 1, 1, 1)), -1);
  EXPECT_EQ(bank_sprite(49), nullptr) << "6 bytes do not fit the 1 left";
  EXPECT_TRUE(bank_sprite(48) && bank_sprite(50)) << "a later, smaller glyph still fits";
  EXPECT_EQ(text_width("012"), 11 * ONE) << "a refused glyph still advances";
  bank_free();
}

TEST(Bank, TextDrawsKeyedGlyphsAtTheirAdvances) {
  fresh();
  ASSERT_EQ(load(GLYPHS), -1);
  clear_back_buffer(0x01);
  test_machine_start();
  lcg_set_state(777);
  text_draw(10 * ONE, 20 * ONE, 9, "A%ci\x01" "A", 'i');
  EXPECT_EQ(machine_total_cycles(), 2 * (25 + 2 * 18) + 2 * (25 + 3 * 16)) << "an empty slot costs nothing";
  EXPECT_EQ(lcg_state(), 777u) << "a fixed colour draws no random number";
  // Luma-mode pixel p in variant 9 is (p << 4 | 9) ^ 0x0A; pixel 0 is the key.
  const struct { int c, r; uint8_t want; } pixels[] = {
      {10, 20, 0x13}, {12, 21, 0x63}, {13, 22, 0x93}, {14, 20, 0x93}, {15, 20, 0x13}, {17, 21, 0x63}, {18, 20, 0x01}};
  for (const auto& p : pixels) EXPECT_EQ(back_pixel(p.c, p.r), p.want) << p.c << "," << p.r;
  EXPECT_EQ(test_count_pixels(machine_back_buffer(), 0x01), 320 * 240 - 2 * 6 - 2 * 3);
  ASSERT_EQ(load(Bytes{'o', 2, 1, 0x50} + solid('a', 1, 1, 15)), -1);
  clear_back_buffer(0x01);
  text_draw(0, 0, 10, "o");
  EXPECT_EQ(back_pixel(0, 0) * 256 + back_pixel(1, 0), 0x5001) << "pixel 0 is not drawn";
  // 'z' has no glyph and width 0: it still takes its random number. From
  // 0xF01BF641 the state becomes 0x7FFF0000: number 32767, variant 16, drawn as 0.
  for (uint32_t start : {0x12345678u, 0xF01BF641u}) {
    lcg_set_state(start);
    std::vector<int> variants;
    for (int i = 0; i < 3; ++i) variants.push_back(lcg_rand() / 2047);
    const uint32_t after = lcg_state();
    lcg_set_state(start);
    text_draw(100 * ONE, 50 * ONE, -1, "aza");
    EXPECT_EQ(lcg_state(), after) << "one number a character";
    EXPECT_EQ(back_pixel(100, 50), colour_encode(0, 15, uint32_t(variants[0]))) << variants[0];
    EXPECT_EQ(back_pixel(101, 50), colour_encode(0, 15, uint32_t(variants[2]))) << variants[2];
  }
  EXPECT_EQ(back_pixel(100, 50), 0xFA) << "variant 16";
  bank_free();
}
