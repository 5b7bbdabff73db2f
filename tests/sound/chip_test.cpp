// The AY-3-8910 synthesis, ports in and samples out on the headless host:
// tone periods and their frozen range, the mixer rule, the amplitude levels,
// the envelope shapes and the noise sequence.
#include "sound/chip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

#include "tests/sound/fake_host.h"

namespace {

using Samples = std::vector<uint16_t>;
using Writes = std::vector<std::pair<int, int>>;

// The first `count` samples after `writes` at the start (all on sample 0),
// and `later` written at sample `at`.
Samples play(const Writes& writes, int count, const Writes& later = {}, int at = 0) {
  Samples out;
  sound_test_start_offline(&out);
  for (auto [reg, value] : writes) sound_test_write(reg, value);
  // The writes themselves took a few ticks: a time already passed is not
  // waited for again (the unsigned difference would wrap to days of sound).
  sound_test_spend(std::max(ticks_for(uint64_t(at)), clock_sound_time()) - clock_sound_time());
  for (auto [reg, value] : later) sound_test_write(reg, value);
  sound_test_spend(ticks_for(uint64_t(count)) + 1 - clock_sound_time());
  sound_test_end_offline();
  out.resize(size_t(count));
  return out;
}

int level_of(uint16_t sample) {  // -1 for none of the levels
  const int32_t* at = std::find(LEVELS, LEVELS + 16, sample);
  return at == LEVELS + 16 ? -1 : int(at - LEVELS);
}

int edges(const Samples& s) {  // changes of level
  return std::inner_product(s.begin() + 1, s.end(), s.begin(), 0, std::plus<>(), std::not_equal_to<>());
}

TEST(Chip, TonePeriodSetsTheFrequencyAndPeriodsZeroToFourFreezeIt) {
  // A tone of period p sounds at 1772700 / (16 (p + 1)) Hz, two edges a cycle;
  // the coarse register keeps 4 bits.
  const int rows[][3] = {{0, 0, 0}, {0, 4, 4}, {0, 5, 5}, {0, 100, 100}, {0x0F, 0xFF, 0xFFF},
                         {0xFF, 0x12, 0xF12}, {0x12, 0x34, 0x234}, {1, 0, 0x100}};  // coarse, fine, period
  for (auto [coarse, fine, period] : rows) {
    for (int c = 0; c < 3; ++c) {
      Samples s = play({{7, 0x3F & ~(1 << c)}, {8 + c, 15}, {2 * c + 1, coarse}, {2 * c, fine}}, 44100);
      if (period <= 4)
        for (uint16_t v : s) ASSERT_EQ(v, 16383) << "period " << period << " is frozen high";
      else
        EXPECT_NEAR(edges(s), 2 * 1772700.0 / (16 * (period + 1)), 1.5) << "period " << period << " on " << c;
    }
  }
}

TEST(Chip, MixerAndAmplitudesFollowTheChipsRule) {
  // A channel outputs its amplitude when its tone is high or disabled and its
  // noise is high or disabled; with both disabled it is a constant level.
  for (int level = 0; level < 16; ++level) {
    Samples s = play({{0, 50}, {6, 3}, {7, 0x3F}, {8, level}, {9, 15 - level}, {10, 0xE1}}, 300);
    for (uint16_t v : s) ASSERT_EQ(v, LEVELS[level] + LEVELS[15 - level] + LEVELS[1]) << level;
  }
  for (uint16_t v : play({{0, 50}, {7, 0xFF}, {8, 15}, {9, 8}}, 300)) ASSERT_EQ(v, 16383 + 2771) << "bits 6, 7";
  EXPECT_EQ(play({{7, 0x3F}, {8, 9}, {8, 0x10}, {8, 5}}, 50)[0], 1013);
}

std::vector<int> run(std::initializer_list<std::pair<int, int>> spans) {  // from..to, up or down
  std::vector<int> out;
  for (auto [from, to] : spans)
    for (int v = from, step = from <= to ? 1 : -1; v != to + step; v += step) out.push_back(v);
  return out;
}

TEST(Chip, EveryEnvelopeShapeHasItsLevelSequence) {
  struct Row { std::vector<int> shapes, levels; int held; };
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
      std::vector<int> levels;
      for (uint16_t v : s)
        if (levels.size() < r.levels.size() && (levels.empty() || levels.back() != level_of(v)))
          levels.push_back(level_of(v));
      EXPECT_NE(s[0], s[1]) << "shape " << shape;
      EXPECT_EQ(levels, r.levels) << "shape " << shape;
      for (size_t i = 600; r.held >= 0 && i < s.size(); ++i) ASSERT_EQ(level_of(s[i]), r.held) << shape;
    }
  }
}

