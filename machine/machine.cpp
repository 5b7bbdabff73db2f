// Start-up, display and frame pacing: the top of the machine layer, which
// starts the blitter and the sound chip and registers its frame-end work with
// the clock below them. A frame is FRAME_CYCLES, and crossing a frame end
// waits for five ticks of the host's 250 Hz timer, so the machine runs at 50
// frames a second whatever the host's speed, and simply runs slower when the
// host is late.
#include "machine/machine.h"

#include "blitter/draw_internal.h"
#include "blitter/sprite_internal.h"
#include "host/host.h"
#include "machine/clock_internal.h"
#include "machine/machine_internal.h"
#include "machine/palette_internal.h"
#include "sound/pump.h"

namespace {

HostBitmap* back_buffers[2];   // 320 x 240, 8-bit colour bytes
int         current_buffer;    // drawn into now, shown by the next present
int         fullscreen;        // 0 windowed, -1 full screen: the kind of mode set
bool        has_screen;        // a graphics mode is set: presents reach the host
uint32_t    ticks_used;        // host ticks that pacing has used or dropped

// Sleeps until five host ticks have come since the last frame. All but the
// last missing tick are slept through in one rest; the last is polled with
// rest(1), so the wait never spins the processor.
void pace_one_frame() {
  constexpr uint32_t frame_ticks = TICKS_PER_FRAME;
  const uint32_t waiting = host_ticks() - ticks_used;  // wrap-safe
  if (waiting >= frame_ticks) {
    // The host is late: the backlog is dropped, never caught up.
    ticks_used += waiting;
    return;
  }
  const uint32_t missing = frame_ticks - waiting;
  if (missing > 1) host_rest((missing - 1) * TIMER_TICK_MS);
  while (host_ticks() - ticks_used < frame_ticks) host_rest(1);
  ticks_used += frame_ticks;  // ticks beyond the fifth carry over
}

// Alt+Enter is tested on the keys' state at this frame end, with no memory
// of earlier frames: holding both toggles again at every frame end. A host
// that switched modes by its own means (a page's full-screen button) is
// followed first, so that the toggle starts from what the host shows.
void test_display_toggle() {
  int32_t shown;
  if (host_display_changed(&shown)) fullscreen = shown ? -1 : 0;
  if (host_key_held(HOST_KEY_ALT) && host_key_held(HOST_KEY_ENTER)) {
    sound_stream_stop();
    machine_set_display(~fullscreen);
    sound_stream_start();
  }
}

}  // namespace

int machine_init() {
  if (!host_start()) return 0;
  ticks_used = host_ticks();
  sound_init();
  clock_listen({sound_advance, test_display_toggle, pace_one_frame});
  sprite_memory_set(SPRITE_MEMORY_SIZE);
  for (HostBitmap*& buffer : back_buffers) {
    buffer = host_bitmap_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    if (buffer) host_bitmap_clear(buffer, 0);
  }
  current_buffer = 0;
  draw_set_target(back_buffers[0]);
  if (!machine_set_display(0)) return 0;  // a window first
  for (int i = 0; i < MACHINE_START_FRAMES; ++i) machine_present();  // 1.5 s of black
  return -1;
}

void machine_shutdown() {
  sound_shutdown();
  for (int i = 1; i >= 0; --i) {
    host_bitmap_destroy(back_buffers[i]);
    back_buffers[i] = nullptr;
  }
  draw_set_target(nullptr);
}

int machine_set_display(int want_fullscreen) {
  // The full screen shows the picture pixel for pixel, or doubled where the
  // host has no 320 x 240 mode; the window always doubles it.
  const auto set = [](int full) {
    return full ? host_set_mode(-1, SCREEN_WIDTH, SCREEN_HEIGHT) ||
                      host_set_mode(-1, 2 * SCREEN_WIDTH, 2 * SCREEN_HEIGHT)
                : host_set_mode(0, 2 * SCREEN_WIDTH, 2 * SCREEN_HEIGHT);
  };
  // The wish first, then the other kind; the flag keeps what worked.
  const int wish = want_fullscreen ? -1 : 0;
  if (set(wish)) {
    fullscreen = wish;
  } else if (set(~wish)) {
    fullscreen = ~wish;
  } else {
    return 0;  // no mode at all: the flag stays as it was
  }
  has_screen = true;
  palette_build();
  return -1;
}

void machine_present() {
  machine_wait(1);
  HostBitmap* shown = back_buffers[current_buffer];
  if (shown && has_screen) host_present(shown);
  current_buffer ^= 1;
  draw_set_target(back_buffers[current_buffer]);
}

int machine_quit_requested() { return host_close_requested(); }
const char* machine_host_error() { return host_error(); }
void machine_set_title(const char* title) { host_set_title(title); }
