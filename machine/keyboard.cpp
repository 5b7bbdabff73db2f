// The keyboard matrix. Rows follow a PC keyboard: 0 and 1 the number row from
// Esc to Backspace, 2 and 3 the top letter row, 4 and 5 the home row, 6 and 7
// the bottom row between the shift keys, 8 and 9 the space bar and modifiers,
// 10 the cursor keys. Even rows hold a row's left half from their lowest used
// bit upwards, odd rows its right half from bit 7 down. Keys outside the
// matrix (function keys, keypad, ...) cannot be seen by the machine.
#include "machine/keyboard.h"

#include <allegro.h>

#include "machine/machine.h"

namespace {

// key_matrix[row][7 - bit]: the host key code of each bit, 0 for no key.
constexpr int key_matrix[KEYBOARD_ROWS][8] = {
    {KEY_6, KEY_5, KEY_4, KEY_3, KEY_2, KEY_1, KEY_ESC, 0},
    {KEY_7, KEY_8, KEY_9, KEY_0, KEY_MINUS, KEY_EQUALS, KEY_BACKSPACE, 0},
    {KEY_Y, KEY_T, KEY_R, KEY_E, KEY_W, KEY_Q, KEY_TAB, 0},
    {KEY_U, KEY_I, KEY_O, KEY_P, KEY_OPENBRACE, KEY_CLOSEBRACE, KEY_ENTER, 0},
    {KEY_H, KEY_G, KEY_F, KEY_D, KEY_S, KEY_A, 0, 0},
    {KEY_J, KEY_K, KEY_L, KEY_COLON, KEY_QUOTE, KEY_TILDE, 0, 0},
    {KEY_B, KEY_V, KEY_C, KEY_X, KEY_Z, KEY_BACKSLASH, KEY_LSHIFT, 0},
    {KEY_N, KEY_M, KEY_COMMA, KEY_STOP, KEY_SLASH, KEY_RSHIFT, 0, 0},
    {KEY_SPACE, KEY_ALT, KEY_LCONTROL, 0, 0, 0, 0, 0},
    {KEY_ALTGR, KEY_RCONTROL, 0, 0, 0, 0, 0, 0},
    {KEY_RIGHT, KEY_UP, KEY_DOWN, KEY_LEFT, 0, 0, 0, 0},
};

}  // namespace

uint8_t keyboard_read_row(int row) {
  machine_spend(1);
  if (unsigned(row) > unsigned(KEYBOARD_ROWS - 1)) return 0xFF;  // negative rows too
  unsigned held = 0;
  for (int bit = 7; bit >= 0; --bit) {
    int code = key_matrix[row][7 - bit];
    if (code != 0 && key[code]) held |= 1u << bit;
  }
  return uint8_t(~held);
}
