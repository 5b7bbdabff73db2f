#include <gtest/gtest.h>

#include <allegro.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "blitter/sprite.h"
#include "game/board.h"
#include "game/board_internal.h"
#include "machine/machine.h"
#include "machine/random.h"
#include "tests/support/headless.h"

namespace {

using Cells = std::set<std::pair<int, int>>;

// The cells of the board that hold a non-zero byte.
Cells occupied() {
  Cells cells;
  for (int c = 0; c < BOARD_COLUMNS; ++c)
    for (int r = 0; r < BOARD_ROWS; ++r)
      if (board_cells()[c * BOARD_ROWS + r]) cells.insert({c, r});
  return cells;
}

// Cells the current piece covers, computed independently of the board.
Cells piece_cells() {
  const Piece& p = piece_current();
  Cells cells;
  for (const auto& b : p.blocks)
    cells.insert({int(std::floor(p.x + b[0])), int(std::floor(p.y + b[1]))});
  return cells;
}

void place(int kind, float x, float y) {
  Piece p = piece_template(kind);
  p.x = x;
  p.y = y;
  piece_current() = p;
}

void fill_row(int row, int except_column = -1) {
  for (int c = 0; c < BOARD_COLUMNS; ++c)
    if (c != except_column) board_set(float(c), float(row), 2);
}

}  // namespace

TEST(BoardCells, OutsideTheBoardReadsOccupiedExceptAbove) {
  board_clear();
  EXPECT_EQ(board_get(-1, 5), -1) << "left wall";
  EXPECT_EQ(board_get(10, 0), -1) << "right wall";
  EXPECT_EQ(board_get(3, 18), -1) << "floor";
  EXPECT_EQ(board_get(3, -1), 0) << "the space above the board is free";
  EXPECT_EQ(board_get(9, -2.5f), 0);
  EXPECT_EQ(board_get(-1, -1), -1) << "above the board but beside the columns";
  EXPECT_EQ(board_get(-0.5f, 0), -1) << "-0.5 floors to column -1";
}

TEST(BoardCells, CoordinatesAreFloored) {
  board_clear();
  board_set(3, 0, 9);
  EXPECT_EQ(board_get(3.99f, 0.5f), 9);
  EXPECT_EQ(board_get(4.0f, 0.5f), 0);
  board_set(9.5f, 17.9f, 0x1FF);
  EXPECT_EQ(board_get(9, 17), 0xFF) << "only the low byte is stored";
  EXPECT_EQ(board_cells()[9 * 18 + 17], 0xFF) << "stored column by column";
}

TEST(BoardCells, SetOutsideTheBoardChangesNothing) {
  board_clear();
  for (float x : {-1.0f, -0.5f, 10.0f, 3.0f})
    for (float y : {-1.0f, 18.0f, 25.0f}) board_set(x, y, 5);
  board_set(-3, 4, 5);
  board_set(12, 4, 5);
  EXPECT_TRUE(occupied().empty());
}

TEST(PieceSpawn, EachKindCoversItsPlacementCells) {
  // (column, row) of each block right after placement, the I piece above row 0.
  const std::vector<Cells> expected = {
      {{3, -1}, {4, -1}, {5, -1}, {6, -1}}, {{3, -1}, {3, 0}, {4, 0}, {5, 0}},
      {{5, -1}, {5, 0}, {4, 0}, {3, 0}},    {{4, -1}, {4, 0}, {5, 0}, {5, -1}},
      {{4, 0}, {5, 0}, {6, 0}, {5, -1}},    {{3, -1}, {4, -1}, {4, 0}, {5, 0}},
      {{5, -1}, {4, -1}, {4, 0}, {3, 0}}};
  const int colours[] = {1, 3, 5, 7, 4, 13, 15};
  for (int kind = 0; kind < PIECE_COUNT; ++kind) {
    piece_current() = piece_template(kind);
    EXPECT_EQ(piece_cells(), expected[kind]) << "kind " << kind;
    EXPECT_EQ(piece_current().colour, colours[kind]);
  }
}

TEST(PieceSpawn, SpawnNeitherTestsNorWritesTheBoard) {
  uint32_t saved = lcg_state();
  board_clear();
  fill_row(0);
  lcg_set_state(1);
  piece_spawn();  // 41: the bar, which covers only row -1
  EXPECT_EQ(occupied().size(), 10u);
  EXPECT_EQ(piece_current().colour, 1);
  EXPECT_EQ(piece_current().y, 0.0f);
  lcg_set_state(1);
  EXPECT_EQ(piece_spawn_and_test(), 0) << "the bar fits above a full row 0";
  EXPECT_NE(piece_spawn_and_test(), 0) << "18467: the square reaches into row 0";
  board_clear();
  lcg_set_state(1);
  lcg_rand();
  EXPECT_EQ(piece_spawn_and_test(), 0);
  lcg_set_state(saved);
}

