// Start-up, display and frame pacing. The clock counts machine cycles; a
// frame is FRAME_CYCLES of them, and crossing a frame end waits for five
// ticks of the 250 Hz host timer, so the machine runs at 50 frames a second
// whatever the host's speed, and simply runs slower when the host is late.
#include "machine/machine.h"

#include <allegro.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "blitter/sprite.h"
#include "machine/machine_internal.h"
#include "machine/palette.h"
#include "sound/pump.h"

namespace {

BITMAP*          back_buffers[2];        // 320 x 240, 8-bit colour bytes
int              current_buffer;         // drawn into now, shown by the next present
int              fullscreen;             // 0 windowed, -1 full screen; flipped by NOT only
std::atomic<int> quit_requested;         // set to -1 by the close button, never cleared
std::atomic<int> tick_counter;           // host ticks not yet used by pacing (timer thread adds)
int32_t          frame_cycles;           // cycles into the current frame
uint32_t         total_cycles;           // cycles since start, wraps modulo 2^32
uint32_t         sound_cycle_remainder;  // 0..5 cycles not yet passed on as a sound tick
uint64_t         frames_elapsed;         // frame ends crossed since start
MachineHooks     hooks;
char             host_error[ALLEGRO_ERROR_SIZE];  // why the last display attempt failed, or ""
std::atomic<int> showing;                // -1 while a present writes to the host screen

// Xlib ends the program with exit(1) from inside the call that found the X
// server gone, most often the present's stretch. Allegro's exit handler then
// waits for the display lock that this very call still holds, and the program
// would hang instead of ending. Registered after Allegro's, this handler runs
// first and, in that case alone, leaves at once with the same status.
void leave_if_display_died() {
  if (!showing.load()) return;
  std::fflush(nullptr);
  std::_Exit(1);
}

// Keeps the host's words on a failure to get a display, before later host
// calls overwrite them.
void remember_host_error() {
  std::strncpy(host_error, allegro_error, sizeof host_error - 1);
  host_error[sizeof host_error - 1] = 0;
}

inline constexpr uint32_t SOUND_TICK_CYCLES = 6;

int host_set_mode(int card, int width, int height) {
  if (hooks.set_gfx_mode) return hooks.set_gfx_mode(card, width, height);
  return set_gfx_mode(card, width, height, 0, 0);
}

bool has_host_screen() { return hooks.set_gfx_mode == nullptr && screen != nullptr; }

// Sleeps until five host ticks have come since the last frame. All but the
// last missing tick are slept through in one rest(); the last is polled with
// rest(1), so the wait never spins the processor.
void pace_one_frame() {
  int t = tick_counter.load();
  frame_cycles -= FRAME_CYCLES;
  ++frames_elapsed;
  if (hooks.unpaced) return;
  if (t >= TICKS_PER_FRAME) {
    // The host is late: the backlog is dropped, never caught up.
    tick_counter.store(0);
    return;
  }
  if (TICKS_PER_FRAME - t > 1) rest(unsigned((TICKS_PER_FRAME - t) * 4 - 4));
  while (tick_counter.load() < TICKS_PER_FRAME) rest(1);
  tick_counter.fetch_sub(TICKS_PER_FRAME);  // ticks beyond the fifth carry over
}

void frame_end() {
  // Alt+Enter is tested on the keys' state at this frame end, with no memory
  // of earlier frames: holding both toggles again at every frame end.
  if (key[KEY_ALT] && key[KEY_ENTER]) {
    sound_stream_stop();
    machine_set_display(0);
    sound_stream_start();
  }
  while (frame_cycles >= FRAME_CYCLES) pace_one_frame();
}

}  // namespace

void machine_set_hooks(const MachineHooks& new_hooks) { hooks = new_hooks; }

MachineHooks machine_headless_hooks() {
  MachineHooks headless{};
  headless.set_gfx_mode = [](int, int, int) { return 0; };
  headless.unpaced = -1;
  headless.no_system = -1;
  return headless;
}

