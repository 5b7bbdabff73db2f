// The committed data files suit the game: at the game's fullest (the font,
// the fill and block sprites, the title and the backdrop) every sprite fits
// the 65536-byte sprite memory, every character the game prints has a glyph,
// and the text fits the screen layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "blitter/bank.h"
#include "blitter/sprite.h"
#include "game/flow.h"
#include "tests/support/headless.h"

TEST(DataFiles, FitTheSpriteMemoryAndTheScreen) {
  test_machine_start();
  ASSERT_EQ(chdir(QUADRILLO_DATA_DIR), 0);
  // The logo is freed before the title and the backdrop come, so they and
  // the 17 one-pixel sprites and the font must fit together.
  std::vector<Sprite*> made;
  for (int i = 0; i < 17; ++i) {
    uint8_t pixel = uint8_t(i & 15);
    made.push_back(sprite_create(COLOUR_MODE_LUMA, &pixel, PIXEL_FORMAT_BYTE, 1, 1, 0));
  }
  ASSERT_EQ(bank_load("tahoma.fnt"), -1);
  made.push_back(game_load_picture("Quadrillo.raw", 195, 26, 0, -1));
  made.push_back(game_load_picture("beach.raw", 320, 240, 0, 0));
  for (Sprite* sprite : made) EXPECT_NE(sprite, nullptr) << "refused: the sprite memory is full";
  for (int code = 32; code <= 126; ++code) EXPECT_NE(bank_sprite(code), nullptr) << "no glyph for " << code;

  int tallest = 0;
  for (int code = 32; code <= 126; ++code)
    tallest = std::max(tallest, sprite_height(bank_sprite(code)));
  EXPECT_LE(190 + tallest, 214) << "\"SPACE: start game\" runs into the scroller";
  EXPECT_LE(214 + tallest, 240) << "the scroller leaves the screen";
  for (const char* line : {"UP: rotate (anti-clockwise)", "ESC: return to title screen"})
    EXPECT_LE(30 + (text_width("%s", line) >> 16), 320) << line;
  EXPECT_LE(180 + (text_width("Score: %d", 999999) >> 16), 320);
  for (int digit = '1'; digit <= '9'; ++digit)
    EXPECT_EQ(bank_width(digit), bank_width('0')) << "the score would jitter as it counts";
  for (Sprite* sprite : made) sprite_destroy(sprite);
  bank_free();
}
