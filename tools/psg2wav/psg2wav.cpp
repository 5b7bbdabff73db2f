// orvalin-psg2wav: plays a PSG file through the machine's own player and
// sound chip, on a headless machine with the perfect host, and writes what
// the chip produces as a 44100 Hz 16-bit mono WAV file. Every register write
// takes effect at output sample floor(147 x sound_time / 11818): the sound of
// the piece on a host that is never late.
#include <allegro.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "sound/offline.h"
#include "sound/psg.h"

namespace {

const char* const USAGE =
    "Usage: orvalin-psg2wav [options] INPUT.psg OUTPUT.wav\n"
    "\n"
    "Plays a PSG music file through the Orvalin machine's player and AY-3-8910\n"
    "sound chip and writes the chip's output as a 44100 Hz 16-bit mono WAV file.\n"
    "The machine starts as the game does (75 frames, 1.5 s, before the music),\n"
    "then calls the player once per frame at 50 frames per second.\n"
    "\n"
    "Options:\n"
    "  -n, --frames N   play N frames (player steps), whatever the piece does\n"
    "                   (default: until the music ends; one pass when looping)\n"
    "  -l, --loop       loop the piece: rewind at its end instead of stopping\n"
    "      --no-loop    stop at the end of the piece (the default)\n"
    "      --write-at C write each frame's registers C machine cycles into the\n"
    "                   frame (0..425447; default 0, right after the frame\n"
    "                   starts, as the game does)\n"
    "  -h, --help       show this help and exit\n"
    "\n"
    "The chip's samples are unsigned (silence is the lowest level, 0); they are\n"
    "written as signed PCM by subtracting 32768, as the host's audio stream\n"
    "plays them. The output file must not be the input file.\n";

struct Options {
  const char* input = nullptr;
  const char* output = nullptr;
  long frames = -1;  // -1: until the end, or one pass when looping
  int loop = 0;
  long write_at = 0;  // machine cycles from a frame's start to its writes
};

int fail(const std::string& message) {
  std::fprintf(stderr, "orvalin-psg2wav: %s\n", message.c_str());
  return 2;
}

// Parses the command line; returns an error message, or "" when fine.
std::string parse(int argc, char** argv, Options& options, bool& help) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "-l" || arg == "--loop") {
      options.loop = -1;
    } else if (arg == "--no-loop") {
      options.loop = 0;
    } else if (arg == "-n" || arg == "--frames" || arg.rfind("--frames=", 0) == 0) {
      std::string text;
      if (arg.rfind("--frames=", 0) == 0) {
        text = arg.substr(9);
      } else if (i + 1 < argc) {
        text = argv[++i];
      } else {
        return arg + " needs a number of frames";
      }
      char* end = nullptr;
      errno = 0;
      long value = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > 10000000) {
        return "bad number of frames '" + text + "' (a whole number 0..10000000)";
      }
      options.frames = value;
    } else if (arg == "--write-at") {
      if (i + 1 >= argc) return arg + " needs a number of cycles";
      std::string text = argv[++i];
      char* end = nullptr;
      errno = 0;
      long value = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value >= FRAME_CYCLES) {
        return "bad --write-at '" + text + "' (cycles 0..425447)";
      }
      options.write_at = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option '" + arg + "' (see --help)";
    } else if (!options.input) {
      options.input = argv[i];
    } else if (!options.output) {
      options.output = argv[i];
    } else {
      return "too many arguments (see --help)";
    }
  }
  if (help) return "";
  if (!options.input || !options.output) return "needs INPUT.psg and OUTPUT.wav (see --help)";
  return "";
}

bool same_file(const char* a, const char* b) {
  // Compares file identities (device and inode, or the volume and file index
  // on Windows, where stat gives no inode); false when either is missing.
  std::error_code failed;
  return std::filesystem::equivalent(a, b, failed) && !failed;
}

