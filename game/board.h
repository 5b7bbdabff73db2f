// The playfield: a 10 x 18 board of colour-variant cells stored column by
// column, the seven four-block pieces, the falling piece (written into the
// board while it falls) and the 16 block Sprites the board is drawn with.
// Piece geometry is 32-bit float, as the machine computes it.
#pragma once
#include <cstdint>

inline constexpr int BOARD_COLUMNS = 10;
inline constexpr int BOARD_ROWS    = 18;
inline constexpr int PIECE_COUNT   = 7;
inline constexpr int MARK_COLOUR   = 10;  // a full row turns the plain grey scale

// The falling piece. A block covers cell (floor(x + bx), floor(y + by)).
struct Piece {
  float   blocks[4][2];  // block offsets (bx, by) from the centre, in cells; whole or half
  float   x;             // centre column, moves in steps of 1.0
  float   y;             // centre row (0 at the top), moves in steps of 1.0
  int32_t colour;        // colour variant 1..15 its blocks are drawn in
};

// Empties all 180 cells.
void board_clear();

// The cell at (floor(x), floor(y)): its byte inside the board; 0 above the
// board within the columns (free space); -1 (occupied) beside, below, or
// above the board outside the columns.
int board_get(float x, float y);

// Stores the low byte of `value` in the cell at (floor(x), floor(y)) when that
// is inside the board; does nothing otherwise.
void board_set(float x, float y, int value);

// Writes the four blocks of the falling piece in `colour` (0 erases it).
void piece_stamp(int colour);

// -1 as soon as one block of the falling piece lies on a non-zero cell, else
// 0. Callers erase the piece first, so that it does not collide with itself.
int piece_collides();

// The falling piece as it stands, for tools that watch a game being played.
const Piece& piece_current();

// Places a new random piece (one draw of lcg_rand) at row 0, centred on
// column 5 plus its start offset. Neither tests nor writes the board.
void piece_spawn();

// piece_spawn(), then piece_collides(): non-zero when the new piece overlaps
// the stack, which ends the game.
int piece_spawn_and_test();

// Turns the piece a quarter turn anti-clockwise (n = 1) unless that collides.
void piece_rotate(int n);

// Moves the piece `dx` columns unless that collides.
void piece_move(float dx);

// Moves the piece one row down; -1 when it could not (it has locked and stays
// in the board as ordinary cells), 0 when it fell.
int piece_fall();

int  board_row_full(int row);      // -1 when all ten cells of `row` are non-zero
void board_row_mark(int row);      // the row's cells become MARK_COLOUR
void board_row_collapse(int row);  // removes `row`; the rows above move down one

// Draws every occupied cell as a 13 x 13 block of luma `luma` (0..15) in the
// cell's colour variant at (3 + 13 col, 3 + 13 row); empty cells draw nothing.
void board_draw(int luma);

// The game's start-up creates the 16 1 x 1 block Sprites (sprite i holds pixel
// value i; created 15 first); its shut-down destroys them, 15 first.
void board_sprites_create();
void board_sprites_destroy();
