// The game flow where the golden replays do not go: missing music, key
// latches with keys held across a change of screen, ESC in a locking frame,
// and a game after a game over. Each case runs the real game (game_start,
// game_frame, game_stop) in a folder of small made-up data files, from
// program start: ctest runs every case in a process of its own. (A start
// without a display is the desktop test's.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "blitter/sprite.h"
#include "game/board.h"
#include "game/flow.h"
#include "tests/support/headless.h"

namespace {

const HostBitmap* last_shown;

// Music of `frames` frames (-1: no file): one register write, then empty frames.
std::string music(int frames) { return frames < 0 ? "" : "PSG\x1A\x07\x38" + std::string(size_t(frames), '\xFF'); }

// The real game in a folder of its own: a block font, the three pictures of
// their sizes, and the three tunes.
class GameRun {
 public:
  explicit GameRun(int menu1_frames = 400, int menu2_frames = 3, int game_frames = 5) {
    dir_ = testing::TempDir() + "flow_test_" + std::to_string(getpid());
    home_ = std::filesystem::current_path();
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
    HeadlessHost host{};
    host.presented = [](const HostBitmap* shown) { last_shown = shown; };
    headless_set(host);
    EXPECT_NE(game_start(), 0);
  }
  ~GameRun() {
    game_stop();
    std::filesystem::current_path(home_);  // Windows keeps the working folder from removal
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Runs one frame per word of `script` ("S" SPACE, "E" ESC, "L" "D"
  // arrows, "." none, any other letter the X key; "D*26" repeats). Returns
  // per frame the state after it and what the frame showed behind the
  // screen's work at (319, 100): "b" the backdrop, "w" the white or "k" the
  // black plain fill; run-length coded: "3w 3b*26 4b 3k 1b".
  std::string run(const std::string& script) {
    std::vector<std::string> states;
    std::istringstream words(script);
    for (std::string word; words >> word;) {
      const size_t star = word.find('*');
      for (int i = 0; i < (star == std::string::npos ? 1 : std::stoi(word.substr(star + 1))); ++i) {
        headless_release_keys();
        for (char k : word.substr(0, star))
          if (k != '.')
            headless_key(k == 'S' ? HOST_KEY_SPACE : k == 'E' ? HOST_KEY_ESC : k == 'L' ? HOST_KEY_LEFT
                         : k == 'D' ? HOST_KEY_DOWN : HOST_KEY_X, -1);
        game_frame();
        const uint8_t shown = last_shown->line[100][319];
        states.push_back(std::to_string(game_current_state()) +
                         (shown == colour_encode(COLOUR_MODE_LUMA, 2, 10) ? "b" : shown == colour_encode(COLOUR_MODE_CHROMA, 10, 15) ? "w"
                          : shown == colour_encode(COLOUR_MODE_CHROMA, 10, 0) ? "k" : "?"));
      }
    }
    std::string coded;
    for (size_t i = 0, j; i < states.size(); i = j) {
      for (j = i; j < states.size() && states[j] == states[i];) ++j;
      coded += (i ? " " : "") + states[i] + (j - i > 1 ? "*" + std::to_string(j - i) : "");
    }
    return coded;
  }

 private:
  std::string dir_;
  std::filesystem::path home_;
};

// 1 title menu, 2 logo intro, 3 play, 4 line check, 6 game over.
struct Case {
  const char* name;
  int menu1, menu2, game;  // frames of each tune, -1 for a missing file
  const char* keys;
  const char* states;
};

const Case CASES[] = {
    // (Without the title or the game music: the bad-input runs of
    // tests/reliability.)
    {"silent menu music overrides SPACE in the same frame", -1, -1, 5, ". S*3", "1w 1k*3"},
    // A key down when the menu comes must be let go first; then any key
    // counts, but only SPACE starts.
    {"menu key latch", 10, 3, 5, "A*10 AS*6 . A AS", "2w*10 1w 1k*7 3k"},
    // The square, first piece of a run, falls with DOWN in play frames 1, 3,
    // 4, 6, ... and locks at its 18th step, in play frame 27. The lock wins
    // over ESC, and the line check shows the plain fill (black since the new
    // game); the ESC still held acts in the next play frame.
    {"ESC in a locking frame", 400, 3, 5, "S D*26 DE E E", "3w 3b*26 4b 3k 1b"},
};

class FlowCase : public testing::TestWithParam<Case> {};

// Where the falling piece stands on the empty board of a new game: its
// leftmost column and lowest row on the board (stamped there first, as any
// move of the game's does).
std::pair<int, int> piece_place() {
  piece_move(0.0f);
  std::pair<int, int> place{BOARD_COLUMNS, -1};
  for (int c = 0; c < BOARD_COLUMNS; ++c)
    for (int r = 0; r < BOARD_ROWS; ++r)
      if (board_get(float(c), float(r))) place = {std::min(place.first, c), std::max(place.second, r)};
  return place;
}

}  // namespace

TEST_P(FlowCase, StatesFollowTheRules) {
  const Case& c = GetParam();
  GameRun run(c.menu1, c.menu2, c.game);
  EXPECT_EQ(run.run(c.keys), c.states) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, FlowCase, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Case>& info) { return "Row" + std::to_string(info.index); });

TEST(Flow, AnArrowHeldAcrossANewGameWaitsForItsNextPress) {
  GameRun run;
  // LEFT and ESC in the second play frame: the piece moves, the menu comes.
  ASSERT_EQ(run.run("S . LE . LS"), "3w 3b 1b 1k 3k");
  const auto spawned = piece_place();
  run.run("L");
  EXPECT_EQ(piece_place(), spawned);
  run.run(". L");
  EXPECT_EQ(piece_place(), std::pair(spawned.first - 1, spawned.second)) << "pressed again";
}

TEST(Flow, AGameOverWaitsForAllKeysUpAndTheNextGameFallsAtOnce) {
  GameRun run;
  run.run("S");
  for (int i = 0; i < 3000 && game_current_state() != STATE_GAME_OVER; ++i) run.run("D");
  ASSERT_EQ(game_current_state(), STATE_GAME_OVER);
  EXPECT_EQ(run.run("D*100 . L . S"), "6b*101 1b 1k 3k");
  const auto spawned = piece_place();
  run.run(".");
  EXPECT_EQ(piece_place(), std::pair(spawned.first, spawned.second + 1))
     ;
}
