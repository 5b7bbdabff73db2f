// The machine seen from outside: a program of the machine that starts it,
// draws a test picture of all 256 colour bytes, and presents it until the
// close button is pressed. It writes the picture as the machine's palette
// colours it to the PNG file named by its argument, and reports on standard
// output when start-up ended, the wall time of 250 presents, and the end.
#include <allegro.h>

#include <chrono>
#include <cstdio>

#include "machine/machine.h"
#include "machine/palette.h"
#include "tools/common/png_io.h"

int main(int argc, char** argv) {
  if (argc != 2 || !machine_init()) {
    std::fputs("machine_window <picture.png>: no display could be opened\n", stderr);
    return 1;
  }
  machine_set_title("Orvalin: Quadrillo");
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each report reaches the test at once
  // 16 x 16 blocks of 20 x 15 pixels, in both back buffers: block (i, j) holds colour byte 16 j + i.
  for (int buffer = 0; buffer < 2; ++buffer, machine_present())
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) machine_back_buffer()->line[y][x] = uint8_t((y / 15) * 16 + x / 20);
  PALETTE palette;
  palette_compute(palette);
  BITMAP* picture = machine_back_buffer();
  png_write_indexed(argv[1], 320, 240, picture->line[0], int(picture->line[1] - picture->line[0]), palette);
  std::printf("started\n");
  const auto begin = std::chrono::steady_clock::now();
  for (long frame = 1; !machine_quit_requested(); ++frame) {
    machine_present();
    if (frame == 250)
      std::printf("paced 250 %.1f\n", std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
  }
  machine_shutdown();
  std::printf("closed\n");
  return 0;
}
END_OF_MAIN()