int machine_init() {
  if (hooks.no_system) {
    // Without a system driver Allegro has no keyboard or timer to install
    // (its timer start-up would crash): key[] and the ticks come from the tool.
    install_allegro(SYSTEM_NONE, &errno, atexit);
  } else if (allegro_init() != 0) {
    // No system driver at all (no X server to talk to): Allegro's keyboard
    // start-up would crash, and no graphics mode could be set anyway.
    remember_host_error();
    return 0;
  } else {
    std::atexit(leave_if_display_died);
    install_keyboard();
    install_timer();
  }
  enable_hardware_cursor();
  sound_init();
  set_display_switch_mode(SWITCH_BACKGROUND);
  if (!hooks.no_system) install_int_ex(machine_timer_tick, BPS_TO_TIMER(TIMER_HZ));
  sprite_memory_set(SPRITE_MEMORY_SIZE);
  // No colour depth is chosen before these, so they are 8-bit bitmaps; being
  // memory bitmaps they survive every change of graphics mode.
  back_buffers[0] = create_bitmap(SCREEN_WIDTH, SCREEN_HEIGHT);
  if (back_buffers[0]) clear_to_color(back_buffers[0], 0);
  back_buffers[1] = create_bitmap(SCREEN_WIDTH, SCREEN_HEIGHT);
  if (back_buffers[1]) clear_to_color(back_buffers[1], 0);
  // machine_set_display inverts the flag before its first attempt, so the
  // first mode tried is the kind the flag held before: windowed.
  fullscreen = ~fullscreen;
  current_buffer = 0;
  if (!machine_set_display(0)) return 0;
  for (int i = 0; i < 75; ++i) machine_present();  // 1.5 s of black
  return -1;
}

void machine_shutdown() {
  sound_shutdown();
  for (int i = 1; i >= 0; --i) {
    if (back_buffers[i]) {
      destroy_bitmap(back_buffers[i]);
      back_buffers[i] = nullptr;
    }
  }
}

int machine_set_display(int attempt) {
  bool ok = false;
  while (attempt < 2) {
    fullscreen = ~fullscreen;
    if (fullscreen) {
      ok = host_set_mode(GFX_AUTODETECT_FULLSCREEN, 320, 240) == 0 ||
           host_set_mode(GFX_AUTODETECT_FULLSCREEN, 640, 480) == 0;
    } else {
      ok = host_set_mode(GFX_AUTODETECT_WINDOWED, 640, 480) == 0;
    }
    if (ok) break;
    ++attempt;
  }
  if (!ok) {
    if (hooks.set_gfx_mode) host_error[0] = 0;  // a tool's refusal has no host reason
    else remember_host_error();
    return 0;  // two passes inverted the flag back to where it was
  }
  host_error[0] = 0;
  if (has_host_screen()) {
    palette_build();
    clear_to_color(screen, 0);
    set_close_button_callback(machine_close_button);
    select_mouse_cursor(fullscreen ? MOUSE_CURSOR_NONE : MOUSE_CURSOR_ARROW);
  }
  return -1;
}

void machine_spend(uint32_t cycles) {
  frame_cycles = int32_t(uint32_t(frame_cycles) + cycles);
  total_cycles += cycles;
  uint32_t s = sound_cycle_remainder + cycles;
  sound_advance(s / SOUND_TICK_CYCLES);
  sound_cycle_remainder = s % SOUND_TICK_CYCLES;
  if (frame_cycles < FRAME_CYCLES) return;
  frame_end();
}

void machine_wait(int what) {
  if (what == 0) {
    machine_spend(uint32_t(LINE_CYCLES - frame_cycles % LINE_CYCLES));
  } else if (what == 1) {
    machine_spend(uint32_t(FRAME_CYCLES - frame_cycles % FRAME_CYCLES));
  }
}

void machine_present() {
  machine_wait(1);
  BITMAP* shown = back_buffers[current_buffer];
  if (shown && has_host_screen()) {
    showing.store(-1);
    stretch_blit(shown, screen, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, SCREEN_W, SCREEN_H);
    showing.store(0);
  }
  if (hooks.presented) hooks.presented(shown);
  current_buffer ^= 1;
}

int machine_quit_requested() {
  if (hooks.quit_requested) return hooks.quit_requested();
  return quit_requested.load();
}

const char* machine_host_error() { return host_error; }

void machine_set_title(const char* title) {
  // Allegro does nothing here when its system driver has no window title.
  set_window_title(title);
}

void machine_timer_tick() { tick_counter.fetch_add(1); }
END_OF_FUNCTION(machine_timer_tick)

void machine_close_button() { quit_requested.store(-1); }
END_OF_FUNCTION(machine_close_button)

BITMAP* machine_back_buffer() { return back_buffers[current_buffer]; }
uint32_t machine_total_cycles() { return total_cycles; }
uint64_t machine_frames_elapsed() { return frames_elapsed; }

int32_t machine_frame_cycles() { return frame_cycles; }
int machine_fullscreen() { return fullscreen; }
int machine_tick_counter() { return tick_counter.load(); }
void machine_reset_clock() {
  frame_cycles = 0;
  total_cycles = 0;
  sound_cycle_remainder = 0;
  frames_elapsed = 0;
}
