// orvalin-musicc: compiles a music score (see NOTATION.md) into a PSG file
// that the game's music player plays, one frame of register writes per 1/50 s.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/data_files/tool_files.h"
#include "tools/musicc/musicc.h"

namespace {

constexpr const char* TOOL = "orvalin-musicc";

void print_help() {
  std::printf(
      "usage: %s SCORE.txt --out FILE.psg [--solo CHANNELS] [--info]\n"
      "Compiles a three-channel score (notation: tools/musicc/NOTATION.md) into\n"
      "a PSG register recording, 50 frames per second, for a chip clocked at\n"
      "1772700 Hz.\n"
      "  --out FILE       PSG file to write\n"
      "  --solo CHANNELS  keep only these channels audible, e.g. A or AB\n"
      "  --info           print the length, the loop and the melody's note count\n"
      "  --help           show this text\n",
      TOOL);
}

}  // namespace

int main(int argc, char** argv) {
  const char* source = nullptr;
  const char* out = nullptr;
  uint32_t mask = 7;
  bool info = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help") {
      print_help();
      return 0;
    } else if (arg == "--info") {
      info = true;
    } else if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (arg == "--solo" && i + 1 < argc) {
      std::string channels = argv[++i];
      mask = 0;
      for (char c : channels) {
        if (c < 'A' || c > 'C') return tool_fail(TOOL, "--solo wants channel letters A, B, C, not '" + channels + "'");
        mask |= 1u << (c - 'A');
      }
      if (mask == 0) return tool_fail(TOOL, "--solo wants at least one channel letter");
    } else if (!arg.empty() && arg[0] != '-' && !source) {
      source = argv[i];
    } else {
      return tool_fail(TOOL, "unknown or incomplete argument '" + arg + "' (see --help)");
    }
  }
  if (!source || !out) return tool_fail(TOOL, "a score and --out are required (see --help)");
  if (tool_is_input(out, {source})) return tool_fail(TOOL, std::string("refusing to overwrite the input ") + out);
  std::vector<uint8_t> bytes;
  if (tool_read_file(source, bytes) != -1) return tool_fail(TOOL, std::string("cannot read score ") + source);
  MusicScore score;
  std::string error;
  if (musicc_parse(std::string(bytes.begin(), bytes.end()), score, error) != -1)
    return tool_fail(TOOL, std::string(source) + ": " + error);
  if (tool_write_file(out, musicc_compile(score, mask), {source}) != -1)
    return tool_fail(TOOL, std::string("cannot write ") + out + "");
  if (info) {
    size_t notes = 0;
    for (const MusicEvent& e : score.channels[score.melody]) notes += e.note >= 0;
    std::printf("%s: \"%s\", %d frames (%.2f s), %s, melody %c with %zu notes\n", out, score.title.c_str(),
                score.frames, score.frames / 50.0, score.loop ? "loops" : "plays once", 'A' + score.melody, notes);
  }
  return 0;
}