// Frames (player steps) of one pass through the piece, as the player counts
// them: 0xFF one, 0xFE n one plus n, up to 0xFD or the end of the file. At
// least one, so a looping piece without frame ends still plays a frame.
long frames_of_one_pass(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return 1;
  std::fseek(file, 4, SEEK_SET);
  long frames = 0;
  for (;;) {
    int c = std::fgetc(file);
    if (c == EOF || c == 0xFD) break;
    if (c == 0xFF) {
      ++frames;
    } else if (c == 0xFE) {
      int n = std::fgetc(file);
      frames += 1 + (n == EOF ? 0 : n);
      if (n == EOF) break;
    } else if (std::fgetc(file) == EOF) {
      break;
    }
  }
  std::fclose(file);
  return frames > 0 ? frames : 1;
}

void collect(const uint16_t* samples, int count, void* user) {
  auto* out = static_cast<std::vector<uint16_t>*>(user);
  out->insert(out->end(), samples, samples + count);
}

void put_u32(std::vector<uint8_t>& bytes, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
}
void put_u16(std::vector<uint8_t>& bytes, uint32_t v) {
  for (int i = 0; i < 2; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
}

bool write_wav(const char* path, const std::vector<uint16_t>& samples) {
  std::vector<uint8_t> bytes;
  uint32_t data_size = uint32_t(samples.size() * 2);
  bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
  put_u32(bytes, 36 + data_size);
  bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put_u32(bytes, 16);
  put_u16(bytes, 1);          // PCM
  put_u16(bytes, 1);          // mono
  put_u32(bytes, 44100);      // samples per second
  put_u32(bytes, 44100 * 2);  // bytes per second
  put_u16(bytes, 2);          // bytes per sample frame
  put_u16(bytes, 16);         // bits per sample
  bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
  put_u32(bytes, data_size);
  for (uint16_t u : samples) put_u16(bytes, uint16_t(u - 0x8000));  // unsigned -> signed
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}


}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  std::string error = parse(argc, argv, options, help);
  if (!error.empty()) return fail(error);
  if (help) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  FILE* probe = std::fopen(options.input, "rb");
  if (!probe) return fail(std::string("cannot read '") + options.input + "': " + std::strerror(errno));
  unsigned char magic[4] = {};
  bool is_psg = std::fread(magic, 1, 4, probe) == 4 && std::memcmp(magic, "PSG\x1A", 4) == 0;
  std::fclose(probe);
  if (!is_psg) return fail(std::string("'") + options.input + "' is not a PSG file (no \"PSG\\x1A\" magic)");
  if (same_file(options.input, options.output)) {
    return fail("refusing to overwrite the input file with the output");
  }

  std::vector<uint16_t> samples;
  sound_offline_install(collect, &samples);
  MachineHooks hooks = machine_headless_hooks();
  machine_set_hooks(hooks);
  machine_init();

  if (!psg_open(options.input, options.loop)) {
    machine_shutdown();
    return fail(std::string("cannot play '") + options.input + "'");
  }
  long frames = options.frames;
  if (frames < 0 && options.loop) frames = frames_of_one_pass(options.input);
  if (frames >= 0) {
    for (long i = 0; i < frames; ++i) {
      if (options.write_at) machine_spend(uint32_t(options.write_at));
      psg_step();
      machine_present();
    }
  } else {
    // Until the piece ends; the frame in which it stops is rendered too.
    int playing;
    do {
      if (options.write_at) machine_spend(uint32_t(options.write_at));
      playing = psg_step();
      machine_present();
    } while (playing);
  }
  sound_offline_flush();
  psg_stop();  // closes the file; its mixer write lies past the last sample
  machine_shutdown();

  if (!write_wav(options.output, samples)) {
    return fail(std::string("cannot write '") + options.output + "': " + std::strerror(errno));
  }
  return 0;
}
// On Windows Allegro enters through WinMain, which calls this main.
END_OF_MAIN()
