// The real game on the real host (window, 250 Hz timer, Allegro's sound
// driver), exactly as the quadrillo program runs it, with a log for the
// host-fault tests: after every presented frame,
//   frame <n> <ms since the first frame>
#include <allegro.h>

#include <chrono>
#include <cstdio>

#include "game/flow.h"
#include "machine/machine.h"

namespace {

std::chrono::steady_clock::time_point first_frame;
long frames;

void on_present(BITMAP*) {
  if (frames++ == 0) first_frame = std::chrono::steady_clock::now();
  std::printf("frame %ld %lld\n", frames, static_cast<long long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - first_frame).count()));
  std::fflush(stdout);
}

}  // namespace

int main() {
  MachineHooks hooks{};
  hooks.presented = on_present;  // everything else as in the program
  machine_set_hooks(hooks);
  return game_main();
}
END_OF_MAIN()
