// The machine's fixed palette. A colour byte c is read through its offset form
// n = c XOR 0x0A: bits 7..4 are the luma (Y = luma / 16), bits 3..2 the blue
// difference code and bits 1..0 the red difference code, 2 being neutral. So
// 0x00 is black and 0x00, 0x10 .. 0xF0 are the 16 greys.
#pragma once
#include <cstdint>

inline constexpr uint8_t COLOUR_OFFSET = 0x0A;  // XOR between offset form and colour byte

// The colour byte of an offset form (and back: the XOR is its own inverse).
constexpr uint8_t colour_from_offset(uint8_t offset_form) {
  return uint8_t(offset_form ^ COLOUR_OFFSET);
}

// Fills 256 palette entries of red, green and blue (components 0..63, as
// the host's palette takes them): entry c is the colour of colour byte c.
void palette_compute(uint8_t palette[256][3]);
