// Inner state of the playfield that tests look at and set directly. Only
// tests include this; the game goes through board.h.
#pragma once
#include "game/board.h"

Piece&         piece_current();          // the falling piece itself
Piece          piece_template(int kind); // piece kind 0..6 as placed at spawn
int            piece_choose(int draw);   // kind chosen by one lcg_rand draw
const uint8_t* board_cells();            // 180 bytes, cell (c, r) at c * 18 + r
