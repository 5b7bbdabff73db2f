// The machine's keyboard: a matrix of 11 rows of 8 active-low bits, read one
// row at a time. A bit is 0 while its key is held; bits without a key read 1.
#pragma once
#include <cstdint>

inline constexpr int KEYBOARD_ROWS = 11;

// Charges 1 machine cycle, then reads row `row` (0..10) from the host key
// state. Rows outside the matrix (negative ones included) read 0xFF.
uint8_t keyboard_read_row(int row);

