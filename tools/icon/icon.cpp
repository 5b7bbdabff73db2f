// Draws the game's desktop icon with the machine's own blitter: a stack of
// blocks in the pieces' colours, as the board draws them, under the "Q" of
// the title picture, written through the palette as a square PNG.
//
//   orvalin-icon --data DIR --size N --out FILE.png
//
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blitter/draw.h"
#include "blitter/picture.h"
#include "blitter/sprite.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "machine/machine.h"
#include "machine/palette.h"
#include "tools/common/cli.h"
#include "tools/common/png_io.h"

namespace {

constexpr int TITLE_WIDTH = 195;
constexpr int TITLE_HEIGHT = 26;


// The title picture as the game makes it: bytes stored inverted, key 0.
// Returns a Sprite of its first letter, columns [first, last) of the picture.
Sprite* load_title(const char* path, int& first, int& last) {
  std::vector<uint8_t> pixels(TITLE_WIDTH * TITLE_HEIGHT);
  if (!picture_read(path, TITLE_WIDTH, TITLE_HEIGHT, -1, pixels.data())) return nullptr;
  first = last = -1;
  for (int x = 0; x < TITLE_WIDTH; ++x) {
    bool ink = false;
    for (int y = 0; y < TITLE_HEIGHT; ++y) ink |= pixels[y * TITLE_WIDTH + x] > 2;  // faint edges join letters
    if (ink && first < 0) first = x;
    if (!ink && first >= 0) {
      last = x;
      break;
    }
  }
  if (first < 0) return nullptr;
  if (last < 0) last = TITLE_WIDTH;
  int width = last - first;
  std::vector<uint8_t> letter(size_t(width) * TITLE_HEIGHT);
  for (int y = 0; y < TITLE_HEIGHT; ++y)
    std::memcpy(&letter[size_t(y) * size_t(width)], &pixels[size_t(y) * TITLE_WIDTH + size_t(first)], size_t(width));
  return sprite_create(COLOUR_MODE_LUMA, letter.data(), PIXEL_FORMAT_BYTE, width, TITLE_HEIGHT, 0);
}

const char HELP[] =
    "usage: orvalin-icon --data DIR --size N --out FILE.png\n"
    "Draws the game's icon, N x N pixels, with the machine's blitter from the\n"
    "title picture Quadrillo.raw in DIR, and writes it as a PNG.\n"
    "  -d, --data DIR   the game's data files\n"
    "  -s, --size N     the icon's size in pixels (16..240)\n"
    "  -o, --out FILE   the PNG to write\n"
    "  -h, --help       show this text and exit\n"
    "      --version    show the version and exit\n"
    "Exit status: 0 on success, 1 when the title picture cannot be read or the\n"
    "icon cannot be written, 2 on a wrong command line.\n";

const CliOption OPTIONS[] = {{"data", 'd', "DIR"}, {"size", 's', "N"}, {"out", 'o', "FILE"}};
const CliTool TOOL = {"orvalin-icon", HELP, OPTIONS, int(sizeof OPTIONS / sizeof OPTIONS[0])};

int to_fixed(double v) { return int(v * 65536.0); }

}  // namespace

int main(int argc, char** argv) {
  CliArgs args;
  const int status = cli_parse(TOOL, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  if (!args.operands.empty())
    return cli_fail(TOOL, CLI_USAGE, "unexpected argument '" + args.operands[0] + "' (see --help)");
  if (!cli_value(args, "data") || !cli_value(args, "size") || !cli_value(args, "out"))
    return cli_fail(TOOL, CLI_USAGE, "--data, --size and --out are required (see --help)");
  long size = 0;
  if (!cli_number(TOOL, "size", *cli_value(args, "size"), 16, 240, size)) return CLI_USAGE;
  const char* data = cli_value(args, "data")->c_str();
  const char* out = cli_value(args, "out")->c_str();

  // The picture is taken as the machine presents it.
  static std::vector<uint8_t> shown(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT);
  HeadlessHost host{};
  host.presented = [](const HostBitmap* picture) {
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
      std::memcpy(&shown[size_t(y) * SCREEN_WIDTH], picture->line[y], SCREEN_WIDTH);
  };
  headless_set(host);
  machine_init();

  std::string title_path = std::string(data) + "/Quadrillo.raw";
  int first = 0, last = 0;
  Sprite* title = load_title(title_path.c_str(), first, last);
  if (!title) {
    machine_shutdown();
    return cli_fail(TOOL, CLI_FAILED, "cannot read " + title_path);
  }
  uint8_t grey = 10;  // pixel 10 in chroma mode: the variant is the luma, no tint
  Sprite* fill = sprite_create(COLOUR_MODE_CHROMA, &grey, PIXEL_FORMAT_BYTE, 1, 1, 0);
  uint8_t bright = 13;
  Sprite* block = sprite_create(COLOUR_MODE_LUMA, &bright, PIXEL_FORMAT_BYTE, 1, 1, 0);

  // The bottom of a board: cells in the colours of the T, S, L and bar
  // pieces, with a dark seam between them as on a grey backdrop.
  static const int cells[2][4] = {{0, 4, 15, 15}, {4, 4, 4, 15}};
  double cell = size / 4.0;
  double seam = size >= 64 ? 2.0 : 1.0;
  sprite_draw(fill, 2, 0, 0, to_fixed(size), to_fixed(size), 0, 0);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 4; ++c)
      if (cells[r][c])
        sprite_draw(block, cells[r][c], to_fixed(c * cell + seam / 2), to_fixed((r + 2) * cell + seam / 2),
                    to_fixed(cell - seam), to_fixed(cell - seam), 0, 0);
  // The title's "Q" over them, scaled to most of the icon's height.
  double scale = size * 0.78 / TITLE_HEIGHT;
  double x = (size - (last - first) * scale) / 2 - size * 0.08;
  sprite_draw_keyed(title, 10, to_fixed(x), to_fixed(size * 0.02), to_fixed(scale), to_fixed(scale), 0, 0);

  machine_present();
  uint8_t palette[256][3];
  palette_compute(palette);
  int ok = png_write_indexed(out, size, size, shown.data(), SCREEN_WIDTH, palette);
  sprite_destroy(block);
  sprite_destroy(fill);
  sprite_destroy(title);
  machine_shutdown();
  if (!ok) {
    return cli_fail(TOOL, CLI_FAILED, std::string("cannot write ") + out);
  }
  return CLI_OK;
}