TEST(PieceSpawn, ChoiceSplitsTheDrawsEvenly) {
  int counts[PIECE_COUNT] = {};
  for (int draw = 0; draw <= 32767; draw += 16) counts[piece_choose(draw)] += 1;
  EXPECT_EQ(counts[0], 293);
  EXPECT_EQ(counts[1], 292);
  EXPECT_EQ(counts[2], 293);
  EXPECT_EQ(counts[3], 292);
  EXPECT_EQ(counts[4], 293);
  EXPECT_EQ(counts[5], 292);
  EXPECT_EQ(counts[6], 293) << "r = 2047 gives 7 before the cap";
  EXPECT_EQ(piece_choose(17124), 3);
}

TEST(PieceSpawn, SequenceAfterTheSoundChipsDraws) {
  const int colour_kind[16] = {-1, 0, -1, 1, 4, 2, -1, 3, -1, -1, -1, -1, -1, 5, -1, 6};
  uint32_t saved = lcg_state();
  lcg_set_state(1);
  for (int i = 0; i < 1024; ++i) lcg_rand();
  std::vector<int> kinds;
  for (int i = 0; i < 12; ++i) {
    piece_spawn();
    kinds.push_back(colour_kind[piece_current().colour]);
  }
  EXPECT_EQ(kinds, (std::vector<int>{3, 5, 6, 6, 6, 5, 1, 2, 1, 1, 6, 5}));
  lcg_set_state(saved);
}

TEST(PieceMoves, TheIBarAboveTheBoardIsInvisibleButMovesAndTurns) {
  board_clear();
  piece_current() = piece_template(0);
  piece_stamp(1);
  EXPECT_TRUE(occupied().empty()) << "a fresh bar covers only row -1";
  piece_move(-1.0f);
  EXPECT_EQ(piece_current().x, 4.0f);
  EXPECT_TRUE(occupied().empty());
  piece_rotate(1);  // upright about its middle: rows -2..1 in column 3
  EXPECT_EQ(occupied(), (Cells{{3, 0}, {3, 1}}));
  EXPECT_EQ(piece_cells(), (Cells{{3, -2}, {3, -1}, {3, 0}, {3, 1}}));
}

TEST(PieceMoves, TurningTheSquareCoversTheSameCells) {
  board_clear();
  place(3, 4.0f, 5.0f);
  piece_stamp(7);
  Cells before = occupied();
  for (int i = 0; i < 4; ++i) {
    piece_rotate(1);
    EXPECT_EQ(occupied(), before) << "turn " << i;
  }
}

TEST(PieceMoves, RotationIsAntiClockwiseOnScreen) {
  board_clear();
  place(4, 5.0f, 5.0f);  // T with its upper block at (0, -1)
  piece_stamp(4);
  piece_rotate(1);
  EXPECT_EQ(occupied(), (Cells{{5, 4}, {5, 5}, {5, 6}, {4, 5}})) << "the upper block went left";
  for (int i = 0; i < 3; ++i) piece_rotate(1);
  EXPECT_EQ(occupied(), (Cells{{4, 5}, {5, 5}, {6, 5}, {5, 4}})) << "four turns are the identity";
}

TEST(PieceMoves, WallsAndTheStackBlockWithoutChange) {
  board_clear();
  place(1, 1.0f, 5.0f);  // J touching the left wall: columns 0..2
  piece_stamp(3);
  Cells start = occupied();
  piece_move(-1.0f);
  EXPECT_EQ(occupied(), start);
  EXPECT_EQ(piece_current().x, 1.0f);
  board_set(3, 5, 9);  // a stack block right of the piece
  piece_move(1.0f);
  EXPECT_EQ(piece_current().x, 1.0f);
  EXPECT_EQ(board_get(3, 5), 9);

  // A vertical I piece against the right wall cannot turn flat.
  board_clear();
  place(0, 9.5f, 8.0f);
  piece_turn(1, -1);  // upright in column 9
  piece_stamp(1);
  Cells upright = occupied();
  ASSERT_EQ(upright.size(), 4u);
  piece_rotate(1);
  EXPECT_EQ(occupied(), upright) << "the turn would reach column 10";
}

