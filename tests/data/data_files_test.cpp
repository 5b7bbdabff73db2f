// The committed data files as the game uses them: every sprite fits the
// 65536-byte sprite memory in the game's order of creation, the font suits the
// screen layout, and the pictures have their keys and readable areas.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <allegro.h>

#include "blitter/bank.h"
#include "blitter/sprite.h"
#include "tests/support/headless.h"

namespace {

const std::string DATA = QUADRILLO_DATA_DIR;

std::vector<uint8_t> read_all(const std::string& name) {
  std::vector<uint8_t> bytes;
  FILE* file = std::fopen((DATA + "/" + name).c_str(), "rb");
  if (!file) return bytes;
  int c;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(uint8_t(c));
  std::fclose(file);
  return bytes;
}

// A raw picture turned into pixel values the way the game does it.
std::vector<uint8_t> raw_pixels(const std::string& name, int inverted) {
  std::vector<uint8_t> bytes = read_all(name);
  for (uint8_t& b : bytes) b = inverted ? uint8_t(15 - (b >> 4)) : uint8_t(b >> 4);
  return bytes;
}

Sprite* picture_sprite(const std::string& name, int width, int height, int key, int inverted) {
  std::vector<uint8_t> pixels = raw_pixels(name, inverted);
  if (pixels.size() != size_t(width * height)) return nullptr;
  return sprite_create(COLOUR_MODE_LUMA, pixels.data(), PIXEL_FORMAT_BYTE, width, height, key);
}

int glyph_height(int slot) {
  const Sprite* glyph = bank_sprite(slot);
  return glyph ? glyph->variant_bitmap[0]->h : -1;
}

}  // namespace

TEST(DataFiles, EverySpriteFitsTheSpriteMemoryInTheGamesOrder) {
  test_machine_start();
  sprite_memory_set(SPRITE_MEMORY_SIZE);
  bank_clear();
  // Start-up: the logo, the fill and block sprites, then the font.
  Sprite* logo = picture_sprite("logo.raw", 320, 42, 15, 0);
  ASSERT_NE(logo, nullptr) << "logo.raw missing, of the wrong size or refused";
  uint8_t ten = 10;
  Sprite* fill = sprite_create(COLOUR_MODE_CHROMA, &ten, PIXEL_FORMAT_BYTE, 1, 1, 0);
  ASSERT_NE(fill, nullptr);
  Sprite* blocks[16];
  for (int i = 15; i >= 0; --i) {
    uint8_t value = uint8_t(i);
    blocks[i] = sprite_create(COLOUR_MODE_LUMA, &value, PIXEL_FORMAT_BYTE, 1, 1, 0);
    ASSERT_NE(blocks[i], nullptr);
  }
  ASSERT_EQ(bank_load((DATA + "/tahoma.fnt").c_str()), -1);
  EXPECT_NE(bank_sprite(9), nullptr) << "the scroller's tab";
  for (int code = 32; code <= 126; ++code) EXPECT_NE(bank_sprite(code), nullptr) << "glyph " << code << " refused";
  // First change of state: the logo goes, the title and the beach come.
  sprite_destroy(logo);
  Sprite* title = picture_sprite("Quadrillo.raw", 195, 26, 0, -1);
  Sprite* beach = picture_sprite("beach.raw", 320, 240, 0, 0);
  EXPECT_NE(title, nullptr) << "Quadrillo.raw missing, of the wrong size or refused";
  EXPECT_NE(beach, nullptr) << "beach.raw missing, of the wrong size or refused";
  EXPECT_GE(sprite_memory_free(), 0);

  sprite_destroy(beach);
  sprite_destroy(title);
  for (Sprite* block : blocks) sprite_destroy(block);
  sprite_destroy(fill);
  bank_free();
  EXPECT_EQ(sprite_memory_free(), SPRITE_MEMORY_SIZE) << "every charge given back";
}

