// Key scripts of the replay tool: one line per loop frame, naming the keys
// held during that frame by their names ("SPACE", "LEFT DOWN", or nothing:
// Allegro's key names without KEY_, the names of host/keys.h), separated by
// blanks. Lines whose first word starts with '#' are comments and no frame.
#pragma once
#include <string>
#include <vector>

// The host key code of `name` ("SPACE" -> HOST_KEY_SPACE), or 0 if unknown.
int keyscript_code(const std::string& name);

// Reads a whole key script. -1 on success with one list of key codes per
// frame line in `frames` and, when asked for, the comment lines in
// `comments`; 0 with `error` naming the line and the word on failure.
int keyscript_read(const std::string& path, std::vector<std::vector<int>>& frames,
                   std::string& error, std::vector<std::string>* comments = nullptr);

// A recorded run's header names the data files it was played with, one
// comment each: "# data NAME SHA256". The warning for the files named there
// that are missing from `data_dir` or hold other bytes (one line: the run
// may not match), or "" when all match or none is named.
std::string keyscript_data_warning(const std::vector<std::string>& comments, const std::string& data_dir);
