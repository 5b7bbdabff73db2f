// orvalin-musicc: compiles a music score (see NOTATION.md) into a PSG file
// that the game's music player plays, one frame of register writes per 1/50 s.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/cli.h"
#include "tools/data_files/tool_files.h"
#include "tools/musicc/musicc.h"

namespace {

const char HELP[] =
    "usage: orvalin-musicc [options] SCORE.txt --out FILE.psg\n"
    "Compiles a three-channel score (notation: NOTATION.md among the SDK's\n"
    "documents, /usr/share/doc/liborvalin-dev/ for the Debian package) into\n"
    "a PSG register recording, 50 frames per second, for a chip clocked at\n"
    "1772700 Hz.\n"
    "  -o, --out FILE       PSG file to write\n"
    "  -s, --solo CHANNELS  keep only these channels audible, e.g. A or AB\n"
    "  -i, --info           print the length, the loop and the melody's note count\n"
    "  -h, --help           show this text and exit\n"
    "      --version        show the version and exit\n"
    "Exit status: 0 on success, 1 when the score cannot be read or compiled or\n"
    "the output cannot be written, 2 on a wrong command line.\n";

const CliOption OPTIONS[] = {{"out", 'o', "FILE"}, {"solo", 's', "CHANNELS"}, {"info", 'i', nullptr}};
const CliTool TOOL = {"orvalin-musicc", HELP, OPTIONS, int(sizeof OPTIONS / sizeof OPTIONS[0])};

int fail(int status, const std::string& message) { return cli_fail(TOOL, status, message); }

}  // namespace

int main(int argc, char** argv) {
  CliArgs args;
  const int status = cli_parse(TOOL, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  uint32_t mask = 7;
  const bool info = cli_flag(args, "info");
  if (const std::string* channels = cli_value(args, "solo")) {
    mask = 0;
    for (char c : *channels) {
      if (c < 'A' || c > 'C') return fail(CLI_USAGE, "--solo wants channel letters A, B, C, not '" + *channels + "'");
      mask |= 1u << (c - 'A');
    }
    if (mask == 0) return fail(CLI_USAGE, "--solo wants at least one channel letter");
  }
  if (args.operands.size() != 1 || !cli_value(args, "out"))
    return fail(CLI_USAGE, "one score and --out are required (see --help)");
  const char* source = args.operands[0].c_str();
  const char* out = cli_value(args, "out")->c_str();
  if (tool_is_input(out, {source})) return fail(CLI_USAGE, std::string("refusing to overwrite the input ") + out);
  std::vector<uint8_t> bytes;
  if (tool_read_file(source, bytes) != -1) return fail(CLI_FAILED, std::string("cannot read score ") + source);
  MusicScore score;
  std::string error;
  if (musicc_parse(std::string(bytes.begin(), bytes.end()), score, error) != -1)
    return fail(CLI_FAILED, std::string(source) + ": " + error);
  if (tool_write_file(out, musicc_compile(score, mask), {source}) != -1)
    return fail(CLI_FAILED, std::string("cannot write ") + out + "");
  if (info) {
    size_t notes = 0;
    for (const MusicEvent& e : score.channels[score.melody]) notes += e.note >= 0;
    std::printf("%s: \"%s\", %d frames (%.2f s), %s, melody %c with %zu notes\n", out, score.title.c_str(),
                score.frames, score.frames / 50.0, score.loop ? "loops" : "plays once", 'A' + score.melody, notes);
  }
  return CLI_OK;
}
