// The sound chip's port interface: programs reach the AY-3-8910 only through
// port writes. Each write costs machine cycles, and each write of a chip
// register (or a time mark) becomes an event in the sound chip's ring, stamped
// with the sound tick at which it was made and the output sample it maps to.
#pragma once
#include <cstdint>

inline constexpr uint32_t PORT_REGISTER_SELECT = 0xFFFD;  // selects a register (value & 0x0F)
inline constexpr uint32_t PORT_REGISTER_DATA   = 0xBFFD;  // writes the selected register
inline constexpr uint32_t PORT_MARK            = 0xABCD;  // queues a time mark, no sound effect

inline constexpr uint8_t EVENT_MARK = 16;  // event type of a write to PORT_MARK
inline constexpr uint8_t EVENT_SYNC = 17;  // event type of the pump's sync points

// One entry of the event ring. Time points are chained through the ring: each
// entry lies sample_delta + remainder / 11818 samples after the one before it.
struct SoundEvent {
  uint8_t  value;         // masked register value, or the mark's value
  uint8_t  type;          // 0..15 chip register, EVENT_MARK or EVENT_SYNC
  uint32_t sample_delta;  // whole output samples after the previous entry's time point
  uint32_t ticks;         // sound_time (sound ticks) when the event was queued
  uint32_t remainder;     // 0..11817: the time point's fraction, in 1/11818 sample
};

// A port write by the machine's program. Only the low 16 bits of `port` and
// the low 8 bits of `value` count. Charges 6 cycles, plus 0..5 cycles first to
// bring machine_total_cycles() to a multiple of 6 (a frame end, with its
// pacing wait and display toggle, may run inside). Then queues the event for
// PORT_REGISTER_DATA or PORT_MARK, or selects a register; other ports do
// nothing more. Calls the port observer last.
void sound_out(uint32_t port, int value);

// Completes the entry at queue_write (whose value and type the caller filled)
// with its time stamp `ticks` (a sound_time) and publishes it. Called by
// sound_out and by the pump for its sync points.
void sound_queue_stamp(uint32_t ticks);

// The sound chip's clock: sound ticks (6 machine cycles each) since
// sound_init, modulo 2^32.
uint32_t sound_time_now();

// Installs a function called at the end of every sound_out with its arguments
// (null removes it). The replay tool logs port writes through it.
void sound_set_port_observer(void (*observer)(uint32_t port, int value));
