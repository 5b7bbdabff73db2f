// quadrillo-replay: runs the real game (the same start-up, frame and shut-down
// as the quadrillo program, the same data files) on a machine without window,
// timer or audio device, frame by frame as fast as the host allows, with the
// keys taken from a script. Its outputs pin whole games down for regression
// tests: a hash per presented frame, every port write, the rendered sound.
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "blitter/sprite.h"
#include "game/flow.h"
#include "machine/machine.h"
#include "machine/palette.h"
#include "sound/offline.h"
#include "sound/ports.h"
#include "tools/common/cli.h"
#ifdef QUADRILLO_HAVE_GIF
#include "tools/common/gif_io.h"
#endif
#include "tools/common/png_io.h"
#include "tools/common/wav_io.h"
#include "tools/replay/keyscript.h"
#include "tools/replay/frame_hash.h"

namespace {

const char HELP[] =
    "Usage: quadrillo-replay --data DIR --keys FILE --frames N --out DIR [options]\n"
    "\n"
    "Runs Orvalin: Quadrillo deterministically and faster than real time: the\n"
    "game's own start-up, frame and shut-down code and the data files in DIR,\n"
    "with the keys held in each loop frame read from FILE (one line per frame,\n"
    "Allegro key names without KEY_, separated by blanks, e.g. \"SPACE\" or\n"
    "\"LEFT DOWN\"; an empty line or the frames after the last line hold no key).\n"
    "\n"
    "The machine runs headless: its graphics mode is replaced by one that always\n"
    "succeeds (set_gfx_mode hook returning 0), frames are not paced by the host\n"
    "timer (unpaced -1), and Allegro starts without a system driver (no_system\n"
    "-1). No X server and no audio device are needed; the sound chip is rendered\n"
    "by the offline host, every register write taking effect at output sample\n"
    "floor(147 x sound time / 11818).\n"
    "\n"
    "Options:\n"
    "  -d, --data DIR     the game's data files\n"
    "  -k, --keys FILE    the key script\n"
    "  -n, --frames N     loop frames to run (1..100000000)\n"
    "  -o, --out DIR      the out folder (created if missing)\n"
    "      --png K,K,...  also write these frames as pictures (frame-K.png)\n"
    "      --gif FILE     also write the frames as an animated GIF in the game's\n"
    "                     colours, each shown for its machine frames (2/100 s\n"
    "                     each), identical frames merged, looping\n"
    "      --from N       the first frame of the GIF (default 1)\n"
    "      --to M         the last frame of the GIF (default the last frame)\n"
    "      --scale K      the GIF's pixels K x K (1..4, default 1)\n"
    "      --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "Writes into the out folder:\n"
    "  frames.txt   per loop frame k = 1..N (the 75 black start-up frames are not\n"
    "               counted): SHA-256 of the presented back buffer (76800 bytes,\n"
    "               row 0 first), machine_frames_elapsed() after that present,\n"
    "               and the game state after the frame\n"
    "  ports.txt    per sound_out call: total cycles after it, port (hex, 16 bits),\n"
    "               value (hex, 8 bits)\n"
    "  audio.wav    the sound chip's output, 44100 Hz mono 16-bit\n"
    "  frame-K.png  for each K of --png: that frame through the palette, 320 x 240\n"
    "The GIF goes where --gif says (relative to the working directory).\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be read, an output cannot\n"
    "be written or the game's Sprites have not given back all of the 65536 bytes\n"
    "of sprite memory at shut-down, 2 on a wrong command line.\n";

const CliOption OPTIONS[] = {
    {"data", 'd', "DIR"}, {"keys", 'k', "FILE"}, {"frames", 'n', "N"}, {"out", 'o', "DIR"},
    {"png", 0, "K,K,..."}, {"gif", 0, "FILE"}, {"from", 0, "N"}, {"to", 0, "M"}, {"scale", 0, "K"},
};
const CliTool TOOL = {"quadrillo-replay", HELP, OPTIONS, int(sizeof OPTIONS / sizeof OPTIONS[0])};
constexpr long MOST_FRAMES = 100000000;

struct Options {
  std::string   data, keys, out;
  long          frames = 0;
  std::set<long> png_frames;
  std::string   gif;
  long          gif_from = 1, gif_to = 0, gif_scale = 1;
};

struct Run {
  std::vector<std::vector<int>> script;
  std::vector<uint8_t>          shown;           // the last presented picture, 320 x 240
  uint64_t                      shown_frames = 0;  // machine_frames_elapsed() at that present
  bool                          presented = false;
  std::vector<uint8_t>          hashed;          // the picture `hash` names
  std::string                   hash;
  WavWriter                     audio;           // audio.wav, written as the samples come
  FILE*                         ports = nullptr;
};

Run run;

int fail(int status, const std::string& message) { return cli_fail(TOOL, status, message); }

// Reads the command line into `options`: CLI_GO_ON, or the status to exit with.
int parse(int argc, char** argv, Options& options) {
  CliArgs args;
  const int status = cli_parse(TOOL, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  if (!args.operands.empty()) return fail(CLI_USAGE, "unexpected argument '" + args.operands[0] + "' (see --help)");
  const char* required[] = {"data", "keys", "frames", "out"};
  for (const char* name : required)
    if (!cli_value(args, name)) return fail(CLI_USAGE, std::string("--") + name + " is missing (see --help)");
  options.data = *cli_value(args, "data");
  options.keys = *cli_value(args, "keys");
  options.out = *cli_value(args, "out");
  if (!cli_number(TOOL, "frames", *cli_value(args, "frames"), 1, MOST_FRAMES, options.frames)) return CLI_USAGE;
  if (const std::string* list = cli_value(args, "png")) {
    size_t start = 0;
    while (start <= list->size()) {
      size_t comma = list->find(',', start);
      if (comma == std::string::npos) comma = list->size();
      long k;
      if (!cli_number(TOOL, "png", list->substr(start, comma - start), 1, options.frames, k))
        return CLI_USAGE;
      options.png_frames.insert(k);
      start = comma + 1;
    }
  }
  if (const std::string* gif = cli_value(args, "gif")) options.gif = *gif;
#ifndef QUADRILLO_HAVE_GIF
  if (!options.gif.empty()) return fail(CLI_USAGE, "--gif is not available: this build has no giflib");
#endif
  options.gif_to = options.frames;
  const struct {
    const char* name;
    long        low, high;
    long&       value;
  } numbers[] = {{"from", 1, options.frames, options.gif_from},
                 {"to", 1, options.frames, options.gif_to},
                 {"scale", 1, 4, options.gif_scale}};
  for (const auto& n : numbers) {
    const std::string* text = cli_value(args, n.name);
    if (!text) continue;
    if (options.gif.empty()) return fail(CLI_USAGE, std::string("--") + n.name + " belongs to --gif (see --help)");
    if (!cli_number(TOOL, n.name, *text, n.low, n.high, n.value)) return CLI_USAGE;
  }
  if (options.gif_from > options.gif_to) return fail(CLI_USAGE, "--from is after --to");
  return CLI_GO_ON;
}

void on_present(BITMAP* shown) {
  for (int y = 0; y < SCREEN_HEIGHT; ++y)
    std::memcpy(run.shown.data() + y * SCREEN_WIDTH, shown->line[y], SCREEN_WIDTH);
  run.shown_frames = machine_frames_elapsed();
  run.presented = true;
}

void on_port(uint32_t port, int value) {
  if (run.ports)
    std::fprintf(run.ports, "%u %04x %02x\n", unsigned(machine_total_cycles()),
                 unsigned(port & 0xFFFF), unsigned(value) & 0xFF);
}

// The samples go to the file as they are rendered, so that a run of any
// length (hours of machine time) holds no more than one buffer of them.
void on_samples(const uint16_t* samples, int count, void*) { wav_write_chip(run.audio, samples, count); }

// The hash of the presented picture. Many frames show the same picture as
// the one before (a pause, a still screen): comparing costs a tenth of hashing.
const std::string& shown_hash() {
  if (run.hash.empty() || run.shown != run.hashed) {
    run.hash = frame_hash_hex(run.shown.data(), run.shown.size());
    run.hashed = run.shown;
  }
  return run.hash;
}

void hold_keys(long frame) {
  for (int i = 0; i < KEY_MAX; ++i) key[i] = 0;
  if (frame - 1 < long(run.script.size()))
    for (int code : run.script[size_t(frame - 1)]) key[code] = 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int status = parse(argc, argv, options);
  if (status != CLI_GO_ON) return status;

  std::string error;
  if (!keyscript_read(options.keys, run.script, error)) return fail(CLI_FAILED, error);
  namespace fs = std::filesystem;
  std::error_code failed;
  if (!fs::is_directory(options.data, failed))
    return fail(CLI_FAILED, "cannot read the data folder " + options.data);
  fs::create_directory(options.out, failed);
  if (failed) return fail(CLI_FAILED, "cannot create the out folder " + options.out);
  // The game opens its files relative to the working directory, so the out
  // folder is made absolute before moving into the data folder.
  std::string out = fs::canonical(options.out, failed).string();
  if (failed) return fail(CLI_FAILED, "cannot use the out folder " + options.out);

  // Binary mode: the same bytes on every host (no CR before each newline).
  FILE* frames_file = std::fopen((out + "/frames.txt").c_str(), "wb");
  run.ports = std::fopen((out + "/ports.txt").c_str(), "wb");
  const int audio_open = wav_open(run.audio, (out + "/audio.wav").c_str());
  if (!frames_file || !run.ports || !audio_open)
    return fail(CLI_FAILED, "cannot write into the out folder " + out);
  const std::string start_folder = fs::current_path(failed).string();
  fs::current_path(options.data, failed);
  if (failed) return fail(CLI_FAILED, "cannot enter the data folder " + options.data);

  run.shown.assign(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT, 0);
  MachineHooks hooks = machine_headless_hooks();
  hooks.presented = on_present;
  machine_set_hooks(hooks);
  sound_offline_install(on_samples, nullptr);
  sound_set_port_observer(on_port);

  RGB palette[256];
  palette_compute(palette);
#ifdef QUADRILLO_HAVE_GIF
  GifWriter gif;
  if (!options.gif.empty()) {
    const std::string path = fs::absolute(fs::path(start_folder) / options.gif).string();
    if (!gif_open(gif, path.c_str(), SCREEN_WIDTH, SCREEN_HEIGHT, int(options.gif_scale), palette))
      return fail(CLI_FAILED, "cannot write " + options.gif);
  }
#endif
  if (!game_start()) return fail(CLI_FAILED, "the machine did not start");
  bool written = true;
  for (long k = 1; k <= options.frames; ++k) {
    hold_keys(k);
    run.presented = false;
    int go_on = game_frame();
    if (!run.presented) {
      written = false;
      fail(1, "frame " + std::to_string(k) + " presented nothing");
      break;
    }
    std::fprintf(frames_file, "%s %llu %d\n",
                 shown_hash().c_str(),
                 static_cast<unsigned long long>(run.shown_frames), int(game_current_state()));
#ifdef QUADRILLO_HAVE_GIF
    if (gif.file && k >= options.gif_from && k <= options.gif_to)
      gif_add(gif, run.shown.data(), SCREEN_WIDTH, run.shown_frames);
#endif
    if (options.png_frames.count(k)) {
      std::string path = out + "/frame-" + std::to_string(k) + ".png";
      if (!png_write_indexed(path.c_str(), SCREEN_WIDTH, SCREEN_HEIGHT, run.shown.data(),
                             SCREEN_WIDTH, palette)) {
        written = false;
        fail(1, "cannot write " + path);
      }
    }
    if (!go_on) break;
  }
  for (int i = 0; i < KEY_MAX; ++i) key[i] = 0;
  sound_offline_flush();
  game_stop();
  sound_set_port_observer(nullptr);
  // Every Sprite the game made has been destroyed by now: anything still
  // charged to the sprite memory is a leak of the game's.
  if (sprite_memory_free() != SPRITE_MEMORY_SIZE) {
    written = false;
    fail(1, "sprite memory at shut-down is " + std::to_string(sprite_memory_free()) +
                " bytes, not " + std::to_string(SPRITE_MEMORY_SIZE));
  }

#ifdef QUADRILLO_HAVE_GIF
  if (gif.file && !gif_close(gif)) {
    written = false;
    fail(CLI_FAILED, "cannot write " + options.gif);
  }
#endif
  if (std::fclose(frames_file) != 0) written = false;
  if (std::fclose(run.ports) != 0) written = false;
  run.ports = nullptr;
  if (!wav_close(run.audio)) {
    written = false;
    fail(1, "cannot write " + out + "/audio.wav");
  }
  return written ? CLI_OK : CLI_FAILED;
}
// On Windows Allegro enters through WinMain, which calls this main.
END_OF_MAIN()
