// orvalin-picture: builds one of the game's raw pictures ("logo.raw",
// "Quadrillo.raw", "beach.raw"), or turns any PNG into a raw picture, with a
// preview in the colours the game will show.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/cli.h"
#include "tools/common/png_io.h"
#include "tools/data_files/tool_files.h"
#include "tools/picture/picture.h"
#include "tools/picture/picture_import.h"

namespace {

const char HELP[] =
    "usage: orvalin-picture --picture logo|title|beach [--font FILE.ttf] --out FILE.raw [options]\n"
    "       orvalin-picture --from IMAGE.png --size logo|title|beach|WxH --out FILE.raw [options]\n"
    "Writes a raw picture for the game: headerless, one byte per pixel, the\n"
    "pixel value in the top nibble (\"title\" pictures stored inverted, as the\n"
    "game reads Quadrillo.raw).\n"
    "  -p, --picture KIND  draw one of the game's own pictures:\n"
    "                      logo   320 x 42, \"ORVALIN\" on pixel value 15 (the key); needs --font\n"
    "                      title  195 x 26, \"QUADRILLO\" on value 0, stored inverted; needs --font\n"
    "                      beach  320 x 240, a beach at sunset in 16 greys\n"
    "      --font FILE     the font of the logo and the title\n"
    "  -f, --from IMAGE    turn any PNG (grey, RGB, palette, with or without\n"
    "                      alpha) into a picture: scaled without aliasing (area\n"
    "                      averaging down, bilinear up), keeping its aspect with\n"
    "                      transparent borders, each pixel the value whose colour\n"
    "                      in the variant is nearest in OKLab, Floyd-Steinberg\n"
    "                      dithered; pictures of more than 50 megapixels\n"
    "                      (width x height over 50000000) are refused\n"
    "  -s, --size SIZE     the target of --from: logo (320 x 42, key 15), title\n"
    "                      (195 x 26, key 0, stored inverted), beach (320 x 240)\n"
    "                      or WxH (1..512 each, no key)\n"
    "      --variant V     the palette variant the game draws it in (0..15,\n"
    "                      default 10: the 16 greys; the game draws all three\n"
    "                      pictures in 10)\n"
    "  -k, --key N         transparent pixels (alpha below 128) and the borders\n"
    "                      become value N (0..15), which no other pixel takes;\n"
    "                      --key -1: no key, everything laid over black\n"
    "      --fill          cover the whole target, cropping the image, instead\n"
    "                      of leaving borders\n"
    "      --no-dither     the nearest colour for each pixel, without dithering\n"
    "  -o, --out FILE      the raw picture to write\n"
    "      --preview FILE  also write the picture as a PNG at twice its size in\n"
    "                      the colours the game shows it (its variant)\n"
    "  -h, --help          show this text and exit\n"
    "      --version       show the version and exit\n"
    "Exit status: 0 on success, 1 when an input cannot be read or an output\n"
    "cannot be written, 2 on a wrong command line.\n";

const CliOption OPTIONS[] = {
    {"picture", 'p', "KIND"}, {"font", 0, "FILE"},     {"from", 'f', "IMAGE"},   {"size", 's', "SIZE"},
    {"variant", 0, "V"},      {"key", 'k', "N"},        {"fill", 0, nullptr},     {"no-dither", 0, nullptr},
    {"out", 'o', "FILE"},     {"preview", 0, "FILE"},
};
const CliTool TOOL = {"orvalin-picture", HELP, OPTIONS, int(sizeof OPTIONS / sizeof OPTIONS[0])};
constexpr long PREVIEW_SCALE = 2;
// --help and the refusal state the reader's limit in words.
static_assert(PNG_READ_MAX_PIXELS == 50'000'000, "update --help, the refusal and the manual page");

int fail(int status, const std::string& message) { return cli_fail(TOOL, status, message); }

// Reads --size into the import's target and its preset key and storage.
int read_size(const std::string& text, PictureImport& import, bool& inverted) {
  inverted = false;
  if (text == "logo") {
    import.width = LOGO_WIDTH, import.height = LOGO_HEIGHT, import.key = 15;
  } else if (text == "title") {
    import.width = TITLE_WIDTH, import.height = TITLE_HEIGHT, import.key = 0, inverted = true;
  } else if (text == "beach") {
    import.width = BEACH_WIDTH, import.height = BEACH_HEIGHT;
  } else {
    const size_t x = text.find('x');
    long w = 0, h = 0;
    if (x == std::string::npos)
      return fail(CLI_USAGE, "--size wants logo, title, beach or WxH, not '" + text + "'");
    if (!cli_number(TOOL, "size", text.substr(0, x), 1, 512, w) ||
        !cli_number(TOOL, "size", text.substr(x + 1), 1, 512, h))
      return CLI_USAGE;
    import.width = int32_t(w), import.height = int32_t(h);
  }
  return CLI_GO_ON;
}

int write_preview(const char* path, const Picture& picture, uint32_t variant) {
  uint8_t palette[256][3] = {};
  std::vector<uint8_t> colours(picture.pixels.size());
  // Colour byte c of value v: a palette whose entry v is that value's colour.
  for (uint32_t v = 0; v < 16; ++v) {
    uint8_t rgb[3];
    picture_value_colour(v, variant, rgb);
    for (int k = 0; k < 3; ++k) palette[v][k] = uint8_t(rgb[k] >> 2);
  }
  return png_write_indexed_scaled(path, picture.width, picture.height, picture.pixels.data(), picture.width,
                                  palette, PREVIEW_SCALE);
}

}  // namespace

