// The port interface, the sound clock and the event ring. A register write is
// stamped with the sound tick at which it is charged and placed exactly on
// the output sample timeline: whole samples since the previous entry plus a
// remainder in 1/11818 sample, carried from entry to entry so no rounding
// accumulates.
#include "sound/ports.h"

#include <cstring>

#include "machine/machine.h"
#include "sound/chip.h"

namespace {

inline constexpr uint32_t QUEUE_SIZE  = 65536;  // ring entries
inline constexpr uint32_t QUEUE_MASK  = QUEUE_SIZE - 1;
inline constexpr uint32_t PORT_CYCLES = 6;      // one sound tick per port write

// Bits each register keeps: coarse periods and the envelope shape are 4 bits,
// the noise period and the amplitudes (with their envelope flag) 5 bits.
constexpr uint8_t REGISTER_MASKS[16] = {
    0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
    0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF,
};

SoundEvent queue[QUEUE_SIZE];   // the ring, zero at start
uint32_t   queue_read;          // next entry to apply, 0..65535
uint32_t   queue_write;         // next entry to fill, 0..65535; empty when equal
uint32_t   samples_since_event; // samples rendered since the last applied event's time point
uint32_t   sound_time;          // sound ticks since sound_init, wraps
uint8_t    selected_register;   // 0..15
void (*port_observer)(uint32_t port, int value);

void queue_event(uint8_t type, uint8_t value) {
  // Overrun: with 65535 entries pending, this write would land just before
  // the oldest pending entry and the ring would then look empty. Apply the
  // oldest entry to the chip first, as the pump's catch-up would, so only its
  // timing is lost.
  if (((queue_write - queue_read) & QUEUE_MASK) == QUEUE_MASK) chip_apply(sound_queue_pop());
  sound_queue_push(type, value);
}

}  // namespace

void sound_out(uint32_t port, int value) {
  // Ports are read on a sound tick: pad to the next multiple of 6 cycles, so
  // the write's charges have moved sound_time on before it is stamped.
  uint32_t misalignment = machine_total_cycles() % PORT_CYCLES;
  if (misalignment != 0) machine_spend(PORT_CYCLES - misalignment);
  machine_spend(PORT_CYCLES);

  uint8_t byte = uint8_t(value);
  switch (port & 0xFFFF) {
    case PORT_MARK:
      queue_event(EVENT_MARK, byte);
      break;
    case PORT_REGISTER_DATA:
      queue_event(selected_register, byte & REGISTER_MASKS[selected_register]);
      break;
    case PORT_REGISTER_SELECT:
      selected_register = byte & 0x0F;
      break;
    default:
      break;  // no device here: only the cycles are spent
  }
  if (port_observer) port_observer(port, value);
}

void sound_set_port_observer(void (*observer)(uint32_t port, int value)) {
  port_observer = observer;
}

uint32_t sound_time_now() { return sound_time; }
void sound_time_advance(uint32_t ticks) { sound_time += ticks; }

void sound_queue_reset() {
  selected_register = 0;
  sound_time = 0;
  // The ring is zero at program start; clearing it here too gives a second
  // start-up (tests, tools) the same first event as the first one.
  std::memset(queue, 0, sizeof queue);
  queue_read = 0;
  queue_write = 0;
  samples_since_event = 0;
}

void sound_queue_push(uint8_t type, uint8_t value) {
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
