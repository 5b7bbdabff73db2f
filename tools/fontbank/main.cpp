// orvalin-fontbank: builds the game's font bank ("tahoma.fnt") from a
// scalable font, and optionally a grey preview picture of the glyphs.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/common/cli.h"
#include "tools/common/png_io.h"
#include "tools/data_files/tool_files.h"
#include "tools/fontbank/fontbank.h"

namespace {

const char HELP[] =
    "usage: orvalin-fontbank --font FILE.ttf --size PIXELS --out FILE.fnt [options]\n"
    "Renders character codes 32..126 anti-aliased into 4-bit glyphs and a\n"
    "blank tab (code 9), and writes them as a headerless sprite bank.\n"
    "  -f, --font FILE     scalable font to render (TrueType or OpenType)\n"
    "  -s, --size N        size in pixels per em (4..96)\n"
    "  -o, --out FILE      bank file to write\n"
    "      --tab N         tab width in spaces (0..16, default 4)\n"
    "      --shadow        add a 1-pixel drop shadow of luma 1\n"
    "      --preview FILE  also write the glyphs as a grey PNG picture\n"
    "  -h, --help          show this text and exit\n"
    "      --version       show the version and exit\n"
    "Prints the sprite-memory charge of the glyphs on stdout.\n"
    "Exit status: 0 on success, 1 when the font cannot be read or rendered or\n"
    "an output cannot be written, 2 on a wrong command line.\n";

const CliOption OPTIONS[] = {{"font", 'f', "FILE"}, {"size", 's', "N"},      {"out", 'o', "FILE"},
                             {"tab", 0, "N"},       {"shadow", 0, nullptr}, {"preview", 0, "FILE"}};
const CliTool TOOL = {"orvalin-fontbank", HELP, OPTIONS, int(sizeof OPTIONS / sizeof OPTIONS[0])};

int fail(int status, const std::string& message) { return cli_fail(TOOL, status, message); }

// The glyphs side by side, 16 to a row, on a dark grey ground, with a bar of
// each glyph's advance above it. Returns -1 when written, 0 otherwise.
int write_preview(const char* path, const std::vector<BankGlyph>& glyphs) {
  int32_t height = 0;
  for (const BankGlyph& g : glyphs) height = std::max(height, g.height);
  const int32_t per_row = 16;
  int32_t rows = (int32_t(glyphs.size()) + per_row - 1) / per_row;
  int32_t cell_w = 0;
  for (const BankGlyph& g : glyphs) cell_w = std::max(cell_w, g.width + 2);
  int32_t cell_h = height + 2;
  int32_t w = cell_w * per_row, h = cell_h * rows;
  std::vector<uint8_t> pixels(size_t(w * h), 40);
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const BankGlyph& g = glyphs[i];
    int32_t ox = int32_t(i % per_row) * cell_w + 1, oy = int32_t(i / per_row) * cell_h + 1;
    for (int32_t x = 0; x < g.width; ++x) pixels[size_t((oy - 1) * w + ox + x)] = 90;  // advance bar
    for (int32_t y = 0; y < g.height; ++y)
      for (int32_t x = 0; x < g.width; ++x) {
        uint8_t p = g.pixels[size_t(y * g.width + x)];
        pixels[size_t((oy + y) * w + ox + x)] = p ? uint8_t(p * 17) : 40;
      }
  }
  return png_write_grey(path, w, h, pixels.data());
}

}  // namespace

int main(int argc, char** argv) {
  CliArgs args;
  const int status = cli_parse(TOOL, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  if (!args.operands.empty()) return fail(CLI_USAGE, "unexpected argument '" + args.operands[0] + "' (see --help)");
  if (!cli_value(args, "font") || !cli_value(args, "size") || !cli_value(args, "out"))
    return fail(CLI_USAGE, "--font, --size and --out are required (see --help)");
  long size = 0, tab = 4;
  if (!cli_number(TOOL, "size", *cli_value(args, "size"), 4, 96, size)) return CLI_USAGE;
  if (cli_value(args, "tab") && !cli_number(TOOL, "tab", *cli_value(args, "tab"), 0, 16, tab)) return CLI_USAGE;
  const char* font = cli_value(args, "font")->c_str();
  const char* out = cli_value(args, "out")->c_str();
  const char* preview = cli_value(args, "preview") ? cli_value(args, "preview")->c_str() : nullptr;
  const int shadow = cli_flag(args, "shadow") ? -1 : 0;
  if (tool_is_input(out, {font})) return fail(CLI_USAGE, std::string("refusing to overwrite the input ") + out);
  if (preview && tool_is_input(preview, {font, out}))
    return fail(CLI_USAGE, std::string("refusing to overwrite ") + preview + " with the preview");
  std::vector<uint8_t> probe;
  if (tool_read_file(font, probe) != -1) return fail(CLI_FAILED, std::string("cannot read font ") + font);
  FontBankOptions options{int32_t(size), int32_t(tab), shadow};
  std::vector<BankGlyph> glyphs;
  std::string error;
  if (fontbank_build(font, options, glyphs, error) != -1) return fail(CLI_FAILED, error);
  if (tool_write_file(out, fontbank_pack(glyphs), {font}) != -1)
    return fail(CLI_FAILED, std::string("cannot write ") + out + "");
  if (preview && write_preview(preview, glyphs) != -1)
    return fail(CLI_FAILED, std::string("cannot write preview ") + preview);
  std::printf("%s: %zu glyphs, sprite-memory charge %d bytes\n", out, glyphs.size(), fontbank_charge(glyphs));
  return CLI_OK;
}
