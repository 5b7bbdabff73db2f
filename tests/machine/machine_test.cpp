#include <allegro.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "machine/machine.h"
#include "machine/machine_internal.h"
#include "sound/ports.h"
#include "tests/support/headless.h"

namespace {

uint32_t charged_by(void (*operation)()) {
  uint32_t before = machine_total_cycles();
  operation();
  return machine_total_cycles() - before;
}

// A host graphics driver that refuses some modes and records every request.
struct ModeRequest {
  int card, width, height;
};
std::vector<ModeRequest> mode_requests;
bool refuse_fullscreen_320;
bool refuse_fullscreen_640;
bool refuse_windowed;

int recording_set_mode(int card, int width, int height) {
  mode_requests.push_back({card, width, height});
  if (card == GFX_AUTODETECT_FULLSCREEN && width == 320 && refuse_fullscreen_320) return -1;
  if (card == GFX_AUTODETECT_FULLSCREEN && width == 640 && refuse_fullscreen_640) return -1;
  if (card == GFX_AUTODETECT_WINDOWED && refuse_windowed) return -1;
  return 0;
}

// Installs the recording driver for one test and puts the headless hooks back.
struct RecordedModes {
  RecordedModes() {
    test_machine_start();
    MachineHooks hooks = machine_headless_hooks();
    hooks.set_gfx_mode = recording_set_mode;
    machine_set_hooks(hooks);
    mode_requests.clear();
    refuse_fullscreen_320 = refuse_fullscreen_640 = refuse_windowed = false;
    if (machine_fullscreen()) machine_set_display(0);  // start from the window
    mode_requests.clear();
  }
  ~RecordedModes() {
    refuse_fullscreen_320 = refuse_fullscreen_640 = refuse_windowed = false;
    if (machine_fullscreen()) machine_set_display(0);
    machine_set_hooks(machine_headless_hooks());
    test_release_all_keys();
  }
};

}  // namespace

TEST(MachineClock, PassesWholeSoundTicksOnAtEveryCharge) {
  test_machine_start();
  uint32_t start = sound_time_now();
  const uint32_t want[6] = {0, 0, 0, 0, 0, 1};
  for (int i = 0; i < 6; ++i) {
    machine_spend(1);
    EXPECT_EQ(sound_time_now() - start, want[i]) << "after charge " << i + 1;
  }
  machine_spend(17);  // 6 + 17 = 23 cycles: 3 whole ticks, 5 left over
  EXPECT_EQ(sound_time_now() - start, 3u);
  machine_spend(1);
  EXPECT_EQ(sound_time_now() - start, 4u) << "the remainder carries to the next charge";
  machine_spend(FRAME_CYCLES);
  EXPECT_EQ(sound_time_now() - start, 4u + uint32_t(FRAME_CYCLES / 6)) << "70908 ticks a frame";
}

TEST(MachineClock, WaitChargesUpToTheNextLineOrFrame) {
  test_machine_start();
  EXPECT_EQ(charged_by([] { machine_wait(1); }), uint32_t(FRAME_CYCLES))
      << "right after a frame end a whole frame is charged";
  EXPECT_EQ(machine_frame_cycles(), 0);
  machine_spend(1368);
  EXPECT_EQ(charged_by([] { machine_wait(0); }), 1368u) << "on a line boundary: a whole line";
  machine_reset_clock();
  machine_spend(1369);
  EXPECT_EQ(charged_by([] { machine_wait(0); }), 1367u);
  EXPECT_EQ(machine_frame_cycles(), 2 * LINE_CYCLES);
  EXPECT_EQ(charged_by([] { machine_wait(2); }), 0u);
  EXPECT_EQ(charged_by([] { machine_wait(-1); }), 0u);
  machine_spend(1000);
  EXPECT_EQ(charged_by([] { machine_wait(1); }), uint32_t(FRAME_CYCLES - 2 * LINE_CYCLES - 1000));
  EXPECT_EQ(machine_frame_cycles(), 0);
}

