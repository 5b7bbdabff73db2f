// The perfect host: every write takes effect at sample
// floor(147 x sound_time / 11818), the catch-up never fires, and the flush
// delivers every sample owed.
#include "sound/offline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "machine/machine.h"
#include "machine/random.h"
#include "sound/ports.h"
#include "sound/pump.h"
#include "sound/sound_internal.h"
#include "tests/sound/fake_host.h"

namespace {

void collect(const uint16_t* samples, int count, void* user) {
  auto* out = static_cast<std::vector<uint16_t>*>(user);
  out->insert(out->end(), samples, samples + count);
}

void write_register(int reg, int value) {
  sound_out(PORT_REGISTER_SELECT, reg);
  sound_out(PORT_REGISTER_DATA, value);
}

TEST(Offline, WritesTakeEffectAtTheirMachineTime) {
  sound_test_start();
  std::vector<uint16_t> samples;
  sound_offline_install(collect, &samples);
  lcg_set_state(1);
  sound_init();
  write_register(7, 0x3F);  // channels as plain levels: the output shows each write
  struct Write { uint32_t time; int level; };
  std::vector<Write> writes;
  lcg_set_state(12345);
  for (int i = 0; i < 300; ++i) {
    // Charges of every size, including ones that cross frame ends, so
    // buffers are handed out at every phase against the writes.
    machine_spend(uint32_t(lcg_rand()) * uint32_t(1 + lcg_rand() % 40));
    int level = 1 + i % 15;
    sound_out(PORT_REGISTER_SELECT, 8);
    sound_out(PORT_REGISTER_DATA, level);
    writes.push_back({sound_time_now(), level});
  }
  machine_spend(100000);
  sound_offline_flush();
  uint32_t end = sound_time_now();
  ASSERT_EQ(samples.size(), size_t(uint64_t(end) * 147 / 11818)) << "flush renders all owed";
  EXPECT_EQ(sound_timing_counts.catch_ups, 0u);
  EXPECT_EQ(sound_timing_counts.late_stamps, 0u);
  for (size_t i = 0; i < writes.size(); ++i) {
    size_t at = size_t(uint64_t(writes[i].time) * 147 / 11818);
    size_t next = i + 1 < writes.size() ? size_t(uint64_t(writes[i + 1].time) * 147 / 11818)
                                        : samples.size();
    int32_t amplitude = volume_table[writes[i].level];
    if (at < next) {
      EXPECT_EQ(samples[at], amplitude) << "write " << i << " at its sample";
      EXPECT_EQ(samples[next - 1], amplitude) << "held until the next write";
    }
    if (at > 0 && i > 0 && size_t(uint64_t(writes[i - 1].time) * 147 / 11818) < at) {
      EXPECT_EQ(samples[at - 1], volume_table[writes[i - 1].level]) << "not a sample early";
    }
  }
  sound_set_host(nullptr);
}

}  // namespace
