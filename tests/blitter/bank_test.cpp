#include "blitter/bank.h"
#include "blitter/picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "blitter/sprite_internal.h"
#include "tests/blitter/blitter_test_support.h"

namespace {

constexpr int32_t ONE = 0x10000;
using Bytes = std::vector<uint8_t>;

// Loads a bank file holding `bytes`.
int32_t load(const Bytes& bytes) {
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

// The glyphs of `text` drawn keyed at natural size from the top-left corner
// on a back buffer of 0xEE, in `variant`: the bytes of the first `width`
// columns of rows 0..5, row by row.
Bytes drawn(const char* text, int width, int variant = 4) {
  clear_back_buffer(0xEE);
  text_draw(0, 0, variant, "%s", text);
  Bytes out;
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < width; ++c) out.push_back(test_pixel(c, r));
  return out;
}

uint8_t lit(int p, uint32_t variant = 4) { return p < 0 ? 0xEE : colour_encode(COLOUR_MODE_LUMA, uint32_t(p), variant); }

}  // namespace

TEST(Bank, LoadsEveryRecordDrawsAndMeasuresText) {
  blitter_test_start();
  const uint32_t start = machine_total_cycles();
  ASSERT_EQ(load(GLYPHS), -1);
  EXPECT_EQ(machine_total_cycles() - start, GLYPH_CYCLES);
  EXPECT_EQ(sprite_memory_free(), 65536 - GLYPH_BYTES);
  const struct { const char* text; int32_t width; } rows[] = {{"", 0}, {"\x01~", 0}, {"A i\xFF", 3 + 3 + 1 + 11}, {"\x50", 2}};
  for (const auto& row : rows) EXPECT_EQ(text_width("%s", row.text), row.width * ONE) << row.text;
  EXPECT_EQ(text_width("%s", std::string(5000, 'A').c_str()), 2047 * 3 * ONE) << "cut at 2047 characters";
  // 'A' (pixels 1..6, 0 being the key: none here), then an empty slot, then
  // 'A' again at the advance of those before; slot 80 holds its later glyph.
  const uint32_t before = machine_total_cycles();
  EXPECT_EQ(drawn("A\x01" "A", 7), (Bytes{lit(1), lit(2), lit(3), lit(1), lit(2), lit(3), lit(-1),
                                         lit(4), lit(5), lit(6), lit(4), lit(5), lit(6), lit(-1)} + Bytes(28, 0xEE)));
  EXPECT_EQ(machine_total_cycles() - before, 2 * (25 + 2 * 18)) << "an empty slot costs nothing";
  EXPECT_EQ(drawn("P", 3), (Bytes{lit(9), lit(9), lit(-1), lit(9), lit(9), lit(-1), lit(9), lit(9), lit(-1)} + Bytes(9, 0xEE)));
  const Bytes zero = drawn("PPPP", 8, 0);
  EXPECT_EQ(Bytes(zero.begin(), zero.begin() + 8), Bytes(8, lit(9, 0))) << "variant 0, not a random one";
}

TEST(Bank, FreeAndFailedLoadsEmptyTheBankAndKeepTheWidths) {
  blitter_test_start();
  ASSERT_EQ(load(GLYPHS), -1);
  const uint32_t start = machine_total_cycles();
  bank_free();
  EXPECT_EQ(machine_total_cycles() - start, 6u) << "one cycle a glyph";
  EXPECT_EQ(sprite_memory_free(), 65536);
  for (bool missing : {false, true}) {
    ASSERT_EQ(load(GLYPHS), -1);
    EXPECT_EQ(missing ? bank_load("/no/such/bank.fnt") : load({}), missing ? 0 : -1);
    EXPECT_EQ(sprite_memory_free(), 65536) << "the bank is empty, missing file " << missing;
    EXPECT_EQ(text_width("A i\xFF"), 18 * ONE);
  }
}

TEST(Bank, RecordsCutShortOrRefusedByTheMemory) {
  const Bytes good = solid(90, 3, 3, 7) + solid(91, 4, 1, 2);
  blitter_test_start();
  for (const Bytes& tail : {Bytes{92}, Bytes{92, 4}, Bytes{92, 4, 4, 0x11, 0x11, 0x11}, Bytes{91, 8, 8, 0x22}}) {
    test_fresh([&] {
      ASSERT_EQ(load(good + tail), -1) << tail.size();
      EXPECT_EQ(text_width("\x5A\x5B\x5C"), 7 * ONE) << "a cut record sets nothing";
      EXPECT_EQ(sprite_memory_free(), 65536 - 6 - 2) << tail.size();
    });
  }
  sprite_memory_set(5);
  ASSERT_EQ(load(solid(48, 4, 2, 1) + solid(49, 6, 2, 1) + solid(50, 1, 1, 1)), -1);
  const Bytes row = drawn("012", 11);
  EXPECT_EQ(Bytes(row.begin(), row.begin() + 11), Bytes(4, lit(1)) + Bytes(6, 0xEE) + Bytes{lit(1)})
     ;
}

TEST(Picture, ReadsTheTopNibblesOfSizesUpTo512) {
  const std::string path = testing::TempDir() + "blitter_picture.raw";
  const Bytes file_bytes(513, 0xA7);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(file_bytes.data(), 1, file_bytes.size(), file);
  std::fclose(file);
  Bytes pixels(513, 0);
  EXPECT_EQ(picture_read(path.c_str(), 512, 1, 0, pixels.data()), -1);
  EXPECT_EQ(pixels[511] * 16 + pixels[512], 0xA0) << "the top nibble, and no more than asked";
  EXPECT_EQ(picture_read(path.c_str(), 1, 512, -1, pixels.data()), -1);
  EXPECT_EQ(pixels[0], 15 - 0xA);
  EXPECT_EQ(picture_read(path.c_str(), 5, 0, 0, pixels.data()), -1) << "an empty picture, as an empty Sprite";
  EXPECT_EQ(picture_read(path.c_str(), 513, 1, 0, pixels.data()) | picture_read(path.c_str(), 2, 512, 0, pixels.data()), 0)
      << "too wide, or more than the file holds";
}

