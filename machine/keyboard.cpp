// The keyboard matrix. Rows follow a PC keyboard: 0 and 1 the number row from
// Esc to Backspace, 2 and 3 the top letter row, 4 and 5 the home row, 6 and 7
// the bottom row between the shift keys, 8 and 9 the space bar and modifiers,
// 10 the cursor keys. Even rows hold a row's left half from their lowest used
// bit upwards, odd rows its right half from bit 7 down. Keys outside the
// matrix (function keys, keypad, ...) cannot be seen by the machine.
#include "machine/keyboard.h"

#include "machine/clock.h"
#include "host/host.h"

namespace {

// key_matrix[row][7 - bit]: the host key code of each bit, 0 for no key.
constexpr int key_matrix[KEYBOARD_ROWS][8] = {
    {HOST_KEY_6, HOST_KEY_5, HOST_KEY_4, HOST_KEY_3, HOST_KEY_2, HOST_KEY_1, HOST_KEY_ESC, 0},
    {HOST_KEY_7, HOST_KEY_8, HOST_KEY_9, HOST_KEY_0, HOST_KEY_MINUS, HOST_KEY_EQUALS, HOST_KEY_BACKSPACE, 0},
    {HOST_KEY_Y, HOST_KEY_T, HOST_KEY_R, HOST_KEY_E, HOST_KEY_W, HOST_KEY_Q, HOST_KEY_TAB, 0},
    {HOST_KEY_U, HOST_KEY_I, HOST_KEY_O, HOST_KEY_P, HOST_KEY_OPENBRACE, HOST_KEY_CLOSEBRACE, HOST_KEY_ENTER, 0},
    {HOST_KEY_H, HOST_KEY_G, HOST_KEY_F, HOST_KEY_D, HOST_KEY_S, HOST_KEY_A, 0, 0},
    {HOST_KEY_J, HOST_KEY_K, HOST_KEY_L, HOST_KEY_COLON, HOST_KEY_QUOTE, HOST_KEY_TILDE, 0, 0},
    {HOST_KEY_B, HOST_KEY_V, HOST_KEY_C, HOST_KEY_X, HOST_KEY_Z, HOST_KEY_BACKSLASH, HOST_KEY_LSHIFT, 0},
    {HOST_KEY_N, HOST_KEY_M, HOST_KEY_COMMA, HOST_KEY_STOP, HOST_KEY_SLASH, HOST_KEY_RSHIFT, 0, 0},
    {HOST_KEY_SPACE, HOST_KEY_ALT, HOST_KEY_LCONTROL, 0, 0, 0, 0, 0},
    {HOST_KEY_ALTGR, HOST_KEY_RCONTROL, 0, 0, 0, 0, 0, 0},
    {HOST_KEY_RIGHT, HOST_KEY_UP, HOST_KEY_DOWN, HOST_KEY_LEFT, 0, 0, 0, 0},
};

}  // namespace

uint8_t keyboard_read_row(int row) {
  machine_spend(1);
  if (unsigned(row) > unsigned(KEYBOARD_ROWS - 1)) return 0xFF;  // negative rows too
  unsigned held = 0;
  for (int bit = 7; bit >= 0; --bit) {
    int code = key_matrix[row][7 - bit];
    if (code != 0 && host_key_held(code)) held |= 1u << bit;
  }
  return uint8_t(~held);
}