TEST(Chip, EnvelopeSpeedAndRestart) {
  Samples fast = play({{11, 0}, {13, 0}, {7, 0x3F}, {8, 0x10}}, 100);
  const int first[] = {15, 14, 14, 14, 13, 13, 13, 12, 12, 12, 11};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(level_of(fast[size_t(i)]), first[i]) << "sample " << i;
  EXPECT_TRUE(fast[44] != 0 && fast[45] == 0 && fast[99] == 0) << "0 from the 46th sample on";
  // No period written: step 0.
  EXPECT_EQ(play({{13, 13}, {7, 0x3F}, {8, 0x10}}, 500)[499], 16383);
  EXPECT_EQ(play({{13, 14}, {7, 0x3F}, {8, 0x10}}, 500)[499], 0);
  EXPECT_EQ(play({{8, 0x10}}, 50)[0], 0) << "a new start is at phase 0, not where 14 held";
  // A period write changes the speed only; a shape write restarts, also the same shape.
  const Writes start = {{11, 3}, {13, 0}, {7, 0x3F}, {8, 0x10}};
  Samples period = play(start, 300, {{11, 2}}, 100);
  EXPECT_EQ(level_of(period[100]), level_of(period[99]));
  EXPECT_LT(level_of(period[150]), level_of(play(start, 300)[150])) << "faster after period 2";
  EXPECT_EQ(level_of(play(start, 300, {{13, 0}}, 100)[100]), 15) << "restarted";
}

TEST(Chip, NoiseIsTheFirstDrawsOfTheGeneratorOnEveryChannel) {
  // Noise period 31: the next noise value every 2^22 / 658592 samples, the
  // same 1024 values over and over. They come from the program's first 1024
  // draws, entry 1023 first: 41, 18467, 6334, 26500 (/ 16383: 0, 1, 0, 1).
  const uint32_t step = 21074950 / 32;
  const int count = int((1024ull << 22) / step) + 1;
  Samples s = play({{6, 31}, {7, 0x07 | 0x10}, {8, 15}, {9, 15}, {10, 4}}, count);
  std::vector<int> table(1024, -1);
  for (int i = 0; i < count; ++i) {
    uint16_t v = s[size_t(i)];
    ASSERT_TRUE(v == 16383 || v == 16383 + 16383 + 693) << "A and C high or low together";
    int& entry = table[((uint64_t(i) * step) >> 22) & 1023];
    ASSERT_TRUE(entry == -1 || entry == (v != 16383)) << "one value per entry, sample " << i;
    entry = v != 16383;
  }
  EXPECT_EQ(std::vector<int>(table.begin() + 1020, table.end()), (std::vector<int>{1, 0, 1, 0}));
  EXPECT_EQ(std::count(table.begin(), table.end(), 1), 530);
  EXPECT_GT(edges(play({{6, 0}, {7, 0x37}, {8, 15}}, 1000)), 300);
  EXPECT_EQ(edges(play({{7, 0x37}, {8, 15}}, 1000)), 0) << "a new start: no period written, no noise step";
}

}  // namespace
