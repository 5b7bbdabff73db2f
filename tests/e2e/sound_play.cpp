// The end-to-end sound test's player: the real machine, paced at 50 frames a
// second, on Allegro's audio stream (no window), plays a PSG file with
// psg_step, writing each frame's registers WRITE_AT_CYCLES into the frame.
// Writes late in the frame keep clear of the pump's fills, which come at the
// first poll after the frame wait: a fill then neither passes a write still
// to come in the frame nor leaves one behind by more than a buffer, so the
// test hears the chip's sound path without the timeline being bent. Prints
// the monotonic time at which the machine's sound time was 0: 75 frames
// before machine_init returns.
//
// Usage: sound_play FILE.psg FRAMES WRITE_AT_CYCLES
#include <allegro.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "machine/machine.h"
#include "sound/psg.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  MachineHooks hooks{};
  hooks.set_gfx_mode = [](int, int, int) { return 0; };
  machine_set_hooks(hooks);
  machine_init();
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  double started = std::chrono::duration<double>(now).count();
  if (!psg_open(argv[1], -1)) return 3;
  for (long i = 0; i < std::atol(argv[2]); ++i) {
    machine_spend(6);  // the first poll of the frame, then the music late in it
    machine_spend(uint32_t(std::atol(argv[3])) - 6);
    psg_step();
    machine_present();
  }
  psg_stop();
  for (int i = 0; i < 25; ++i) machine_present();  // the last buffers play out
  std::printf("sound_time_0_at %.6f\n", started - 75 * 0.02);
  machine_shutdown();
  return 0;
}
END_OF_MAIN()
