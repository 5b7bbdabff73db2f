// The machine seen from outside: a program of the machine that starts it,
// draws a test picture of all 256 colour bytes, and presents it until the
// close button is pressed. It reports on standard output what a test can't
// see in the window: when start-up ended, the wall time of 250 presents, and
// each 50th frame with the display mode.
#include <allegro.h>

#include <chrono>
#include <cstdio>

#include "machine/machine.h"
#include "machine/machine_internal.h"

namespace {

double now_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// 16 x 16 blocks of 20 x 15 pixels: block (i, j) holds colour byte 16 j + i.
void draw_test_picture(BITMAP* buffer) {
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) buffer->line[y][x] = uint8_t((y / 15) * 16 + x / 20);
}

}  // namespace

int main() {
  if (!machine_init()) {
    machine_shutdown();
    std::fputs("machine_window: no display could be opened\n", stderr);
    return 1;
  }
  machine_set_title("Orvalin: Quadrillo");
  std::printf("started\n");
  std::fflush(stdout);
  double begin = now_ms();
  long frame = 0;
  while (!machine_quit_requested()) {
    draw_test_picture(machine_back_buffer());
    machine_present();
    ++frame;
    if (frame == 250) std::printf("paced 250 %.1f\n", now_ms() - begin);
    if (frame % 50 == 0) std::printf("frame %ld fullscreen %d\n", frame, machine_fullscreen());
    std::fflush(stdout);
  }
  machine_shutdown();
  std::printf("closed\n");
  return 0;
}
END_OF_MAIN()
