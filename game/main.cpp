// Program entry: Allegro's main wrapper hands control to the game. On Windows
// END_OF_MAIN() supplies WinMain, which passes this main to Allegro's _WinMain.
#include <allegro.h>

#include "game/flow.h"

int main() { return game_main(); }
END_OF_MAIN()
