// Host cost of whole game frames: the real game's start-up and game_frame on
// the committed data files, run as the replay tool runs it (no window, no
// host timer wait, the sound chip rendered by the offline host), with keys
// set in Allegro's key[] to reach each screen. One iteration is one frame:
// drawing, the game's logic, the (windowless) present, the music step and
// the 882 samples of sound the frame's cycles render. The baseline is the
// machine's frame period, 20 ms; the counter frame_share is the fraction of
// it the host spends.
#include <allegro.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "game/board.h"
#include "game/flow.h"
#include "machine/machine.h"
#include "sound/offline.h"

namespace {

constexpr double FRAME_PERIOD_SECONDS = 0.020;  // 50 frames per second

void discard(const uint16_t*, int, void*) {}

bool started;

// Starts the game once per process in the data folder, headless and unpaced.
bool start_game() {
  if (started) return true;
  if (chdir(QUADRILLO_DATA_DIR) != 0) return false;
  sound_offline_install(discard, nullptr);
  MachineHooks hooks = machine_headless_hooks();
  machine_set_hooks(hooks);
  started = game_start() != 0;
  return started;
}

void release_keys() {
  for (int i = 0; i < KEY_MAX; ++i) key[i] = 0;
}

// Runs `count` frames with `held` down (0: no key).
void frames_with(int held, int count) {
  release_keys();
  if (held) key[held] = 1;
  for (int i = 0; i < count; ++i) game_frame();
  release_keys();
}

// From any screen to the title menu: ESC leaves play for the menu; SPACE
// starts a game from the intro or the reveal, and leaves the game over
// screen for the menu (after a frame without keys).
bool reach_title_menu() {
  for (int tries = 0; tries < 4 && game_current_state() != STATE_TITLE_MENU; ++tries) {
    frames_with(0, 2);
    frames_with(game_current_state() == STATE_PLAY ? KEY_ESC : KEY_SPACE, 1);
  }
  frames_with(0, 2);
  return game_current_state() == STATE_TITLE_MENU;
}

// A new game whose board is full: every cell set except one per row (column 0
// in even rows, 9 in odd rows), so no row is complete and the falling piece,
// near the top centre, has no room below it.
bool reach_full_board() {
  if (!reach_title_menu()) return false;
  frames_with(KEY_SPACE, 1);
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
