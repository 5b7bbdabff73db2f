// The main of a program's watcher (quadrillo-watch, NAME-watch): the
// program on the desktop host, in its real window at 50 frames per second
// with its sound, its keys taken from a recorded run (a key script) instead
// of the keyboard. The run plays as it was played; at its last frame the
// picture stays until the close button. The program itself is unchanged:
// this main stands in for the desktop host's entry and calls its
// program_main.
//
//   NAME-watch [--data DIR] RUN.keys [-- ARGUMENTS]
#include <allegro.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/allegro/watch.h"
#include "host/program.h"
#include "machine/machine.h"
#include "tools/common/cli.h"
#include "tools/replay/keyscript.h"

namespace {

const char HELP[] =
    "Usage: %s [--data DIR] RUN.keys [-- ARGUMENTS]\n"
    "\n"
    "Shows a recorded run of the program in its window, in real time with its\n"
    "sound: the keys of each frame come from RUN.keys (a key script, one line\n"
    "per frame, as the web player saves and the replay harness reads), not\n"
    "from the keyboard. After the last frame the picture stays until the\n"
    "window is closed. The close button ends it at any time.\n"
    "\n"
    "Options:\n"
    "  -d, --data DIR  the folder the program runs in: its data files (default:\n"
    "                  the working directory)\n"
    "      --help      show this help and exit\n"
    "      --version   show the version and exit\n";

const CliOption OPTIONS[] = {{"data", 'd', "DIR"}};

}  // namespace

int main(int argc, char** argv) {
  const std::string tool_name = std::filesystem::path(argv[0]).filename().string();
  char help[sizeof HELP + 256];
  std::snprintf(help, sizeof help, HELP, tool_name.c_str());
  const CliTool tool = {tool_name.c_str(), help, OPTIONS, 1};
  CliArgs args;
  int status = cli_parse(tool, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  if (args.operands.empty()) return cli_fail(tool, CLI_USAGE, "give the run to show (RUN.keys)");
  std::vector<std::vector<int>> frames;
  std::vector<std::string>      comments;
  std::string                   error;
  if (!keyscript_read(args.operands[0], frames, error, &comments)) return cli_fail(tool, CLI_FAILED, error);
  if (const std::string* data = cli_value(args, "data")) {
    std::error_code failed;
    std::filesystem::current_path(*data, failed);
    if (failed) return cli_fail(tool, CLI_FAILED, "cannot enter the data folder " + *data);
  }
  const std::string warning = keyscript_data_warning(comments, ".");
  if (!warning.empty()) std::fprintf(stderr, "%s: warning: %s\n", tool.name, warning.c_str());
  allegro_watch(frames, MACHINE_START_FRAMES);
  // The program sees its own name first, then the operands after the run.
  std::vector<char*> program_argv{argv[0]};
  for (size_t i = 1; i < args.operands.size(); ++i) program_argv.push_back(args.operands[i].data());
  program_argv.push_back(nullptr);
  return program_main(int(program_argv.size() - 1), program_argv.data());
}
END_OF_MAIN()