TEST(MachineClock, AChargeOfSeveralFramesPacesEachAndKeepsTheRest) {
  test_machine_start();
  uint64_t frames = machine_frames_elapsed();
  machine_spend(3 * FRAME_CYCLES + 10);
  EXPECT_EQ(machine_frame_cycles(), 10);
  EXPECT_EQ(machine_frames_elapsed() - frames, 3u);
  EXPECT_EQ(machine_total_cycles(), uint32_t(3 * FRAME_CYCLES + 10));
}

TEST(MachineClock, TotalCyclesWrapsModulo32Bits) {
  test_machine_start();
  for (int i = 0; i < 10096; ++i) machine_spend(FRAME_CYCLES);  // 10096 frames: 4295322... cycles
  uint64_t exact = uint64_t(10096) * FRAME_CYCLES;
  EXPECT_EQ(machine_total_cycles(), uint32_t(exact & 0xFFFFFFFFu));
  EXPECT_EQ(machine_frames_elapsed(), 10096u) << "the frame count does not wrap with the cycles";
  EXPECT_EQ(machine_frame_cycles(), 0);
}

TEST(MachinePresent, ShowsTheCurrentBufferAndSwitchesToTheOther) {
  test_machine_start();
  static BITMAP* shown;
  MachineHooks hooks = machine_headless_hooks();
  hooks.presented = [](BITMAP* b) { shown = b; };
  machine_set_hooks(hooks);
  int first = machine_current_buffer();
  BITMAP* drawn = machine_back_buffer();
  machine_present();
  EXPECT_EQ(shown, drawn);
  EXPECT_EQ(machine_current_buffer(), first ^ 1);
  EXPECT_NE(machine_back_buffer(), drawn) << "drawing goes to the other buffer";
  EXPECT_EQ(machine_frame_cycles(), 0) << "a present ends the frame";
  machine_present();
  EXPECT_EQ(machine_back_buffer(), drawn);
  machine_set_hooks(machine_headless_hooks());
}

TEST(MachinePresent, BackBuffersAre8BitAndStartBlack) {
  test_machine_start();
  for (int i = 0; i < 2; ++i) {
    BITMAP* buffer = machine_back_buffer();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->w, 320);
    EXPECT_EQ(buffer->h, 240);
    EXPECT_EQ(bitmap_color_depth(buffer), 8);
    EXPECT_EQ(test_count_pixels(buffer, 0), 320 * 240) << "colour byte 0 is black";
    machine_present();
  }
}

TEST(MachineDisplay, StartsWindowedAndTogglesThroughTheFullScreenModes) {
  RecordedModes modes;
  EXPECT_EQ(machine_set_display(0), -1);
  EXPECT_EQ(machine_fullscreen(), -1);
  ASSERT_EQ(mode_requests.size(), 1u);
  EXPECT_EQ(mode_requests[0].card, GFX_AUTODETECT_FULLSCREEN);
  EXPECT_EQ(mode_requests[0].width, 320);
  mode_requests.clear();
  EXPECT_EQ(machine_set_display(0), -1);
  EXPECT_EQ(machine_fullscreen(), 0);
  ASSERT_EQ(mode_requests.size(), 1u);
  EXPECT_EQ(mode_requests[0].card, GFX_AUTODETECT_WINDOWED);
  EXPECT_EQ(mode_requests[0].width, 640);
  EXPECT_EQ(mode_requests[0].height, 480);
}

TEST(MachineDisplay, RefusedFullScreenModesFallBack) {
  RecordedModes modes;
  refuse_fullscreen_320 = true;
  EXPECT_EQ(machine_set_display(0), -1);
  EXPECT_EQ(machine_fullscreen(), -1) << "320 x 240 refused: full screen 640 x 480";
  ASSERT_EQ(mode_requests.size(), 2u);
  EXPECT_EQ(mode_requests[1].width, 640);
  machine_set_display(0);
  mode_requests.clear();
  refuse_fullscreen_640 = true;
  EXPECT_EQ(machine_set_display(0), -1);
  EXPECT_EQ(machine_fullscreen(), 0) << "no full-screen mode: back in the window";
  ASSERT_EQ(mode_requests.size(), 3u);
  EXPECT_EQ(mode_requests[2].card, GFX_AUTODETECT_WINDOWED);
}

