// The port interface and the event ring. A register write is stamped with
// the sound tick at which it is charged and placed exactly on the output
// sample timeline: whole samples since the previous entry plus a remainder in
// 1/11818 sample, carried from entry to entry so no rounding accumulates.
#include "sound/ports.h"

#include "machine/machine.h"
#include "sound/chip.h"
#include "sound/sound_internal.h"

SoundEvent sound_queue[QUEUE_SIZE];
uint32_t   queue_read;
uint32_t   queue_write;
uint32_t   samples_since_event;
uint32_t   sound_time;
uint8_t    selected_register;
SoundTimingCounts sound_timing_counts;

namespace {

inline constexpr uint32_t PORT_CYCLES = 6;  // one sound tick per port write

// Bits each register keeps: coarse periods and the envelope shape are 4 bits,
// the noise period and the amplitudes (with their envelope flag) 5 bits.
constexpr uint8_t REGISTER_MASKS[16] = {
    0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
    0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF,
};

void (*port_observer)(uint32_t port, int value);

void queue_event(uint8_t type, uint8_t value) {
  sound_queue[queue_write].type = type;
  sound_queue[queue_write].value = value;
  sound_queue_stamp(sound_time);
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

void sound_queue_stamp(uint32_t ticks) {
  uint32_t w = queue_write;
  const SoundEvent& previous = sound_queue[(w - 1) & QUEUE_MASK];
  SoundEvent& event = sound_queue[w];
  event.ticks = ticks;
  // The tick difference is taken modulo 2^32 (sound_time wraps), but the
  // product is widened: 147 x (2^32 - 1) + 11817 needs 40 bits, and its
  // quotient by 11818 fits 32 bits again, so events any distance apart are
  // placed exactly.
  uint64_t n = uint64_t(previous.remainder) + uint64_t(SAMPLES_PER_UNIT) * (ticks - previous.ticks);
  event.sample_delta = uint32_t(n / TICKS_PER_UNIT);
  event.remainder = uint32_t(n % TICKS_PER_UNIT);
  // Into an empty queue, an event that lies before what the renderer has
  // already produced is applied at its next sample; the events after it keep
  // their spacing from it.
  if (w == queue_read && event.sample_delta < samples_since_event) {
    samples_since_event = event.sample_delta;
    ++sound_timing_counts.late_stamps;
  }
  queue_write = (w + 1) & QUEUE_MASK;
  // Overrun: with 65535 entries pending, the next write would land on the
  // oldest pending entry and the ring would look empty. Apply that entry to
  // the chip now, as the pump's catch-up would, so only its timing is lost.
  // The renderer's timeline moves to its time point, or stays put if it had
  // already rendered past it.
  if (queue_write == queue_read) {
    uint32_t delta = sound_queue[queue_read].sample_delta;
    samples_since_event = samples_since_event > delta ? samples_since_event - delta : 0;
    chip_apply_event();
    ++sound_timing_counts.overruns;
  }
}

uint32_t sound_time_now() { return sound_time; }

void sound_set_port_observer(void (*observer)(uint32_t port, int value)) {
  port_observer = observer;
}
