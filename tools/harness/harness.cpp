// The replay harness. The program runs as it would in a window; only the
// host differs: the headless host, whose record reports each present (the
// harness records the frame and holds the next frame's keys), each port
// write, every sample and the program's first sight of the close button.
#include "tools/harness/harness.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "blitter/sprite.h"
#include "host/gif.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "machine/machine.h"
#include "machine/palette.h"
#include "tools/common/cli.h"
#ifdef QUADRILLO_HAVE_PNG
#include "tools/common/png_io.h"
#endif
#include "tools/common/wav_io.h"
#include "tools/harness/golden.h"
#include "tools/replay/frame_hash.h"
#include "tools/replay/keyscript.h"

namespace {

// machine_init presents this many black frames before it returns: the
// program's own frames are counted from the next present on.
constexpr uint64_t START_FRAMES = MACHINE_START_FRAMES;
constexpr long     MOST_FRAMES = 100000000;

const char HELP[] =
    "Usage: %s --data DIR --keys FILE [--frames N] --out DIR [options] [-- ARGUMENTS]\n"
    "\n"
    "Runs %s deterministically and faster than real time: the program's\n"
    "own code, from its start-up to its shut-down, with the keys held in each\n"
    "frame read from FILE (one line per frame, key names separated by blanks,\n"
    "e.g. \"SPACE\" or \"LEFT DOWN\"; an empty line or the frames after the last\n"
    "line hold no key). Frame 1 is the first frame the\n"
    "program presents after the machine's 75 black start-up frames. After frame\n"
    "N the program is asked to quit, as by the close button. Without --frames\n"
    "the run lasts as many frames as FILE has lines, and the program may also\n"
    "end by itself before (a program that quits on a key).\n"
    "\n"
    "The machine runs on the headless host: every graphics mode succeeds without\n"
    "a screen, the frames are paced by a virtual clock that never waits, and no\n"
    "X server or audio device is needed. The sound chip's stream is served at\n"
    "the machine's time, every register write taking effect at output sample\n"
    "floor(147 x sound time / 11818).\n"
    "\n"
    "Key names: A..Z, 0..9, ESC, TILDE, MINUS, EQUALS, BACKSPACE, TAB, OPENBRACE,\n"
    "CLOSEBRACE, ENTER, COLON, QUOTE, BACKSLASH, COMMA, STOP, SLASH, SPACE, LSHIFT,\n"
    "RSHIFT, LCONTROL, RCONTROL, ALT, ALTGR, LEFT, RIGHT, UP, DOWN (the keys of the\n"
    "machine's keyboard matrix); the other keys of a PC keyboard by their Allegro\n"
    "names (F1, DEL, 0_PAD, ...) are accepted and the machine does not see them.\n"
    "\n"
    "Options:\n"
    "  -d, --data DIR     the folder the program runs in: its data files\n"
    "  -k, --keys FILE    the key script\n"
    "  -n, --frames N     frames to run (1..100000000); the program must not end\n"
    "                     before\n"
    "  -o, --out DIR      the out folder (created if missing)\n"
    "      --png K,K,...  also write these frames as pictures (frame-K.png)\n"
    "      --gif FILE     also write the frames as an animated GIF in the\n"
    "                     machine's colours, each shown for its machine frames\n"
    "                     (2/100 s each), identical frames merged, looping\n"
    "      --from N       the first frame of the GIF (default 1)\n"
    "      --to M         the last frame of the GIF (default the last frame)\n"
    "      --scale K      the GIF's pixels K x K (1..4, default 1)\n"
    "      --golden DIR   hold the run to the golden replay kept in DIR\n"
    "                     (frames.txt or frames.sha256, ports.txt or\n"
    "                     ports.sha256, audio.sha256): the first frame or port\n"
    "                     write that differs is named, and that frame written\n"
    "                     as frame-K.png into the out folder\n"
    "      --regenerate   with --golden: write this run's outputs into DIR\n"
    "                     instead, in the form DIR keeps them\n"
    "      --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "Writes into the out folder:\n"
    "  frames.txt   per frame k = 1..N: SHA-256 of the presented back buffer\n"
    "               (76800 bytes, row 0 first), machine_frames_elapsed() after\n"
    "               that present%s\n"
    "  ports.txt    per sound_out call: total cycles after it, port (hex, 16 bits),\n"
    "               value (hex, 8 bits)\n"
    "  audio.wav    the sound chip's output, 44100 Hz mono 16-bit, up to the\n"
    "               moment the program was asked to quit; the chip's silence is\n"
    "               the lowest level, -32768\n"
    "  frame-K.png  for each K of --png: that frame through the palette, 320 x 240\n"
    "The GIF goes where --gif says (relative to the working directory).\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be read, an output cannot\n"
    "be written, the program ends before frame N (with --frames) or with a\n"
    "status other than 0,\n"
    "or differs from the golden replay of --golden, or its Sprites have not given back all of the 65536 bytes of sprite memory\n"
    "at shut-down or the runtime has not freed its bitmaps, or the sound would pass the 4 GiB a WAV file can hold, 2 on\n"
    "a wrong command line.\n";

const CliOption OPTIONS[] = {
    {"data", 'd', "DIR"}, {"keys", 'k', "FILE"}, {"frames", 'n', "N"}, {"out", 'o', "DIR"},
    {"png", 0, "K,K,..."}, {"gif", 0, "FILE"}, {"from", 0, "N"}, {"to", 0, "M"}, {"scale", 0, "K"},
    {"golden", 0, "DIR"}, {"regenerate", 0, nullptr},
};

struct Options {
  std::string              data, keys, out, gif, golden;  // golden: absolute, "" for none
  bool                     regenerate = false;
  long                     frames = 0;
  bool                     may_end = false;  // no --frames: the program may end first
  std::set<long>           png_frames;
  long                     gif_from = 1, gif_to = 0, gif_scale = 1;
  std::vector<std::string> program_args;  // the operands, handed to the program
};

// Everything the headless host's callbacks touch: they are plain functions.
struct Run {
  CliTool                       tool;
  std::string                   help;
  const HarnessProgram*         program = nullptr;
  Options                       options;
  std::string                   out;              // the out folder, absolute
  std::vector<std::vector<int>> script;
  std::vector<std::string>      comments;         // the script's comment lines
  uint64_t                      presents = 0;     // presents seen, start-up frames included
  long                          frame = 0;        // the program's frames recorded so far
  bool                          line_pending = false;  // frame's line waits for its note
  bool                          ended = false;    // the program was asked to quit
  bool                          ok = true;        // every output written so far
  std::vector<uint8_t>          shown;            // the last presented picture, 320 x 240
  uint64_t                      shown_frames = 0; // machine_frames_elapsed() at that present
  std::vector<uint8_t>          hashed;           // the picture `hash` names
  std::string                   hash;
  uint8_t                       palette[256][3];
  FILE*                         frames_file = nullptr;
  FILE*                         ports = nullptr;
  WavWriter                     audio;            // written as the samples come
  GoldenCheck                   golden;           // with --golden, unless regenerating
  GifWriter                     gif;              // with --gif, made in memory
  FILE*                         gif_file = nullptr;
};

Run run;

int fail(int status, const std::string& message) { return cli_fail(run.tool, status, message); }

// Reads the command line into `options`: CLI_GO_ON, or the status to exit with.
int parse(int argc, char** argv, Options& options) {
  CliArgs args;
  const int status = cli_parse(run.tool, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  options.program_args = args.operands;
  const char* required[] = {"data", "keys", "out"};
  for (const char* name : required)
    if (!cli_value(args, name)) return fail(CLI_USAGE, std::string("--") + name + " is missing (see --help)");
  options.data = *cli_value(args, "data");
  options.keys = *cli_value(args, "keys");
  options.out = *cli_value(args, "out");
  if (const std::string* frames = cli_value(args, "frames")) {
    if (!cli_number(run.tool, "frames", *frames, 1, MOST_FRAMES, options.frames)) return CLI_USAGE;
  } else {
    // As long as the script: read now, since the other numbers are bounded by it.
    std::string error;
    if (!keyscript_read(options.keys, run.script, error, &run.comments)) return fail(CLI_FAILED, error);
    if (run.script.empty()) return fail(CLI_FAILED, options.keys + " holds no frame");
    options.frames = long(run.script.size());
    options.may_end = true;
  }
  if (const std::string* list = cli_value(args, "png")) {
    size_t start = 0;
    while (start <= list->size()) {
      size_t comma = list->find(',', start);
      if (comma == std::string::npos) comma = list->size();
      long k;
      if (!cli_number(run.tool, "png", list->substr(start, comma - start), 1, options.frames, k))
        return CLI_USAGE;
      options.png_frames.insert(k);
      start = comma + 1;
    }
  }
#ifndef QUADRILLO_HAVE_PNG
  if (!options.png_frames.empty()) return fail(CLI_USAGE, "--png is not available: this build has no libpng");
#endif
  if (const std::string* gif = cli_value(args, "gif")) options.gif = *gif;
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
    if (!cli_number(run.tool, n.name, *text, n.low, n.high, n.value)) return CLI_USAGE;
  }
  if (options.gif_from > options.gif_to) return fail(CLI_USAGE, "--from is after --to");
  if (const std::string* golden = cli_value(args, "golden"))
    options.golden = std::filesystem::absolute(*golden).string();
  options.regenerate = cli_flag(args, "regenerate");
  if (options.regenerate && options.golden.empty()) return fail(CLI_USAGE, "--regenerate belongs to --golden");
  return CLI_GO_ON;
}

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
  headless_release_keys();
  if (frame >= 1 && frame - 1 < long(run.script.size()))
    for (int code : run.script[size_t(frame - 1)]) headless_key(code, -1);
}