TEST(PieceMoves, FallLocksOnTheFloorAndOnTheStack) {
  board_clear();
  place(3, 5.0f, 16.0f);  // square on rows 15..16
  piece_stamp(7);
  EXPECT_EQ(piece_fall(), 0);
  EXPECT_EQ(occupied(), (Cells{{4, 16}, {4, 17}, {5, 16}, {5, 17}}));
  EXPECT_NE(piece_fall(), 0) << "the floor";
  EXPECT_EQ(piece_current().y, 17.0f);
  EXPECT_EQ(board_get(4, 17), 7) << "a locked piece stays as ordinary cells";

  place(3, 5.0f, 1.0f);
  piece_stamp(7);
  for (int i = 0; i < 14; ++i) ASSERT_EQ(piece_fall(), 0);
  EXPECT_NE(piece_fall(), 0) << "lands on the first square";
  EXPECT_EQ(occupied().size(), 8u);
}

TEST(PieceMoves, LockAboveTheBoardKeepsOnlyTheInsideCells) {
  board_clear();
  for (int r = 1; r < BOARD_ROWS; ++r) board_set(4, float(r), 2);
  place(1, 4.5f, 0.0f);  // J: (3,-1) (3,0) (4,0) (5,0); (4,0) sits on the column
  EXPECT_NE(piece_fall(), 0);
  EXPECT_EQ(board_get(3, 0), 3);
  EXPECT_EQ(board_get(4, 0), 3);
  EXPECT_EQ(board_get(5, 0), 3);
  EXPECT_EQ(occupied().size(), 17u + 3u) << "the block above the board is lost";
}

TEST(BoardRows, FullMarkAndCollapse) {
  board_clear();
  fill_row(17, 4);
  EXPECT_EQ(board_row_full(17), 0);
  board_set(4, 17, 1);
  EXPECT_NE(board_row_full(17), 0);
  board_row_mark(17);
  for (int c = 0; c < BOARD_COLUMNS; ++c) EXPECT_EQ(board_get(float(c), 17), MARK_COLOUR);
}

TEST(BoardRows, CollapseKeepsTheOrderAbove) {
  board_clear();
  // Rows 0..5 of column 2 hold 1..6; row 6 is the one removed.
  for (int r = 0; r < 6; ++r) board_set(2, float(r), r + 1);
  fill_row(6);
  board_set(7, 9, 11);
  board_row_collapse(6);
  EXPECT_EQ(board_get(2, 0), 0) << "the top row comes in empty";
  for (int r = 1; r <= 6; ++r) EXPECT_EQ(board_get(2, float(r)), r) << "row " << r;
  EXPECT_EQ(board_get(7, 9), 11) << "rows below stay";
  EXPECT_EQ(board_get(0, 6), 0);

  board_clear();
  fill_row(0);
  board_set(5, 1, 3);
  board_row_collapse(0);
  EXPECT_EQ(occupied(), (Cells{{5, 1}})) << "collapsing row 0 only empties it";
}

TEST(BoardDraw, CellsAreThirteenPixelBlocksOverWhatWasThere) {
  test_machine_start();
  int32_t free_before = sprite_memory_free();
  board_sprites_create();
  EXPECT_EQ(sprite_memory_free(), free_before - 16) << "16 one-pixel sprites";
  BITMAP* back = machine_back_buffer();
  clear_to_color(back, 0x55);
  board_clear();
  board_set(0, 0, 3);
  board_set(9, 17, 15);
  board_draw(12);
  uint8_t first = colour_encode(COLOUR_MODE_LUMA, 12, 3);
  uint8_t last = colour_encode(COLOUR_MODE_LUMA, 12, 15);
  EXPECT_EQ(back->line[3][3], first);
  EXPECT_EQ(back->line[15][15], first);
  EXPECT_EQ(back->line[16][16], 0x55) << "the block ends at pixel 15";
  EXPECT_EQ(back->line[2][3], 0x55);
  EXPECT_EQ(back->line[224][120], last) << "cell (9, 17) starts at (120, 224)";
  EXPECT_EQ(back->line[236][132], last);
  EXPECT_EQ(test_count_pixels(back, first), 169);
  EXPECT_EQ(test_count_pixels(back, last), 169);
  EXPECT_EQ(test_count_pixels(back, 0x55), 320 * 240 - 2 * 169);
  board_sprites_destroy();
  EXPECT_EQ(sprite_memory_free(), free_before);
}
