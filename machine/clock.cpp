// The machine-cycle clock: machine cycles, frames and the sound chip's ticks
// counted in one place, so that one charge moves them all.
#include "machine/clock.h"

#include "machine/clock_internal.h"

namespace {

int32_t        frame_cycles;           // cycles into the current frame
uint32_t       total_cycles;           // cycles since start, wraps modulo 2^32
uint64_t       frames_elapsed;         // frame ends crossed since start
uint32_t       sound_time;             // sound ticks since the sound chip's start, wraps
uint32_t       sound_cycle_remainder;  // 0..5 cycles not yet a whole sound tick
ClockListeners listeners;

}  // namespace

void clock_listen(const ClockListeners& new_listeners) { listeners = new_listeners; }
uint32_t clock_sound_time() { return sound_time; }
void clock_sound_reset() { sound_time = 0; }

void machine_spend(uint32_t cycles) {
  frame_cycles = int32_t(uint32_t(frame_cycles) + cycles);
  total_cycles += cycles;
  const uint32_t s = sound_cycle_remainder + cycles;
  const uint32_t ticks = s / uint32_t(SOUND_TICK_CYCLES);
  sound_time += ticks;
  sound_cycle_remainder = s % uint32_t(SOUND_TICK_CYCLES);
  if (listeners.sound_ticks) listeners.sound_ticks(ticks);
  if (frame_cycles < FRAME_CYCLES) return;
  // Alt+Enter is tested once per charge, however many frame ends it crosses.
  if (listeners.frame_end) listeners.frame_end();
  while (frame_cycles >= FRAME_CYCLES) {
    frame_cycles -= FRAME_CYCLES;
    ++frames_elapsed;
    if (listeners.frame_passed) listeners.frame_passed();
  }
}

void machine_wait(int what) {
  if (what == 0) {
    machine_spend(uint32_t(LINE_CYCLES - frame_cycles % LINE_CYCLES));
  } else if (what == 1) {
    machine_spend(uint32_t(FRAME_CYCLES - frame_cycles % FRAME_CYCLES));
  }
}

uint32_t machine_total_cycles() { return total_cycles; }
uint64_t machine_frames_elapsed() { return frames_elapsed; }
