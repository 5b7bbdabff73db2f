// The real game run on the committed data files, photographed: the title
// menu, the play screen and the game over screen are written as PNG pictures
// into the build folder (screens/), and checked for what a player must see.
#include <gtest/gtest.h>

#include <allegro.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "blitter/sprite.h"
#include "game/flow.h"
#include "game/flow_internal.h"
#include "machine/machine.h"
#include "machine/palette.h"
#include "tests/support/headless.h"
#include "tools/common/png_io.h"

namespace {

const std::string DATA = QUADRILLO_DATA_DIR;
const std::string SCREENS = SCREENS_OUT_DIR;

BITMAP* last_shown;
void remember_shown(BITMAP* shown) { last_shown = shown; }

void save(const char* name) {
  ASSERT_NE(last_shown, nullptr);
  RGB palette[256];
  palette_compute(palette);
  std::string path = SCREENS + "/" + name;
  EXPECT_EQ(png_write_indexed(path.c_str(), last_shown->w, last_shown->h, last_shown->line[0],
                              int(last_shown->line[1] - last_shown->line[0]), palette),
            -1)
      << path;
}

// Pixels of the last shown frame in a rectangle whose luma is at least `luma`.
int bright(int x0, int y0, int x1, int y1, int luma) {
  int count = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) count += (last_shown->line[y][x] >> 4) >= luma;
  return count;
}

void run_until(int32_t state, int limit) {
  for (int i = 0; i < limit && game_current_state() != state; ++i) game_frame();
}

void tap(int scancode) {
  key[scancode] = 1;
  game_frame();
  key[scancode] = 0;
  game_frame();
}

}  // namespace

TEST(Screens, TitlePlayAndGameOverAsAPlayerSeesThem) {
  test_machine_start();
  MachineHooks hooks = machine_headless_hooks();
  hooks.presented = remember_shown;
  machine_set_hooks(hooks);
  std::error_code made;
  std::filesystem::create_directories(SCREENS, made);
  ASSERT_FALSE(made) << SCREENS;
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(DATA.c_str()), 0);
  int32_t memory = sprite_memory_free();
  game_reset();
  game_load();

  // The intro music ends and brings the title menu; let the scroller run in.
  run_until(STATE_TITLE_MENU, 12 * 50);
  ASSERT_EQ(game_current_state(), STATE_TITLE_MENU) << "menu1.psg ends within 12 seconds";
  for (int i = 0; i < 40; ++i) game_frame();
  save("title.png");
  EXPECT_GT(bright(63, 10, 257, 36, 10), 1000) << "the title picture";
  EXPECT_GT(bright(30, 60, 300, 160, 10), 800) << "the help lines";
  EXPECT_GT(bright(0, 214, 319, 239, 1), 500) << "the scroller";

  // A game: each piece is moved a few columns one way or the other, then
  // dropped, so the board fills with a spread of pieces.
  key[KEY_SPACE] = 1;
  game_frame();
  key[KEY_SPACE] = 0;
  ASSERT_EQ(game_current_state(), STATE_PLAY);
  const int moves[] = {-4, 3, 0, -2, 4, -3, 1, 2, -1, 3, -4, 0, 2};
  for (int move : moves) {
    if (move % 2 != 0) tap(KEY_UP);
    for (int i = 0; i < (move < 0 ? -move : move); ++i) tap(move < 0 ? KEY_LEFT : KEY_RIGHT);
    key[KEY_DOWN] = 1;
    run_until(STATE_LINE_CHECK, 400);
    key[KEY_DOWN] = 0;
    run_until(STATE_PLAY, 50);
  }
  for (int i = 0; i < 30; ++i) game_frame();
  ASSERT_EQ(game_current_state(), STATE_PLAY);
  save("play.png");
  EXPECT_GT(bright(3, 120, 132, 236, 12), 13 * 13 * 8) << "blocks stand bright on the board";
  EXPECT_GT(bright(180, 3, 319, 90, 12), 150) << "score, lines and level";

  // Holding DOWN stacks the pieces in the middle until the game is over.
  key[KEY_DOWN] = 1;
  run_until(STATE_GAME_OVER, 50 * 120);
  key[KEY_DOWN] = 0;
  ASSERT_EQ(game_current_state(), STATE_GAME_OVER);
  for (int i = 0; i < 30; ++i) game_frame();
  save("gameover.png");
  EXPECT_GT(bright(100, 107, 220, 125, 12), 200) << "GAME OVER";

  game_unload();
  EXPECT_EQ(sprite_memory_free(), memory);
  test_release_all_keys();
  EXPECT_EQ(chdir(here), 0);
}
