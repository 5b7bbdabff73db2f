#include "tools/common/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef QUADRILLO_VERSION
#define QUADRILLO_VERSION "unknown"
#endif

namespace {

const CliOption* find_long(const CliTool& tool, const std::string& name) {
  for (int i = 0; i < tool.option_count; ++i)
    if (name == tool.options[i].name) return &tool.options[i];
  return nullptr;
}

const CliOption* find_short(const CliTool& tool, char name) {
  for (int i = 0; i < tool.option_count; ++i)
    if (tool.options[i].short_name && tool.options[i].short_name == name) return &tool.options[i];
  return nullptr;
}

}  // namespace

int cli_fail(const CliTool& tool, int status, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", tool.name, message.c_str());
  return status;
}

int cli_parse(const CliTool& tool, int argc, char** argv, CliArgs& args) {
  args = CliArgs{};
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      args.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    const CliOption* option = nullptr;
    std::string shown, value;
    bool has_value = false;
    if (arg[1] == '-') {
      const size_t equals = arg.find('=');
      const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      if (name == "help" && equals == std::string::npos) {
        std::fputs(tool.help, stdout);
        return CLI_OK;
      }
      if (name == "version" && equals == std::string::npos) {
        std::printf("%s %s\n", tool.name, QUADRILLO_VERSION);
        return CLI_OK;
      }
      option = find_long(tool, name);
      shown = "--" + name;
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        has_value = true;
      }
    } else {
      if (arg[1] == 'h' && arg.size() == 2 && !find_short(tool, 'h')) {
        std::fputs(tool.help, stdout);
        return CLI_OK;
      }
      option = find_short(tool, arg[1]);
      shown = arg.substr(0, 2);
      if (arg.size() > 2) {
        value = arg.substr(2);
        has_value = true;
      }
    }
    if (!option) return cli_fail(tool, CLI_USAGE, "unknown option '" + shown + "' (see --help)");
    if (!option->value) {
      if (has_value) return cli_fail(tool, CLI_USAGE, shown + " takes no value (see --help)");
    } else if (!has_value) {
      if (i + 1 >= argc)
        return cli_fail(tool, CLI_USAGE, shown + " needs a value " + option->value + " (see --help)");
      value = argv[++i];
    }
    args.given.emplace_back(option->name, value);
  }
  return CLI_GO_ON;
}

const std::string* cli_value(const CliArgs& args, const char* name) {
  const std::string* found = nullptr;
  for (const auto& [given, value] : args.given)
    if (given == name) found = &value;
  return found;
}

bool cli_flag(const CliArgs& args, const char* name) { return cli_value(args, name) != nullptr; }

int cli_number(const CliTool& tool, const char* name, const std::string& text, long low, long high,
               long& value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = text.empty() ? 0 : std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || parsed < low || parsed > high) {
    cli_fail(tool, CLI_USAGE,
             "--" + std::string(name) + " wants a whole number " + std::to_string(low) + ".." +
                 std::to_string(high) + ", not '" + text + "'");
    return 0;
  }
  value = parsed;
  return -1;
}
