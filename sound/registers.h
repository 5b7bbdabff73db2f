// The AY-3-8910's registers, as a program selects them through
// PORT_REGISTER_SELECT and writes them through PORT_REGISTER_DATA. Values
// are cut to each register's width when they are written.
#pragma once

inline constexpr int REG_A_PERIOD_LOW   = 0;   // tone periods: bits 7..0 ...
inline constexpr int REG_A_PERIOD_HIGH  = 1;   // ... and bits 11..8 (4 bits)
inline constexpr int REG_B_PERIOD_LOW   = 2;
inline constexpr int REG_B_PERIOD_HIGH  = 3;
inline constexpr int REG_C_PERIOD_LOW   = 4;
inline constexpr int REG_C_PERIOD_HIGH  = 5;
inline constexpr int REG_NOISE_PERIOD   = 6;   // 5 bits
inline constexpr int REG_MIXER          = 7;   // a set bit is off: tones A B C (bits 0..2), noise A B C (3..5)
inline constexpr int REG_A_AMPLITUDE    = 8;   // 0..15, or 16 and up: follow the envelope (5 bits)
inline constexpr int REG_B_AMPLITUDE    = 9;
inline constexpr int REG_C_AMPLITUDE    = 10;
inline constexpr int REG_ENVELOPE_LOW   = 11;  // envelope period: bits 7..0 ...
inline constexpr int REG_ENVELOPE_HIGH  = 12;  // ... and bits 15..8
inline constexpr int REG_ENVELOPE_SHAPE = 13;  // 4 bits; writing it restarts the envelope
inline constexpr int REG_PORT_A         = 14;  // the chip's I/O ports: written, no sound
inline constexpr int REG_PORT_B         = 15;
inline constexpr int REGISTER_COUNT     = 16;
