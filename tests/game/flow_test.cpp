#include <gtest/gtest.h>

#include <allegro.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "blitter/sprite.h"
#include "game/board.h"
#include "game/board_internal.h"
#include "game/flow.h"
#include "game/flow_internal.h"
#include "game/score.h"
#include "game/score_internal.h"
#include "machine/machine.h"
#include "machine/random.h"
#include "tests/support/headless.h"

namespace {

// What the data folder of a test run holds. A count of -1 leaves the file out.
struct DataFiles {
  int  menu1_frames = 400;  // empty frames of the once-played title music
  bool menu2 = true;        // looping
  bool game = true;         // looping
  int  logo_bytes = 320 * 42;
  int  title_bytes = 195 * 26;
  int  beach_bytes = 320 * 240;
};

BITMAP* last_shown;
void remember_shown(BITMAP* shown) { last_shown = shown; }

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::vector<uint8_t> psg(int frames) {
  std::vector<uint8_t> bytes = {'P', 'S', 'G', 0x1A, 7, 0x38, 8, 0x0F};
  for (int i = 0; i < frames; ++i) bytes.push_back(0xFF);
  return bytes;
}

// Runs the real game on the test machine in a folder of its own, from the
// program's start state.
class GameRun {
 public:
  explicit GameRun(const DataFiles& files) {
    test_machine_start();
    MachineHooks hooks = machine_headless_hooks();
    hooks.presented = remember_shown;
    machine_set_hooks(hooks);
    char here[4096];
    if (getcwd(here, sizeof here)) previous_dir_ = here;
    dir_ = testing::TempDir() + "flow_test_" + std::to_string(getpid()) + "_" +
           std::to_string(++count_);
    // A folder left by an earlier run under the same process id must not
    // lend this run its files.
    std::error_code made;
    std::filesystem::remove_all(dir_, made);
    std::filesystem::create_directories(dir_, made);
    EXPECT_FALSE(made) << dir_;
    // An 8 x 8 block of luma 15 for every printable character.
    std::vector<uint8_t> font;
    for (int c = ' '; c <= 'z'; ++c) {
      font.insert(font.end(), {uint8_t(c), 8, 8});
      font.insert(font.end(), 32, 0xFF);
    }
    write_file(dir_ + "/tahoma.fnt", font);
    if (files.menu1_frames >= 0) write_file(dir_ + "/menu1.psg", psg(files.menu1_frames));
    if (files.menu2) write_file(dir_ + "/menu2.psg", psg(3));
    if (files.game) write_file(dir_ + "/game.psg", psg(5));
    if (files.logo_bytes >= 0) write_file(dir_ + "/logo.raw", std::vector<uint8_t>(files.logo_bytes, 0x30));
    if (files.title_bytes >= 0) write_file(dir_ + "/Quadrillo.raw", std::vector<uint8_t>(files.title_bytes, 0x00));
    if (files.beach_bytes >= 0) write_file(dir_ + "/beach.raw", std::vector<uint8_t>(files.beach_bytes, 0x20));
    EXPECT_EQ(chdir(dir_.c_str()), 0);
    memory_before_ = sprite_memory_free();
    game_reset();
    game_load();
  }
  ~GameRun() {
    game_unload();
    EXPECT_EQ(sprite_memory_free(), memory_before_) << "every Sprite was given back";
    test_release_all_keys();
    if (!previous_dir_.empty()) {
      EXPECT_EQ(chdir(previous_dir_.c_str()), 0);
      std::error_code removed;
      std::filesystem::remove_all(dir_, removed);
    }
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) game_frame();
  }

 private:
  std::string dir_, previous_dir_;
  int32_t memory_before_ = 0;
  static inline int count_ = 0;
};

FlowState& flow() { return flow_state(); }

// From the intro, SPACE starts a game at once.
void start_game(GameRun& run) {
  key[KEY_SPACE] = 1;
  run.frames(1);
  key[KEY_SPACE] = 0;
  ASSERT_EQ(game_current_state(), STATE_PLAY);
}

// Fills `row` except column `gap` (-1: none) with colour 2.
void fill_row(int row, int gap = -1) {
  for (int c = 0; c < BOARD_COLUMNS; ++c)
    if (c != gap) board_set(float(c), float(row), 2);
}

