// orvalin-picture: builds one of the game's raw pictures ("logo.raw",
// "Quadrillo.raw", "beach.raw"), optionally with a grey preview picture.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/data_files/tool_files.h"
#include "tools/picture/picture.h"

namespace {

constexpr const char* TOOL = "orvalin-picture";

void print_help() {
  std::printf(
      "usage: %s --picture logo|title|beach [--font FILE.ttf] --out FILE.raw [--preview FILE.pgm]\n"
      "Draws one of the game's raw pictures: headerless, one byte per pixel,\n"
      "the pixel value in the top nibble.\n"
      "  logo   320 x 42, \"ORVALIN\" on pixel value 15 (the key); needs --font\n"
      "  title  195 x 26, \"QUADRILLO\" on value 0, stored inverted; needs --font\n"
      "  beach  320 x 240, a beach at sunset in 16 greys\n"
      "  --preview FILE  also write the picture as a greyscale PGM\n"
      "  --help          show this text\n",
      TOOL);
}

std::vector<uint8_t> preview_pgm(const Picture& picture) {
  std::string header = "P5\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  for (uint8_t value : picture.pixels) out.push_back(uint8_t(value * 17));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string kind;
  const char* font = nullptr;
  const char* out = nullptr;
  const char* preview = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--help") {
      print_help();
      return 0;
    } else if (arg == "--picture" && has_value) {
      kind = argv[++i];
    } else if (arg == "--font" && has_value) {
      font = argv[++i];
    } else if (arg == "--out" && has_value) {
      out = argv[++i];
    } else if (arg == "--preview" && has_value) {
      preview = argv[++i];
    } else {
      return tool_fail(TOOL, "unknown or incomplete argument '" + arg + "' (see --help)");
    }
  }
  if (kind != "logo" && kind != "title" && kind != "beach")
    return tool_fail(TOOL, "--picture must be logo, title or beach (see --help)");
  if (!out) return tool_fail(TOOL, "--out is required (see --help)");
  std::vector<std::string> inputs;
  if (font) inputs.push_back(font);
  if (tool_is_input(out, inputs)) return tool_fail(TOOL, std::string("refusing to overwrite the input ") + out);
  if (preview && (tool_is_input(preview, inputs) || tool_is_input(preview, {out})))
    return tool_fail(TOOL, std::string("refusing to overwrite ") + preview + " with the preview");
  Picture picture{};
  std::string error;
  if (kind == "beach") {
    picture_beach(picture);
  } else {
    if (!font) return tool_fail(TOOL, "--font is required for the " + kind + " picture");
    std::vector<uint8_t> probe;
    if (tool_read_file(font, probe) != -1) return tool_fail(TOOL, std::string("cannot read font ") + font);
    int ok = kind == "logo" ? picture_logo(font, picture, error) : picture_title(font, picture, error);
    if (ok != -1) return tool_fail(TOOL, error);
  }
  if (tool_write_file(out, picture_raw(picture, kind == "title" ? -1 : 0), inputs) != -1)
    return tool_fail(TOOL, std::string("cannot write ") + out + "");
  inputs.push_back(out);
  if (preview && tool_write_file(preview, preview_pgm(picture), inputs) != -1)
    return tool_fail(TOOL, std::string("cannot write preview ") + preview);
  return 0;
}
