// Stand-in until the game lands: a black screen until the close button.
#include "game/flow.h"

#include <cstdio>

#include "machine/machine.h"

int game_main() {
  if (!machine_init()) {
    machine_shutdown();
    std::fputs("quadrillo: no display could be opened\n", stderr);
    return 1;
  }
  machine_set_title("Orvalin: Quadrillo");
  while (!machine_quit_requested()) machine_present();
  machine_shutdown();
  return 0;
}
