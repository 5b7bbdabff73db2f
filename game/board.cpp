// The playfield and the falling piece. Every move, turn and fall erases the
// piece, changes it, tests it against the board and undoes the change on a
// collision before writing the piece back, so the piece never blocks itself.
#include "game/board.h"

#include <algorithm>
#include <iterator>
#include <cmath>

#include "blitter/draw.h"
#include "blitter/sprite.h"
#include "machine/random.h"

namespace {

constexpr int32_t CELL_SIZE   = 0xD0000;  // 13.0 pixels, 16.16
constexpr int32_t BOARD_ORIGIN = 0x30000; // 3.0 pixels from the screen's corner

// The seven pieces as placed: offsets relative to the centre, then the colour
// and the start offset from column 5. The I and O pieces have half-number
// offsets, so their centres sit between cells and they turn about their middle.
struct PieceKind {
  float   blocks[4][2];
  int32_t colour;
  float   start_x;
};

constexpr PieceKind PIECE_KINDS[PIECE_COUNT] = {
    {{{-1.5f, -0.5f}, {-0.5f, -0.5f}, {0.5f, -0.5f}, {1.5f, -0.5f}}, 1, 0.0f},   // I
    {{{-1.0f, -1.0f}, {-1.0f, 0.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}}, 3, -0.5f},     // J
    {{{1.0f, -1.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}, {-1.0f, 0.0f}}, 5, -0.5f},      // L
    {{{-0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, -0.5f}}, 7, 0.0f},     // O
    {{{-1.0f, 0.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, -1.0f}}, 4, 0.0f},       // T
    {{{-1.0f, -1.0f}, {0.0f, -1.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}}, 13, -0.5f},    // Z
    {{{1.0f, -1.0f}, {0.0f, -1.0f}, {0.0f, 0.0f}, {-1.0f, 0.0f}}, 15, -0.5f},    // S
};

uint8_t board[BOARD_COLUMNS * BOARD_ROWS];  // column by column: cell (c, r) is c * 18 + r
Piece   current_piece;
Sprite* block_sprites[16];                  // 1 x 1, luma i in sprite i

// Cell coordinates floor their float arguments; offsets are whole or half
// numbers and centres move by whole steps, so the floors are exact.
int cell_column(float x) { return int(std::floor(x)); }
int cell_row(float y) { return int(std::floor(y)); }

bool inside(int col, int row) {
  return col >= 0 && col < BOARD_COLUMNS && row >= 0 && row < BOARD_ROWS;
}

// 2048 equally likely values; pieces 0, 2, 4, 6 get 293 of them, 1, 3, 5 get 292.
int piece_choose(int draw) {
  int r = draw >> 4;
  return std::min(6, (r * 7) / 2047);
}

// Replaces every block offset (bx, by) by (a * by, b * bx).
void piece_turn(float a, float b) {
  for (auto& blk : current_piece.blocks) {
    float bx = blk[0], by = blk[1];
    blk[0] = a * by;
    blk[1] = b * bx;
  }
}

}  // namespace

void board_clear() { std::fill(std::begin(board), std::end(board), uint8_t(0)); }

int board_get(float x, float y) {
  int col = cell_column(x), row = cell_row(y);
  if (inside(col, row)) return board[col * BOARD_ROWS + row];
  // The space above the board is free so that pieces can enter from there;
  // the walls and the floor are solid.
  if (row < 0 && col >= 0 && col < BOARD_COLUMNS) return 0;
  return -1;
}

void board_set(float x, float y, int value) {
  int col = cell_column(x), row = cell_row(y);
  if (inside(col, row)) board[col * BOARD_ROWS + row] = uint8_t(value);
}

void piece_stamp(int colour) {
  for (const auto& b : current_piece.blocks)
    board_set(current_piece.x + b[0], current_piece.y + b[1], colour);
}

int piece_collides() {
  for (const auto& b : current_piece.blocks)
    if (board_get(current_piece.x + b[0], current_piece.y + b[1]) != 0) return -1;
  return 0;
}

const Piece& piece_current() { return current_piece; }

void piece_spawn() {
  const PieceKind& kind = PIECE_KINDS[piece_choose(lcg_rand())];
  for (int i = 0; i < 4; ++i) {
    current_piece.blocks[i][0] = kind.blocks[i][0];
    current_piece.blocks[i][1] = kind.blocks[i][1];
  }
  current_piece.y = 0.0f;
  current_piece.x = 5.0f + kind.start_x;
  current_piece.colour = kind.colour;
}

int piece_spawn_and_test() {
  piece_spawn();
  return piece_collides();
}

void piece_rotate(int n) {
  // (bx, by) -> (by, -bx): with y growing downwards that is anti-clockwise.
  // No wall kicks: a turn that collides is simply undone.
  float f = float(n);
  piece_stamp(0);
  piece_turn(f, -f);
  if (piece_collides()) piece_turn(-f, f);
  piece_stamp(current_piece.colour);
}

void piece_move(float dx) {
  piece_stamp(0);
  current_piece.x += dx;
  if (piece_collides()) current_piece.x -= dx;
  piece_stamp(current_piece.colour);
}

int piece_fall() {
  piece_stamp(0);
  current_piece.y += 1.0f;
  if (piece_collides()) {
    current_piece.y -= 1.0f;
    piece_stamp(current_piece.colour);  // locked: from now on ordinary cells
    return -1;
  }
  piece_stamp(current_piece.colour);
  return 0;
}

int board_row_full(int row) {
  int count = 0;
  for (int c = 0; c < BOARD_COLUMNS; ++c) count += board_get(float(c), float(row)) != 0;
  return count == BOARD_COLUMNS ? -1 : 0;
}

void board_row_mark(int row) {
  for (int c = 0; c < BOARD_COLUMNS; ++c) board_set(float(c), float(row), MARK_COLOUR);
}

void board_row_collapse(int row) {
  if (row < 0 || row >= BOARD_ROWS) return;
  for (int c = 0; c < BOARD_COLUMNS; ++c) {
    uint8_t* column = board + c * BOARD_ROWS;
    for (int r = row; r >= 1; --r) column[r] = column[r - 1];
    column[0] = 0;
  }
}

void board_draw(int luma) {
  const Sprite* block = block_sprites[luma & 15];
  for (int col = 0; col < BOARD_COLUMNS; ++col) {
    for (int row = 0; row < BOARD_ROWS; ++row) {
      uint8_t cell = board[col * BOARD_ROWS + row];
      if (!cell) continue;  // the backdrop shows through empty cells
      sprite_draw(block, cell, BOARD_ORIGIN + col * CELL_SIZE, BOARD_ORIGIN + row * CELL_SIZE,
                  CELL_SIZE, CELL_SIZE, 0, 0);
    }
  }
}

void board_sprites_create() {
  for (int i = 15; i >= 0; --i) {
    uint8_t pixel = uint8_t(i);
    block_sprites[i] = sprite_create(COLOUR_MODE_LUMA, &pixel, PIXEL_FORMAT_BYTE, 1, 1, 0);
  }
}

void board_sprites_destroy() {
  for (int i = 15; i >= 0; --i) {
    sprite_destroy(block_sprites[i]);
    block_sprites[i] = nullptr;
  }
}