// Puts the falling piece (a square) resting on the floor at columns 4..5,
// ready to lock in the next play frame.
void square_on_floor() {
  Piece p = piece_template(3);
  p.y = 17.0f;
  piece_current() = p;
  piece_stamp(p.colour);
  score_state_mutable().drop_countdown = 1;
}

}  // namespace

TEST(GameStart, BeginsInTheLogoIntroWithItsPictures) {
  GameRun run{DataFiles{}};
  EXPECT_EQ(game_current_state(), STATE_LOGO_INTRO);
  ASSERT_NE(game_logo_sprite(), nullptr);
  EXPECT_EQ(game_title_sprite(), nullptr) << "loaded at the first change of state";
  run.frames(1);
  EXPECT_EQ(test_count_pixels(last_shown, colour_encode(COLOUR_MODE_CHROMA, 10, 15)), 320 * 240)
      << "angle 0: only the white fill";
  run.frames(238);
  EXPECT_EQ(game_current_state(), STATE_LOGO_INTRO);
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_REVEAL) << "the 240th frame ends the intro";
  EXPECT_EQ(game_logo_sprite(), nullptr);
  EXPECT_NE(game_title_sprite(), nullptr);
  EXPECT_NE(game_beach_sprite(), nullptr);
  run.frames(15);
  EXPECT_EQ(flow().fill_luma, 0);
}

TEST(GameStart, MissingOrShortPicturesAreAbsent) {
  DataFiles files;
  files.logo_bytes = -1;
  files.title_bytes = 195 * 26 - 1;
  GameRun run{files};
  EXPECT_EQ(game_logo_sprite(), nullptr);
  start_game(run);
  EXPECT_EQ(game_title_sprite(), nullptr) << "one byte short";
  EXPECT_NE(game_beach_sprite(), nullptr);
  run.frames(3);  // every change of state tries the title again; no backdrop is lost
}

TEST(GameStart, RawPicturesUseTheirTopNibble) {
  GameRun run{DataFiles{}};
  write_file("inverted.raw", {0x10, 0xF3});
  Sprite* plain = game_load_picture("inverted.raw", 2, 1, 0, 0);
  Sprite* inverted = game_load_picture("inverted.raw", 2, 1, 0, -1);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(inverted, nullptr);
  EXPECT_EQ(plain->variant_bitmap[10]->line[0][0], colour_encode(0, 1, 10));
  EXPECT_EQ(plain->variant_bitmap[10]->line[0][1], colour_encode(0, 15, 10));
  EXPECT_EQ(inverted->variant_bitmap[10]->line[0][0], colour_encode(0, 14, 10));
  EXPECT_EQ(inverted->variant_bitmap[10]->line[0][1], colour_encode(0, 0, 10));
  sprite_destroy(plain);
  sprite_destroy(inverted);
  EXPECT_EQ(game_load_picture("inverted.raw", 3, 1, 0, 0), nullptr) << "shorter than its size";
}

TEST(TitleScreens, SpaceInTheIntroStartsAGameWithoutRelease) {
  GameRun run{DataFiles{}};
  key[KEY_SPACE] = 1;  // held from before the program started
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_PLAY);
  EXPECT_EQ(flow().play_screen, -1);
  EXPECT_EQ(flow().board_luma, 255);
  EXPECT_EQ(flow().fill_luma, 0);
}

TEST(TitleScreens, SpaceInTheRevealStartsAGame) {
  GameRun run{DataFiles{}};
  run.frames(245);
  ASSERT_EQ(game_current_state(), STATE_TITLE_REVEAL);
  key[KEY_SPACE] = 1;
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_PLAY);
}

TEST(TitleScreens, MusicEndBringsTheMenu) {
  DataFiles files;
  files.menu1_frames = 300;
  GameRun run{files};
  run.frames(300);
  EXPECT_EQ(game_current_state(), STATE_TITLE_REVEAL);
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU) << "the 301st step finds the end";
  EXPECT_EQ(flow().fill_luma, 0);
  run.frames(50);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU) << "menu2.psg loops";
}

TEST(TitleScreens, MusicEndingInTheIntroSkipsTheReveal) {
  DataFiles files;
  files.menu1_frames = 100;
  GameRun run{files};
  run.frames(101);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU);
  EXPECT_EQ(flow().fill_luma, 0);
}

TEST(TitleScreens, WithoutTitleMusicTheMenuFollowsTheFirstFrame) {
  DataFiles files;
  files.menu1_frames = -1;
  GameRun run{files};
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU);
}

