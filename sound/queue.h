// The sound chip's event ring. The ports stamp register writes into
// it at the current sound time; the synthesis and the pump read and retire
// its entries through the functions below, and this module keeps the
// renderer's place against the ring's time points. Only sound/ uses it.
#pragma once
#include <cstdint>

#include "host/rates.h"

inline constexpr uint8_t EVENT_MARK = 16;  // event type of a write to PORT_MARK
inline constexpr uint8_t EVENT_SYNC = 17;  // event type of the pump's sync points

// Whole samples that `ticks` sound ticks are worth, in the pump's 32-bit
// arithmetic (the product wraps beyond 29217465 ticks, about 8.2 s).
inline uint32_t sound_ticks_to_samples(uint32_t ticks) {
  return ticks * SAMPLES_PER_UNIT / TICKS_PER_UNIT;
}

// One entry of the event ring. Time points are chained through the ring: each
// entry lies sample_delta + remainder / 11818 samples after the one before it.
struct SoundEvent {
  uint8_t  value;         // masked register value, or the mark's value
  uint8_t  type;          // 0..15 chip register, EVENT_MARK or EVENT_SYNC
  uint32_t sample_delta;  // whole output samples after the previous entry's time point
  uint32_t ticks;         // sound_time (sound ticks) when the event was queued
  uint32_t remainder;     // 0..11817: the time point's fraction, in 1/11818 sample
};

// Start-up: the ring all zero and empty, the renderer at the time point of
// entry 65535.
void sound_queue_reset();

// Queues an event of `type` and `value` stamped with the current sound time
// (the clock's, machine/clock_internal.h).
void sound_queue_push(uint8_t type, uint8_t value);

bool              sound_queue_empty();
uint32_t          sound_queue_pending();  // events queued and not yet applied
const SoundEvent& sound_queue_oldest();   // the next event to apply; the ring is not empty

// Samples the renderer still has to produce before the oldest pending event's
// time point (0: it is due now). The ring is not empty.
uint32_t sound_queue_samples_ahead();

// Retires the oldest pending event and returns it for the chip to apply; the
// renderer's timeline moves to its time point (or stays at it, if the event
// lay ahead of what was rendered). The ring is not empty.
SoundEvent sound_queue_pop();

// The renderer produced `samples` samples beyond the last applied event.
void sound_queue_rendered(uint32_t samples);

// The catch-up applied events without samples of their own: the renderer's
// timeline restarts at the last of them.
void sound_queue_restart_timeline();
