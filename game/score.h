// Score, cleared lines and level of the current game, the level's fall speed,
// and the drop timer that decides in which play frame the piece falls one row
// (with the fast drop while DOWN is held). One frame is 1/50 second.
#pragma once
#include <cstdint>

inline constexpr int32_t LEVEL_MAX = 19;

struct ScoreState {
  int32_t score;           // points of the current game
  int32_t lines;           // rows cleared in the current game
  int32_t level;           // 0..19, shown as is
  int32_t gravity_delay;   // frames between two gravity steps at this level
  int32_t pending_lines;   // rows cleared since the last play frame, not yet scored
  int32_t drop_countdown;  // frames left until the next gravity step (>= 1 between frames)
  int32_t drop_phase;      // 0 or 1, flips at every gravity step
};

// Read-only view for the score lines.
const ScoreState& score_state();

// Score, lines, level and pending lines to 0, gravity delay of level 0.
// drop_countdown and drop_phase carry over from the previous game.
void score_new_game();

// Scores `n` rows cleared at once (0..4) at the level held before the call,
// then raises the level to lines / 10 (never lowering it, at most 19) and
// takes that level's gravity delay.
void score_lines(int32_t n);

// The line check counts one more full row, scored in the next play frame.
void score_add_pending_line();

// Fast drop, every play frame while DOWN is held: brings the next gravity
// step forward to at most drop_phase + 1 frames away.
void score_fast_drop();

// Scores the pending lines, then counts down the drop timer and makes the
// gravity step (piece_fall) when it is due. -1 when the piece locked (the
// timer is then left at 1 frame), else 0.
int score_play_frame();
