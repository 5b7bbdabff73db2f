// The one command-line convention of the machine's tools: GNU-style long
// options ("--frames 3" or "--frames=3"), short ones where a tool has them
// ("-n 3", "-n3"), "--" before operands that start with a dash, --help and
// --version on every tool, numbers checked against their range, and one line
// on stderr, prefixed with the tool's name, for any refusal. Exit statuses:
// CLI_OK when the work was done, CLI_FAILED when it could not be (unreadable
// input, bad data, an output that cannot be written), CLI_USAGE when the
// command line itself is wrong.
#pragma once
#include <string>
#include <utility>
#include <vector>

inline constexpr int CLI_OK = 0;
inline constexpr int CLI_FAILED = 1;
inline constexpr int CLI_USAGE = 2;
inline constexpr int CLI_GO_ON = -1;  // cli_parse: no exit yet, the tool runs

// One option of a tool. --help and --version are added to every tool.
struct CliOption {
  const char* name;        // long name without the dashes: "frames"
  char        short_name;  // 'n', or 0 for none
  const char* value;       // the value's name in messages ("N", "FILE"), or null for a flag
};

struct CliTool {
  const char*      name;     // the prefix of every message: "orvalin-psg2wav"
  const char*      help;     // printed on stdout by --help
  const CliOption* options;
  int              option_count;
};

// What the command line said: each option given, in order, with its value
// ("" for a flag), and the operands.
struct CliArgs {
  std::vector<std::pair<std::string, std::string>> given;
  std::vector<std::string>                         operands;
};

// Parses argv. CLI_GO_ON when the tool should run; otherwise the status to
// exit with at once: CLI_OK after --help or --version (printed on stdout),
// CLI_USAGE after an unknown option or a missing value (reported).
int cli_parse(const CliTool& tool, int argc, char** argv, CliArgs& args);

// The value of the last `name` given, or null.
const std::string* cli_value(const CliArgs& args, const char* name);

// Whether `name` was given at all.
bool cli_flag(const CliArgs& args, const char* name);

// Reports "<tool>: <message>" as one line on stderr and returns `status`.
int cli_fail(const CliTool& tool, int status, const std::string& message);

// Reads the value of --`name` as a whole decimal number within [low, high].
// -1 on success; 0 after reporting the bad value (the caller exits CLI_USAGE).
int cli_number(const CliTool& tool, const char* name, const std::string& text, long low, long high,
               long& value);
