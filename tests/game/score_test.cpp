// Scoring and levels at the boundaries the golden replays do not reach: the
// points of 0..4 rows at higher levels, the level's rise and its cap at 19,
// fall delays, and the score's 32-bit wrap.
#include <gtest/gtest.h>

#include "game/score.h"

namespace {

// A new game brought to `lines` cleared rows, four at a time.
void new_game_at(int32_t lines) {
  score_new_game();
  for (int32_t n = lines; n > 0; n -= 4) score_lines(n < 4 ? n : 4);
  ASSERT_EQ(score_state().lines, lines);
}

}  // namespace

TEST(Score, PointsLevelAndDelayAfterClearingRows) {
  const struct { int32_t lines, rows, points, level, delay; } rows[] = {
      {0, 4, 1200, 0, 53},   {0, 3, 300, 0, 53},     {50, 2, 600, 5, 33},  // 100 x (5 + 1)
      {9, 1, 40, 1, 49},                                                    // scored at level 0
      {52, 0, 0, 5, 33},                                                    // none: only the delay
      {198, 4, 24000, 19, 3},                                               // level 19, not 20
  };
  for (const auto& r : rows) {
    new_game_at(r.lines);
    const int32_t before = score_state().score;
    score_lines(r.rows);
    EXPECT_EQ(score_state().score - before, r.points) << r.rows << " rows at line " << r.lines;
    EXPECT_EQ(score_state().lines, r.lines + r.rows);
    EXPECT_EQ(score_state().level, r.level) << r.rows << " rows at line " << r.lines;
    EXPECT_EQ(score_state().gravity_delay, r.delay) << r.rows << " rows at line " << r.lines;
  }
}

TEST(Score, TheScoreWrapsAt32BitsAndANewGameStartsAfresh) {
  new_game_at(200);
  int32_t before = 0;
  do {
    before = score_state().score;
    score_lines(4);
  } while (score_state().score > before);
  EXPECT_EQ(int64_t(score_state().score), int64_t(before) + 24000 - (int64_t(1) << 32));
  EXPECT_EQ(score_state().level, 19);
  const int32_t countdown = score_state().drop_countdown;
  score_new_game();
  EXPECT_EQ(score_state().score, 0);
  EXPECT_EQ(score_state().lines, 0);
  EXPECT_EQ(score_state().level, 0);
  EXPECT_EQ(score_state().gravity_delay, 53);
  EXPECT_EQ(score_state().drop_countdown, countdown) << "the drop timer carries over";
}
