// File handling shared by the data tools: whole-file reads, writes that never
// replace one of the tool's own inputs, and the one-line error report.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Reads the whole file. Returns -1 on success, 0 when it cannot be read.
int tool_read_file(const char* path, std::vector<uint8_t>& out);

// -1 when `path` names the same file as one of `inputs` (by name, or as an
// existing file reached another way), 0 otherwise.
int tool_is_input(const char* path, const std::vector<std::string>& inputs);

// Writes `bytes` to `path` unless `path` names the same file as one of
// `inputs` (then nothing is written). Returns -1 on success, 0 on failure.
int tool_write_file(const char* path, const std::vector<uint8_t>& bytes,
                    const std::vector<std::string>& inputs);

// Prints "<tool>: <message>" as one line on stderr and returns 1, the exit
// status every tool uses for a failure.
int tool_fail(const char* tool, const std::string& message);

// Parses a whole decimal integer within [low, high]. Returns -1 and sets
// `value` on success, 0 otherwise.
int tool_parse_int(const char* text, long low, long high, long& value);
