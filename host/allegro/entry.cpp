// The desktop host's entry: Allegro's main enters here and the program of
// the machine takes over in its program_main. Kept in a file of its own so
// that a tool which brings its own main (a replay harness) never pulls it in.
#include <allegro.h>

#include "host/program.h"

// On Windows END_OF_MAIN() supplies WinMain, which passes this main to
// Allegro's _WinMain; elsewhere it adds nothing the program needs.
int main(int argc, char** argv) { return program_main(argc, argv); }
END_OF_MAIN()
