// The music compiler: notation, tuning and PSG output. The game's three tunes
// are pinned by their rebuild (DataFilesRebuildIdentically) and by the golden
// replays' audio.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/musicc/musicc.h"

namespace {

MusicScore parse_ok(const std::string& text) {
  MusicScore score;
  std::string error;
  EXPECT_EQ(musicc_parse(text, score, error), -1) << error;
  return score;
}

std::string parse_error(const std::string& text) {
  MusicScore score;
  std::string error;
  EXPECT_EQ(musicc_parse(text, score, error), 0) << "accepted: " << text;
  return error;
}

// Register writes of each frame of a compiled PSG, in order: (register, value).
std::vector<std::vector<std::pair<int, int>>> frames_of(const std::vector<uint8_t>& psg) {
  std::vector<std::vector<std::pair<int, int>>> frames(1);
  for (size_t i = 4; i < psg.size(); ++i) {
    uint8_t c = psg[i];
    if (c == 0xFD) break;
    if (c == 0xFF) {
      frames.emplace_back();
    } else if (c == 0xFE) {
      for (int n = 0; n <= psg[i + 1]; ++n) frames.emplace_back();
      ++i;
    } else {
      frames.back().push_back({c, psg[i + 1]});
      ++i;
    }
  }
  frames.pop_back();  // the last frame end opens no new frame
  return frames;
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
    double heard = CHIP_CLOCK_HZ / (16.0 * (period + 1));
    if (note <= 96) {
      EXPECT_NEAR(heard / musicc_frequency(note), 1.0, 0.01) << "in tune up to C7, note " << note;
    }
  }
  EXPECT_EQ(musicc_period(12), -1) << "below the 12-bit period range";
}

TEST(MusicNotation, LengthsDotsTiesAndRepeatsCountFrames) {
  MusicScore s = parse_ok(HEADER + "A: @i o4 a4 a8. a2&8 r16 [c d]3 l8 e K16\n");
  const std::vector<MusicEvent>& a = s.channels[0];
  ASSERT_EQ(a.size(), 12u);
  EXPECT_EQ(a[0].frames, 24);
  EXPECT_EQ(a[1].frames, 18) << "dotted eighth";
  EXPECT_EQ(a[2].frames, 60) << "half tied to an eighth";
  EXPECT_EQ(a[3].note, NOTE_REST);
  EXPECT_EQ(a[3].frames, 6);
  EXPECT_EQ(a[4].note, 60);
  EXPECT_EQ(a[9].note, 62) << "repeat expanded three times";
  EXPECT_EQ(a[10].note, 64);
  EXPECT_EQ(a[10].frames, 12) << "default length l8";
  EXPECT_EQ(a[11].note, NOTE_DRUM);
  EXPECT_EQ(a[11].start, 24 + 18 + 60 + 6 + 6 * 24 + 12);
  EXPECT_EQ(s.frames, a[11].start + 6);
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

TEST(MusicCompile, FirstFrameWritesEveryRegisterAndLaterOnlyChanges) {
  MusicScore s = parse_ok(HEADER + "loop\nA: @i o4 a4 a4\nB: @i o2 a2\n");
  std::vector<uint8_t> psg = musicc_compile(s, 7);
  ASSERT_GE(psg.size(), 6u);
  EXPECT_EQ(std::string(psg.begin(), psg.begin() + 4), std::string("PSG\x1A"));
  EXPECT_EQ(psg.back(), 0xFD);
  auto frames = frames_of(psg);
  ASSERT_EQ(int(frames.size()), s.frames);
  ASSERT_EQ(frames[0].size(), 11u) << "registers 0..10, so a rewind needs nothing from the end";
  for (int r = 0; r <= 10; ++r) EXPECT_EQ(frames[0][size_t(r)].first, r);
  EXPECT_EQ(frames[0][0].second, musicc_period(69) & 0xFF);
  EXPECT_EQ(frames[0][1].second, musicc_period(69) >> 8);
  EXPECT_EQ(frames[0][7].second, 0x3F & ~0x03) << "tones A and B on, all noise off";
  EXPECT_EQ(frames[0][8].second, 15);
  // Frame 1: only the amplitudes fall (15 -> 12) on both channels.
  ASSERT_EQ(frames[1].size(), 2u);
  EXPECT_EQ(frames[1][0], std::make_pair(8, 12));
  EXPECT_EQ(frames[1][1], std::make_pair(9, 12));
  // The gap silences the last frame of A's first note, the second note attacks.
  EXPECT_EQ(frames[23][0], std::make_pair(7, 0x3F & ~0x02));
  EXPECT_EQ(frames[24][0], std::make_pair(7, 0x3F & ~0x03));
}

