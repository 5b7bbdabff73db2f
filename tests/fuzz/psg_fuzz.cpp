// Fuzz target: any bytes as a PSG music file, played frame by frame through
// the machine's ports into the chip renderer (the headless host renders every
// sample the machine's time calls for), once without looping until the piece
// ends and once looping. The player must never hang inside a step, a
// non-looping piece must end once its bytes run out, and a looping one must
// keep playing.
#include <cstdint>

#include "machine/machine.h"
#include "sound/psg.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Frames played per pass: enough for several rewinds of a short piece and for
// skips (0xFE n) to run out, few enough for thousands of inputs a second.
constexpr int FRAMES = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_machine_start();
  std::string path = fuzz_file("music.psg", data, size);
  const bool magic = size >= 4 && data[0] == 'P' && data[1] == 'S' && data[2] == 'G' &&
                     data[3] == 0x1A;

  // Without looping: every step but the last plays at least one command byte
  // or counts down a skip, so the piece ends within size + 255 x size steps;
  // a short run just checks that a step returns at all.
  const int opened = psg_open(path.c_str(), 0);
  fuzz_check((opened != 0) == magic, "psg_open disagrees with the file's magic");
  for (int frame = 0; frame < FRAMES; ++frame) {
    const int playing = psg_step();
    machine_spend(FRAME_CYCLES);
    if (!playing) {
      fuzz_check(psg_step() == 0, "a piece that ended played on");
      break;
    }
  }

  // Looping: the piece plays in every frame.
  const int looped = psg_open(path.c_str(), -1);
  for (int frame = 0; frame < FRAMES; ++frame) {
    fuzz_check(psg_step() == (looped ? -1 : 0), "a looping piece stopped, or no piece played");
    machine_spend(FRAME_CYCLES);
  }
  psg_stop();
  fuzz_check(psg_step() == 0, "a stopped piece played on");
  return 0;
}
