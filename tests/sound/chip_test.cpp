// The AY-3-8910 synthesis: generator steps, the mixer rule, amplitudes, the
// envelope shapes, the noise table and the sample-exact application of the
// event ring.
#include "sound/chip.h"

#include <gtest/gtest.h>

#include <vector>

#include "sound/sound_internal.h"
#include "tests/sound/fake_host.h"

namespace {

// Applies one register write at once (sample_delta 0 into the ring, then a
// render of no samples would not apply it: apply it directly).
void write_register(uint8_t reg, uint8_t value) {
  sound_test_queue(reg, value, 0);
  chip_apply_event();
}

// Level (0..15) of an amplitude, or -1 when it is none of the table's.
int level_of(uint32_t amplitude) {
  for (int level = 0; level < 16; ++level) {
    if (uint32_t(volume_table[level]) == amplitude) return level;
  }
  return -1;
}

// Channel A alone, in envelope mode, with tone and noise disabled: the output
// is the envelope's amplitude.
void envelope_on_channel_a() {
  write_register(7, 0x3F);
  write_register(8, 0x10);
}

// Collapses runs of equal levels: the shape's sequence of distinct levels.
std::vector<int> level_sequence(const std::vector<uint16_t>& samples, size_t limit) {
  std::vector<int> levels;
  for (uint16_t s : samples) {
    int level = level_of(s);
    if (levels.empty() || levels.back() != level) levels.push_back(level);
    if (levels.size() == limit) break;
  }
  return levels;
}

std::vector<int> counting(int from, int to) {
  std::vector<int> out;
  for (int v = from; from <= to ? v <= to : v >= to; v += from <= to ? 1 : -1) out.push_back(v);
  return out;
}

std::vector<int> concat(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

class Chip : public testing::Test {
 protected:
  void SetUp() override { sound_test_start(); }
};

TEST_F(Chip, ToneStepIsTheBaseOverPeriodPlusOne) {
  write_register(0, 5);
  EXPECT_EQ(tone_channels[0].step, 3512491u);
  write_register(0, 0xFF);
  write_register(1, 0x0F);
  EXPECT_EQ(tone_channels[0].period, 0xFFFu);
  EXPECT_EQ(tone_channels[0].step, 5145u);
  write_register(2, 100);
  EXPECT_EQ(tone_channels[1].step, 21074950u / 101);
  write_register(5, 0x01);
  EXPECT_EQ(tone_channels[2].period, 0x100u);
  EXPECT_EQ(tone_channels[2].step, 21074950u / 257);
}

TEST_F(Chip, PeriodsZeroToFourFreezeTheToneHigh) {
  for (uint8_t period = 0; period <= 4; ++period) {
    tone_channels[1].phase = 0x123;
    write_register(2, period);
    EXPECT_EQ(tone_channels[1].step, 0u) << "period " << int(period) << " would alias";
    EXPECT_EQ(tone_channels[1].phase, 0x400000u) << "frozen high at period " << int(period);
  }
  tone_channels[1].phase = 0x123;
  write_register(2, 5);
  EXPECT_EQ(tone_channels[1].step, 3512491u);
  EXPECT_EQ(tone_channels[1].phase, 0x123u) << "a period change never restarts the waveform";
}

TEST_F(Chip, PeriodRegistersCombineLowAndHighBytes) {
  write_register(0, 0xFF);
  write_register(1, 0x0F);
  EXPECT_EQ(tone_channels[0].period, 0xFFFu);
  write_register(0, 0x12);
  EXPECT_EQ(tone_channels[0].period, 0xF12u);
  write_register(1, 0x03);
  EXPECT_EQ(tone_channels[0].period, 0x312u);
  EXPECT_EQ(tone_channels[1].period, 0u) << "channel B untouched";
}

TEST_F(Chip, FrozenToneWithToneEnabledOutputsItsAmplitude) {
  write_register(7, 0x3E);  // only A's tone enabled
  write_register(8, 15);
  // Start-up leaves phase and step at 0: the tone sits low until a period
  // is written.
  for (uint16_t s : sound_test_render(50)) ASSERT_EQ(s, 0) << "no period written yet";
  write_register(0, 0);
  for (uint16_t s : sound_test_render(300)) ASSERT_EQ(s, 16383) << "period 0 freezes it high";
  write_register(0, 4);
  for (uint16_t s : sound_test_render(300)) ASSERT_EQ(s, 16383) << "so does period 4";
}

TEST_F(Chip, MixerBitsDisableTonesAndNoise) {
  write_register(7, 0x3E);
  EXPECT_EQ(tone_channels[0].tone_mask, 0xFFFFu);
  EXPECT_EQ(tone_channels[1].tone_mask, 0u);
  EXPECT_EQ(tone_channels[2].tone_mask, 0u);
  for (const ToneChannel& x : tone_channels) EXPECT_EQ(x.noise_mask, 0u);
  write_register(7, 0x00);
  for (const ToneChannel& x : tone_channels) {
    EXPECT_EQ(x.tone_mask, 0xFFFFu);
    EXPECT_EQ(x.noise_mask, 0xFFFFu);
  }
  write_register(7, 0xC0);
  for (const ToneChannel& x : tone_channels) EXPECT_EQ(x.tone_mask, 0xFFFFu) << "bits 6, 7 ignored";
}

TEST_F(Chip, DisabledChannelsOutputTheirAmplitudesConstantly) {
  for (uint8_t mixer : {uint8_t(0x3F), uint8_t(0xFF)}) {
    write_register(0, 50);  // a real tone and noise that are switched off
    write_register(6, 3);
    write_register(7, mixer);
    write_register(8, 15);
    write_register(9, 8);
    write_register(10, 1);
    for (uint16_t s : sound_test_render(1000)) ASSERT_EQ(s, 16383 + 2771 + 225);
  }
}

TEST_F(Chip, ToneIsASquareWaveReadFromPhaseBit22) {
  write_register(7, 0x3E);
  write_register(8, 15);
  write_register(0, 200);  // step 104850: high for about 40 samples, low for 40
  uint32_t phase = tone_channels[0].phase;
  std::vector<uint16_t> out = sound_test_render(2000);
  int highs = 0;
  for (int i = 0; i < 2000; ++i) {
    bool high = (phase & 0x400000) != 0;
    ASSERT_EQ(out[size_t(i)], high ? 16383 : 0) << "sample " << i;
    highs += high;
    phase += 21074950u / 201;
  }
  EXPECT_NEAR(highs, 1000, 45) << "half the time high";
}

TEST_F(Chip, AmplitudeRegisterSwitchesBetweenFixedAndEnvelope) {
  write_register(8, 9);
  EXPECT_EQ(tone_channels[0].fixed_amplitude, 4336);
  write_register(8, 0x10);
  EXPECT_EQ(tone_channels[0].amplitude_source, &env_level);
  EXPECT_EQ(tone_channels[0].fixed_amplitude, 4336) << "the fixed level is kept";
  write_register(8, 0x05);
  EXPECT_EQ(tone_channels[0].amplitude_source, &tone_channels[0].fixed_amplitude);
  EXPECT_EQ(tone_channels[0].fixed_amplitude, 1013);
}

TEST_F(Chip, VolumeTableIsTheChipsLevels) {
  const int32_t expected[16] = {0,    225,  335,  476,  693,   1013,  1388,  2243,
                                2771, 4336, 5778, 7371, 9345, 11260, 13896, 16383};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(volume_table[i], expected[i]);
}

TEST_F(Chip, EnvelopeStepFollowsItsPeriod) {
  write_register(11, 0);
  EXPECT_EQ(env_step, 1317184u);
  write_register(11, 0x34);
  write_register(12, 0x12);
  EXPECT_EQ(env_period, 0x1234);
  EXPECT_EQ(env_step, 1317184u / 0x1235);
  write_register(11, 0xFF);
  EXPECT_EQ(env_period, 0x12FF);
}

TEST_F(Chip, ShapeZeroWithPeriodZeroFallsInThreeOrFourSamplesALevel) {
  write_register(11, 0);
  write_register(13, 0);
  envelope_on_channel_a();
  std::vector<uint16_t> out = sound_test_render(200);
  const int first[] = {15, 14, 14, 14, 13, 13, 13, 12, 12, 12, 11};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(level_of(out[size_t(i)]), first[i]) << "sample " << i;
  EXPECT_NE(out[44], 0) << "not yet 0 at the 45th sample";
  for (size_t i = 45; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << "0 from the 46th sample on";
}

struct ShapeCase {
  int shape;
  std::vector<int> levels;  // distinct levels heard, in order
  int held;                 // level held for good, or -1 for a repeating shape
};

TEST_F(Chip, EveryEnvelopeShapeHasItsLevelSequence) {
  std::vector<int> fall = counting(15, 0), rise = counting(0, 15);
  std::vector<ShapeCase> cases;
  for (int shape : {0, 1, 2, 3, 9}) cases.push_back({shape, fall, 0});
  for (int shape : {4, 5, 6, 7, 15}) cases.push_back({shape, concat({counting(1, 15), {0}}), 0});
  cases.push_back({8, concat({fall, fall, fall}), -1});
  cases.push_back({10, concat({fall, counting(1, 15), counting(14, 0), counting(1, 15)}), -1});
  cases.push_back({11, concat({fall, {15}}), 15});
  cases.push_back({12, concat({rise, rise, rise}), -1});
  cases.push_back({13, concat({{15}, rise}), 15});
  cases.push_back({14, concat({rise, counting(14, 0), counting(1, 15)}), -1});
  for (const ShapeCase& c : cases) {
    sound_test_start();
    write_register(11, 3);  // 4 x 2^22 / 1317184: about 12.7 samples per level
    write_register(13, uint8_t(c.shape));
    envelope_on_channel_a();
    std::vector<uint16_t> out = sound_test_render(1500);
    EXPECT_NE(out[0], out[1]) << "shape " << c.shape << ": the first level lasts one sample";
    EXPECT_EQ(level_sequence(out, c.levels.size()), c.levels) << "shape " << c.shape;
    if (c.held >= 0) {
      for (size_t i = 600; i < out.size(); ++i) {
        ASSERT_EQ(level_of(out[i]), c.held) << "shape " << c.shape << " holds";
      }
    }
  }
}

TEST_F(Chip, EnvelopeWithoutPeriodWritesStaysOnItsFirstEntry) {
  envelope_on_channel_a();
  write_register(13, 13);
  for (uint16_t s : sound_test_render(500)) ASSERT_EQ(s, 16383) << "shape 13, step 0";
  write_register(13, 12);
  for (uint16_t s : sound_test_render(500)) ASSERT_EQ(s, 0) << "shape 12, step 0";
}

TEST_F(Chip, ShapeWriteRestartsButPeriodWriteDoesNot) {
  write_register(11, 3);
  write_register(13, 0);
  envelope_on_channel_a();
  sound_test_render(100);
  int32_t phase = env_phase;
  write_register(11, 2);
  EXPECT_EQ(env_phase, phase) << "a period write changes only the speed";
  EXPECT_EQ(env_step, 1317184u / 3);
  write_register(13, 0);
  EXPECT_EQ(env_phase, 0x3C00000) << "the same shape again restarts it";
  EXPECT_EQ(level_of(sound_test_render(1)[0]), 15);
}

TEST_F(Chip, NoiseTableComesFromTheFirstDraws) {
  EXPECT_EQ(noise_table[1023], 0) << "draw 41";
  EXPECT_EQ(noise_table[1022], 1) << "draw 18467";
  EXPECT_EQ(noise_table[1021], 0) << "draw 6334";
  EXPECT_EQ(noise_table[1020], 1) << "draw 26500";
  int non_zero = 0;
  for (int16_t v : noise_table) {
    EXPECT_TRUE(v == 0 || v == 1 || v == 2);
    non_zero += v != 0;
  }
  EXPECT_EQ(non_zero, 530);
  std::vector<int16_t> first(noise_table, noise_table + 1024);
  sound_test_start();
  EXPECT_EQ(std::vector<int16_t>(noise_table, noise_table + 1024), first) << "same at every run";
}

TEST_F(Chip, NoiseGatesEveryChannelFromOneSequence) {
  write_register(6, 7);  // step 2634368: about 1.6 samples per noise value
  EXPECT_EQ(noise_step, 21074950u / 8);
  write_register(7, 0x07 | 0x10);  // tones off, noise on A and C
  write_register(8, 15);
  write_register(9, 15);
  write_register(10, 4);
  std::vector<uint16_t> out = sound_test_render(3000);
  uint32_t phase = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    bool high = noise_table[phase >> 22] != 0;
    ASSERT_EQ(out[i], 16383 + (high ? 16383 + 693 : 0)) << "sample " << i;
    phase += 21074950u / 8;
  }
  write_register(6, 0);
  EXPECT_EQ(noise_step, 21074950u) << "the fastest noise is not frozen";
}

TEST_F(Chip, EventsTakeEffectAtTheirSample) {
  write_register(7, 0x3F);
  sound_test_queue(8, 15, 100);
  sound_test_queue(8, 8, 412);  // sample 512: the first of the next render
  sound_test_queue(8, 1, 88);   // sample 600
  std::vector<uint16_t> a = sound_test_render(512);
  std::vector<uint16_t> b = sound_test_render(512);
  EXPECT_EQ(a[99], 0);
  EXPECT_EQ(a[100], 16383);
  EXPECT_EQ(a[511], 16383);
  EXPECT_EQ(b[0], 2771);
  EXPECT_EQ(b[87], 2771);
  EXPECT_EQ(b[88], 225);
  EXPECT_TRUE(sound_queue_empty());
  EXPECT_EQ(samples_since_event, 1024u - 600u);
}

TEST_F(Chip, EventsWithDeltaZeroApplyBeforeTheNextSample) {
  write_register(7, 0x3F);
  sound_test_queue(8, 15, 10);
  sound_test_queue(8, 3, 0);
  sound_test_queue(9, 3, 0);
  sound_test_queue(10, 3, 0);
  std::vector<uint16_t> out = sound_test_render(20);
  EXPECT_EQ(out[9], 0);
  EXPECT_EQ(out[10], 3 * 476) << "all four applied before sample 10; 15 is never heard";
}

TEST_F(Chip, RenderWithAnEmptyQueueCountsItsSamples) {
  samples_since_event = 7;
  window_samples = 100;
  sound_test_render(512);
  EXPECT_EQ(samples_since_event, 519u);
  EXPECT_EQ(window_samples, 612u);
  uint16_t untouched = 0xBEEF;
  chip_render(&untouched, 0);
  chip_render(&untouched, -5);
  EXPECT_EQ(untouched, 0xBEEF);
  EXPECT_EQ(window_samples, 607u) << "the count is added whatever it is";
  EXPECT_EQ(samples_since_event, 519u);
}

TEST_F(Chip, MarksSyncsAndSpareRegistersChangeNothing) {
  write_register(7, 0x3E);
  write_register(8, 12);
  write_register(0, 40);
  ToneChannel a = tone_channels[0];
  uint32_t mask = env_mask;
  for (uint8_t type : {14, 15, 16, 17}) write_register(type, 0xFF);
  EXPECT_EQ(tone_channels[0].period, a.period);
  EXPECT_EQ(tone_channels[0].step, a.step);
  EXPECT_EQ(tone_channels[0].tone_mask, a.tone_mask);
  EXPECT_EQ(tone_channels[0].fixed_amplitude, a.fixed_amplitude);
  EXPECT_EQ(env_mask, mask);
}

TEST_F(Chip, ApplyingAdvancesTheReadIndexWithWrap) {
  queue_read = queue_write = 65535;
  sound_test_queue(8, 4, 0);
  EXPECT_EQ(queue_write, 0u);
  chip_apply_event();
  EXPECT_EQ(queue_read, 0u);
  EXPECT_EQ(tone_channels[0].fixed_amplitude, 693);
}

}  // namespace