// The picture shown now as frame-K.png in the out folder (none in a build
// without libpng).
void write_png(long k) {
#ifdef QUADRILLO_HAVE_PNG
  const std::string path = run.out + "/frame-" + std::to_string(k) + ".png";
  if (!png_write_indexed(path.c_str(), SCREEN_WIDTH, SCREEN_HEIGHT, run.shown.data(), SCREEN_WIDTH,
                         run.palette)) {
    run.ok = false;
    fail(CLI_FAILED, "cannot write " + path);
  }
#else
  (void)k;
#endif
}

// A frame's line is written when the program has finished that frame: at the
// next present or at the quit question, so that the note (the game's state)
// is the one the frame left behind.
void finish_line() {
  if (!run.line_pending) return;
  run.line_pending = false;
  std::string line = shown_hash() + " " + std::to_string(run.shown_frames);
  if (run.program->frame_note) line += " " + std::to_string(run.program->frame_note());
  std::fprintf(run.frames_file, "%s\n", line.c_str());
  if (!run.golden.dir.empty() && golden_frame(run.golden, run.frame, line)) write_png(run.frame);
}

void on_present(const HostBitmap* shown) {
  ++run.presents;
  // The keys of frame 1 are held from the last start-up frame on: the
  // program's start-up after machine_init reads them as frame 1 would.
  if (run.presents <= START_FRAMES) {
    if (run.presents == START_FRAMES) hold_keys(1);
    return;
  }
  if (run.frame >= run.options.frames) return;  // after the last frame, until the quit question
  finish_line();
  const long k = ++run.frame;
  for (int y = 0; y < SCREEN_HEIGHT; ++y)
    std::memcpy(run.shown.data() + y * SCREEN_WIDTH, shown->line[y], SCREEN_WIDTH);
  run.shown_frames = machine_frames_elapsed();
  run.line_pending = true;
  if (run.gif_file && k >= run.options.gif_from && k <= run.options.gif_to)
    gif_add(run.gif, run.shown.data(), SCREEN_WIDTH, run.shown_frames);
  if (run.options.png_frames.count(k)) write_png(k);
  hold_keys(k < run.options.frames ? k + 1 : 0);  // none after the script or the last frame
  // After the last frame the close button is pressed: the program's next
  // quit question is answered yes.
  if (k == run.options.frames) headless_close();
}

