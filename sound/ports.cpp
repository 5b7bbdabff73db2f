// The port interface: decodes port writes, masks register values to their
// widths and queues them in the sound chip's ring at the sound tick at which
// they are charged.
#include "sound/ports.h"

#include "machine/clock.h"
#include "host/host.h"
#include "sound/chip.h"
#include "sound/ports_internal.h"
#include "sound/queue.h"
#include "sound/registers.h"

namespace {

inline constexpr uint32_t PORT_CYCLES = 6;  // one sound tick per port write

// Bits each register keeps: coarse periods and the envelope shape are 4 bits,
// the noise period and the amplitudes (with their envelope flag) 5 bits.
constexpr uint8_t REGISTER_MASKS[REGISTER_COUNT] = {
    0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
    0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF,
};

uint8_t selected_register;  // 0..15

void queue_event(uint8_t type, uint8_t value) {
  // Overrun: with 65535 entries pending, this write would land just before
  // the oldest pending entry and the ring would then look empty. Apply the
  // oldest entry to the chip first, as the pump's catch-up would, so only its
  // timing is lost.
  if (sound_queue_pending() == 65535) chip_apply_oldest();
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
  host_port_written(machine_total_cycles(), port, value);
}

void sound_ports_reset() { selected_register = 0; }
