// The real game over a long stretch of play, in process: every Sprite it
// makes is given back at shut-down, and a font far larger than the sprite
// memory loads the glyphs that fit and records every width.
#include <gtest/gtest.h>
#include <unistd.h>

#include <allegro.h>

#include <string>
#include <vector>

#include "blitter/bank.h"
#include "blitter/sprite.h"
#include "game/flow.h"
#include "game/flow_internal.h"
#include "tests/support/headless.h"
#include "tools/replay/keyscript.h"

namespace {

// 3000 frames of seeded random play (soak_keys.py 1 3000): seven games
// started, three ended by GAME OVER, the others left with ESC.
const char KEYS[] = QUADRILLO_RELIABILITY_DIR "/full_game.keys";

std::string write_file(const char* name, const std::vector<uint8_t>& bytes) {
  std::string path = std::string("/tmp/quadrillo-reliability-") + std::to_string(getpid()) + "-" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

TEST(FullGame, GivesBackEverySpriteAtShutDown) {
  test_machine_start();
  std::vector<std::vector<int>> script;
  std::string error;
  ASSERT_TRUE(keyscript_read(KEYS, script, error)) << error;
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(QUADRILLO_DATA_DIR), 0);

  game_reset();
  game_load();
  ASSERT_LT(sprite_memory_free(), SPRITE_MEMORY_SIZE) << "the game made no Sprites";
  int games = 0;
  int32_t previous = game_current_state();
  for (const std::vector<int>& frame : script) {
    test_release_all_keys();
    for (int code : frame) key[code] = 1;
    game_frame();
    const int32_t state = game_current_state();
    if (state == STATE_PLAY && previous != STATE_PLAY && previous != STATE_LINE_CHECK) ++games;
    previous = state;
  }
  test_release_all_keys();
  EXPECT_GE(games, 5) << "the key script should start game after game";
  game_unload();
  EXPECT_EQ(sprite_memory_free(), SPRITE_MEMORY_SIZE);
  ASSERT_EQ(chdir(here), 0);
}

TEST(FontLimits, LoadsTheGlyphsThatFitTheSpriteMemory) {
  test_machine_start();
  // Sixteen glyphs of the largest size a record can name, 255 x 255: each
  // takes 255 * 128 = 32640 bytes, so two fit 65536 and the rest are refused.
  std::vector<uint8_t> bank;
  for (int slot = 32; slot < 48; ++slot) {
    bank.insert(bank.end(), {uint8_t(slot), 255, 255});
    bank.insert(bank.end(), 255 * 128, 0x57);
  }
  std::string path = write_file("huge.fnt", bank);
  ASSERT_EQ(bank_load(path.c_str()), -1);
  EXPECT_NE(bank_sprite(32), nullptr);
  EXPECT_NE(bank_sprite(33), nullptr);
  for (int slot = 34; slot < 48; ++slot) {
    EXPECT_EQ(bank_sprite(slot), nullptr) << slot;
    EXPECT_EQ(bank_width(slot), 255) << "a refused glyph still advances the text";
  }
  EXPECT_EQ(sprite_memory_free(), SPRITE_MEMORY_SIZE - 2 * 32640);
  EXPECT_EQ(text_width("%c%c", 40, 41), 510 * 65536);

  // A cut record at the end: what came before it stays.
  bank.resize(bank.size() - 1000);
  path = write_file("cut.fnt", bank);
  ASSERT_EQ(bank_load(path.c_str()), -1);
  EXPECT_NE(bank_sprite(32), nullptr);
  EXPECT_NE(bank_sprite(33), nullptr);
  bank_free();
  EXPECT_EQ(sprite_memory_free(), SPRITE_MEMORY_SIZE);
  std::remove(path.c_str());
  std::remove(write_file("huge.fnt", {}).c_str());
}

}  // namespace
