// The audio stream pump on a scripted host: start-up, filling, the catch-up
// (also across the wrap of the sound clock), the latency control with its cap,
// and a stream that stops being served and comes back.
#include "sound/pump.h"

#include <gtest/gtest.h>

#include "tests/sound/fake_host.h"

namespace {

constexpr uint32_t SECOND = 3545400;  // sound ticks

// The host takes `buffers` buffers at the end of `samples` samples' worth of machine time.
void serve(uint32_t samples, int buffers) {
  fake_host.free_buffers = buffers;
  if (samples == 0) machine_spend(0);
  sound_test_spend(ticks_for(samples));
}

TEST(Pump, StartsA512SampleStreamFillsEveryFreeBufferAndShutsDown) {
  sound_test_start();
  EXPECT_EQ(fake_host.length, 512u);
  serve(0, 3);
  EXPECT_EQ(fake_host.output.size(), 3u * 512);
  fake_host.free_buffers = 2;  // the host's last free buffers are filled at shut-down
  sound_shutdown();
  EXPECT_EQ(fake_host.output.size(), 5u * 512);
  sound_shutdown();
  EXPECT_EQ(std::pair(fake_host.close_calls, fake_host.remove_calls), std::pair(1, 2)) << "one stream to stop";
}

TEST(Pump, WithoutAStreamAtStartUpOnlyTimeCounts) {
  sound_test_start(false);
  sound_stream_stop();
  sound_stream_start();
  for (int i = 0; i < 50; ++i) serve(44100 / 5, 5);  // ten seconds
  EXPECT_EQ(clock_sound_time(), 50 * ticks_for(44100 / 5));
  EXPECT_EQ(fake_host.open_calls + fake_host.get_calls + int(fake_host.install_times.size()), 0)
     ;
}

TEST(Pump, CatchUpDropsEventsOlderThanABufferAlsoAcrossTheClockWrap) {
  // After half a second heard, the host takes nothing until `base` (a whole
  // number of 147 samples), where the stream has just been reopened; it takes
  // a buffer there; three writes are made `ages` samples before base + 1600,
  // where the host takes a buffer and then one more. If the oldest write was
  // more than 512 samples old, it and every other write that old are applied
  // at once after the first of those, and the renderer goes on from the last.
  struct Row { uint64_t base; uint32_t ages[3]; std::vector<std::pair<int, int>> changes; };
  const uint64_t early = 1200 * 11818;                                    // 4 s
  // 1323 samples before the clock's wrap: the oldest writes lie before it,
  // the last write and the buffers after it.
  const uint64_t wrap = (uint64_t(1) << 32) / 11818 * 11818 - 9 * 11818;
  const std::vector<Row> rows = {
      {early, {600, 550, 100}, {{0, 10}, {450, 15}}},
      {early, {400, 350, 100}, {{0, 0}, {176, 5}, {226, 10}, {476, 15}}},
      {early, {512, 350, 100}, {{0, 0}, {64, 5}, {226, 10}, {476, 15}}},  // a buffer old: in time
      {wrap, {600, 550, 100}, {{0, 10}, {450, 15}}},
      {wrap, {400, 350, 100}, {{0, 0}, {176, 5}, {226, 10}, {476, 15}}},
  };
  for (const Row& r : rows) {
    sound_test_start();
    sound_test_write(7, 0x3F);
    serve(22050, 44);
    sound_test_spend(r.base - 2 * SECOND - clock_sound_time());
    sound_test_spend(2 * SECOND);  // the last second unserved ends in a reopening
    serve(0, 1);
    for (int i = 0; i < 3; ++i) {
      sound_test_spend(uint32_t(r.base + ticks_for(1600 - r.ages[i])) - clock_sound_time());
      sound_test_write(8, 5 + 5 * i);
    }
    size_t start = fake_host.output.size() + 512;
    serve(1600 - uint32_t(clock_sound_time() - uint32_t(r.base)) * 147 / 11818, 1);
    serve(0, 1);
    ASSERT_EQ(fake_host.output.size(), start + 512);
    for (size_t k = 0; k < r.changes.size(); ++k) {
      int end = k + 1 < r.changes.size() ? r.changes[k + 1].first : 512;
      for (int i = r.changes[k].first; i < end; ++i)
        ASSERT_EQ(fake_host.output[start + size_t(i)], LEVELS[r.changes[k].second])
            << "base " << r.base << " oldest age " << r.ages[0] << " sample " << i;
    }
  }
}

TEST(Pump, LatencyControlGrowsShrinksAndCaps) {
  // Over more than 16 buffers of machine time, more than 3 buffers short:
  // twice as long. Above 4096, a window of more than 16 buffers without such
  // a deficit: half as long. A window's deficit outlives the trim of its
  // counters every 4 seconds; a change of length starts a new window.
  using Steps = std::vector<std::pair<uint32_t, int>>;  // (samples' worth, buffers taken)
  const Steps to_8192 = {{8193, 1}, {16385, 1}, {32769, 1}, {65537, 1}};
  auto then = [&](Steps more) { more.insert(more.begin(), to_8192.begin(), to_8192.end()); return more; };
  const std::pair<Steps, uint32_t> rows[] = {
      {{{8193, 13}}, 1024}, {{{8193, 14}}, 512}, {{{8704, 14}}, 512}, {{{8192, 1}}, 512}, {to_8192, 8192},
      {then({{131072, 16}}), 8192}, {then({{131073, 16}}), 4096}, {then({{131073, 16}, {170000, 42}}), 4096},
      {then({{131073, 16}, {20000, 1}}), 4096}, {{{176401, 342}, {8192, 15}}, 1024}, {{{176401, 342}, {8192, 16}}, 512},
  };
  for (const auto& [steps, length] : rows) {
    sound_test_start();
    for (auto [worth, buffers] : steps) serve(worth, buffers);
    EXPECT_EQ(std::pair(fake_host.length, fake_host.close_calls),  // each restart stops
              std::pair(length, fake_host.open_calls)) << steps.size() << " steps, to " << length;
  }
  for (int i = 0; i < 7; ++i) sound_buffer_grow();
  sound_stream_stop();
  sound_stream_start();
  EXPECT_EQ(fake_host.length, 32768u);
}

TEST(Pump, AStreamThatStartsLateIsNotTakenForASlowOne) {
  // The host takes nothing for a second of frames (its sound server is
  // starting), then keeps up: no longer buffers for that wait.
  for (int late : {0, 1}) {
    sound_test_start();
    for (int f = 0; f < 50; ++f) serve(882, late ? 0 : 2);
    for (int f = 0; f < 50; ++f) serve(882, 2);
    EXPECT_EQ(fake_host.length, 512u) << "late " << late;
  }
}

TEST(Pump, UnservedStreamIsReopenedOnceASecondAndResumesAtTheMachinesTime) {
  // Frames of 882 samples, a level written on channel A in each; the host
  // takes buffers as they play while `serving`.
  int level = 0;
  auto frames = [&](double seconds, bool serving) {
    static uint32_t owed;
    for (int f = 0; f < int(seconds * 50); ++f) {
      sound_test_write(8, level = (level + 1) & 15);
      for (owed = serving ? owed + 882 : 0; owed >= 512; owed -= 512) ++fake_host.free_buffers;
      sound_test_spend(ticks_for(882));
    }
  };
  sound_test_start();
  sound_test_write(7, 0x3F);
  frames(1, true);
  ASSERT_EQ(fake_host.install_times.size(), 0u) << "a served stream is left alone";
  fake_host.no_sound = true;  // the sound server is gone
  frames(0.8, false);
  int gets = fake_host.get_calls;
  frames(1.2, false);
  EXPECT_EQ(fake_host.get_calls, gets) << "no stream, no polling";
  fake_host.no_sound = false;  // back, but the new stream is not served yet
  frames(1, false);
  sound_test_write(9, 15);
  size_t resumed = fake_host.output.size();
  frames(1, true);
  // Half a second unserved, then at most once a second: 0.5, 1.5, 2.5 s.
  const std::vector<uint32_t>& at = fake_host.install_times;
  ASSERT_EQ(at.size(), 3u);
  EXPECT_TRUE(at[1] - at[0] >= SECOND && at[2] - at[1] >= SECOND);
  EXPECT_EQ(fake_host.remove_calls, 3);
  EXPECT_EQ(fake_host.length, 512u);
  // The first buffer served again holds every write made up to the machine's
  // time: A's level of the first frame served, B's 15.
  ASSERT_GE(fake_host.output.size(), resumed + 512);
  for (size_t i = resumed; i < resumed + 512; ++i)
    ASSERT_EQ(fake_host.output[i], LEVELS[(level - 49) & 15] + 16383) << "sample " << i - resumed;
}

}  // namespace