// The program's first quit question answered yes. The run's sound ends
// here, where a real run's frame loop would have ended.
void on_close_seen() {
  run.ended = true;
  finish_line();
  headless_end_sound();
}

void on_port(uint32_t cycles, uint32_t port, int32_t value) {
  if (!run.ports) return;
  char line[32];
  std::snprintf(line, sizeof line, "%u %04x %02x", unsigned(cycles), unsigned(port & 0xFFFF),
                unsigned(value) & 0xFF);
  std::fprintf(run.ports, "%s\n", line);
  // A write after frame K's present: frame K's picture is the one shown.
  if (!run.golden.dir.empty() && golden_port(run.golden, run.frame, line) && run.frame > 0)
    write_png(run.frame);
}

// The samples go to the file as they are rendered, so that a run of any
// length (hours of machine time) holds no more than one buffer of them.
void on_samples(const uint16_t* samples, int32_t count) { wav_write_chip(run.audio, samples, count); }

// Opens the outputs and enters the data folder: CLI_GO_ON or the status.
int prepare(const Options& options) {
  std::string error;
  if (!options.may_end && !keyscript_read(options.keys, run.script, error, &run.comments))
    return fail(CLI_FAILED, error);
  const std::string warning = keyscript_data_warning(run.comments, options.data);
  if (!warning.empty()) std::fprintf(stderr, "%s: warning: %s\n", run.tool.name, warning.c_str());
  if (!options.golden.empty() && !options.regenerate && !golden_open(run.golden, options.golden, error))
    return fail(CLI_FAILED, error);
  namespace fs = std::filesystem;
  std::error_code failed;
  if (!fs::is_directory(options.data, failed))
    return fail(CLI_FAILED, "cannot read the data folder " + options.data);
  fs::create_directories(options.out, failed);
  if (failed) return fail(CLI_FAILED, "cannot create the out folder " + options.out);
  // The program opens its files relative to the working directory, so the
  // outputs are made absolute before moving into the data folder.
  run.out = fs::canonical(options.out, failed).string();
  if (failed) return fail(CLI_FAILED, "cannot use the out folder " + options.out);
  // Binary mode: the same bytes on every host (no CR before each newline).
  run.frames_file = std::fopen((run.out + "/frames.txt").c_str(), "wb");
  run.ports = std::fopen((run.out + "/ports.txt").c_str(), "wb");
  const int audio_open = wav_open(run.audio, (run.out + "/audio.wav").c_str());
  if (!run.frames_file || !run.ports || !audio_open)
    return fail(CLI_FAILED, "cannot write into the out folder " + run.out);
  palette_compute(run.palette);
  if (!options.gif.empty()) {
    // Opened now, so that a path it cannot write fails before the run.
    run.gif_file = std::fopen(fs::absolute(options.gif).string().c_str(), "wb");
    if (!run.gif_file) return fail(CLI_FAILED, "cannot write " + options.gif);
    gif_open(run.gif, SCREEN_WIDTH, SCREEN_HEIGHT, int(options.gif_scale), run.palette);
  }
  fs::current_path(options.data, failed);
  if (failed) return fail(CLI_FAILED, "cannot enter the data folder " + options.data);
  return CLI_GO_ON;
}

}  // namespace

