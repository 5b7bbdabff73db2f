// quadrillo-replay: the replay harness linked with the game. The game runs
// exactly as the quadrillo program (game/main.cpp is linked in whole), on a
// machine without window, timer or audio device, as fast as the host
// allows, with the keys taken from a script. Its outputs pin whole games
// down for regression tests: a hash per presented frame with the game's
// state after it, every port write, the rendered sound.
#include "game/flow.h"
#include "machine/machine.h"
#include "tools/harness/harness.h"

int main(int argc, char** argv) {
  const HarnessProgram game = {"quadrillo-replay", "Orvalin: Quadrillo", program_main,
                               game_current_state};
  return harness_run(game, argc, argv);
}
