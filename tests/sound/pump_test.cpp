// The audio stream pump on a scripted host: start-up and shut-down calls, the
// sync points, filling free buffers, the catch-up, the latency control with
// its cap, and stream restarts that fail.
#include "sound/pump.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include "sound/chip.h"
#include "sound/sound_internal.h"
#include "tests/sound/fake_host.h"

namespace {

class Pump : public testing::Test {
 protected:
  void SetUp() override { sound_test_start(); }
};

// Sound ticks that are worth exactly `samples` samples (the fewest such).
uint32_t ticks_for(uint32_t samples) { return uint32_t((uint64_t(samples) * 11818 + 146) / 147); }

uint32_t pending() { return (queue_write - queue_read) & QUEUE_MASK; }

TEST_F(Pump, StartUpInstallsSoundAndOpensA512SampleStream) {
  sound_advance(5000);
  sound_buffer_grow();
  fake_host = FakeHost{};
  sound_init();
  EXPECT_EQ(fake_host.reserve_calls, 1);
  EXPECT_EQ(fake_host.reserve_args[0], 1);
  EXPECT_EQ(fake_host.reserve_args[1], 0);
  EXPECT_EQ(fake_host.install_calls, 1);
  EXPECT_EQ(fake_host.install_args[0], DIGI_AUTODETECT);
  EXPECT_EQ(fake_host.install_args[1], MIDI_NONE);
  EXPECT_TRUE(fake_host.install_cfg_null);
  EXPECT_EQ(fake_host.play_calls, 1);
  const int expected[6] = {512, 16, 0, 44100, 128, 128};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(fake_host.play_args[i], expected[i]);
  EXPECT_EQ(sound_available, -1);
  EXPECT_EQ(buffer_length, 512u);
  EXPECT_EQ(sound_time, 0u);
  EXPECT_EQ(selected_register, 0);
  EXPECT_EQ(window_ticks, 0u);
  EXPECT_EQ(window_samples, 0u);
  EXPECT_EQ(samples_since_event, 0u);
  EXPECT_TRUE(sound_queue_empty());
  EXPECT_EQ(queue_write, 0u);
}

TEST_F(Pump, ShutdownStopsTheStreamAndRemovesSound) {
  sound_shutdown();
  EXPECT_EQ(fake_host.stop_calls, 1);
  EXPECT_EQ(fake_host.remove_calls, 1);
  EXPECT_EQ(audio_stream, nullptr);
  EXPECT_EQ(sound_available, -1) << "left as it was";
  sound_shutdown();
  EXPECT_EQ(fake_host.stop_calls, 1) << "no stream to stop the second time";
  EXPECT_EQ(fake_host.remove_calls, 2);
}

TEST_F(Pump, WithoutAStreamOnlyTimeCounts) {
  sound_test_start(false);
  EXPECT_EQ(sound_available, 0);
  sound_advance(5);
  EXPECT_EQ(sound_time, 5u);
  EXPECT_EQ(window_ticks, 5u);
  EXPECT_TRUE(sound_queue_empty()) << "no sync point without sound";
  EXPECT_EQ(fake_host.get_calls, 0);
  sound_stream_stop();
  sound_stream_start();
  EXPECT_EQ(fake_host.play_calls, 0) << "no retry of a stream that never opened";
  EXPECT_EQ(audio_stream, nullptr);
}

TEST_F(Pump, FirstAdvanceQueuesASyncPointAtTheCurrentTime) {
  sound_advance(1000);
  ASSERT_EQ(pending(), 1u);
  EXPECT_EQ(sound_queue[0].type, EVENT_SYNC);
  EXPECT_EQ(sound_queue[0].ticks, 1000u);
  EXPECT_EQ(sound_queue[0].sample_delta, 1000u * 147 / 11818);
  sound_advance(1000);
  EXPECT_EQ(pending(), 1u) << "a sync point only into an empty queue";
}

TEST_F(Pump, AdvanceOfZeroStillFillsEveryFreeBuffer) {
  fake_host.free_buffers = 3;
  sound_advance(0);
  EXPECT_EQ(fake_host.free_calls, 3);
  EXPECT_EQ(fake_host.get_calls, 4) << "polls until the host has no buffer left";
  EXPECT_EQ(fake_host.output.size(), 3u * 512);
  EXPECT_EQ(window_samples, 3u * 512);
  sound_advance(0);
  EXPECT_EQ(fake_host.get_calls, 5);
  EXPECT_EQ(fake_host.free_calls, 3);
}

TEST_F(Pump, RenderedBuffersCarryTheWritesAtTheirSamples) {
  sound_advance(ticks_for(100));  // sync at sample 100
  sound_queue[queue_write] = SoundEvent{};
  sound_queue[queue_write].type = 7;
  sound_queue[queue_write].value = 0x3F;
  sound_queue_stamp(ticks_for(100));
  sound_queue[queue_write].type = 8;
  sound_queue[queue_write].value = 15;
  sound_queue_stamp(ticks_for(300));
  fake_host.free_buffers = 1;
  sound_advance(0);
  ASSERT_EQ(fake_host.output.size(), 512u);
  EXPECT_EQ(fake_host.output[299], 0);
  EXPECT_EQ(fake_host.output[300], 16383);
  EXPECT_EQ(fake_host.output[511], 16383);
}

TEST_F(Pump, CatchUpAppliesEventsOlderThanABuffer) {
  // Pending events at samples 0, 50, 100, 1000; the machine is at sample 600
  // plus what one buffer covers, so after that buffer is filled the events
  // at 50 and 100 are still more than 512 samples old.
  sound_queue[queue_write].type = 8;
  sound_queue[queue_write].value = 1;
  sound_queue_stamp(0);
  samples_since_event = 0;
  const uint32_t at[] = {50, 100, 1000};
  const uint8_t level[] = {2, 3, 4};
  for (int i = 0; i < 3; ++i) {
    sound_queue[queue_write].type = 8;
    sound_queue[queue_write].value = level[i];
    sound_queue_stamp(ticks_for(at[i]));
  }
  // Hold the first event back so the buffer ends before it: the renderer
  // is 512 samples behind the first event.
  sound_queue[queue_read].sample_delta = 520;
  fake_host.free_buffers = 1;
  sound_advance(ticks_for(1200));  // oldest pending is 1200 samples old
  EXPECT_EQ(fake_host.free_calls, 1);
  EXPECT_EQ(sound_timing_counts.catch_ups, 1u);
  EXPECT_EQ(tone_channels[0].fixed_amplitude, volume_table[3])
      << "the oldest, and every one more than 512 samples old, applied";
  EXPECT_EQ(pending(), 1u) << "the event 200 samples old waits";
  EXPECT_EQ(samples_since_event, 0u);
}

TEST_F(Pump, CatchUpOfAnEvent600SamplesOld) {
  // Entered with the oldest pending event 600 samples behind sound_time; one
  // buffer is filled and leaves it pending: it is applied at once, with the
  // one 550 samples old, and the one 100 samples old waits.
  sound_time = ticks_for(10000);
  const uint32_t age[] = {600, 550, 100};
  for (int i = 0; i < 3; ++i) {
    sound_queue[queue_write].type = 9;
    sound_queue[queue_write].value = uint8_t(i + 1);
    sound_queue_stamp(sound_time - ticks_for(age[i]));
  }
  samples_since_event = 0;
  sound_queue[queue_read].sample_delta = 100000;  // the fill does not reach it
  fake_host.free_buffers = 1;
  sound_advance(0);
  EXPECT_EQ(fake_host.free_calls, 1);
  EXPECT_EQ(tone_channels[1].fixed_amplitude, volume_table[2]);
  EXPECT_EQ(pending(), 1u);
  EXPECT_EQ(samples_since_event, 0u);
}

TEST_F(Pump, CatchUpWaitsForEventsWithinABuffer) {
  sound_time = ticks_for(600);
  sound_queue[queue_write].type = 8;
  sound_queue[queue_write].value = 5;
  sound_queue_stamp(sound_time);
  sound_queue[queue_read].sample_delta = 2000;  // not reached by one buffer
  fake_host.free_buffers = 1;
  sound_advance(ticks_for(1000) - ticks_for(600));  // the event is 400 samples old
  EXPECT_EQ(fake_host.free_calls, 1);
  EXPECT_EQ(sound_timing_counts.catch_ups, 0u);
  EXPECT_EQ(pending(), 1u);
  EXPECT_EQ(samples_since_event, 512u);
}

TEST_F(Pump, CatchUpNeedsAFilledBuffer) {
  sound_queue[queue_write].type = 8;
  sound_queue[queue_write].value = 5;
  sound_queue_stamp(0);
  sound_queue[queue_read].sample_delta = 100000;
  sound_advance(ticks_for(5000));
  EXPECT_EQ(sound_timing_counts.catch_ups, 0u) << "no buffer was free";
  EXPECT_EQ(pending(), 1u);
}

TEST_F(Pump, HostFallingBehindDoublesTheBuffer) {
  window_ticks = ticks_for(8193);
  window_samples = 6600;  // 1593 short: more than 3 x 512
  sound_advance(0);
  EXPECT_EQ(buffer_length, 1024u);
  EXPECT_EQ(fake_host.stop_calls, 1);
  EXPECT_EQ(fake_host.play_calls, 1);
  EXPECT_EQ(fake_host.play_args[0], 1024);
  EXPECT_EQ(window_ticks, 0u);
  EXPECT_EQ(window_samples, 0u);
}

TEST_F(Pump, SmallDeficitOrShortWindowKeepsTheBuffer) {
  window_ticks = ticks_for(8193);
  window_samples = 8193 - 1536;  // exactly 3 buffers short: not more
  sound_advance(0);
  EXPECT_EQ(buffer_length, 512u);
  window_ticks = ticks_for(8192);  // not more than 16 buffers
  window_samples = 0;
  sound_advance(0);
  EXPECT_EQ(buffer_length, 512u);
  EXPECT_EQ(fake_host.play_calls, 0);
}

TEST_F(Pump, LongBuffersShrinkBackTo4096) {
  sound_buffer_grow();
  sound_buffer_grow();
  sound_buffer_grow();
  sound_buffer_grow();
  ASSERT_EQ(buffer_length, 8192u);
  window_ticks = ticks_for(131072);
  window_samples = 131072;
  sound_advance(0);
  EXPECT_EQ(buffer_length, 8192u) << "not yet more than 16 buffers";
  sound_advance(ticks_for(131073) - ticks_for(131072));
  EXPECT_EQ(buffer_length, 4096u);
  EXPECT_EQ(fake_host.play_args[0], 4096);
  window_ticks = ticks_for(170000);
  window_samples = 170000;
  sound_advance(0);
  EXPECT_EQ(buffer_length, 4096u) << "4096 never shrinks";
}

TEST_F(Pump, WindowTrimKeepsTheDeficit) {
  window_ticks = ticks_for(176401);
  window_samples = 176401 - 1000;
  uint32_t ticks = window_ticks;
  sound_advance(0);
  EXPECT_EQ(buffer_length, 512u);
  EXPECT_EQ(window_ticks, ticks - 14181600);
  EXPECT_EQ(window_samples, 176401u - 1000 - 176400);
}

TEST_F(Pump, WindowSamplesWrapBelowZeroAndHideTheDeficit) {
  window_ticks = ticks_for(176401);
  window_samples = 176000;  // 401 short: no growth, but fewer than 176400 taken
  sound_advance(0);
  EXPECT_EQ(window_samples, uint32_t(176000 - 176400)) << "wrapped below zero";
  window_ticks += ticks_for(9000);
  sound_advance(0);
  EXPECT_EQ(buffer_length, 512u) << "no deficit seen until rendering brings it back";
}

TEST_F(Pump, BufferLengthIsCappedAt32768) {
  for (int i = 0; i < 5; ++i) sound_buffer_grow();
  ASSERT_EQ(buffer_length, 16384u);
  // At 16384 the 4-second trim keeps the window below 16 buffers, so only a
  // single charge of more than 262144 samples' worth sees a deficit there.
  window_samples = 0;
  window_ticks = 0;
  sound_advance(ticks_for(262145));
  ASSERT_EQ(buffer_length, SOUND_BUFFER_LENGTH_MAX);
  ASSERT_EQ(buffer_length, 32768u);
  EXPECT_EQ(fake_host.play_args[0], 32768);
  int plays = fake_host.play_calls;
  int stops = fake_host.stop_calls;
  sound_buffer_grow();
  EXPECT_EQ(buffer_length, 32768u);
  EXPECT_EQ(fake_host.play_calls, plays) << "no restart, no gap at the cap";
  EXPECT_EQ(fake_host.stop_calls, stops);
  EXPECT_NE(audio_stream, nullptr);
  sound_buffer_shrink();
  EXPECT_EQ(buffer_length, 16384u);
}

TEST_F(Pump, RestartUsesTheCurrentBufferLength) {
  sound_buffer_grow();
  ASSERT_EQ(buffer_length, 1024u);
  sound_stream_stop();
  EXPECT_EQ(audio_stream, nullptr);
  sound_stream_start();
  EXPECT_NE(audio_stream, nullptr);
  EXPECT_EQ(fake_host.play_args[0], 1024) << "not 512";
}

TEST_F(Pump, FailedRestartLeavesTheStreamAloneUntilARestartSucceeds) {
  sound_stream_stop();
  fake_host.play_fails = true;
  sound_stream_start();
  EXPECT_EQ(audio_stream, nullptr);
  EXPECT_EQ(sound_available, -1);
  fake_host.free_buffers = 5;
  sound_advance(100);
  EXPECT_EQ(fake_host.get_calls, 0) << "a missing stream is never polled";
  EXPECT_EQ(sound_time, 100u) << "time still counts";
  fake_host.play_fails = false;
  sound_stream_start();
  sound_advance(100);
  EXPECT_EQ(fake_host.free_calls, 5) << "polled again once a restart succeeded";
}

TEST_F(Pump, FailedGrowAlsoLeavesSoundOff) {
  fake_host.play_fails = true;
  window_ticks = ticks_for(8193);
  window_samples = 0;
  sound_advance(0);
  EXPECT_EQ(buffer_length, 1024u);
  EXPECT_EQ(audio_stream, nullptr);
  sound_advance(0);
  EXPECT_EQ(fake_host.get_calls, 1) << "only the poll before the failed restart";
}

TEST_F(Pump, StreamRestartKeepsChipAndQueue) {
  sound_queue[queue_write].type = 8;
  sound_queue[queue_write].value = 3;
  sound_queue_stamp(50);
  uint32_t time = sound_time;
  sound_stream_stop();
  sound_stream_start();
  EXPECT_EQ(pending(), 1u);
  EXPECT_EQ(sound_time, time);
}

}  // namespace
