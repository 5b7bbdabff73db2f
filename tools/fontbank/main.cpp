// orvalin-fontbank: builds the game's font bank ("tahoma.fnt") from a
// scalable font, and optionally a grey preview picture of the glyphs.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/data_files/tool_files.h"
#include "tools/fontbank/fontbank.h"

namespace {

constexpr const char* TOOL = "orvalin-fontbank";

void print_help() {
  std::printf(
      "usage: %s --font FILE.ttf --size PIXELS --out FILE.fnt [options]\n"
      "Renders character codes 32..126 anti-aliased into 4-bit glyphs and a\n"
      "blank tab (code 9), and writes them as a headerless sprite bank.\n"
      "  --font FILE     scalable font to render (TrueType or OpenType)\n"
      "  --size N        size in pixels per em (4..96)\n"
      "  --out FILE      bank file to write\n"
      "  --tab N         tab width in spaces (default 4)\n"
      "  --shadow        add a 1-pixel drop shadow of luma 1\n"
      "  --preview FILE  also write the glyphs as a greyscale PGM picture\n"
      "  --help          show this text\n"
      "Prints the sprite-memory charge of the glyphs on stdout.\n",
      TOOL);
}

std::vector<uint8_t> preview_pgm(const std::vector<BankGlyph>& glyphs) {
  int32_t height = 0;
  for (const BankGlyph& g : glyphs) height = std::max(height, g.height);
  const int32_t per_row = 16;
  int32_t rows = (int32_t(glyphs.size()) + per_row - 1) / per_row;
  int32_t cell_w = 0;
  for (const BankGlyph& g : glyphs) cell_w = std::max(cell_w, g.width + 2);
  int32_t cell_h = height + 2;
  int32_t w = cell_w * per_row, h = cell_h * rows;
  std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<uint8_t> out(header.begin(), header.end());
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
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const char* font = nullptr;
  const char* out = nullptr;
  const char* preview = nullptr;
  long size = 0, tab = 4;
  int shadow = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--help") {
      print_help();
      return 0;
    } else if (arg == "--shadow") {
      shadow = -1;
    } else if (arg == "--font" && has_value) {
      font = argv[++i];
    } else if (arg == "--out" && has_value) {
      out = argv[++i];
    } else if (arg == "--preview" && has_value) {
      preview = argv[++i];
    } else if (arg == "--size" && has_value) {
      if (tool_parse_int(argv[++i], 4, 96, size) != -1)
        return tool_fail(TOOL, std::string("--size wants a number of pixels 4..96, not '") + argv[i] + "'");
    } else if (arg == "--tab" && has_value) {
      if (tool_parse_int(argv[++i], 0, 16, tab) != -1)
        return tool_fail(TOOL, std::string("--tab wants a number of spaces 0..16, not '") + argv[i] + "'");
    } else {
      return tool_fail(TOOL, "unknown or incomplete argument '" + arg + "' (see --help)");
    }
  }
  if (!font || !out || size == 0) return tool_fail(TOOL, "--font, --size and --out are required (see --help)");
  std::vector<uint8_t> probe;
  if (tool_read_file(font, probe) != -1) return tool_fail(TOOL, std::string("cannot read font ") + font);

  if (tool_is_input(out, {font})) return tool_fail(TOOL, std::string("refusing to overwrite the input ") + out);
  if (preview && tool_is_input(preview, {font, out}))
    return tool_fail(TOOL, std::string("refusing to overwrite ") + preview + " with the preview");
  FontBankOptions options{int32_t(size), int32_t(tab), shadow};
  std::vector<BankGlyph> glyphs;
  std::string error;
  if (fontbank_build(font, options, glyphs, error) != -1) return tool_fail(TOOL, error);
  if (tool_write_file(out, fontbank_pack(glyphs), {font}) != -1)
    return tool_fail(TOOL, std::string("cannot write ") + out + "");
  if (preview && tool_write_file(preview, preview_pgm(glyphs), {font, out}) != -1)
    return tool_fail(TOOL, std::string("cannot write preview ") + preview);
  std::printf("%s: %zu glyphs, sprite-memory charge %d bytes\n", out, glyphs.size(), fontbank_charge(glyphs));
  return 0;
}
