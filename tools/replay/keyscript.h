// Key scripts of the replay tool: one line per loop frame, naming the keys
// held during that frame by their Allegro names without the KEY_ prefix
// ("SPACE", "LEFT DOWN", or nothing), separated by blanks.
#pragma once
#include <string>
#include <vector>

// The Allegro key code of `name` ("SPACE" -> KEY_SPACE), or 0 if unknown.
int keyscript_code(const std::string& name);

// Reads a whole key script. -1 on success with one list of key codes per
// line in `frames`; 0 with `error` naming the line and the word on failure.
int keyscript_read(const std::string& path, std::vector<std::vector<int>>& frames,
                   std::string& error);
