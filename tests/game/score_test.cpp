#include <gtest/gtest.h>

#include <vector>

#include "game/board.h"
#include "game/board_internal.h"
#include "game/score.h"
#include "game/score_internal.h"

namespace {

ScoreState& s() { return score_state_mutable(); }

// A square high up in an empty board: it falls freely for many rows.
void start_free_piece() {
  board_clear();
  Piece p = piece_template(3);
  p.x = 5.0f;
  p.y = 1.0f;
  piece_current() = p;
  piece_stamp(p.colour);
}

// Runs `frames` play frames and returns the 1-based frames in which the piece
// fell a row (or locked).
std::vector<int> fall_frames(int frames, bool down_held) {
  std::vector<int> falls;
  for (int f = 1; f <= frames; ++f) {
    float y = piece_current().y;
    if (down_held) score_fast_drop();
    int locked = score_play_frame();
    if (piece_current().y != y || locked) falls.push_back(f);
  }
  return falls;
}

}  // namespace

TEST(ScoreLines, PointsByRowsAndLevel) {
  score_reset();
  score_new_game();
  score_lines(4);
  EXPECT_EQ(score_state().score, 1200) << "four rows at level 0";
  s().level = 5;
  s().lines = 50;
  s().score = 0;
  score_lines(2);
  EXPECT_EQ(score_state().score, 600) << "100 x (5 + 1)";
  score_lines(3);
  EXPECT_EQ(score_state().score, 600 + 1800);
  score_lines(1);
  EXPECT_EQ(score_state().score, 600 + 1800 + 240);
  EXPECT_EQ(score_state().lines, 56);
}

TEST(ScoreLines, TheLevelRisesAfterScoringAtTheOldLevel) {
  score_reset();
  score_new_game();
  s().lines = 9;
  score_lines(1);
  EXPECT_EQ(score_state().score, 40) << "scored at level 0";
  EXPECT_EQ(score_state().level, 1);
  EXPECT_EQ(score_state().gravity_delay, 49);
}

TEST(ScoreLines, TheLevelStopsAt19AndNeverFalls) {
  score_reset();
  score_new_game();
  s().lines = 198;
  s().level = 19;
  score_lines(4);
  EXPECT_EQ(score_state().lines, 202);
  EXPECT_EQ(score_state().level, 19);
  EXPECT_EQ(score_state().gravity_delay, 3);

  s().lines = 5;
  s().level = 7;
  score_lines(0);
  EXPECT_EQ(score_state().level, 7) << "lines / 10 = 0 does not lower it";
  EXPECT_EQ(score_state().gravity_delay, 22) << "0 rows only refreshes the delay";
}

TEST(ScoreLines, ScoreAndLinesWrapAt32Bits) {
  score_reset();
  score_new_game();
  s().score = INT32_MAX - 10;
  s().lines = INT32_MAX;
  s().level = 19;
  score_lines(4);  // 1200 x 20 points
  EXPECT_EQ(score_state().score, INT32_MIN + 23989);
  EXPECT_EQ(score_state().lines, INT32_MIN + 3);
  EXPECT_EQ(score_state().level, 19) << "a wrapped line count does not lower the level";
}

TEST(ScoreLines, NewGameKeepsTheDropTimer) {
  score_reset();
  s().score = 77;
  s().lines = 12;
  s().level = 3;
  s().pending_lines = 2;
  s().drop_countdown = 1;
  s().drop_phase = 1;
  score_new_game();
  EXPECT_EQ(score_state().score, 0);
  EXPECT_EQ(score_state().lines, 0);
  EXPECT_EQ(score_state().level, 0);
  EXPECT_EQ(score_state().pending_lines, 0);
  EXPECT_EQ(score_state().gravity_delay, 53);
  EXPECT_EQ(score_state().drop_countdown, 1);
  EXPECT_EQ(score_state().drop_phase, 1);
}

TEST(ScoreLines, DelaysByLevel) {
  const int32_t delays[20] = {53, 49, 45, 41, 37, 33, 28, 22, 17, 10,
                              9,  8,  7,  6,  6,  5,  5,  4,  4,  3};
  for (int level = 0; level < 20; ++level) {
    score_reset();
    score_new_game();
    s().lines = level * 10;
    score_lines(0);
    EXPECT_EQ(score_state().gravity_delay, delays[level]) << "level " << level;
  }
}

TEST(DropTimer, FirstStepOfARunInFrame25ThenEveryDelay) {
  score_reset();
  score_new_game();
  start_free_piece();
  EXPECT_EQ(fall_frames(25 + 53 * 2, false), (std::vector<int>{25, 78, 131}));
}

TEST(DropTimer, FastDropFallsTwoRowsEveryThreeFrames) {
  score_reset();
  score_new_game();
  start_free_piece();
  EXPECT_EQ(score_state().drop_phase, 0);
  EXPECT_EQ(fall_frames(10, true), (std::vector<int>{1, 3, 4, 6, 7, 9, 10}));
  s().drop_phase = 1;
  s().drop_countdown = 40;
  start_free_piece();
  EXPECT_EQ(fall_frames(6, true), (std::vector<int>{2, 3, 5, 6})) << "from phase 1 the long gap comes first";
}

TEST(DropTimer, PendingLinesAreScoredBeforeTheCountdown) {
  score_reset();
  score_new_game();
  start_free_piece();
  s().pending_lines = 2;
  score_play_frame();
  EXPECT_EQ(score_state().score, 100);
  EXPECT_EQ(score_state().lines, 2);
  EXPECT_EQ(score_state().pending_lines, 0);
}

TEST(DropTimer, LockLeavesOneFrameOnTheCountdown) {
  score_reset();
  score_new_game();
  board_clear();
  Piece p = piece_template(3);
  p.y = 17.0f;  // on the floor
  piece_current() = p;
  piece_stamp(p.colour);
  s().drop_countdown = 1;
  EXPECT_NE(score_play_frame(), 0);
  EXPECT_EQ(score_state().drop_countdown, 1);
  EXPECT_EQ(score_state().drop_phase, 1);
}