TEST(TitleScreens, MenuStartsOnlyAfterAllKeysWereUp) {
  DataFiles files;
  files.menu1_frames = 10;
  GameRun run{files};
  key[KEY_A] = 1;  // down when the menu appears
  run.frames(11);
  ASSERT_EQ(game_current_state(), STATE_TITLE_MENU);
  key[KEY_SPACE] = 1;
  run.frames(5);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU) << "no moment without keys yet";
  test_release_all_keys();
  run.frames(1);
  key[KEY_A] = 1;
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU) << "any key counts, but only SPACE starts";
  key[KEY_SPACE] = 1;
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_PLAY);
}

TEST(KeyLatch, CountsAKeyOnlyAfterARelease) {
  GameRun run{DataFiles{}};
  key_latch_arm();
  EXPECT_EQ(any_key_after_release(), 0) << "no key down";
  EXPECT_EQ(flow().key_latch, 0);
  key[KEY_Z] = 1;
  EXPECT_EQ(any_key_after_release(), 1);
  EXPECT_EQ(any_key_after_release(), 1) << "every frame while it stays down";
  key_latch_arm();
  EXPECT_EQ(any_key_after_release(), 0) << "armed while a key is down";
  key[KEY_Z] = 0;
  key[KEY_RIGHT] = 1;
  EXPECT_EQ(any_key_after_release(), 0) << "another key without a moment of no keys";
  key[KEY_RIGHT] = 0;
  EXPECT_EQ(any_key_after_release(), 0);
  key[KEY_1] = 1;
  EXPECT_EQ(any_key_after_release(), 1) << "row 0 counts too";
}

TEST(Play, ArrowsActWhenTheyGoDown) {
  GameRun run{DataFiles{}};
  start_game(run);
  board_clear();
  Piece p = piece_template(4);  // T at columns 4..6
  p.y = 5.0f;
  piece_current() = p;
  score_state_mutable().drop_countdown = 100;
  key[KEY_LEFT] = 1;
  run.frames(3);
  EXPECT_EQ(piece_current().x, 4.0f) << "held: one move only";
  key[KEY_LEFT] = 0;
  run.frames(1);
  key[KEY_RIGHT] = 1;
  key[KEY_UP] = 1;
  run.frames(1);
  EXPECT_EQ(piece_current().x, 5.0f);
  EXPECT_EQ(piece_current().blocks[3][0], -1.0f) << "the upper block turned to the left";
  EXPECT_EQ(flow().prev_arrows, 0xC0);
}

TEST(Play, EscReturnsToTheTitleMenu) {
  GameRun run{DataFiles{}};
  start_game(run);
  key[KEY_ESC] = 1;
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU);
  EXPECT_EQ(flow().play_screen, 0);
}

TEST(Play, EscInALockingFrameWaitsForTheLineCheck) {
  GameRun run{DataFiles{}};
  start_game(run);
  board_clear();
  square_on_floor();
  key[KEY_ESC] = 1;
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_LINE_CHECK) << "the lock wins";
  EXPECT_EQ(flow().play_screen, 0);
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_PLAY);
  EXPECT_EQ(flow().play_screen, -1);
  EXPECT_EQ(score_state().gravity_delay, 53) << "the game goes on, not a new one";
  EXPECT_EQ(board_get(4, 17), 7) << "the board was kept";
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU) << "the ESC still held";
}

TEST(Play, ALockWithoutAFullRowSpendsOneFrameInTheLineCheck) {
  GameRun run{DataFiles{}};
  start_game(run);
  board_clear();
  square_on_floor();
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_LINE_CHECK);
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_PLAY);
  EXPECT_EQ(flow().check_row, -1);
  float y = piece_current().y;
  EXPECT_EQ(y, 0.0f);
  run.frames(1);
  EXPECT_EQ(piece_current().y, 1.0f) << "the new piece falls in its first play frame";
}

