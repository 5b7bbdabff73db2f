// The port interface: decoding, register masks, the cycle charge of a write,
// the exact stamping of events with the carried remainder, and the ring.
#include "sound/ports.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "machine/machine.h"
#include "sound/chip.h"
#include "sound/sound_internal.h"
#include "tests/sound/fake_host.h"

namespace {

// Without a stream the pump only counts time, so the ring holds exactly what
// the ports queued (no sync points).
class Ports : public testing::Test {
 protected:
  void SetUp() override { sound_test_start(false); }
  void TearDown() override { sound_set_port_observer(nullptr); }
};

const SoundEvent& last_event() { return sound_queue[(queue_write - 1) & QUEUE_MASK]; }

uint32_t floor_samples(uint64_t ticks) { return uint32_t(ticks * 147 / 11818); }

TEST_F(Ports, SelectUsesTheLowNibbleAndTheLow16PortBits) {
  sound_out(0xFFFD, 0x17);
  EXPECT_EQ(selected_register, 7);
  sound_out(0x1FFFD, 3);
  EXPECT_EQ(selected_register, 3);
  EXPECT_EQ(queue_write, 0u) << "selecting queues nothing";
  sound_out(0xFFFD, 0x1F);
  sound_out(0x5BFFD, 0x1AB);
  EXPECT_EQ(queue_write, 1u);
  EXPECT_EQ(last_event().type, 15);
  EXPECT_EQ(last_event().value, 0xAB) << "low 8 bits of the value";
}

TEST_F(Ports, DataWritesAreMaskedToTheRegisterWidth) {
  const uint8_t expected[16] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF};
  for (int r = 0; r < 16; ++r) {
    sound_out(PORT_REGISTER_SELECT, r);
    sound_out(PORT_REGISTER_DATA, 0xFF);
    EXPECT_EQ(last_event().type, r);
    EXPECT_EQ(last_event().value, expected[r]) << "register " << r;
  }
  EXPECT_EQ(queue_write, 16u);
}

TEST_F(Ports, MarkQueuesItsLowByte) {
  sound_out(0x1ABCD, 0x345);
  EXPECT_EQ(queue_write, 1u);
  EXPECT_EQ(last_event().type, EVENT_MARK);
  EXPECT_EQ(last_event().value, 0x45);
}

TEST_F(Ports, OtherPortsOnlyChargeCycles) {
  sound_out(0x1234, 5);
  EXPECT_EQ(queue_write, 0u);
  EXPECT_EQ(selected_register, 0);
  EXPECT_EQ(machine_total_cycles(), 6u);
}

TEST_F(Ports, WritesAlignToAMultipleOfSixCycles) {
  machine_spend(10);
  sound_out(0x1234, 0);
  EXPECT_EQ(machine_total_cycles(), 18u) << "2 to align, then 6";
  sound_out(0x1234, 0);
  EXPECT_EQ(machine_total_cycles(), 24u) << "aligned already: only 6";
  machine_spend(5);
  sound_out(PORT_MARK, 0);
  EXPECT_EQ(machine_total_cycles(), 36u);
  EXPECT_EQ(sound_time_now(), 6u) << "36 cycles are 6 sound ticks";
  EXPECT_EQ(last_event().ticks, 6u) << "stamped after its charge";
}

TEST_F(Ports, ObserverSeesEveryWriteAfterItsCharge) {
  static std::vector<uint32_t> seen;
  seen.clear();
  sound_set_port_observer([](uint32_t port, int value) {
    seen.insert(seen.end(), {port, uint32_t(value), machine_total_cycles()});
  });
  machine_spend(1);
  sound_out(0x1FFFD, 7);
  sound_out(0x4242, -1);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x1FFFD, 7, 12, 0x4242, 0xFFFFFFFF, 18}));
}

TEST_F(Ports, StampingCarriesTheRemainder) {
  sound_queue[queue_write].type = EVENT_MARK;
  sound_queue_stamp(80);
  EXPECT_EQ(sound_queue[0].sample_delta, 0u);
  EXPECT_EQ(sound_queue[0].remainder, 11760u);
  sound_queue[queue_write].type = EVENT_MARK;
  sound_queue_stamp(161);
  EXPECT_EQ(sound_queue[1].sample_delta, 2u) << "11760 + 147 x 81 = 23667";
  EXPECT_EQ(sound_queue[1].remainder, 31u);
  EXPECT_EQ(sound_queue[1].ticks, 161u);
}

TEST_F(Ports, FirstEventCountsFromTheZeroEntry) {
  machine_spend(6 * 100000);
  sound_out(PORT_MARK, 1);
  uint32_t t = sound_time_now();
  EXPECT_EQ(sound_queue[0].sample_delta, t * 147 / 11818);
  EXPECT_EQ(sound_queue[0].remainder, t * 147 % 11818);
}

