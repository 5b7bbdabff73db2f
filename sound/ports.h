// The sound chip's port interface. Programs reach the AY-3-8910 only through
// port writes; each costs machine cycles, and each write of a chip register
// (or a time mark) becomes an event in the sound chip's ring, stamped with
// the sound tick at which it was made and the output sample it maps to.
#pragma once
#include <cstdint>

inline constexpr uint32_t PORT_REGISTER_SELECT = 0xFFFD;  // selects a register (value & 0x0F)
inline constexpr uint32_t PORT_REGISTER_DATA   = 0xBFFD;  // writes the selected register
inline constexpr uint32_t PORT_MARK            = 0xABCD;  // queues a time mark, no sound effect

// A port write by the machine's program. Only the low 16 bits of `port` and
// the low 8 bits of `value` count. Charges 6 cycles, plus 0..5 cycles first to
// bring machine_total_cycles() to a multiple of 6 (a frame end, with its
// pacing wait and display toggle, may run inside). Then queues the event for
// PORT_REGISTER_DATA or PORT_MARK, or selects a register; other ports do
// nothing more.
void sound_out(uint32_t port, int value);