TEST(Play, TwoAdjacentFullRowsAreClearedOneAfterTheOther) {
  GameRun run{DataFiles{}};
  start_game(run);
  board_clear();
  fill_row(17, 4);
  fill_row(16, 4);
  board_set(5, 16, 0);
  board_set(5, 17, 0);
  board_set(3, 15, 9);  // rides down two rows
  square_on_floor();    // fills columns 4..5 of rows 16 and 17
  std::vector<int> states;
  for (int i = 0; i < 10; ++i) {
    game_frame();
    states.push_back(game_current_state());
  }
  const int P = STATE_PLAY, K = STATE_LINE_CHECK, C = STATE_LINE_CLEAR;
  EXPECT_EQ(states, (std::vector<int>{K, C, C, C, K, C, C, C, K, P}))
      << "mark, three frames, collapse, the same row again";
  EXPECT_EQ(score_state().pending_lines, 2);
  EXPECT_EQ(board_get(3, 17), 9);
  EXPECT_EQ(board_get(3, 15), 0);
  run.frames(1);
  EXPECT_EQ(score_state().score, 100) << "two rows at once";
  EXPECT_EQ(score_state().lines, 2);
}

TEST(Play, MarkedRowIsShownGreyForThreeFrames) {
  GameRun run{DataFiles{}};
  start_game(run);
  board_clear();
  fill_row(17, 4);
  board_set(5, 17, 0);
  square_on_floor();
  run.frames(2);  // lock, then the check marks row 17
  ASSERT_EQ(game_current_state(), STATE_LINE_CLEAR);
  EXPECT_EQ(board_get(0, 17), MARK_COLOUR);
  run.frames(1);
  EXPECT_EQ(last_shown->line[3 + 13 * 17][3], colour_encode(COLOUR_MODE_LUMA, 15, MARK_COLOUR));
}

TEST(GameOver, DarkensTheBoardAndWaitsForAFreshKey) {
  GameRun run{DataFiles{}};
  start_game(run);
  board_clear();
  for (int r = 0; r < BOARD_ROWS; ++r) fill_row(r, 0);  // column 0 empty: no full row
  square_on_floor();
  lcg_set_state(1);
  lcg_rand();         // the next piece is the square (18467), which cannot fit
  key[KEY_DOWN] = 1;  // held from the play state
  run.frames(2);
  ASSERT_EQ(game_current_state(), STATE_GAME_OVER);
  run.frames(79);
  EXPECT_EQ(flow().board_luma, 18);
  run.frames(1);
  EXPECT_EQ(flow().board_luma, 16) << "80 frames from 255";
  run.frames(20);
  EXPECT_EQ(flow().board_luma, 16);
  EXPECT_EQ(last_shown->line[3][30], colour_encode(COLOUR_MODE_LUMA, 1, 2)) << "luma 1";
  EXPECT_EQ(game_current_state(), STATE_GAME_OVER) << "DOWN was held from the play state";
  key[KEY_DOWN] = 0;
  run.frames(1);
  key[KEY_X] = 1;
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU);
  EXPECT_EQ(flow().play_screen, 0);
  EXPECT_EQ(score_state().drop_countdown, 1) << "the next game's first piece falls at once";
}

TEST(MissingMusic, WithoutGameMusicEachGameEndsAfterOneFrame) {
  DataFiles files;
  files.game = false;
  GameRun run{files};
  start_game(run);
  run.frames(1);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU);
  EXPECT_EQ(flow().play_screen, -1) << "the menu is drawn over the playfield";
}

TEST(MissingMusic, WithoutMenuMusicNoGameStartsFromTheMenu) {
  DataFiles files;
  files.menu1_frames = -1;
  files.menu2 = false;
  GameRun run{files};
  run.frames(5);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU);
  key[KEY_SPACE] = 1;
  run.frames(3);
  EXPECT_EQ(game_current_state(), STATE_TITLE_MENU)
      << "the menu's silent music overrides the start in the same frame";
}

namespace {
int refuses(int, int, int) { return -1; }
int presents_seen;
void count_present(BITMAP*) { ++presents_seen; }
}  // namespace

TEST(GameStartDeathTest, WithoutADisplayItSaysSoAndEndsWithoutDrawing) {
  // The child process runs the whole program from its start: no graphics mode
  // can be set, so the machine reports failure before presenting anything.
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        MachineHooks hooks{};
        hooks.set_gfx_mode = refuses;
        hooks.presented = count_present;
        hooks.unpaced = -1;
        hooks.no_system = -1;
        machine_set_hooks(hooks);
        int status = game_main();
        std::exit(presents_seen == 0 ? status : 100 + presents_seen);
      },
      testing::ExitedWithCode(1), "^quadrillo: no display could be opened\n$");
}
