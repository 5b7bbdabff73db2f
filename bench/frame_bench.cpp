// Host cost of whole game frames: the real game's start-up and game_frame on
// the committed data files, run as the replay tool runs it (on the headless
// host: no window, no waiting, the sound chip rendered at the machine's
// time), with keys held through the host to reach each screen. One iteration is one frame:
// drawing, the game's logic, the (windowless) present, the music step and
// the 882 samples of sound the frame's cycles render. The baseline is the
// machine's frame period, 20 ms; the counter frame_share is the fraction of
// it the host spends.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "game/board.h"
#include "game/flow.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "machine/machine.h"

namespace {

constexpr double FRAME_PERIOD_SECONDS = 0.020;  // 50 frames per second

bool started;

// Starts the game once per process in the data folder, on the headless host.
bool start_game() {
  if (started) return true;
  if (chdir(QUADRILLO_DATA_DIR) != 0) return false;
  started = game_start() != 0;
  return started;
}

// Runs `count` frames with `held` down (0: no key).
void frames_with(int held, int count) {
  headless_release_keys();
  if (held) headless_key(held, -1);
  for (int i = 0; i < count; ++i) game_frame();
  headless_release_keys();
}

// From any screen to the title menu: ESC leaves play for the menu; SPACE
// starts a game from the intro or the reveal, and leaves the game over
// screen for the menu (after a frame without keys).
bool reach_title_menu() {
  for (int tries = 0; tries < 4 && game_current_state() != STATE_TITLE_MENU; ++tries) {
    frames_with(0, 2);
    frames_with(game_current_state() == STATE_PLAY ? HOST_KEY_ESC : HOST_KEY_SPACE, 1);
  }
  frames_with(0, 2);
  return game_current_state() == STATE_TITLE_MENU;
}

// A new game whose board is full: every cell set except one per row (column 0
// in even rows, 9 in odd rows), so no row is complete and the falling piece,
// near the top centre, has no room below it.
bool reach_full_board() {
  if (!reach_title_menu()) return false;
  frames_with(HOST_KEY_SPACE, 1);
  frames_with(0, 1);
  if (game_current_state() != STATE_PLAY) return false;
  for (int r = 0; r < BOARD_ROWS; ++r)
    for (int c = 0; c < BOARD_COLUMNS; ++c)
      if (c != (r % 2 ? 9 : 0) && board_get(float(c), float(r)) == 0)
        board_set(float(c), float(r), 1 + (c + 3 * r) % 15);
  return true;
}

void report_share(benchmark::State& state) {
  // Seconds per frame as a share of the frame period; kIsIterationInvariantRate
  // divides by the total time, and the inversion turns that into time per frame.
  state.counters["frame_share"] = benchmark::Counter(
      double(state.iterations()) * FRAME_PERIOD_SECONDS,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FrameTitleMenu(benchmark::State& state) {
  if (!start_game() || !reach_title_menu()) {
    state.SkipWithError("the title menu was not reached");
    return;
  }
  for (auto _ : state) game_frame();
  if (game_current_state() != STATE_TITLE_MENU) state.SkipWithError("left the title menu");
  report_share(state);
}
BENCHMARK(BM_FrameTitleMenu)->MinTime(1.0);

void BM_FramePlayFullBoard(benchmark::State& state) {
  if (!start_game() || !reach_full_board()) {
    state.SkipWithError("no game with a full board");
    return;
  }
  for (auto _ : state) {
    game_frame();
    // The piece locks at its next gravity step and the game ends: a new game
    // with a full board, off the clock.
    if (game_current_state() != STATE_PLAY) {
      state.PauseTiming();
      const bool again = reach_full_board();
      state.ResumeTiming();
      if (!again) {
        state.SkipWithError("no new game with a full board");
        break;
      }
    }
  }
  report_share(state);
}
BENCHMARK(BM_FramePlayFullBoard)->MinTime(1.0);

void BM_FrameGameOver(benchmark::State& state) {
  if (!start_game() || !reach_full_board()) {
    state.SkipWithError("no game with a full board");
    return;
  }
  // The next gravity step locks the piece; the new one has no room.
  for (int i = 0; i < 120 && game_current_state() != STATE_GAME_OVER; ++i) frames_with(0, 1);
  if (game_current_state() != STATE_GAME_OVER) {
    state.SkipWithError("the game did not end");
    return;
  }
  for (auto _ : state) game_frame();
  if (game_current_state() != STATE_GAME_OVER) state.SkipWithError("left the game over screen");
  report_share(state);
}
BENCHMARK(BM_FrameGameOver)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
