// Scoring and the drop timer. A held DOWN never lowers the countdown below
// drop_phase + 1, and the phase flips at every step: the steps then come two
// frames and one frame apart in turn, 2 rows every 3 frames at any level.
#include "game/score.h"

#include "game/board.h"

namespace {

constexpr int32_t LINE_POINTS[5] = {0, 40, 100, 300, 1200};  // by rows cleared at once

// Frames per gravity step by level: level 0 falls a row every 1.06 s, level 19
// every 3 frames. Every delay is at least 3, so the fast drop always helps.
constexpr int32_t LEVEL_DELAYS[LEVEL_MAX + 1] = {53, 49, 45, 41, 37, 33, 28, 22, 17, 10,
                                                 9,  8,  7,  6,  6,  5,  5,  4,  4,  3};

// The first game of a run waits 25 frames (half a second) for its first
// gravity step; later games inherit the countdown (a game over leaves it at 1
// from the last lock).
ScoreState state = {.score = 0, .lines = 0, .level = 0, .gravity_delay = 0, .pending_lines = 0,
                    .drop_countdown = 25, .drop_phase = 0};

}  // namespace

const ScoreState& score_state() { return state; }

void score_new_game() {
  state.score = 0;
  state.lines = 0;
  state.level = 0;
  state.pending_lines = 0;
  state.gravity_delay = LEVEL_DELAYS[0];
}

void score_lines(int32_t n) {
  if (n < 0 || n > 4) n = n < 0 ? 0 : 4;  // a piece spans at most four rows
  int32_t points = LINE_POINTS[n] * (state.level + 1);
  // Both wrap at 32 bits like all of the machine's arithmetic (a game left
  // running for days can pass 2^31 points); unsigned, so the wrap is defined.
  state.lines = int32_t(uint32_t(state.lines) + uint32_t(n));
  state.score = int32_t(uint32_t(state.score) + uint32_t(points));
  if (state.level < state.lines / 10) state.level = state.lines / 10;  // never falls
  if (state.level > LEVEL_MAX) state.level = LEVEL_MAX;
  state.gravity_delay = LEVEL_DELAYS[state.level];
}

void score_add_pending_line() { state.pending_lines += 1; }

void score_fast_drop() {
  if (state.drop_countdown > state.drop_phase + 1) state.drop_countdown = state.drop_phase + 1;
}

int score_play_frame() {
  score_lines(state.pending_lines);
  state.pending_lines = 0;
  // The countdown is at least 1 here (set to 1 or to a delay >= 3, and the
  // fast drop stops at 1), so it reaches 0 exactly.
  state.drop_countdown -= 1;
  if (state.drop_countdown != 0) return 0;
  state.drop_phase ^= 1;
  if (piece_fall()) {
    state.drop_countdown = 1;
    return -1;
  }
  state.drop_countdown = state.gravity_delay;
  return 0;
}
