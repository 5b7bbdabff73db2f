// The port interface: decoding and masks, writes into already rendered
// samples, and the ring's overrun rule. (Writes taking effect at the sample
// of their machine time is what the golden replays' audio shows.)
#include "sound/ports.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/sound/fake_host.h"

namespace {

TEST(Ports, OnlyTheLow16PortBitsAndTheLowValueBitsCount) {
  sound_test_start();
  const uint32_t start = machine_total_cycles();
  sound_out(0x1FFFD, 0x17);       // selects register 7
  sound_out(0x5BFFD, 0x13F);      // mixer 0x3F: everything off
  sound_out(PORT_REGISTER_SELECT, 0x18);
  sound_out(0x1234, 0x0C);        // no device: only 6 cycles
  sound_out(PORT_MARK, 0x0C);     // a mark changes nothing
  sound_out(PORT_REGISTER_DATA, 0xEC);  // register 8 keeps 5 bits: level 12
  EXPECT_EQ(machine_total_cycles() - start, 36u);
  fake_host.free_buffers = 1;
  machine_spend(0);
  EXPECT_EQ(fake_host.output.at(0), 9345);
}

TEST(Ports, WriteIntoRenderedSamplesSoundsAtTheNextSample) {
  // The host took 1536 samples at once; writes at samples 100 and 150 lie in
  // the rendered past: the first sounds at the next sample rendered, the
  // second keeps its 50 samples of distance.
  sound_test_start();
  sound_test_write(7, 0x3F);
  fake_host.free_buffers = 3;
  machine_spend(0);
  sound_test_spend(ticks_for(100) - clock_sound_time());
  sound_test_write(8, 5);
  sound_test_spend(ticks_for(150) - clock_sound_time());
  sound_test_write(8, 9);
  fake_host.free_buffers = 1;
  machine_spend(0);
  const std::vector<uint16_t>& o = fake_host.output;
  ASSERT_EQ(o.size(), 4u * 512);
  EXPECT_EQ((std::vector<int>{o[1535], o[1536], o[1536 + 49], o[1536 + 50]}),
            (std::vector<int>{0, 1013, 1013, 4336}));
}

TEST(Ports, OverrunAppliesTheOldestWritesInsteadOfLosingTheRing) {
  // 65537 events pending in a ring of 65536: the two oldest (mixer and
  // level) take effect early rather than the ring looking empty.
  sound_test_start();
  sound_test_write(7, 0x3F);
  sound_test_write(8, 12);
  for (int i = 0; i < 65535; ++i) sound_out(PORT_MARK, 0);
  fake_host.free_buffers = 1;
  machine_spend(0);
  EXPECT_EQ(fake_host.output.at(0), 9345);
}

}  // namespace
