// Key names are Allegro's own key constants without their prefix, so a
// script reads like the code that tests the keys.
#include "tools/replay/keyscript.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "host/keys.h"
#include "tools/replay/frame_hash.h"

int keyscript_code(const std::string& name) {
  for (const HostKeyName& k : HOST_KEY_NAMES)
    if (name == k.name) return k.code;
  return 0;
}

int keyscript_read(const std::string& path, std::vector<std::vector<int>>& frames,
                   std::string& error, std::vector<std::string>* comments) {
  frames.clear();
  if (comments) comments->clear();
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the key script " + path;
    return 0;
  }
  std::string line;
  for (long number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<int> held;
    std::string word;
    // A line whose first word starts with '#' is a comment, not a frame: a
    // recorded run's header names its program, data and length there.
    if (words >> word && word[0] == '#') {
      if (comments) comments->push_back(line);
      continue;
    }
    for (bool more = !word.empty(); more; more = bool(words >> word)) {
      int code = keyscript_code(word);
      if (!code) {
        error = path + ":" + std::to_string(number) + ": unknown key \"" + word + "\"";
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

std::string keyscript_data_warning(const std::vector<std::string>& comments, const std::string& data_dir) {
  std::vector<std::string> differing;
  for (const std::string& comment : comments) {
    std::istringstream words(comment);
    std::string hash_mark, data, name, hash;
    if (!(words >> hash_mark >> data >> name >> hash) || hash_mark != "#" || data != "data") continue;
    std::ifstream in(data_dir + "/" + name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || frame_hash_hex(bytes.data(), bytes.size()) != hash) differing.push_back(name);
  }
  if (differing.empty()) return "";
  std::string names;
  for (const std::string& name : differing) names += (names.empty() ? "" : ", ") + name;
  return "the run was recorded with other data (" + names + " " +
         (differing.size() == 1 ? "differs" : "differ") + " or " + (differing.size() == 1 ? "is" : "are") +
         " missing): it may not play as it did";
}