TEST_F(Ports, ChainOfStampsStaysExact) {
  // Sum of the deltas plus the last remainder is the exact sample position,
  // however the events are spaced, also across the 32-bit wrap of sound_time.
  uint64_t ticks = 0;
  uint64_t samples = 0;
  const uint64_t gaps[] = {1, 80, 81, 11818, 29217465, 29217466, 4000000000u, 4294967295u, 7};
  for (uint64_t gap : gaps) {
    ticks += gap;
    sound_queue[queue_write].type = EVENT_MARK;
    sound_queue_stamp(uint32_t(ticks));
    samples += last_event().sample_delta;
    ASSERT_EQ(samples, ticks * 147 / 11818) << "after a gap of " << gap;
    ASSERT_EQ(last_event().remainder, ticks * 147 % 11818);
  }
}

TEST_F(Ports, FarApartEventsArePlacedExactly) {
  sound_queue[queue_write].type = EVENT_MARK;
  sound_queue_stamp(30000000);  // beyond 2^32 / 147 ticks: a 32-bit product would wrap
  EXPECT_EQ(last_event().sample_delta, floor_samples(30000000));
  EXPECT_EQ(last_event().sample_delta, 373159u);
}

TEST_F(Ports, EmptyQueueEventInTheRenderedPastMovesTheTimelineBack) {
  samples_since_event = 50;
  sound_queue[queue_write].type = EVENT_MARK;
  sound_queue_stamp(242);  // 242 x 147 / 11818 = 3.01: delta 3
  ASSERT_EQ(last_event().sample_delta, 3u);
  EXPECT_EQ(samples_since_event, 3u);

  sound_test_start(false);
  samples_since_event = 2;
  sound_queue[queue_write].type = EVENT_MARK;
  sound_queue_stamp(242);
  EXPECT_EQ(samples_since_event, 2u) << "an event ahead of the renderer keeps it";

  sound_test_start(false);
  sound_queue[queue_write].type = EVENT_MARK;
  sound_queue_stamp(0);
  samples_since_event = 50;
  sound_queue[queue_write].type = EVENT_MARK;
  sound_queue_stamp(242);
  EXPECT_EQ(samples_since_event, 50u) << "a non-empty queue never changes it";
}

TEST_F(Ports, WriteIndexWrapsAndChainsThroughTheEnd) {
  queue_read = queue_write = 65535;
  sound_queue[65534] = SoundEvent{0, EVENT_MARK, 0, 900, 0};
  sound_queue[65535].type = EVENT_MARK;
  sound_queue_stamp(1000);
  EXPECT_EQ(queue_write, 0u);
  sound_queue[0].type = EVENT_MARK;
  sound_queue_stamp(1100);
  EXPECT_EQ(queue_write, 1u);
  uint32_t n = sound_queue[65535].remainder + 147 * 100;
  EXPECT_EQ(sound_queue[0].sample_delta, n / 11818) << "entry 65535 is entry 0's previous";
  EXPECT_EQ(sound_queue[0].remainder, n % 11818);
}

TEST_F(Ports, OverrunAppliesTheOldestEventInsteadOfLosingTheQueue) {
  // The oldest pending write sets channel A's amplitude, 1243 samples after
  // start; then the ring fills.
  machine_spend(6 * 100000);
  sound_out(PORT_REGISTER_SELECT, 8);
  sound_out(PORT_REGISTER_DATA, 12);
  for (uint32_t i = 1; i < QUEUE_SIZE - 1; ++i) sound_out(PORT_MARK, 0);
  ASSERT_EQ((queue_write - queue_read) & QUEUE_MASK, 65535u) << "full: one short of looking empty";
  EXPECT_EQ(tone_channels[0].fixed_amplitude, 0);
  samples_since_event = 5;

  sound_out(PORT_MARK, 0);  // the 65536th pending event
  EXPECT_FALSE(sound_queue_empty()) << "the queue must not look empty";
  EXPECT_EQ((queue_write - queue_read) & QUEUE_MASK, 65535u);
  EXPECT_EQ(queue_read, 1u);
  EXPECT_EQ(tone_channels[0].fixed_amplitude, 9345) << "the overwritten write took effect";
  EXPECT_EQ(samples_since_event, 0u) << "its time point lay ahead of the renderer";

  sound_out(PORT_MARK, 7);  // and so on: every further write applies one more
  EXPECT_EQ(queue_read, 2u);
  EXPECT_EQ(last_event().value, 7);
  EXPECT_EQ(sound_timing_counts.overruns, 2u);
}

}  // namespace
