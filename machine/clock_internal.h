// The clock's side for the runtime itself: the sound chip's time and what
// happens when the clock passes a sound tick or a frame end. The clock is the
// bottom of the runtime: it calls nothing above it but the functions that
// the machine registers at start-up.
#pragma once
#include <cstdint>

struct ClockListeners {
  // After every charge, with the sound ticks it completed (often 0).
  void (*sound_ticks)(uint32_t ticks);
  // Once per charge that reaches a frame end, before the frames are counted.
  void (*frame_end)();
  // For every frame end crossed, after it was counted.
  void (*frame_passed)();
};

// Registers the listeners (members may be null). Until then the clock only counts.
void clock_listen(const ClockListeners& listeners);

// The sound chip's clock: sound ticks (6 machine cycles each) since its
// start-up, modulo 2^32.
uint32_t clock_sound_time();

// Puts the sound chip's clock back to 0 (the sound chip's start-up). Machine
// cycles already charged keep their part of a sound tick.
void clock_sound_reset();
