// The playfield at its edges, where the golden replays do not go: the cells
// around the board, every piece as placed, turns and moves against walls and
// the stack and locks above the board. (Full rows and their collapse are in
// every line clear of the golden replays.) Pieces are spawned and moved
// through the game's own calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/board.h"

namespace {

const int KIND_COLOURS[PIECE_COUNT] = {1, 3, 5, 7, 4, 13, 15};  // I J L O T Z S

// The cells holding a non-zero byte, column by column: "4,16 4,17".
std::string board_cells() {
  std::string out;
  for (int c = 0; c < BOARD_COLUMNS; ++c)
    for (int r = 0; r < BOARD_ROWS; ++r)
      if (board_get(float(c), float(r)) != 0) out += (out.empty() ? "" : " ") + std::to_string(c) + "," + std::to_string(r);
  return out;
}

// Spawns pieces on an empty board until one of `kind` comes, told by the
// colour it is stamped in where it spawned (the bar spawns above the board,
// where nothing shows). Leaves the board empty.
void spawn(int kind) {
  for (int tries = 0; tries < 300; ++tries) {
    board_clear();
    piece_spawn();
    piece_move(0.0f);
    int colour = KIND_COLOURS[0];
    for (int c = 0; c < BOARD_COLUMNS; ++c)
      if (board_get(float(c), 0)) colour = board_get(float(c), 0);
    board_clear();
    if (colour == KIND_COLOURS[kind]) return;
  }
  ADD_FAILURE() << "no piece of colour " << KIND_COLOURS[kind];
}

}  // namespace

TEST(Board, CellsOutsideReadOccupiedExceptAbove) {
  board_clear();
  board_set(3, 0, 9);
  const struct { float x, y; int value; } cells[] = {
      {-1, 5, -1}, {10, 0, -1}, {3, 18, -1}, {3, -1, 0}, {9, -2.5f, 0},
      {-1, -1, -1}, {3.99f, 0.5f, 9}, {4, 0.5f, 0}, {-0.5f, 0, -1}};
  for (const auto& c : cells) EXPECT_EQ(board_get(c.x, c.y), c.value) << c.x << ", " << c.y;
  for (float x : {-1.0f, 10.0f, 3.0f})
    for (float y : {-1.0f, 18.0f}) board_set(x, y, 5);
  board_set(9.5f, 17.9f, 0x1FF);
  // Nothing is stored outside, and only the low byte inside.
  EXPECT_EQ(board_cells(), "3,0 9,17");
  EXPECT_EQ(board_get(9, 17), 0xFF);
  for (int row : {-1, BOARD_ROWS}) board_row_collapse(row);
  EXPECT_EQ(board_cells(), "3,0 9,17") << "a row outside collapses nothing";
  board_row_collapse(0);
  EXPECT_EQ(board_cells(), "9,17") << "the top row collapses to empty";
}

// Moves from the spawn place: L and R move, U turns, D falls.
struct Moves {
  int         kind;
  const char* ops;
  std::vector<std::pair<int, int>> stack;  // cells occupied before the spawn
  const char* cells;                        // the board afterwards
  int         locked;                       // what the last fall returned
};

const Moves MOVES[] = {
    // Each piece one row below its place at spawn; the bar was above the board.
    {0, "D", {}, "3,0 4,0 5,0 6,0", 0},      {1, "D", {}, "3,0 3,1 4,1 5,1", 0},
    {2, "D", {}, "3,1 4,1 5,0 5,1", 0},      {3, "D", {}, "4,0 4,1 5,0 5,1", 0},
    {4, "D", {}, "4,1 5,0 5,1 6,1", 0},      {5, "D", {}, "3,0 4,0 4,1 5,1", 0},
    {6, "D", {}, "3,1 4,0 4,1 5,0", 0},
    {3, "UUU", {}, "4,0 5,0", 0},                                  // the square turns onto itself
    {0, "U", {}, "4,0 4,1", 0},                                    // the bar stands up about its middle
    {4, "DDDDDU", {}, "4,5 5,4 5,5 5,6", 0},                       // the T's upper block goes left
    {4, "DDDDDUUUU", {}, "4,5 5,4 5,5 6,5", 0},                    // four turns are none
    {1, "LLLL", {}, "0,0 1,0 2,0", 0},                             // the left wall stops the J
    {0, "URRRRRRDDDU", {}, "9,1 9,2 9,3 9,4", 0},                  // the right wall stops a turn
    {3, "L", {{3, 0}}, "3,0 4,0 5,0", 0},                          // the stack stops a move
    {3, "DDDDDDDDDDDDDDDDDD", {}, "4,16 4,17 5,16 5,17", -1},      // 17 falls, then the floor
    {1, "D", {{4, 1}}, "3,0 4,0 4,1 5,0", -1},                     // a lock above the board loses that block
};

class BoardMoves : public testing::TestWithParam<Moves> {};

TEST_P(BoardMoves, EndWhereTheRulesSay) {
  const Moves& m = GetParam();
  spawn(m.kind);
  for (auto [c, r] : m.stack) board_set(float(c), float(r), 2);
  int locked = 0;
  for (const char* op = m.ops; *op; ++op) {
    if (*op == 'L') piece_move(-1.0f);
    if (*op == 'R') piece_move(1.0f);
    if (*op == 'U') piece_rotate(1);
    if (*op == 'D') locked = piece_fall();
  }
  EXPECT_EQ(board_cells(), m.cells) << "kind " << m.kind << ", " << m.ops;
  EXPECT_EQ(locked, m.locked) << "kind " << m.kind << ", " << m.ops;
}

INSTANTIATE_TEST_SUITE_P(Rows, BoardMoves, testing::ValuesIn(MOVES),
                         [](const testing::TestParamInfo<Moves>& info) { return "Row" + std::to_string(info.index); });
