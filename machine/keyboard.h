// The machine's keyboard: a matrix of 11 rows of 8 active-low bits, read one
// row at a time. A bit is 0 while its key is held; bits without a key read 1.
#pragma once
#include <cstdint>

inline constexpr int KEYBOARD_ROWS = 11;

// Where the keys that programs use most sit in the matrix: a row and the
// bit that reads 0 while the key is held.
inline constexpr int     KEYBOARD_ROW_ESC    = 0;
inline constexpr uint8_t KEYBOARD_BIT_ESC    = 0x02;
inline constexpr int     KEYBOARD_ROW_SPACE  = 8;
inline constexpr uint8_t KEYBOARD_BIT_SPACE  = 0x80;
inline constexpr int     KEYBOARD_ROW_ARROWS = 10;
inline constexpr uint8_t KEYBOARD_BIT_LEFT   = 0x10;
inline constexpr uint8_t KEYBOARD_BIT_DOWN   = 0x20;
inline constexpr uint8_t KEYBOARD_BIT_UP     = 0x40;
inline constexpr uint8_t KEYBOARD_BIT_RIGHT  = 0x80;

// Charges 1 machine cycle, then reads row `row` (0..10) from the host key
// state. Rows outside the matrix (negative ones included) read 0xFF.
uint8_t keyboard_read_row(int row);

