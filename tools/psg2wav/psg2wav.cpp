// orvalin-psg2wav: plays a PSG file through the machine's own player and
// sound chip, on the headless host, and writes what
// the chip produces as a 44100 Hz 16-bit mono WAV file. Every register write
// takes effect at output sample floor(147 x sound_time / 11818): the sound of
// the piece on a host that is never late.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/headless/headless.h"
#include "machine/machine.h"
#include "sound/psg.h"
#include "tools/common/cli.h"
#include "tools/common/wav_io.h"

namespace {

const char HELP[] =
    "Usage: orvalin-psg2wav [options] INPUT.psg OUTPUT.wav\n"
    "\n"
    "Plays a PSG music file through the Orvalin machine's player and AY-3-8910\n"
    "sound chip and writes the chip's output as a 44100 Hz 16-bit mono WAV file.\n"
    "The machine starts as the game does (75 frames, 1.5 s, before the music),\n"
    "then calls the player once per frame at 50 frames per second.\n"
    "\n"
    "Options:\n"
    "  -n, --frames N   play N frames (player steps), whatever the piece does\n"
    "                   (0..10000000; default: until the music ends; one pass\n"
    "                   when looping)\n"
    "  -l, --loop       loop the piece: rewind at its end instead of stopping\n"
    "      --no-loop    stop at the end of the piece (the default)\n"
    "      --write-at C write each frame's registers C machine cycles into the\n"
    "                   frame (0..425447; default 0, right after the frame\n"
    "                   starts, as the game does)\n"
    "  -c, --centre     write the signal centred, its DC removed as a speaker's\n"
    "                   coupling capacitor would (a one-pole 20 Hz high-pass)\n"
    "  -h, --help       show this help and exit\n"
    "      --version    show the version and exit\n"
    "\n"
    "The chip's samples are unsigned (silence is the lowest level, 0); without\n"
    "--centre they are written as signed PCM by subtracting 32768, as the host's\n"
    "audio stream plays them, so the file sits at the bottom of its range. The\n"
    "output file must not be the input file.\n"
    "\n"
    "Exit status: 0 on success, 1 when the input cannot be played or the output\n"
    "cannot be written, 2 on a wrong command line.\n";

const CliOption OPTIONS[] = {
    {"frames", 'n', "N"}, {"loop", 'l', nullptr}, {"no-loop", 0, nullptr},
    {"write-at", 0, "C"}, {"centre", 'c', nullptr},
};
const CliTool TOOL = {"orvalin-psg2wav", HELP, OPTIONS, int(sizeof OPTIONS / sizeof OPTIONS[0])};

struct Options {
  const char* input = nullptr;
  const char* output = nullptr;
  long frames = -1;  // -1: until the end, or one pass when looping
  int loop = 0;
  long write_at = 0;  // machine cycles from a frame's start to its writes
  bool centre = false;
};

// Reads the command line into `options`: CLI_GO_ON, or the status to exit with.
int parse(int argc, char** argv, CliArgs& args, Options& options) {
  const int status = cli_parse(TOOL, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  for (const auto& [name, value] : args.given) {
    if (name == "loop") options.loop = -1;
    else if (name == "no-loop") options.loop = 0;
    else if (name == "centre") options.centre = true;
    else if (name == "frames" && !cli_number(TOOL, "frames", value, 0, 10000000, options.frames))
      return CLI_USAGE;
    else if (name == "write-at" && !cli_number(TOOL, "write-at", value, 0, FRAME_CYCLES - 1, options.write_at))
      return CLI_USAGE;
  }
  if (args.operands.size() != 2)
    return cli_fail(TOOL, CLI_USAGE, "needs INPUT.psg and OUTPUT.wav (see --help)");
  options.input = args.operands[0].c_str();
  options.output = args.operands[1].c_str();
  return CLI_GO_ON;
}

bool same_file(const char* a, const char* b) {
  // Compares file identities (device and inode, or the volume and file index
  // on Windows, where stat gives no inode); false when either is missing.
  std::error_code failed;
  return std::filesystem::equivalent(a, b, failed) && !failed;
}

// Where the samples go as they are rendered, as the WAV file will hold them:
// the chip's levels as the host plays them, or through the coupling filter.
// They go to a file beside the output, renamed to it when the render is
// done, so the output appears whole and a render of any length holds only
// one buffer of samples.
struct Sink {
  WavWriter wav;
  bool      centre = false;
  double    last_in = 0, last_out = 0;  // the filter's memory
};
Sink sink;

// A one-pole high-pass, y[n] = a (y[n-1] + x[n] - x[n-1]) with a = RC / (RC +
// 1/44100) and RC = 1 / (2 pi 20 Hz): what a speaker's series capacitor does
// to the chip's all-positive output. It starts from silence (0), as the chip does.
constexpr double PI = 3.14159265358979323846;
constexpr double COUPLING_RC = 1.0 / (2.0 * PI * 20.0);
constexpr double COUPLING_A = COUPLING_RC / (COUPLING_RC + 1.0 / SAMPLE_RATE);

void collect(const uint16_t* samples, int32_t count) {
  if (!sink.centre) {
    wav_write_chip(sink.wav, samples, count);  // silence lowest, as the host plays it
    return;
  }
  std::vector<int16_t> out(size_t(count > 0 ? count : 0));
  for (int32_t i = 0; i < count; ++i) {
    const double in = samples[i];
    sink.last_out = COUPLING_A * (sink.last_out + in - sink.last_in);
    sink.last_in = in;
    const double v = sink.last_out < -32768.0 ? -32768.0 : sink.last_out > 32767.0 ? 32767.0 : sink.last_out;
    out[size_t(i)] = int16_t(std::lround(v));
  }
  wav_write(sink.wav, out.data(), count);
}

// The samples a run of `frames` player steps writes at most: the 75 start-up
// frames, then one frame of 882 samples a step (a step's writes come before
// its frame ends, so --write-at adds nothing).
uint64_t samples_of(int64_t frames) {
  return uint64_t(MACHINE_START_FRAMES + frames) * SAMPLES_PER_FRAME;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CliArgs args;
  const int status = parse(argc, argv, args, options);
  if (status != CLI_GO_ON) return status;
  FILE* probe = std::fopen(options.input, "rb");
  if (!probe) return cli_fail(TOOL, CLI_FAILED, std::string("cannot read '") + options.input + "': " + std::strerror(errno));
  std::fclose(probe);
  // The player's own reading: a piece it would refuse is no PSG file.
  const int64_t pass = psg_frames(options.input);
  if (pass == 0) return cli_fail(TOOL, CLI_FAILED, std::string("'") + options.input + "' is not a PSG file (no \"PSG\\x1A\" magic)");
  if (same_file(options.input, options.output)) {
    return cli_fail(TOOL, CLI_USAGE, "refusing to overwrite the input file with the output");
  }
  // A run plays --frames steps, else one pass (looping or not): known before
  // anything is rendered, so a run whose WAV file would pass the format's
  // 4 GiB limit is refused before it starts.
  const int64_t frames = options.frames >= 0 ? options.frames : pass;
  if (!wav_fits(samples_of(frames)))
    return cli_fail(TOOL, CLI_FAILED, "the sound of " + std::to_string(frames) +
                                          " frames would pass the 4 GiB that a WAV file can hold");

  const std::string part = std::string(options.output) + ".part";
  sink.centre = options.centre;
  if (!wav_open(sink.wav, part.c_str()))
    return cli_fail(TOOL, CLI_FAILED, std::string("cannot write '") + options.output + "'");
  HeadlessHost host{};
  host.samples = collect;
  headless_set(host);
  machine_init();

  if (!psg_open(options.input, options.loop)) {
    machine_shutdown();
    wav_close(sink.wav);
    std::remove(part.c_str());
    return cli_fail(TOOL, CLI_FAILED, std::string("cannot play '") + options.input + "'");
  }
  // Until the piece ends (the frame in which it stops is rendered too), or
  // for the frames asked for.
  for (int64_t i = 0; options.frames >= 0 || options.loop ? i < frames : true; ++i) {
    if (options.write_at) machine_spend(uint32_t(options.write_at));
    const int playing = psg_step();
    machine_present();
    if (!playing && options.frames < 0 && !options.loop) break;
  }
  headless_end_sound();
  psg_stop();  // closes the file; its mixer write lies past the last sample
  machine_shutdown();

  std::error_code failed;
  if (!wav_close(sink.wav) || (std::filesystem::rename(part, options.output, failed), failed)) {
    std::remove(part.c_str());
    return cli_fail(TOOL, CLI_FAILED, std::string("cannot write '") + options.output + "'");
  }
  return CLI_OK;
}
