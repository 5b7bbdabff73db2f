// The game's main function and its frame loop.
#pragma once

int game_main();
