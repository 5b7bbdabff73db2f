// The game flow where the golden replays do not go: missing music, key
// latches with keys held across a change of screen, ESC in a locking frame,
// a game after a game over, and a start without a display. Each case runs
// the real game (game_start, game_frame, game_stop) in a folder of small
// made-up data files, from program start: ctest runs every case in a
// process of its own.
#include <gtest/gtest.h>

#include <allegro.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "blitter/sprite.h"
#include "game/board.h"
#include "game/flow.h"
#include "game/title.h"
#include "machine/machine.h"
#include "tests/support/headless.h"

namespace {

BITMAP* last_shown;
int     presents_seen;

// Music of `frames` frames (-1: no file): one register write, then empty frames.
std::string music(int frames) { return frames < 0 ? "" : "PSG\x1A\x07\x38" + std::string(size_t(frames), '\xFF'); }

// The real game in a folder of its own: a block font, the three pictures of
// their sizes, and the three tunes.
class GameRun {
 public:
  explicit GameRun(int menu1_frames = 400, int menu2_frames = 3, int game_frames = 5) {
    dir_ = testing::TempDir() + "flow_test_" + std::to_string(getpid());
    std::filesystem::create_directories(dir_);
    std::string font;  // an 8 x 8 block of luma 15 for every printable character
    for (char c = ' '; c <= 'z'; ++c) font += std::string{c, 8, 8} + std::string(32, '\xFF');
    const struct { const char* name; std::string bytes; } files[] = {
        {"tahoma.fnt", font}, {"logo.raw", std::string(320 * 42, 0x30)},
        {"Quadrillo.raw", std::string(195 * 26, 0)}, {"beach.raw", std::string(320 * 240, 0x20)},
        {"menu1.psg", music(menu1_frames)}, {"menu2.psg", music(menu2_frames)}, {"game.psg", music(game_frames)}};
    for (const auto& file : files)
      if (!file.bytes.empty()) std::ofstream(dir_ + "/" + file.name, std::ios::binary) << file.bytes;
    EXPECT_EQ(chdir(dir_.c_str()), 0);
    MachineHooks hooks = machine_headless_hooks();
    hooks.presented = [](BITMAP* shown) { last_shown = shown; };
    machine_set_hooks(hooks);
    EXPECT_NE(game_start(), 0);
    EXPECT_EQ(title_state().logo_angle, 0.0f) << "not at program start: run one case per process";
  }
  ~GameRun() {
    game_stop();
    test_release_all_keys();
    std::filesystem::remove_all(dir_);
  }

  // Runs one frame per word of `script` ("S" SPACE, "E" ESC, "L" "R" "D"
  // arrows, "." none, any other letter the X key; "D*26" repeats) and
  // returns the states after the frames, run-length coded: "3*27 4 3 1".
  std::string run(const std::string& script) {
    std::vector<int> states;
    std::istringstream words(script);
    for (std::string word; words >> word;) {
      const size_t star = word.find('*');
      for (int i = 0; i < (star == std::string::npos ? 1 : std::stoi(word.substr(star + 1))); ++i) {
        test_release_all_keys();
        for (char k : word.substr(0, star))
          if (k != '.') key[k == 'S' ? KEY_SPACE : k == 'E' ? KEY_ESC : k == 'L' ? KEY_LEFT : k == 'D' ? KEY_DOWN : KEY_X] = 1;
        game_frame();
        states.push_back(game_current_state());
      }
    }
    std::string coded;
    for (size_t i = 0, j; i < states.size(); i = j) {
      for (j = i; j < states.size() && states[j] == states[i];) ++j;
      coded += (i ? " " : "") + std::to_string(states[i]) + (j - i > 1 ? "*" + std::to_string(j - i) : "");
    }
    return coded;
  }

 private:
  std::string dir_;
};

// 1 title menu, 2 logo intro, 3 play, 4 line check, 6 game over.
struct Case {
  const char* name;
  int menu1, menu2, game;  // frames of each tune, -1 for a missing file
  const char* keys;
  const char* states;
};

const Case CASES[] = {
    {"without title music the menu follows the first frame", -1, 3, 5, ". .", "1*2"},
    {"without game music a game ends after one frame", 400, 3, -1, "S . .", "3 1*2"},
    {"silent menu music overrides SPACE in the same frame", -1, -1, 5, ". S*3", "1*4"},
    // A key down when the menu comes must be let go first; then any key
    // counts, but only SPACE starts.
    {"menu key latch", 10, 3, 5, "A*10 AS*6 . A AS", "2*10 1*8 3"},
    // The square, first piece of a run, falls with DOWN in play frames 1, 3,
    // 4, 6, ... and locks at its 18th step, in play frame 27. The lock wins
    // over ESC; the ESC still held acts in the next play frame.
    {"ESC in a locking frame", 400, 3, 5, "S D*26 DE E E", "3*27 4 3 1"},
};

class FlowCase : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(FlowCase, StatesFollowTheRules) {
  const Case& c = GetParam();
  GameRun run(c.menu1, c.menu2, c.game);
  EXPECT_EQ(run.run(c.keys), c.states) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, FlowCase, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Case>& info) { return "Row" + std::to_string(info.index); });

TEST(Flow, WithoutGameMusicTheMenuIsDrawnOverThePlayfield) {
  GameRun run(400, 3, -1);
  run.run("S . .");
  EXPECT_EQ(last_shown->line[100][319], colour_encode(COLOUR_MODE_LUMA, 2, 10)) << "the backdrop, luma 2";
}

TEST(Flow, AnArrowHeldAcrossANewGameWaitsForItsNextPress) {
  GameRun run;
  // LEFT and ESC in the second play frame: the piece moves, the menu comes.
  ASSERT_EQ(run.run("S . LE . LS"), "3*2 1*2 3");
  const float spawned = piece_current().x;
  run.run("L");
  EXPECT_EQ(piece_current().x, spawned) << "LEFT was down in the last play frame of the old game";
  run.run(". L");
  EXPECT_EQ(piece_current().x, spawned - 1.0f) << "pressed again";
}

TEST(Flow, AGameOverWaitsForAllKeysUpAndTheNextGameFallsAtOnce) {
  GameRun run;
  run.run("S");
  for (int i = 0; i < 3000 && game_current_state() != STATE_GAME_OVER; ++i) run.run("D");
  ASSERT_EQ(game_current_state(), STATE_GAME_OVER) << "DOWN stacks the pieces up to the top";
  EXPECT_EQ(run.run("D*100 . X . S"), "6*101 1*2 3") << "DOWN was held from the play state";
  run.run(".");
  EXPECT_EQ(piece_current().y, 1.0f) << "the last lock left the drop timer at one frame";
}

TEST(FlowDeathTest, WithoutADisplayItSaysSoAndEndsWithoutDrawing) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        MachineHooks hooks{};
        hooks.set_gfx_mode = [](int, int, int) { return -1; };
        hooks.presented = [](BITMAP*) { ++presents_seen; };
        hooks.unpaced = -1;
        hooks.no_system = -1;
        machine_set_hooks(hooks);
        int status = game_main();
        std::exit(presents_seen == 0 ? status : 100 + presents_seen);
      },
      testing::ExitedWithCode(1), "^quadrillo: no display could be opened\n$");
}
