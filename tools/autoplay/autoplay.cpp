// quadrillo-autoplay: the real game played by a bot on the headless host,
// written out as the key script of what it held. Long games that no person
// would type by hand (many levels, clears of two, three and four rows, the
// fast gravity of the last levels) become golden replays this way: the script
// is an ordinary input of quadrillo-replay.
//
// The bot sees what a player sees: the board and the falling piece after each
// frame. For every new piece it weighs each turn and column it can reach by
// the stack it would leave (height, holes, bumps, rows cleared), then presses UP, LEFT and
// RIGHT one frame down and one frame up, as the game takes only fresh presses,
// and holds DOWN once the piece is in place.
#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "game/board.h"
#include "game/flow.h"
#include "game/score.h"
#include "host/headless/headless.h"
#include "host/keys.h"
#include "machine/machine.h"
#include "tools/common/cli.h"

namespace {

const char HELP[] =
    "Usage: quadrillo-autoplay [options] DATA_DIR OUTPUT.keys\n"
    "\n"
    "Plays Orvalin: Quadrillo headless with the data files of DATA_DIR and\n"
    "writes the keys held in each frame as a key script for quadrillo-replay\n"
    "(one line per frame). The run: the logo intro, the title reveal and the\n"
    "music that follows it, --wait frames of the title menu (whose scroller\n"
    "draws random numbers, so the wait chooses the game's pieces), SPACE, one\n"
    "game played until it has cleared --lines rows, then DOWN held until the\n"
    "game is over, X to leave the game over screen, and --menu frames of the\n"
    "title menu.\n"
    "\n"
    "Options:\n"
    "  -l, --lines N   rows to clear before giving up (1..100000; default 200)\n"
    "  -m, --menu N    frames of the title menu at the end (0..100000; default 100)\n"
    "  -t, --tower     first build the leftmost column up to the second row from\n"
    "                  the top, then play on: the rows cleared next bring down a\n"
    "                  stack that reaches nearly to the top\n"
    "  -w, --wait N    frames of the title menu before the game (0..100000;\n"
    "                  default 40); 0 presses SPACE in the title reveal instead\n";

const CliOption OPTIONS[] = {{"lines", 'l', "N"}, {"menu", 'm', "N"}, {"wait", 'w', "N"},
                             {"tower", 't', nullptr}};
const CliTool   TOOL = {"quadrillo-autoplay", HELP, OPTIONS, 4};

constexpr int REVEAL_SPACE_FRAME = 30;  // frames into the reveal when SPACE goes down
constexpr int GAME_OVER_FRAMES   = 80;  // frames of the darkening before X
constexpr int GIVE_UP_TRIES      = 8;   // presses that did not take before the bot drops as is
constexpr double TOWER_WEIGHT    = 2.0;  // per row of the leftmost column while --tower builds

using Keys = std::bitset<HOST_KEY_COUNT>;  // one bit per HostKey
using Grid = uint8_t[BOARD_COLUMNS][BOARD_ROWS];  // non-zero: occupied

struct Shape {
  float blocks[4][2];
};

struct Plan {
  int   turns;  // quarter turns from the piece as it spawned
  float x;      // the centre column to reach
};

struct Bot {
  long     lines_wanted = 200;
  long     menu_frames  = 100;
  long     wait         = 40;   // frames of the title menu before SPACE; 0: SPACE in the reveal
  uint64_t presents     = 0;
  int      state_frames = 0;  // frames in the present state
  int32_t  last_state   = -1;
  bool     give_up      = false;
  bool     done         = false;
  int32_t  lines_seen   = 0;
  long     clears[5]    = {};  // clears of 1..4 rows at once
  bool     planned      = false;
  bool     tower        = false;  // --tower: the leftmost column is still being built up
  Shape    target{};
  Plan     plan{};
  int      tries        = 0;
  Keys     last_keys;         // the bot's keys in the frame just run
  std::vector<std::string> script;
} bot;

Shape turned(const Shape& s, int turns) {
  Shape t = s;
  // The game's quarter turn: (bx, by) -> (by, -bx).
  for (int k = 0; k < turns; ++k)
    for (auto& b : t.blocks) {
      float bx = b[0];
      b[0] = b[1];
      b[1] = -bx;
    }
  return t;
}

bool fits(const Grid& grid, const Shape& s, float x, float y) {
  for (const auto& b : s.blocks) {
    int col = int(std::floor(x + b[0])), row = int(std::floor(y + b[1]));
    if (col < 0 || col >= BOARD_COLUMNS || row >= BOARD_ROWS) return false;
    if (row >= 0 && grid[col][row]) return false;
  }
  return true;
}

// How good the stack is that this placement leaves (higher is better).
double weigh(const Grid& before, const Shape& s, float x, float y) {
  Grid grid;
  for (int c = 0; c < BOARD_COLUMNS; ++c)
    for (int r = 0; r < BOARD_ROWS; ++r) grid[c][r] = before[c][r];
  for (const auto& b : s.blocks) {
    int col = int(std::floor(x + b[0])), row = int(std::floor(y + b[1]));
    if (row < 0) return -1e9;  // would stand out of the top
    grid[col][row] = 1;
  }
  int cleared = 0;
  for (int r = BOARD_ROWS - 1; r >= 0; --r) {
    bool full = true;
    for (int c = 0; c < BOARD_COLUMNS; ++c) full &= grid[c][r] != 0;
    if (!full) continue;
    ++cleared;
    for (int c = 0; c < BOARD_COLUMNS; ++c) {
      for (int k = r; k > 0; --k) grid[c][k] = grid[c][k - 1];
      grid[c][0] = 0;
    }
    ++r;  // the row that came down is tested again
  }
  int heights[BOARD_COLUMNS], holes = 0, total = 0, bumps = 0;
  for (int c = 0; c < BOARD_COLUMNS; ++c) {
    int r = 0;
    while (r < BOARD_ROWS && !grid[c][r]) ++r;
    heights[c] = BOARD_ROWS - r;
    total += heights[c];
    for (int k = r; k < BOARD_ROWS; ++k) holes += !grid[c][k];
    if (c > 0) bumps += std::abs(heights[c] - heights[c - 1]);
  }
  // The weights of a well-known one-piece player, tuned by others on a
  // taller board; they do well enough here to reach the last level.
  // While it builds the tower, a row more in the leftmost column outweighs
  // everything else, also the rows a placement would clear (which lower it).
  double column = bot.tower ? TOWER_WEIGHT * std::min(heights[0], BOARD_ROWS - 1) : 0.0;
  return -0.510066 * total + 0.760666 * cleared - 0.35663 * holes - 0.184483 * bumps + column;
}

void make_plan() {
  const Piece& piece = piece_current();
  Grid stack;
  for (int c = 0; c < BOARD_COLUMNS; ++c)
    for (int r = 0; r < BOARD_ROWS; ++r) stack[c][r] = board_get(float(c), float(r)) != 0;
  Shape spawned;
  for (int i = 0; i < 4; ++i) {
    spawned.blocks[i][0] = piece.blocks[i][0];
    spawned.blocks[i][1] = piece.blocks[i][1];
    // The piece is in the board while it falls: it is not part of the stack.
    int col = int(std::floor(piece.x + piece.blocks[i][0]));
    int row = int(std::floor(piece.y + piece.blocks[i][1]));
    if (col >= 0 && col < BOARD_COLUMNS && row >= 0 && row < BOARD_ROWS) stack[col][row] = 0;
  }
  if (stack[0][1]) bot.tower = false;  // built: from now on the bot plays to clear rows
  double best = -1e18;
  bot.plan = {0, piece.x};
  for (int turns = 0; turns < 4; ++turns) {
    Shape s = turned(spawned, turns);
    // A press takes two frames: the rows the piece falls meanwhile, at
    // this level's pace, must be free along the way.
    int32_t delay = score_state().gravity_delay;
    auto lower = [&](int presses) { return piece.y + float((2 * presses + delay - 1) / delay); };
    if (turns && !fits(stack, s, piece.x, lower(turns))) continue;  // no room to turn
    for (float x = piece.x - 6; x <= piece.x + 6; x += 1) {
      bool open = true;
      int  presses = turns;
      for (float step = piece.x; open && step != x;) {
        step += x > piece.x ? 1 : -1;
        presses = std::max(presses, int(std::fabs(step - piece.x)));
        open = fits(stack, s, step, lower(presses));
      }
      if (!open) continue;
      float y = piece.y;
      while (fits(stack, s, x, y + 1)) y += 1;
      double score = weigh(stack, s, x, y);
      if (score > best) {
        best = score;
        bot.plan = {turns, x};
      }
    }
  }
  bot.target = turned(spawned, bot.plan.turns);
  bot.tries = 0;
  bot.planned = true;
}

bool same_shape(const Piece& p, const Shape& s) {
  for (int i = 0; i < 4; ++i)
    if (p.blocks[i][0] != s.blocks[i][0] || p.blocks[i][1] != s.blocks[i][1]) return false;
  return true;
}

Keys bit(int key) { return Keys().set(size_t(key)); }

// A fresh press: down in this frame only if it was up in the last.
Keys press(int key) { return bot.last_keys[size_t(key)] ? Keys() : bit(key); }

Keys play_keys() {
  int32_t lines = score_state().lines;
  if (lines > bot.lines_seen) bot.clears[std::min(4, int(lines - bot.lines_seen))] += 1;
  bot.lines_seen = lines;
  if (score_state().lines >= bot.lines_wanted) bot.give_up = true;
  if (bot.give_up) return bit(HOST_KEY_DOWN);
  if (!bot.planned) make_plan();
  const Piece& piece = piece_current();
  Keys keys;
  bool turned_right = same_shape(piece, bot.target);
  if (!turned_right) keys |= press(HOST_KEY_UP);
  if (piece.x < bot.plan.x) keys |= press(HOST_KEY_RIGHT);
  if (piece.x > bot.plan.x) keys |= press(HOST_KEY_LEFT);
  if (turned_right && piece.x == bot.plan.x) return bit(HOST_KEY_DOWN);
  // A turn or a move that the stack blocks: go down as the piece stands.
  if (keys.any() && ++bot.tries > GIVE_UP_TRIES) return bit(HOST_KEY_DOWN);
  return keys;
}

// At each present: the keys of the next frame, from what this frame left.
void presented(const HostBitmap*) {
  if (++bot.presents < uint64_t(MACHINE_START_FRAMES)) return;
  int32_t state = game_current_state();
  bot.state_frames = state == bot.last_state ? bot.state_frames + 1 : 1;
  bot.last_state = state;
  Keys keys;
  switch (state) {
    case STATE_TITLE_REVEAL:
      if (!bot.wait && bot.state_frames == REVEAL_SPACE_FRAME) keys = bit(HOST_KEY_SPACE);
      break;
    case STATE_PLAY: keys = play_keys(); break;
    case STATE_GAME_OVER:
      bot.give_up = true;  // the stack reached the top before the rows wanted
      if (bot.state_frames == GAME_OVER_FRAMES) keys = bit(HOST_KEY_X);
      break;
    case STATE_TITLE_MENU:
      if (bot.wait && !bot.give_up && bot.state_frames == bot.wait) keys = bit(HOST_KEY_SPACE);
      if (bot.give_up && bot.state_frames >= bot.menu_frames) bot.done = true;
      break;
    default:
      bot.planned = false; break;  // a lock: the next piece gets its plan
  }
  bot.last_keys = keys;
  headless_release_keys();
  std::string line;
  for (const HostKeyName& key : HOST_KEY_NAMES) {
    if (!keys[size_t(key.code)]) continue;
    headless_key(key.code, -1);
    line += line.empty() ? "" : " ";
    line += key.name;
  }
  bot.script.push_back(line);
}

}  // namespace

