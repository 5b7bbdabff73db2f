// The AY-3-8910 synthesis, ports in and samples out on the offline host:
// tone periods and their frozen range, the mixer rule, the amplitude levels,
// the envelope shapes and the noise sequence.
#include "sound/chip.h"

#include <gtest/gtest.h>

#include <vector>

#include "sound/offline.h"
#include "tests/sound/fake_host.h"

namespace {

using Samples = std::vector<uint16_t>;
using Writes = std::vector<std::pair<int, int>>;

// The chip's amplitude of each 4-bit level.
const int32_t LEVELS[16] = {0,    225,  335,  476,  693,   1013,  1388,  2243,
                            2771, 4336, 5778, 7371, 9345, 11260, 13896, 16383};

// The first `count` samples after `writes` made at the start (they all fall
// on sample 0), then `later` written at sample `at`.
Samples play(const Writes& writes, int count, const Writes& later = {}, int at = 0) {
  Samples out;
  sound_test_start_offline(&out);
  for (auto [reg, value] : writes) sound_test_write(reg, value);
  if (!later.empty()) {
    sound_test_spend(ticks_for(uint64_t(at)) - sound_time_now());
    for (auto [reg, value] : later) sound_test_write(reg, value);
  }
  sound_test_spend(ticks_for(uint64_t(count)) + 1 - sound_time_now());
  sound_offline_flush();
  out.resize(size_t(count));
  return out;
}

int level_of(uint16_t sample) {
  for (int level = 0; level < 16; ++level) if (LEVELS[level] == sample) return level;
  return -1;
}

int transitions(const Samples& s) {
  int n = 0;
  for (size_t i = 1; i < s.size(); ++i) n += s[i] != s[i - 1];
  return n;
}

TEST(Chip, TonePeriodSetsTheFrequencyAndPeriodsZeroToFourFreezeIt) {
  // A tone of period p sounds at 1772700 / (16 (p + 1)) Hz: two edges a cycle.
  struct Row { int fine, coarse, period; };
  const Row rows[] = {{0, 0, 0}, {4, 0, 4}, {5, 0, 5}, {100, 0, 100}, {0xFF, 0x0F, 0xFFF},
                      {0x12, 0x0F, 0xF12}, {0x34, 0x12, 0x234}, {0, 1, 0x100}};
  for (const Row& r : rows) {
    for (int channel = 0; channel < 3; ++channel) {
      Samples s = play({{7, 0x3F & ~(1 << channel)}, {8 + channel, 15},
                        {2 * channel + 1, r.coarse}, {2 * channel, r.fine}}, 44100);
      if (r.period <= 4) {
        for (uint16_t v : s) ASSERT_EQ(v, 16383) << "period " << r.period << " is frozen high";
        continue;
      }
      double edges = 2 * 1772700.0 / (16 * (r.period + 1));
      EXPECT_NEAR(transitions(s), edges, 1.5) << "period " << r.period << " channel " << channel;
    }
  }
}

TEST(Chip, PeriodChangeKeepsTheWaveformRunning) {
  // Period 200 is high for about 40 samples; switching to 199 at sample 60
  // goes on from the phase reached, so the edge at about 80 stays put.
  Samples s = play({{7, 0x3E}, {8, 15}, {0, 200}}, 200, {{0, 199}}, 60);
  Samples t = play({{7, 0x3E}, {8, 15}, {0, 200}}, 200);
  for (int i = 0; i < 79; ++i) ASSERT_EQ(s[size_t(i)], t[size_t(i)]) << "sample " << i;
}

TEST(Chip, MixerAndAmplitudesFollowTheChipsRule) {
  // A channel outputs its amplitude when its tone is high or disabled and its
  // noise is high or disabled; with tone and noise disabled it is a constant.
  for (int level = 0; level < 16; ++level) {
    Samples s = play({{0, 50}, {6, 3}, {7, 0x3F}, {8, level}, {9, 15 - level}, {10, 0xE1}}, 300);
    for (uint16_t v : s) ASSERT_EQ(v, LEVELS[level] + LEVELS[15 - level] + LEVELS[1]) << level;
  }
  Samples all_off = play({{0, 50}, {7, 0xFF}, {8, 15}, {9, 8}, {10, 1}}, 300);
  for (uint16_t v : all_off) ASSERT_EQ(v, 16383 + 2771 + 225) << "bits 6 and 7 change nothing";
  Samples tone_a = play({{0, 50}, {2, 50}, {7, 0x3E}, {8, 15}, {9, 15}}, 300);
  EXPECT_EQ(level_of(uint16_t(tone_a[0] - 16383)), 0) << "B disabled: its constant; A low";
  EXPECT_GT(transitions(tone_a), 10) << "only A's tone sounds";
  Samples back = play({{7, 0x3F}, {8, 9}, {8, 0x10}, {8, 5}}, 50);
  EXPECT_EQ(back[0], 1013) << "a fixed level after the envelope flag";
}

// Collapses runs of equal levels: the shape's sequence of distinct levels.
std::vector<int> level_sequence(const Samples& samples, size_t limit) {
  std::vector<int> levels;
  for (uint16_t s : samples) {
    int level = level_of(s);
    if (levels.empty() || levels.back() != level) levels.push_back(level);
    if (levels.size() == limit) break;
  }
  return levels;
}

std::vector<int> run(std::initializer_list<std::pair<int, int>> spans) {
  std::vector<int> out;
  for (auto [from, to] : spans)
    for (int v = from;; v += from <= to ? 1 : -1) {
      out.push_back(v);
      if (v == to) break;
    }
  return out;
}

TEST(Chip, EveryEnvelopeShapeHasItsLevelSequence) {
  struct Row { std::vector<int> shapes; std::vector<int> levels; int held; };
  const Row rows[] = {
      {{0, 1, 2, 3, 9}, run({{15, 0}}), 0},
      {{4, 5, 6, 7, 15}, run({{1, 15}, {0, 0}}), 0},
      {{8}, run({{15, 0}, {15, 0}, {15, 0}}), -1},
      {{10}, run({{15, 0}, {1, 15}, {14, 0}, {1, 15}}), -1},
      {{11}, run({{15, 0}, {15, 15}}), 15},
      {{12}, run({{0, 15}, {0, 15}, {0, 15}}), -1},
      {{13}, run({{15, 15}, {0, 15}}), 15},
      {{14}, run({{0, 15}, {14, 0}, {1, 15}}), -1},
  };
  for (const Row& r : rows) {
    for (int shape : r.shapes) {
      // Period 3: 4 x 2^22 / 1317184, about 12.7 samples a level.
      Samples s = play({{11, 3}, {13, shape}, {7, 0x3F}, {8, 0x10}}, 1500);
      EXPECT_NE(s[0], s[1]) << "shape " << shape << ": the first level lasts one sample";
      EXPECT_EQ(level_sequence(s, r.levels.size()), r.levels) << "shape " << shape;
      for (size_t i = 600; r.held >= 0 && i < s.size(); ++i)
        ASSERT_EQ(level_of(s[i]), r.held) << "shape " << shape << " holds";
    }
  }
}

TEST(Chip, EnvelopeSpeedAndRestart) {
  Samples fast = play({{11, 0}, {13, 0}, {7, 0x3F}, {8, 0x10}}, 100);
  const int first[] = {15, 14, 14, 14, 13, 13, 13, 12, 12, 12, 11};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(level_of(fast[size_t(i)]), first[i]) << "sample " << i;
  EXPECT_NE(fast[44], 0);
  EXPECT_EQ(fast[45], 0) << "0 from the 46th sample on";
  EXPECT_EQ(fast[99], 0);
  // Without a period write the step is 0: the first entry holds.
  EXPECT_EQ(play({{13, 13}, {7, 0x3F}, {8, 0x10}}, 500)[499], 16383);
  EXPECT_EQ(play({{13, 12}, {7, 0x3F}, {8, 0x10}}, 500)[499], 0);
  // A period write changes the speed only; a shape write restarts, also the same shape.
  const Writes start = {{11, 3}, {13, 0}, {7, 0x3F}, {8, 0x10}};
  Samples period = play(start, 300, {{11, 2}}, 100);
  Samples shape = play(start, 300, {{13, 0}}, 100);
  EXPECT_EQ(level_of(period[100]), level_of(period[99]));
  EXPECT_LT(level_of(period[150]), level_of(play(start, 300)[150])) << "faster after period 2";
  EXPECT_EQ(level_of(shape[100]), 15) << "restarted";
}

TEST(Chip, NoiseIsTheFirstDrawsOfTheGeneratorOnEveryChannel) {
  // Noise period 31: the noise moves to its next value every 2^22 / 658592
  // samples and repeats after 1024 values. Its table comes from the
  // program's first 1024 draws, entry 1023 first: 41, 18467, 6334, 26500.
  const uint32_t step = 21074950 / 32;
  const int count = int((1024ull << 22) / step) + 1;
  Samples s = play({{6, 31}, {7, 0x07 | 0x10}, {8, 15}, {9, 15}, {10, 4}}, count);
  std::vector<int> table(1024, -1);
  for (int i = 0; i < count; ++i) {
    uint16_t v = s[size_t(i)];
    ASSERT_TRUE(v == 16383 || v == 16383 + 16383 + 693) << "A and C high or low together";
    int& entry = table[((uint64_t(i) * step) >> 22) & 1023];
    int high = v != 16383;
    ASSERT_TRUE(entry == -1 || entry == high) << "one value per table entry, sample " << i;
    entry = high;
  }
  EXPECT_EQ(std::vector<int>(table.begin() + 1020, table.end()), (std::vector<int>{1, 0, 1, 0}));
  int high = 0;
  for (int v : table) high += v;
  EXPECT_EQ(high, 530);
  EXPECT_GT(transitions(play({{6, 0}, {7, 0x37}, {8, 15}}, 1000)), 300)
      << "the fastest noise is not frozen";
}

}  // namespace
