// The keys a host can report: one list that gives the host's key codes, the
// names key scripts use and the browser's KeyboardEvent.code of each key.
// Codes are Allegro 4's own key numbers, so the desktop host reads Allegro's
// key state by code; 107..114 are numbers Allegro leaves unnamed.
#pragma once
#include <cstdint>

// key(NAME, CODE, DOM_CODE): HOST_KEY_NAME is CODE; NAME is the key script's
// word ("SPACE", "0_PAD"); DOM_CODE names the physical key in a browser, ""
// where browsers have no such key.
#define HOST_KEY_LIST(key) \
  key(A, 1, "KeyA") key(B, 2, "KeyB") key(C, 3, "KeyC") key(D, 4, "KeyD") key(E, 5, "KeyE") \
  key(F, 6, "KeyF") key(G, 7, "KeyG") key(H, 8, "KeyH") key(I, 9, "KeyI") key(J, 10, "KeyJ") \
  key(K, 11, "KeyK") key(L, 12, "KeyL") key(M, 13, "KeyM") key(N, 14, "KeyN") key(O, 15, "KeyO") \
  key(P, 16, "KeyP") key(Q, 17, "KeyQ") key(R, 18, "KeyR") key(S, 19, "KeyS") key(T, 20, "KeyT") \
  key(U, 21, "KeyU") key(V, 22, "KeyV") key(W, 23, "KeyW") key(X, 24, "KeyX") key(Y, 25, "KeyY") \
  key(Z, 26, "KeyZ") key(0, 27, "Digit0") key(1, 28, "Digit1") key(2, 29, "Digit2") key(3, 30, "Digit3") \
  key(4, 31, "Digit4") key(5, 32, "Digit5") key(6, 33, "Digit6") key(7, 34, "Digit7") key(8, 35, "Digit8") \
  key(9, 36, "Digit9") key(0_PAD, 37, "Numpad0") key(1_PAD, 38, "Numpad1") key(2_PAD, 39, "Numpad2") \
  key(3_PAD, 40, "Numpad3") key(4_PAD, 41, "Numpad4") key(5_PAD, 42, "Numpad5") \
  key(6_PAD, 43, "Numpad6") key(7_PAD, 44, "Numpad7") key(8_PAD, 45, "Numpad8") \
  key(9_PAD, 46, "Numpad9") key(F1, 47, "F1") key(F2, 48, "F2") key(F3, 49, "F3") key(F4, 50, "F4") \
  key(F5, 51, "F5") key(F6, 52, "F6") key(F7, 53, "F7") key(F8, 54, "F8") key(F9, 55, "F9") \
  key(F10, 56, "F10") key(F11, 57, "F11") key(F12, 58, "F12") key(ESC, 59, "Escape") \
  key(TILDE, 60, "Backquote") key(MINUS, 61, "Minus") key(EQUALS, 62, "Equal") \
  key(BACKSPACE, 63, "Backspace") key(TAB, 64, "Tab") key(OPENBRACE, 65, "BracketLeft") \
  key(CLOSEBRACE, 66, "BracketRight") key(ENTER, 67, "Enter") key(COLON, 68, "Semicolon") \
  key(QUOTE, 69, "Quote") key(BACKSLASH, 70, "Backslash") key(BACKSLASH2, 71, "IntlBackslash") \
  key(COMMA, 72, "Comma") key(STOP, 73, "Period") key(SLASH, 74, "Slash") key(SPACE, 75, "Space") \
  key(INSERT, 76, "Insert") key(DEL, 77, "Delete") key(HOME, 78, "Home") key(END, 79, "End") \
  key(PGUP, 80, "PageUp") key(PGDN, 81, "PageDown") key(LEFT, 82, "ArrowLeft") \
  key(RIGHT, 83, "ArrowRight") key(UP, 84, "ArrowUp") key(DOWN, 85, "ArrowDown") \
  key(SLASH_PAD, 86, "NumpadDivide") key(ASTERISK, 87, "NumpadMultiply") \
  key(MINUS_PAD, 88, "NumpadSubtract") key(PLUS_PAD, 89, "NumpadAdd") \
  key(DEL_PAD, 90, "NumpadDecimal") key(ENTER_PAD, 91, "NumpadEnter") key(PRTSCR, 92, "PrintScreen") \
  key(PAUSE, 93, "Pause") key(ABNT_C1, 94, "IntlRo") key(YEN, 95, "IntlYen") key(KANA, 96, "KanaMode") \
  key(CONVERT, 97, "Convert") key(NOCONVERT, 98, "NonConvert") key(AT, 99, "") key(CIRCUMFLEX, 100, "") \
  key(COLON2, 101, "") key(KANJI, 102, "") key(EQUALS_PAD, 103, "NumpadEqual") key(BACKQUOTE, 104, "") \
  key(SEMICOLON, 105, "") key(COMMAND, 106, "") key(LSHIFT, 115, "ShiftLeft") \
  key(RSHIFT, 116, "ShiftRight") key(LCONTROL, 117, "ControlLeft") key(RCONTROL, 118, "ControlRight") \
  key(ALT, 119, "AltLeft") key(ALTGR, 120, "AltRight") key(LWIN, 121, "MetaLeft") \
  key(RWIN, 122, "MetaRight") key(MENU, 123, "ContextMenu") key(SCRLOCK, 124, "ScrollLock") \
  key(NUMLOCK, 125, "NumLock") key(CAPSLOCK, 126, "CapsLock")

enum HostKey : int32_t {
#define HOST_KEY_ENUM(name, code, dom) HOST_KEY_##name = code,
  HOST_KEY_LIST(HOST_KEY_ENUM)
#undef HOST_KEY_ENUM
  HOST_KEY_COUNT = 127  // codes are 1 .. HOST_KEY_COUNT - 1
};

// The list as a table, in code order: what a host or tool looks keys up in.
struct HostKeyName {
  int32_t     code;
  const char* name;      // the key script's word
  const char* dom_code;  // KeyboardEvent.code, "" for none
};

inline constexpr HostKeyName HOST_KEY_NAMES[] = {
#define HOST_KEY_ROW(name, code, dom) {code, #name, dom},
    HOST_KEY_LIST(HOST_KEY_ROW)
#undef HOST_KEY_ROW
};
