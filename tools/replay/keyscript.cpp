// Key names are Allegro's own key constants without their prefix, so a
// script reads like the code that tests the keys.
#include "tools/replay/keyscript.h"

#include <fstream>
#include <sstream>

#include "host/keys.h"

int keyscript_code(const std::string& name) {
  for (const HostKeyName& k : HOST_KEY_NAMES)
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