TEST(DataFiles, FontSuitsTheScreenLayout) {
  test_machine_start();
  sprite_memory_set(SPRITE_MEMORY_SIZE);
  ASSERT_EQ(bank_load((DATA + "/tahoma.fnt").c_str()), -1);
  int tallest = 0;
  for (int code = 32; code <= 126; ++code) tallest = std::max(tallest, glyph_height(code));
  EXPECT_GE(tallest, 14) << "large enough to read at 320 x 240";
  EXPECT_LE(tallest, 24) << "help lines are 26 pixels apart, the scroller starts 24 below the last";
  EXPECT_LE(190 + tallest, 214) << "\"SPACE: start game\" must not run into the scroller";
  EXPECT_LE(214 + tallest, 240) << "the scroller fits the screen";

  const char* help[] = {"LEFT/RIGHT: move block", "DOWN: fast drop", "UP: rotate (anti-clockwise)",
                        "ESC: return to title screen", "SPACE: start game"};
  for (const char* line : help) EXPECT_LE(30 + (text_width("%s", line) >> 16), 320) << line;
  EXPECT_GE(text_width("UP: rotate (anti-clockwise)") >> 16, 200) << "not cramped";
  // The score column starts at x = 180, 30 rows apart; six digits of score
  // (999999) is far beyond any game played by hand.
  EXPECT_LE(180 + (text_width("Score: %d", 999999) >> 16), 320);
  EXPECT_LE(tallest, 30);
  int32_t over = text_width("GAME OVER");
  EXPECT_GT(over, 0);
  int32_t left = 160 * 65536 - (over >> 1);
  EXPECT_GE(left, 0);
  EXPECT_LE(left + over, 320 * 65536);
  // The tab of the scroller is blank space a few spaces wide.
  EXPECT_EQ(glyph_height(9), 0);
  EXPECT_GE(bank_width(9), 2 * bank_width(32));
  EXPECT_LE(bank_width(9), 8 * bank_width(32));
  // Digits share one width so the score does not jitter as it counts.
  for (int digit = '1'; digit <= '9'; ++digit) EXPECT_EQ(bank_width(digit), bank_width('0'));
  bank_free();
}

TEST(DataFiles, PicturesHaveTheirKeysWhereTheGameNeedsThem) {
  std::vector<uint8_t> logo = raw_pixels("logo.raw", 0);
  ASSERT_EQ(logo.size(), 320u * 42u);
  int key = 0;
  for (uint8_t p : logo) key += p == 15;
  EXPECT_GT(key, 320 * 42 / 3) << "the logo's background is the key";
  EXPECT_LT(key, 320 * 42 * 9 / 10) << "and there is a logo on it";
  for (int x = 0; x < 320; ++x) EXPECT_EQ(logo[size_t(x)], 15) << "top row is background at x " << x;

  std::vector<uint8_t> title = raw_pixels("Quadrillo.raw", -1);
  ASSERT_EQ(title.size(), 195u * 26u);
  int lit = 0;
  for (uint8_t p : title) lit += p != 0;
  EXPECT_GT(lit, 195 * 26 / 5) << "the title has letters";
  EXPECT_LT(lit, 195 * 26 * 3 / 4) << "on a transparent background";
  for (int y = 0; y < 26; ++y) EXPECT_EQ(title[size_t(y * 195)], 0) << "left column transparent at row " << y;
}

TEST(DataFiles, BeachKeepsTheBoardAndScoreReadable) {
  std::vector<uint8_t> beach = raw_pixels("beach.raw", 0);
  ASSERT_EQ(beach.size(), 320u * 240u);
  auto mean = [&](int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) sum += beach[size_t(y * 320 + x)];
    return sum / double((x1 - x0 + 1) * (y1 - y0 + 1));
  };
  // Blocks are drawn at luma 15 and the score in luma up to 15: their
  // backgrounds must stay dark.
  EXPECT_LT(mean(3, 3, 132, 236), 4.0) << "the board's well";
  EXPECT_LT(mean(180, 3, 319, 90), 7.0) << "behind the score, lines and level";
  EXPECT_GT(mean(140, 100, 319, 239), 6.0) << "the scenery itself is not dark";
  int levels[16] = {};
  for (uint8_t p : beach) levels[p] += 1;
  int used = 0;
  for (int count : levels) used += count > 0;
  EXPECT_GE(used, 12) << "drawn in the grey scale, not in a few flat tones";
}
