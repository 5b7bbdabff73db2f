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
#include "tools/common/png_io.h"
#include "tools/replay/keyscript.h"
#include "tools/replay/sha256.h"

namespace {

const char USAGE[] =
    "Usage: quadrillo-replay --data DIR --keys FILE --frames N --out DIR [--png K,K,...]\n"
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
    "Writes into the out folder (created if missing):\n"
    "  frames.txt   per loop frame k = 1..N (the 75 black start-up frames are not\n"
    "               counted): SHA-256 of the presented back buffer (76800 bytes,\n"
    "               row 0 first), machine_frames_elapsed() after that present,\n"
    "               and the game state after the frame\n"
    "  ports.txt    per sound_out call: total cycles after it, port (hex, 16 bits),\n"
    "               value (hex, 8 bits)\n"
    "  audio.wav    the sound chip's output, 44100 Hz mono 16-bit\n"
    "  frame-K.png  for each K of --png: that frame through the palette, 320 x 240\n"
    "\n"
    "Exit status: 0 on success, 2 on bad arguments or unreadable input, 1 when an\n"
    "output cannot be written or the game's Sprites have not given back all of the\n"
    "65536 bytes of sprite memory at shut-down.\n";

struct Options {
  std::string   data, keys, out;
  long          frames = -1;
  std::set<long> png_frames;
};

struct Run {
  std::vector<std::vector<int>> script;
  std::vector<uint8_t>          shown;           // the last presented picture, 320 x 240
  uint64_t                      shown_frames = 0;  // machine_frames_elapsed() at that present
  bool                          presented = false;
  FILE*                         audio = nullptr;  // audio.wav, written as the samples come
  uint64_t                      audio_samples = 0;
  bool                          audio_failed = false;
  FILE*                         ports = nullptr;
};

Run run;

int fail(int status, const std::string& message) {
  std::fprintf(stderr, "quadrillo-replay: %s\n", message.c_str());
  return status;
}

bool parse_count(const char* text, long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text, &end, 10);
  return errno == 0 && end != text && *end == 0 && value > 0;
}

// Returns an empty string on success, else the problem.
std::string parse(int argc, char** argv, Options& options, bool& help) {
  help = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return "";
    }
    if (arg != "--data" && arg != "--keys" && arg != "--frames" && arg != "--out" &&
        arg != "--png")
      return "unknown argument \"" + arg + "\" (see --help)";
    if (i + 1 >= argc) return arg + " needs a value";
    const char* value = argv[++i];
    if (arg == "--data") options.data = value;
    else if (arg == "--keys") options.keys = value;
    else if (arg == "--out") options.out = value;
    else if (arg == "--frames") {
      if (!parse_count(value, options.frames)) return "--frames needs a positive number";
    } else {
      std::string list = value;
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        long k;
        if (!parse_count(item.c_str(), k)) return "--png needs frame numbers from 1, like 1,40";
        options.png_frames.insert(k);
        start = comma + 1;
      }
    }
  }
  if (options.data.empty()) return "--data is missing (see --help)";
  if (options.keys.empty()) return "--keys is missing (see --help)";
  if (options.out.empty()) return "--out is missing (see --help)";
  if (options.frames < 0) return "--frames is missing (see --help)";
  for (long k : options.png_frames)
    if (k > options.frames) return "--png frame " + std::to_string(k) + " is after the last frame";
  return "";
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
void on_samples(const uint16_t* samples, int count, void*) {
  if (!run.audio || count <= 0) return;
  // The chip's samples are unsigned around 0x8000; WAV's 16-bit ones are signed.
  uint8_t bytes[2 * 4096];
  for (int done = 0; done < count;) {
    const int n = count - done < 4096 ? count - done : 4096;
    for (int i = 0; i < n; ++i) {
      const uint16_t s = uint16_t(samples[done + i] - 0x8000);
      bytes[2 * i] = uint8_t(s);
      bytes[2 * i + 1] = uint8_t(s >> 8);
    }
    if (std::fwrite(bytes, 1, size_t(2 * n), run.audio) != size_t(2 * n)) run.audio_failed = true;
    done += n;
  }
  run.audio_samples += uint64_t(count);
}