int harness_run(const HarnessProgram& program, int argc, char** argv) {
  run.program = &program;
  std::vector<char> help(sizeof HELP + 256);
  std::snprintf(help.data(), help.size(), HELP, program.tool, program.title,
                program.frame_note ? ",\n               and the program's note after the frame" : "");
  run.help = help.data();
  run.tool = {program.tool, run.help.c_str(), OPTIONS, int(sizeof OPTIONS / sizeof OPTIONS[0])};
  int status = parse(argc, argv, run.options);
  if (status != CLI_GO_ON) return status;
  // Every frame lasts at least one machine frame, 882 samples: a run that
  // long is refused before anything is written. A program whose frames last
  // longer is stopped by the WAV writer itself, when it reaches the limit.
  if (!wav_fits((START_FRAMES + uint64_t(run.options.frames)) * SAMPLES_PER_FRAME))
    return fail(CLI_FAILED, "the sound of " + std::to_string(run.options.frames) +
                                " frames would pass the 4 GiB that audio.wav can hold");
  status = prepare(run.options);
  if (status != CLI_GO_ON) return status;

  run.shown.assign(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT, 0);
  HeadlessHost host{};
  host.presented = on_present;
  host.samples = on_samples;
  host.port_written = on_port;
  host.close_seen = on_close_seen;
  headless_set(host);

  // The program sees its own name first, then the operands after "--".
  std::vector<char*> program_argv{argv[0]};
  for (std::string& arg : run.options.program_args) program_argv.push_back(arg.data());
  program_argv.push_back(nullptr);
  const int exit_status = program.entry(int(program_argv.size() - 1), program_argv.data());
  finish_line();  // a program that ended by itself left its last frame's line
  host.port_written = nullptr;
  headless_set(host);

  bool written = run.ok;
  if (!run.ended && !run.options.may_end) {
    written = false;
    fail(CLI_FAILED, "the program ended after frame " + std::to_string(run.frame) + " of " +
                         std::to_string(run.options.frames));
  } else if (exit_status != 0) {
    written = false;
    fail(CLI_FAILED, "the program ended with status " + std::to_string(exit_status));
  }
  // Every Sprite the program made should be destroyed by now: anything still
  // charged to the sprite memory is a leak of the program's.
  if (sprite_memory_free() != SPRITE_MEMORY_SIZE) {
    written = false;
    fail(CLI_FAILED, "sprite memory at shut-down is " + std::to_string(sprite_memory_free()) +
                         " bytes, not " + std::to_string(SPRITE_MEMORY_SIZE));
  }
  // The machine's own bitmaps (the Sprites' variants, the back buffers) are
  // all freed by now: one still held is a leak of the runtime's.
  if (headless_bitmaps_live() != 0) {
    written = false;
    fail(CLI_FAILED, std::to_string(headless_bitmaps_live()) + " bitmaps not freed at shut-down");
  }
  if (run.gif_file) {
    gif_close(run.gif);
    const std::vector<uint8_t>& bytes = run.gif.bytes;
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), run.gif_file) == bytes.size();
    if (std::fclose(run.gif_file) != 0 || !whole) {
      written = false;
      fail(CLI_FAILED, "cannot write " + run.options.gif);
    }
    run.gif_file = nullptr;
  }
  if (std::fclose(run.frames_file) != 0) written = false;
  if (std::fclose(run.ports) != 0) written = false;
  run.ports = nullptr;
  if (!wav_close(run.audio)) {
    written = false;
    fail(CLI_FAILED, "cannot write " + run.out + "/audio.wav (a write failed, or the sound passed the 4 GiB a WAV file can hold)");
  }
  if (written && !run.options.golden.empty()) {
    std::string report;
    if (run.options.regenerate) {
      if (!golden_write(run.options.golden, run.out, report)) return fail(CLI_FAILED, report);
      std::printf("%s: wrote the golden replay %s (%ld frames)\n", run.tool.name, run.options.golden.c_str(), run.frame);
    } else if (!golden_finish(run.golden, run.out, report)) {
      const long k = run.golden.differing_frame;
      std::fprintf(stderr, "%s: not the golden replay %s:\n%s", run.tool.name, run.options.golden.c_str(), report.c_str());
      if (k > 0) std::fprintf(stderr, "  frame %ld as the run drew it: %s/frame-%ld.png\n", k, run.out.c_str(), k);
      return CLI_FAILED;
    } else {
      std::printf("%s: %ld frames, %ld port writes and the audio match %s\n", run.tool.name, run.frame,
                  run.golden.ports_seen, run.options.golden.c_str());
    }
  }
  return written ? CLI_OK : CLI_FAILED;
}
