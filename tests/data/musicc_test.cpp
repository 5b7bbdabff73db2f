// The music compiler's tuning over its whole range and its refusals of bad
// scores. Its notation and PSG output are pinned by the byte-for-byte rebuild
// of the game's three tunes (DataFilesRebuildIdentically) and by the golden
// replays' audio.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tools/musicc/musicc.h"

namespace {

std::string parse_error(const std::string& text) {
  MusicScore score;
  std::string error;
  EXPECT_EQ(musicc_parse(text, score, error), 0) << "accepted: " << text;
  return error;
}

const std::string HEADER =
    "tempo 24\n"
    "instrument i vol 15 12 10 gap 1\n"
    "drum K v15 n5 t300, v8 n6\n";

}  // namespace

TEST(MusicTuning, PeriodsFollowTheChipClockAndEqualTemperament) {
  // A4 = 440 Hz: 1772700 / (16 x 440) = 251.8, so period round(251.8) - 1.
  EXPECT_EQ(musicc_period(69), 251);
  EXPECT_DOUBLE_EQ(musicc_frequency(81), 880.0);
  for (int32_t note = 24; note <= 108; ++note) {
    int32_t period = musicc_period(note);
    ASSERT_GT(period, 0) << note;
    // The divider is period + 1: the nearest whole divider, off by at most
    // half a step of the divider.
    double ideal = CHIP_CLOCK_HZ / (16.0 * musicc_frequency(note));
    EXPECT_LE(std::fabs(ideal - (period + 1)), 0.5) << "note " << note;
    if (note <= 96) {
      EXPECT_NEAR(ideal / (period + 1), 1.0, 0.01) << "in tune up to C7, note " << note;
    }
  }
  EXPECT_EQ(musicc_period(12), -1) << "below the 12-bit period range";
}

TEST(MusicNotation, ErrorsNameTheirLine) {
  EXPECT_NE(parse_error(HEADER + "A: @i a4\nB: @i a7\n").find("line 5"), std::string::npos)
      << "a seventh note is not a whole number of frames at tempo 24";
  EXPECT_NE(parse_error(HEADER + "A: a4\n").find("instrument"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "A: @i [a4\n").find("'['"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "A: @nope a\n").find("unknown instrument"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "A: @i Z4\n").find("unknown drum"), std::string::npos);
  EXPECT_NE(parse_error("tempo 0\n").find("line 1"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "loop\nA: @i a4\nB: @i a2\n").find("looping"), std::string::npos)
      << "channels of a looping piece must end together";
  EXPECT_NE(parse_error(HEADER).find("no notes"), std::string::npos);
}
