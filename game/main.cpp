// The game is a program of the machine like any other: the runtime's entry
// wrapper (host/allegro/entry.cpp, or another host's main) hands it the
// command line here.
#include "game/flow.h"
#include "machine/machine.h"

int program_main(int, char**) { return game_main(); }
