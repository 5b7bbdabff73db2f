// The port interface: decoding and register masks, writes placed on the exact
// sample of their machine time, writes into already rendered samples, and the
// ring's overrun rule.
#include "sound/ports.h"

#include <gtest/gtest.h>

#include <vector>

#include "machine/machine.h"
#include "machine/random.h"
#include "sound/offline.h"
#include "sound/pump.h"
#include "tests/sound/fake_host.h"

namespace {

TEST(Ports, OnlyTheLow16PortBitsAndTheLowValueBitsCount) {
  sound_test_start();
  sound_out(0x1FFFD, 0x17);       // selects register 7
  sound_out(0x5BFFD, 0x13F);      // mixer 0x3F: everything off
  sound_out(PORT_REGISTER_SELECT, 0x18);
  sound_out(0x1234, 0x0C);        // no device: only 6 cycles
  sound_out(PORT_MARK, 0x0C);     // a mark changes nothing
  sound_out(PORT_REGISTER_DATA, 0xEC);  // register 8 keeps 5 bits: level 12
  EXPECT_EQ(machine_total_cycles(), 36u);
  fake_host.free_buffers = 1;
  sound_advance(0);
  ASSERT_EQ(fake_host.output.size(), 512u);
  EXPECT_EQ(fake_host.output[0], 9345);
}

TEST(Ports, WritesSoundAtTheSampleOfTheirMachineTime) {
  // On the offline host every write takes effect at sample
  // floor(147 x sound_time / 11818), for charges of any size.
  std::vector<uint16_t> samples;
  sound_test_start_offline(&samples);
  sound_test_write(7, 0x3F);  // plain levels: the output shows each write
  std::vector<std::pair<uint64_t, int>> writes;  // (sample, level)
  lcg_set_state(12345);
  for (int i = 0; i < 300; ++i) {
    machine_spend(uint32_t(lcg_rand()) * uint32_t(1 + lcg_rand() % 40));
    sound_test_write(8, 1 + i % 15);
    writes.emplace_back(uint64_t(sound_time_now()) * 147 / 11818, 1 + i % 15);
  }
  machine_spend(100000);
  sound_offline_flush();
  ASSERT_EQ(samples.size(), uint64_t(sound_time_now()) * 147 / 11818) << "flush renders all owed";
  const int32_t levels[16] = {0, 225, 335, 476, 693, 1013, 1388, 2243,
                              2771, 4336, 5778, 7371, 9345, 11260, 13896, 16383};
  for (size_t i = 0; i + 1 < writes.size(); ++i) {
    auto [at, level] = writes[i];
    if (at == writes[i + 1].first) continue;  // overwritten on the same sample
    EXPECT_EQ(samples[at], levels[level]) << "write " << i;
    EXPECT_EQ(samples[writes[i + 1].first - 1], levels[level]) << "held up to the next write";
  }
}

TEST(Ports, WriteIntoRenderedSamplesSoundsAtTheNextSample) {
  // The host took 1536 samples at once; writes at samples 100 and 150 lie in
  // the rendered past: the first sounds at the next sample rendered, the
  // second keeps its 50 samples of distance.
  sound_test_start();
  sound_test_write(7, 0x3F);
  fake_host.free_buffers = 3;
  sound_advance(0);
  sound_test_spend(ticks_for(100) - sound_time_now());
  sound_test_write(8, 5);
  sound_test_spend(ticks_for(150) - sound_time_now());
  sound_test_write(8, 9);
  fake_host.free_buffers = 1;
  sound_advance(0);
  ASSERT_EQ(fake_host.output.size(), 4u * 512);
  EXPECT_EQ(fake_host.output[1535], 0);
  EXPECT_EQ(fake_host.output[1536], 1013);
  EXPECT_EQ(fake_host.output[1536 + 49], 1013);
  EXPECT_EQ(fake_host.output[1536 + 50], 4336);
}

TEST(Ports, OverrunAppliesTheOldestWritesInsteadOfLosingTheRing) {
  // 65537 events pending in a ring of 65536: the two oldest (mixer and
  // level) take effect early rather than the ring looking empty.
  sound_test_start();
  sound_test_write(7, 0x3F);
  sound_test_write(8, 12);
  for (int i = 0; i < 65535; ++i) sound_out(PORT_MARK, 0);
  fake_host.free_buffers = 1;
  sound_advance(0);
  ASSERT_EQ(fake_host.output.size(), 512u);
  EXPECT_EQ(fake_host.output[0], 9345);
}

}  // namespace