int main(int argc, char** argv) {
  CliArgs args;
  const int status = cli_parse(TOOL, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  if (!args.operands.empty()) return fail(CLI_USAGE, "unexpected argument '" + args.operands[0] + "' (see --help)");
  const std::string* kind = cli_value(args, "picture");
  const std::string* from = cli_value(args, "from");
  if (!kind == !from) return fail(CLI_USAGE, "either --picture or --from is required (see --help)");
  for (const char* name : {"size", "key", "fill", "no-dither"})
    if (kind && cli_flag(args, name)) return fail(CLI_USAGE, std::string("--") + name + " belongs to --from (see --help)");
  if (from && cli_flag(args, "font")) return fail(CLI_USAGE, "--font belongs to --picture (see --help)");
  if (kind && *kind != "logo" && *kind != "title" && *kind != "beach")
    return fail(CLI_USAGE, "--picture must be logo, title or beach (see --help)");
  if (!cli_value(args, "out")) return fail(CLI_USAGE, "--out is required (see --help)");
  const char* out = cli_value(args, "out")->c_str();
  const char* preview = cli_value(args, "preview") ? cli_value(args, "preview")->c_str() : nullptr;
  const char* font = cli_value(args, "font") ? cli_value(args, "font")->c_str() : nullptr;
  long variant = 10;
  if (cli_value(args, "variant") && !cli_number(TOOL, "variant", *cli_value(args, "variant"), 0, 15, variant))
    return CLI_USAGE;

  std::vector<std::string> inputs;
  if (font) inputs.push_back(font);
  if (from) inputs.push_back(*from);
  if (tool_is_input(out, inputs)) return fail(CLI_USAGE, std::string("refusing to overwrite the input ") + out);
  if (preview && (tool_is_input(preview, inputs) || tool_is_input(preview, {out})))
    return fail(CLI_USAGE, std::string("refusing to overwrite ") + preview + " with the preview");

  Picture picture{};
  bool inverted = kind && *kind == "title";
  if (from) {
    PictureImport import;
    import.variant = uint32_t(variant);
    if (!cli_value(args, "size")) return fail(CLI_USAGE, "--from needs --size (see --help)");
    if (read_size(*cli_value(args, "size"), import, inverted) != CLI_GO_ON) return CLI_USAGE;
    long key = import.key;
    if (cli_value(args, "key") && !cli_number(TOOL, "key", *cli_value(args, "key"), -1, 15, key)) return CLI_USAGE;
    import.key = int32_t(key);
    import.fill = cli_flag(args, "fill");
    import.dither = !cli_flag(args, "no-dither");
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    if (png_read_rgba(from->c_str(), rgba, width, height) != -1) {
      if (uint64_t(width) * uint64_t(height) > PNG_READ_MAX_PIXELS)
        return fail(CLI_FAILED, "refusing " + *from + ": " + std::to_string(width) + " x " + std::to_string(height) +
                                    " pixels is past the limit of " + std::to_string(PNG_READ_MAX_PIXELS) +
                                    " pixels (50 megapixels)");
      return fail(CLI_FAILED, "cannot read " + *from + " as a PNG picture");
    }
    picture_import(rgba, width, height, import, picture);
  } else if (*kind == "beach") {
    picture_beach(picture);
  } else {
    if (!font) return fail(CLI_USAGE, "--font is required for the " + *kind + " picture");
    std::vector<uint8_t> probe;
    if (tool_read_file(font, probe) != -1) return fail(CLI_FAILED, std::string("cannot read font ") + font);
    std::string error;
    int ok = *kind == "logo" ? picture_logo(font, picture, error) : picture_title(font, picture, error);
    if (ok != -1) return fail(CLI_FAILED, error);
  }
  if (tool_write_file(out, picture_raw(picture, inverted ? -1 : 0), inputs) != -1)
    return fail(CLI_FAILED, std::string("cannot write ") + out);
  if (preview && write_preview(preview, picture, uint32_t(variant)) != -1)
    return fail(CLI_FAILED, std::string("cannot write preview ") + preview);
  return CLI_OK;
}
