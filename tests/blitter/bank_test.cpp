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

// Loads a bank file holding `bytes`; `fresh` first empties the bank and starts
// the machine: clock at 0, all the sprite memory free.
int32_t load(const Bytes& bytes, bool fresh = false) {
  if (fresh) bank_free(), blitter_test_start();
  const std::string path = testing::TempDir() + "blitter_bank.fnt";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return bank_load(path.c_str());
}

Bytes operator+(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

// A record for `slot`: a width x height glyph, every pixel `value`.
Bytes solid(int slot, int width, int height, int value) {
  return Bytes{uint8_t(slot), uint8_t(width), uint8_t(height)} + Bytes(size_t(height * ((width + 1) >> 1)), uint8_t(value * 0x11));
}

// 'A' is 3 x 2 of pixels 1..6; slot 0, 'i', 255 and ' ' (height 0) are
// solid; slot 80 is named twice. Glyphs cost 8 cycles a pixel and 60 each.
const Bytes GLYPHS = Bytes{0x41, 0x03, 0x02, 0x12, 0x30, 0x45, 0x60} + solid(0, 2, 1, 4) + solid('i', 1, 3, 9) +
                     solid(0xFF, 11, 1, 1) + solid(' ', 3, 0, 0) + solid(80, 6, 6, 1) + solid(80, 2, 3, 9);
constexpr uint32_t GLYPH_CYCLES = 7 * 60 + 8 * (6 + 2 + 3 + 11 + 0 + 36 + 6) + 1;  // + the first 80 destroyed
constexpr int32_t GLYPH_BYTES = 4 + 1 + 3 + 6 + 0 + 3;

}  // namespace

TEST(Bank, LoadsEveryRecordAndMeasuresText) {
  ASSERT_EQ(load(GLYPHS, true), -1);
  EXPECT_EQ(machine_total_cycles(), GLYPH_CYCLES) << "reading the file costs nothing";
  EXPECT_EQ(sprite_memory_free(), 65536 - GLYPH_BYTES) << "the first glyph of slot 80 was given back";
  const Sprite* a = bank_sprite('A');
  ASSERT_NE(a, nullptr);
  for (int p = 1; p <= 6; ++p) EXPECT_EQ(a->variant_bitmap[4]->line[(p - 1) / 3][(p - 1) % 3], colour_encode(0, p, 4));
  EXPECT_EQ(a->variant_key[4], colour_encode(COLOUR_MODE_LUMA, 0, 4)) << "key 0 in luma mode";
  EXPECT_EQ(sprite_width(bank_sprite(80)) * 10 + sprite_height(bank_sprite(80)), 23) << "the later glyph";
  int glyphs = 0;
  for (int slot = -1; slot <= 256; ++slot) glyphs += bank_sprite(slot) != nullptr;
  EXPECT_EQ(glyphs, 6);
  EXPECT_EQ(bank_width(0) * 1000 + bank_width(-1) * 100 + bank_width(256), 2000) << "slots outside 0..255 are empty";
  const struct { const char* text; int32_t width; } rows[] = {{"", 0}, {"\x01~", 0}, {"A i\xFF", 3 + 3 + 1 + 11}, {"\x50", 2}};
  for (const auto& row : rows) EXPECT_EQ(text_width("%s", row.text), row.width * ONE) << row.text;
  EXPECT_EQ(text_width("%s", std::string(5000, 'A').c_str()), 2047 * 3 * ONE) << "cut at 2047 characters";
  EXPECT_EQ(machine_total_cycles(), GLYPH_CYCLES) << "measuring is free";
  // Drawn keyed at natural size, each at the advance of those before; colour
  // 0 is a fixed variant, which takes no random number.
  lcg_set_state(777);
  text_draw(0, 0, 0, "A\x01" "A");
  EXPECT_EQ(lcg_state(), 777u);
  EXPECT_EQ(machine_total_cycles(), GLYPH_CYCLES + 2 * (25 + 2 * 18)) << "an empty slot costs nothing";
  EXPECT_EQ(back_pixel(3, 1), colour_encode(0, 4, 0)) << "the second A at x = 3";
}

TEST(Bank, FreeClearAndFailedLoadsEmptyTheBankAndKeepTheWidths) {
  ASSERT_EQ(load(GLYPHS, true), -1);
  bank_free();
  EXPECT_EQ(machine_total_cycles(), GLYPH_CYCLES + 6) << "one cycle a glyph";
  EXPECT_EQ(sprite_memory_free(), 65536);
  ASSERT_EQ(load(GLYPHS), -1);
  std::vector<const Sprite*> held;
  for (int slot = 0; slot < 256; ++slot) held.push_back(bank_sprite(slot));
  bank_clear();
  EXPECT_EQ(bank_sprite('i'), nullptr);
  EXPECT_EQ(sprite_memory_free(), 65536 - GLYPH_BYTES) << "clear forgets, destroys nothing";
  for (const Sprite* glyph : held) sprite_destroy(const_cast<Sprite*>(glyph));
  for (bool missing : {false, true}) {
    ASSERT_EQ(load(GLYPHS), -1);
    EXPECT_EQ(missing ? bank_load("/no/such/bank.fnt") : load({}), missing ? 0 : -1);
    EXPECT_EQ(sprite_memory_free(), 65536) << "the bank is empty, missing file " << missing;
    EXPECT_EQ(text_width("A i\xFF"), 18 * ONE);
  }
}

TEST(Bank, RecordsCutShortOrRefusedByTheMemory) {
  const Bytes good = solid(90, 3, 3, 7) + solid(91, 4, 1, 2);
  for (const Bytes& tail : {Bytes{92}, Bytes{92, 4}, Bytes{92, 4, 4, 0x11, 0x11, 0x11}, Bytes{91, 8, 8, 0x22}}) {
    ASSERT_EQ(load(good + tail, true), -1) << tail.size();
    EXPECT_EQ(sprite_width(bank_sprite(90)) + sprite_width(bank_sprite(91)), 7) << tail.size();
    EXPECT_EQ(text_width("\x5A\x5B\x5C") + (bank_sprite(92) != nullptr), 7 * ONE) << "a cut record sets nothing";
  }
  bank_free();
  sprite_memory_set(5);
  ASSERT_EQ(load(solid(48, 4, 2, 1) + solid(49, 6, 2, 1) + solid(50, 1, 1, 1)), -1);
  EXPECT_TRUE(bank_sprite(48) && !bank_sprite(49) && bank_sprite(50)) << "6 bytes do not fit the 1 left";
  EXPECT_EQ(text_width("012"), 11 * ONE) << "a refused glyph still advances";
  bank_free();
}
