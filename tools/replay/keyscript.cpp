// Key names are Allegro's own key constants without their prefix, so a
// script reads like the code that tests the keys.
#include "tools/replay/keyscript.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "machine/host.h"

namespace {

struct KeyName {
  const char* name;
  int         code;
};

#define KEY_NAME(n) {#n, HOST_KEY_##n}
constexpr KeyName KEY_NAMES[] = {
    KEY_NAME(A), KEY_NAME(B), KEY_NAME(C), KEY_NAME(D), KEY_NAME(E), KEY_NAME(F), KEY_NAME(G),
    KEY_NAME(H), KEY_NAME(I), KEY_NAME(J), KEY_NAME(K), KEY_NAME(L), KEY_NAME(M), KEY_NAME(N),
    KEY_NAME(O), KEY_NAME(P), KEY_NAME(Q), KEY_NAME(R), KEY_NAME(S), KEY_NAME(T), KEY_NAME(U),
    KEY_NAME(V), KEY_NAME(W), KEY_NAME(X), KEY_NAME(Y), KEY_NAME(Z), KEY_NAME(0), KEY_NAME(1),
    KEY_NAME(2), KEY_NAME(3), KEY_NAME(4), KEY_NAME(5), KEY_NAME(6), KEY_NAME(7), KEY_NAME(8),
    KEY_NAME(9), KEY_NAME(0_PAD), KEY_NAME(1_PAD), KEY_NAME(2_PAD), KEY_NAME(3_PAD),
    KEY_NAME(4_PAD), KEY_NAME(5_PAD), KEY_NAME(6_PAD), KEY_NAME(7_PAD), KEY_NAME(8_PAD),
    KEY_NAME(9_PAD), KEY_NAME(F1), KEY_NAME(F2), KEY_NAME(F3), KEY_NAME(F4), KEY_NAME(F5),
    KEY_NAME(F6), KEY_NAME(F7), KEY_NAME(F8), KEY_NAME(F9), KEY_NAME(F10), KEY_NAME(F11),
    KEY_NAME(F12), KEY_NAME(ESC), KEY_NAME(TILDE), KEY_NAME(MINUS), KEY_NAME(EQUALS),
    KEY_NAME(BACKSPACE), KEY_NAME(TAB), KEY_NAME(OPENBRACE), KEY_NAME(CLOSEBRACE),
    KEY_NAME(ENTER), KEY_NAME(COLON), KEY_NAME(QUOTE), KEY_NAME(BACKSLASH),
    KEY_NAME(BACKSLASH2), KEY_NAME(COMMA), KEY_NAME(STOP), KEY_NAME(SLASH), KEY_NAME(SPACE),
    KEY_NAME(INSERT), KEY_NAME(DEL), KEY_NAME(HOME), KEY_NAME(END), KEY_NAME(PGUP),
    KEY_NAME(PGDN), KEY_NAME(LEFT), KEY_NAME(RIGHT), KEY_NAME(UP), KEY_NAME(DOWN),
    KEY_NAME(SLASH_PAD), KEY_NAME(ASTERISK), KEY_NAME(MINUS_PAD), KEY_NAME(PLUS_PAD),
    KEY_NAME(DEL_PAD), KEY_NAME(ENTER_PAD), KEY_NAME(PRTSCR), KEY_NAME(PAUSE),
    KEY_NAME(ABNT_C1), KEY_NAME(YEN), KEY_NAME(KANA), KEY_NAME(CONVERT), KEY_NAME(NOCONVERT),
    KEY_NAME(AT), KEY_NAME(CIRCUMFLEX), KEY_NAME(COLON2), KEY_NAME(KANJI),
    KEY_NAME(EQUALS_PAD), KEY_NAME(BACKQUOTE), KEY_NAME(SEMICOLON), KEY_NAME(COMMAND),
    KEY_NAME(LSHIFT), KEY_NAME(RSHIFT), KEY_NAME(LCONTROL), KEY_NAME(RCONTROL), KEY_NAME(ALT),
    KEY_NAME(ALTGR), KEY_NAME(LWIN), KEY_NAME(RWIN), KEY_NAME(MENU), KEY_NAME(SCRLOCK),
    KEY_NAME(NUMLOCK), KEY_NAME(CAPSLOCK),
};
#undef KEY_NAME

}  // namespace

int keyscript_code(const std::string& name) {
  for (const KeyName& k : KEY_NAMES)
    if (name == k.name) return k.code;
  return 0;
}

int keyscript_read(const std::string& path, std::vector<std::vector<int>>& frames,
                   std::string& error) {
  frames.clear();
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the key script " + path;
    return 0;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<int> held;
    std::string word;
    while (words >> word) {
      int code = keyscript_code(word);
      if (!code) {
        error = path + ":" + std::to_string(frames.size() + 1) + ": unknown key \"" + word + "\"";
        frames.clear();
        return 0;
      }
      held.push_back(code);
    }
    frames.push_back(held);
  }
  if (in.bad()) {
    error = "cannot read the key script " + path;
    frames.clear();
    return 0;
  }
  return -1;
}