void put_u32(FILE* f, uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  std::fwrite(b, 1, 4, f);
}
void put_u16(FILE* f, uint16_t v) {
  uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  std::fwrite(b, 1, 2, f);
}

// The 44-byte header of a 44100 Hz mono 16-bit WAV file of `samples`
// samples, written where `f` stands.
void put_wav_header(FILE* f, uint64_t samples) {
  uint32_t data_bytes = uint32_t(samples * 2);
  std::fwrite("RIFF", 1, 4, f);
  put_u32(f, 36 + data_bytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  put_u32(f, 16);
  put_u16(f, 1);  // PCM
  put_u16(f, 1);  // mono
  put_u32(f, 44100);
  put_u32(f, 44100 * 2);
  put_u16(f, 2);
  put_u16(f, 16);
  std::fwrite("data", 1, 4, f);
  put_u32(f, data_bytes);
}

// Writes the header again with the final sizes and closes the file.
bool finish_wav(FILE* f, uint64_t samples) {
  bool ok = std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) put_wav_header(f, samples);
  ok = std::ferror(f) == 0 && ok;
  return std::fclose(f) == 0 && ok;
}

void hold_keys(long frame) {
  for (int i = 0; i < KEY_MAX; ++i) key[i] = 0;
  if (frame - 1 < long(run.script.size()))
    for (int code : run.script[size_t(frame - 1)]) key[code] = 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  std::string problem = parse(argc, argv, options, help);
  if (help) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  if (!problem.empty()) return fail(2, problem);

  std::string error;
  if (!keyscript_read(options.keys, run.script, error)) return fail(2, error);
  namespace fs = std::filesystem;
  std::error_code failed;
  if (!fs::is_directory(options.data, failed))
    return fail(2, "cannot read the data folder " + options.data);
  fs::create_directory(options.out, failed);
  if (failed) return fail(1, "cannot create the out folder " + options.out);
  // The game opens its files relative to the working directory, so the out
  // folder is made absolute before moving into the data folder.
  std::string out = fs::canonical(options.out, failed).string();
  if (failed) return fail(1, "cannot use the out folder " + options.out);

  // Binary mode: the same bytes on every host (no CR before each newline).
  FILE* frames_file = std::fopen((out + "/frames.txt").c_str(), "wb");
  run.ports = std::fopen((out + "/ports.txt").c_str(), "wb");
  run.audio = std::fopen((out + "/audio.wav").c_str(), "wb");
  if (!frames_file || !run.ports || !run.audio)
    return fail(1, "cannot write into the out folder " + out);
  put_wav_header(run.audio, 0);
  fs::current_path(options.data, failed);
  if (failed) return fail(2, "cannot enter the data folder " + options.data);

  run.shown.assign(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT, 0);
  MachineHooks hooks = machine_headless_hooks();
  hooks.presented = on_present;
  machine_set_hooks(hooks);
  sound_offline_install(on_samples, nullptr);
  sound_set_port_observer(on_port);

  if (!game_start()) return fail(1, "the machine did not start");
  RGB palette[256];
  palette_compute(palette);
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
                 sha256_hex(run.shown.data(), run.shown.size()).c_str(),
                 static_cast<unsigned long long>(run.shown_frames), int(game_current_state()));
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

  if (std::fclose(frames_file) != 0) written = false;
  if (std::fclose(run.ports) != 0) written = false;
  run.ports = nullptr;
  const bool audio_written = !run.audio_failed && finish_wav(run.audio, run.audio_samples);
  run.audio = nullptr;
  if (!audio_written) {
    written = false;
    fail(1, "cannot write " + out + "/audio.wav");
  }
  return written ? 0 : 1;
}
// On Windows Allegro enters through WinMain, which calls this main.
END_OF_MAIN()
