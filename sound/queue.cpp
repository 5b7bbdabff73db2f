// The event ring. A register write is stamped with the
// sound tick at which it is charged and placed exactly on the output sample
// timeline: whole samples since the previous entry plus a remainder in
// 1/11818 sample, carried from entry to entry so no rounding accumulates.
#include "sound/queue.h"

#include <cstring>

#include "machine/clock_internal.h"

namespace {

inline constexpr uint32_t QUEUE_SIZE = 65536;  // ring entries
inline constexpr uint32_t QUEUE_MASK = QUEUE_SIZE - 1;

SoundEvent queue[QUEUE_SIZE];   // the ring, zero at start
uint32_t   queue_read;          // next entry to apply, 0..65535
uint32_t   queue_write;         // next entry to fill, 0..65535; empty when equal
uint32_t   samples_since_event; // samples rendered since the last applied event's time point

}  // namespace

void sound_queue_reset() {
  // The ring is zero at program start; clearing it here too gives a second
  // start-up (tests, tools) the same first event as the first one.
  std::memset(queue, 0, sizeof queue);
  queue_read = 0;
  queue_write = 0;
  samples_since_event = 0;
}

void sound_queue_push(uint8_t type, uint8_t value) {
  const uint32_t sound_time = clock_sound_time();
  uint32_t w = queue_write;
  const SoundEvent& previous = queue[(w - 1) & QUEUE_MASK];
  SoundEvent& event = queue[w];
  event.type = type;
  event.value = value;
  event.ticks = sound_time;
  // The tick difference is taken modulo 2^32 (sound_time wraps), but the
  // product is widened: 147 x (2^32 - 1) + 11817 needs 40 bits, and its
  // quotient by 11818 fits 32 bits again, so events any distance apart are
  // placed exactly.
  uint64_t n =
      uint64_t(previous.remainder) + uint64_t(SAMPLES_PER_UNIT) * (sound_time - previous.ticks);
  event.sample_delta = uint32_t(n / TICKS_PER_UNIT);
  event.remainder = uint32_t(n % TICKS_PER_UNIT);
  // Into an empty queue, an event that lies before what the renderer has
  // already produced is applied at its next sample; the events after it keep
  // their spacing from it.
  if (w == queue_read && event.sample_delta < samples_since_event) {
    samples_since_event = event.sample_delta;
  }
  queue_write = (w + 1) & QUEUE_MASK;
}

bool sound_queue_empty() { return queue_read == queue_write; }

uint32_t sound_queue_pending() { return (queue_write - queue_read) & QUEUE_MASK; }

const SoundEvent& sound_queue_oldest() { return queue[queue_read]; }

uint32_t sound_queue_samples_ahead() {
  uint32_t delta = queue[queue_read].sample_delta;
  return samples_since_event < delta ? delta - samples_since_event : 0;
}

SoundEvent sound_queue_pop() {
  SoundEvent event = queue[queue_read];
  samples_since_event = samples_since_event > event.sample_delta
                            ? samples_since_event - event.sample_delta
                            : 0;
  queue_read = (queue_read + 1) & QUEUE_MASK;
  return event;
}

void sound_queue_rendered(uint32_t samples) { samples_since_event += samples; }

void sound_queue_restart_timeline() { samples_since_event = 0; }
