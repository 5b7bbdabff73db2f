#include <allegro.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "machine/machine.h"
#include "machine/machine_internal.h"
#include "tests/support/headless.h"

namespace {

// A host graphics driver that refuses the modes whose bits are set in
// `refused` (1: full screen 320 x 240, 2: full screen 640 x 480, 4: the
// window) and any other size, and records each request as card * 10000 + width.
int refused;
std::vector<int> requests;
constexpr int FS320 = GFX_AUTODETECT_FULLSCREEN * 10000 + 320, FS640 = FS320 + 320, WIN640 = GFX_AUTODETECT_WINDOWED * 10000 + 640;

// Starts a test in the window, with the headless hooks but that driver, and
// the given pacing and present hook.
void start(int unpaced = -1, void (*presented)(BITMAP*) = nullptr) {
  test_machine_start();
  MachineHooks hooks = machine_headless_hooks();
  hooks.set_gfx_mode = [](int card, int width, int height) {
    requests.push_back(card * 10000 + width);
    return (refused & (card == GFX_AUTODETECT_WINDOWED ? 4 : width == 320 ? 1 : 2)) || height != width * 3 / 4 ? -1 : 0;
  };
  hooks.unpaced = unpaced;
  hooks.presented = presented;
  machine_set_hooks(hooks);
  refused = 0;
  if (machine_fullscreen()) machine_set_display(0);
  requests.clear();
}

}  // namespace

TEST(MachineClock, WaitChargesUpToTheNextLineOrFrameAndFramesPassInOneCharge) {
  const struct { uint32_t before; int what; uint32_t charge; int32_t after; uint64_t frames; } rows[] = {
      {0, 1, FRAME_CYCLES, 0, 1}, {1000, 1, FRAME_CYCLES - 1000, 0, 1}, {0, 0, 1368, 1368, 0},
      {1368, 0, 1368, 2736, 0},   {1369, 0, 1367, 2736, 0},             {5, 2, 0, 5, 0}, {5, -1, 0, 5, 0},
      {3 * FRAME_CYCLES + 10, 2, 0, 10, 3}, {FRAME_CYCLES - 1, 2, 0, FRAME_CYCLES - 1, 0}};
  for (const auto& row : rows) {
    test_machine_start();
    machine_spend(row.before);
    machine_wait(row.what);
    EXPECT_EQ(std::make_tuple(machine_total_cycles() - row.before, machine_frame_cycles(), machine_frames_elapsed()),
              std::make_tuple(row.charge, row.after, row.frames)) << row.before << " " << row.what;
  }
}

TEST(MachinePresent, ShowsTheCurrentBlackBufferAndSwitchesToTheOther) {
  static std::vector<BITMAP*> shown;
  start(-1, [](BITMAP* b) { shown.push_back(b); });
  BITMAP* first = machine_back_buffer();
  EXPECT_EQ(test_count_pixels(first, 0) * bitmap_color_depth(first), 320 * 240 * 8) << "8-bit, all black";
  for (int i = 0; i < 3; ++i) machine_present();
  EXPECT_TRUE(shown.size() == 3 && shown[0] == first && shown[1] != first && shown[2] == first);
  start();
}

TEST(MachineDisplay, TogglesThroughTheModesAndFallsBack) {
  const struct { int refused, attempt, result, fullscreen; std::vector<int> tried; } rows[] = {
      {0, 0, -1, -1, {FS320}},          {1, 0, -1, -1, {FS320, FS640}}, {3, 0, -1, 0, {FS320, FS640, WIN640}},
      {7, 0, 0, 0, {FS320, FS640, WIN640}}, {7, 1, 0, -1, {FS320, FS640}},
      {6, 0, -1, -1, {FS320}}};  // and then, from full screen with the window refused:
  for (const auto& row : rows) {
    start();
    refused = row.refused;
    EXPECT_EQ(machine_set_display(row.attempt), row.result) << "refused " << row.refused;
    EXPECT_EQ(machine_fullscreen(), row.fullscreen) << "refused " << row.refused;
    EXPECT_EQ(requests, row.tried) << "refused " << row.refused;
    EXPECT_STREQ(machine_host_error(), "") << "a refusal by a tool's driver has no host reason";
  }
  EXPECT_EQ(machine_set_display(0), -1);
  EXPECT_EQ(requests, (std::vector<int>{FS320, WIN640, FS320})) << "full screen again";
}

TEST(MachineDisplay, HeldAltEnterTogglesAtEveryFrameEnd) {
  start();
  key[KEY_ALT] = 1;
  key[KEY_ENTER] = 1;
  for (int fullscreen : {-1, 0, -1}) {
    machine_spend(FRAME_CYCLES - 1);
    EXPECT_EQ(machine_fullscreen(), -1 - fullscreen) << "no toggle before the frame end";
    machine_spend(1);
    EXPECT_EQ(machine_fullscreen(), fullscreen);
  }
  machine_spend(3 * FRAME_CYCLES);
  for (int held : {KEY_ALT, KEY_ENTER}) {
    test_release_all_keys();
    key[held] = 1;
    machine_wait(1);
  }
  EXPECT_EQ(requests, (std::vector<int>{FS320, WIN640, FS320, WIN640})) << "a charge over 3 frame ends: once; Alt or Enter alone: never";
}

// Pacing, with the host timer's ticks delivered by the test.
TEST(MachinePacing, ALateHostDropsItsBacklogAndAnEarlyOneWaitsForTheFifthTick) {
  start(0);
  while (machine_tick_counter() < 7) machine_timer_tick();
  machine_wait(1);  // no ticks come: a wait would never end
  EXPECT_EQ(machine_tick_counter(), 0);
  while (machine_tick_counter() < 2) machine_timer_tick();
  std::atomic<bool> running{true};
  std::atomic<int> sent{0};
  std::thread host([&] {
    for (; running; ++sent) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      machine_timer_tick();
    }
  });
  machine_wait(1);
  running = false;
  host.join();
  EXPECT_GE(sent, 3) << "the frame end waited for three more ticks";
  EXPECT_EQ(machine_tick_counter(), 2 + sent - 5) << "five ticks used, later ones carried over";
  start();
}