TEST(MachineDisplay, NoModeAtAllReportsFailureAndKeepsTheFlag) {
  RecordedModes modes;
  refuse_fullscreen_320 = refuse_fullscreen_640 = refuse_windowed = true;
  EXPECT_EQ(machine_set_display(0), 0);
  EXPECT_EQ(machine_fullscreen(), 0) << "inverted twice";
  EXPECT_EQ(mode_requests.size(), 3u) << "at most three set_gfx_mode calls";
  mode_requests.clear();
  EXPECT_EQ(machine_set_display(1), 0);
  EXPECT_EQ(mode_requests.size(), 2u) << "one pass left: both full-screen modes";
  EXPECT_EQ(machine_fullscreen(), -1) << "one pass inverts the flag once";
  refuse_fullscreen_320 = refuse_fullscreen_640 = refuse_windowed = false;
  machine_set_display(1);
}

TEST(MachineDisplay, HeldAltEnterTogglesAtEveryFrameEnd) {
  RecordedModes modes;
  key[KEY_ALT] = 1;
  key[KEY_ENTER] = 1;
  machine_wait(1);
  EXPECT_EQ(machine_fullscreen(), -1);
  machine_wait(1);
  EXPECT_EQ(machine_fullscreen(), 0);
  machine_wait(1);
  EXPECT_EQ(machine_fullscreen(), -1);
  EXPECT_EQ(mode_requests.size(), 3u);
  mode_requests.clear();
  machine_spend(3 * FRAME_CYCLES);
  EXPECT_EQ(mode_requests.size(), 1u) << "one charge over three frame ends toggles once";
  key[KEY_ENTER] = 0;
  mode_requests.clear();
  machine_wait(1);
  EXPECT_TRUE(mode_requests.empty()) << "Alt alone does nothing";
  EXPECT_EQ(charged_by([] { machine_spend(FRAME_CYCLES - 1); }), uint32_t(FRAME_CYCLES - 1));
  EXPECT_TRUE(mode_requests.empty()) << "no toggle before the frame end";
}

// Pacing with a real timer thread standing in for the host's 250 Hz tick.
class MachinePacing : public testing::Test {
 protected:
  void SetUp() override {
    test_machine_start();
    MachineHooks hooks = machine_headless_hooks();
    hooks.unpaced = 0;
    machine_set_hooks(hooks);
  }
  void TearDown() override {
    running = false;
    if (ticker.joinable()) ticker.join();
    machine_set_hooks(machine_headless_hooks());
    machine_set_tick_counter(0);
  }
  void start_ticking() {
    running = true;
    ticker = std::thread([this] {
      while (running) {
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        machine_timer_tick();
        ++ticks_sent;
      }
    });
  }
  std::atomic<bool> running{false};
  std::atomic<int> ticks_sent{0};
  std::thread ticker;
};

TEST_F(MachinePacing, ALateHostDropsItsBacklogWithoutWaiting) {
  machine_set_tick_counter(7);
  machine_wait(1);  // no ticker runs: a wait would never end
  EXPECT_EQ(machine_tick_counter(), 0);
}

TEST_F(MachinePacing, AFrameEndWaitsForTheFifthTick) {
  machine_set_tick_counter(2);
  start_ticking();
  machine_wait(1);
  int sent = ticks_sent;
  int left = machine_tick_counter();
  EXPECT_GE(sent, 3) << "the frame end waited for three more ticks";
  EXPECT_GE(left, 0);
  EXPECT_LE(left, sent - 3) << "five ticks were consumed, only later ones carry over";
}

TEST(MachineFlags, CloseButtonSetsQuitForGood) {
  test_machine_start();
  EXPECT_EQ(machine_quit_requested(), 0);
  std::thread host([] { machine_close_button(); });
  host.join();
  EXPECT_EQ(machine_quit_requested(), -1);
}
