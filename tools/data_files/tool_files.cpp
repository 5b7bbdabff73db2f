// Whole-file input and output for the data tools.
#include "tools/data_files/tool_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

int tool_read_file(const char* path, std::vector<uint8_t>& out) {
  out.clear();
  FILE* file = std::fopen(path, "rb");
  if (!file) return 0;
  uint8_t chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + got);
  int failed = std::ferror(file);
  std::fclose(file);
  return failed ? 0 : -1;
}

int tool_is_input(const char* path, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    std::error_code error;
    // equivalent() is false (with an error) when the output does not exist yet
    if (input == path || std::filesystem::equivalent(path, input, error)) return -1;
  }
  return 0;
}

int tool_write_file(const char* path, const std::vector<uint8_t>& bytes,
                    const std::vector<std::string>& inputs) {
  if (tool_is_input(path, inputs)) return 0;
  FILE* file = std::fopen(path, "wb");
  if (!file) return 0;
  size_t put = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  int closed = std::fclose(file);
  return (put == bytes.size() && closed == 0) ? -1 : 0;
}

int tool_fail(const char* tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
  return 1;
}

int tool_parse_int(const char* text, long low, long high, long& value) {
  if (!text || !*text) return 0;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return 0;
  value = parsed;
  return -1;
}