int main(int argc, char** argv) {
  CliArgs args;
  int status = cli_parse(TOOL, argc, argv, args);
  if (status != CLI_GO_ON) return status;
  if (args.operands.size() != 2) return cli_fail(TOOL, CLI_USAGE, "give DATA_DIR and OUTPUT.keys");
  for (auto [name, value] : {std::pair{"lines", &bot.lines_wanted}, {"menu", &bot.menu_frames},
                             {"wait", &bot.wait}})
    if (const std::string* text = cli_value(args, name))
      if (!cli_number(TOOL, name, *text, name[0] == 'l' ? 1 : 0, 100000, *value)) return CLI_USAGE;
  bot.tower = cli_flag(args, "tower");
  FILE* out = std::fopen(args.operands[1].c_str(), "w");
  if (!out) return cli_fail(TOOL, CLI_FAILED, "cannot write " + args.operands[1]);
  std::error_code error;
  std::filesystem::current_path(args.operands[0], error);
  if (error) return cli_fail(TOOL, CLI_FAILED, "no folder " + args.operands[0]);
  HeadlessHost host{};
  host.presented = presented;
  headless_set(host);
  if (!game_start()) return cli_fail(TOOL, CLI_FAILED, "the game did not start");
  long frames = 0;
  while (game_frame() && !bot.done) ++frames;
  ++frames;
  game_stop();
  // The last line held the keys of a frame that was never run.
  for (long k = 0; k < frames && k < long(bot.script.size()); ++k)
    std::fprintf(out, "%s\n", bot.script[size_t(k)].c_str());
  std::fclose(out);
  std::fprintf(stderr,
               "quadrillo-autoplay: %ld frames, %d rows cleared (%ld single, %ld double, %ld triple, "
               "%ld quadruple), level %d\n",
               frames, int(score_state().lines), bot.clears[1], bot.clears[2], bot.clears[3],
               bot.clears[4], int(score_state().level));
  return CLI_OK;
}
