#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "machine/keyboard.h"
#include "machine/machine_internal.h"
#include "tests/support/headless.h"

namespace {

// A host display that refuses the modes whose bits are set in `refused` (1:
// full screen 320 x 240, 2: full screen 640 x 480, 4: the window) and
// records each request as fullscreen * 10000 + width (full screen negative).
int refused;
std::vector<int> requests;
constexpr int FS320 = -10000 + 320, FS640 = -10000 + 640, WIN640 = 640;

void start() {
  HeadlessHost host{};
  host.set_mode = [](int32_t fullscreen, int32_t width, int32_t height) -> int32_t {
    requests.push_back(fullscreen * 10000 + width);
    return (refused & (!fullscreen ? 4 : width == 320 ? 1 : 2)) || height != width * 3 / 4 ? 0 : -1;
  };
  test_machine_start(host);
  requests.clear();
}

}  // namespace

TEST(MachineClock, WaitChargesUpToTheNextLineOrFrameAndFramesPassInOneCharge) {
  const struct { uint32_t before; int what; uint32_t charge; uint64_t frames; } rows[] = {
      {0, 1, FRAME_CYCLES, 1}, {1000, 1, FRAME_CYCLES - 1000, 1}, {0, 0, 1368, 0}, {1368, 0, 1368, 0},
      {1369, 0, 1367, 0},      {5, 2, 0, 0}, {5, -1, 0, 0}, {3 * FRAME_CYCLES + 10, 2, 0, 3},
      {FRAME_CYCLES - 1, 2, 0, 0}};
  start();
  for (const auto& row : rows) {
    test_fresh([&] {
      const uint32_t cycles = machine_total_cycles();
      const uint64_t frames = machine_frames_elapsed();
      machine_spend(row.before);
      machine_wait(row.what);
      EXPECT_EQ(std::make_tuple(machine_total_cycles() - cycles - row.before, machine_frames_elapsed() - frames),
                std::make_tuple(row.charge, row.frames)) << row.before << " " << row.what;
    });
  }
}

TEST(MachineDisplay, TogglesThroughTheModesAndFallsBack) {
  // From the window, full screen wished: the modes tried, and where the
  // machine then stands (the next Alt+Enter's first request says which kind
  // it left).
  const struct { int refused, result; std::vector<int> tried; int next; } rows[] = {
      {0, -1, {FS320}, WIN640},                {1, -1, {FS320, FS640}, WIN640},
      {3, -1, {FS320, FS640, WIN640}, FS320},  {7, 0, {FS320, FS640, WIN640}, FS320}};
  start();
  for (const auto& row : rows) {
    test_fresh([&] {
      refused = row.refused;
      EXPECT_EQ(machine_set_display(-1), row.result) << "refused " << row.refused;
      EXPECT_EQ(requests, row.tried) << "refused " << row.refused;
      EXPECT_STREQ(machine_host_error(), "");
      refused = 0;
      requests.clear();
      headless_key(HOST_KEY_ALT, -1);
      headless_key(HOST_KEY_ENTER, -1);
      machine_wait(1);
      EXPECT_EQ(requests.at(0), row.next) << "refused " << row.refused;
    });
  }
}

TEST(MachineDisplay, HeldAltEnterTogglesAtEveryFrameEnd) {
  start();
  headless_key(HOST_KEY_ALT, -1);
  headless_key(HOST_KEY_ENTER, -1);
  for (size_t toggles : {1u, 2u, 3u}) {
    machine_spend(FRAME_CYCLES - 1);
    EXPECT_EQ(requests.size(), toggles - 1);
    machine_spend(1);
    EXPECT_EQ(requests.size(), toggles);
  }
  machine_spend(3 * FRAME_CYCLES);
  for (int held : {HOST_KEY_ALT, HOST_KEY_ENTER}) {
    headless_release_keys();
    headless_key(held, -1);
    machine_wait(1);
  }
  EXPECT_EQ(requests, (std::vector<int>{FS320, WIN640, FS320, WIN640}))
     ;
}

TEST(MachineDisplay, FollowsAModeTheHostChangedByItself) {
  // The host went full screen by its own means: no mode is set for it and no
  // key seen, and the next Alt+Enter goes back to the window.
  start();
  test_fresh([] {
    headless_display_change(-1);
    machine_wait(1);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(keyboard_read_row(3) & keyboard_read_row(8), 0xFF) << "no Alt, no Enter";
    headless_key(HOST_KEY_ALT, -1);
    headless_key(HOST_KEY_ENTER, -1);
    machine_wait(1);
    EXPECT_EQ(requests, std::vector<int>{WIN640});
  });
}

// Pacing on the virtual timer: a frame end rests until five ticks (20 ms)
// have come since the last; a backlog of five or more is dropped.
TEST(MachinePacing, ALateHostDropsItsBacklogAndAnEarlyOneWaitsForTheFifthTick) {
  start();
  const struct { uint32_t burst; uint64_t rested[3]; } rows[] = {
      {0, {20, 20, 20}}, {2, {12, 20, 20}}, {7, {0, 20, 20}}, {4, {4, 20, 20}}, {12, {0, 20, 20}}};
  for (const auto& row : rows) {
    test_fresh([&] {
      headless_timer_burst(row.burst);
      for (uint64_t want : row.rested) {
        const uint64_t before = headless_rested_ms();
        machine_wait(1);
        EXPECT_EQ(headless_rested_ms() - before, want) << "burst " << row.burst;
      }
    });
  }
}
