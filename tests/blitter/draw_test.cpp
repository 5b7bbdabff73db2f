#include "blitter/draw.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "blitter/fixed.h"
#include "blitter/sprite_internal.h"
#include "tests/blitter/blitter_test_support.h"

namespace {

constexpr int32_t ONE = 0x10000;
constexpr int32_t px(int pixels) { return pixels * ONE; }
constexpr uint8_t BACKGROUND = 0x01;  // variant 11's low nibble: not drawn here

// Test pictures whose values change along both axes, so that a shifted,
// mirrored or rescaled row or column shows.
const struct TestSprite { int w, h; int32_t mode, key; int (*rule)(int i, int j); } SPRITES[] = {
    {8, 8, COLOUR_MODE_LUMA, 0, [](int i, int j) { return (i + 3 * j + 1) & 15; }},
    {1, 1, COLOUR_MODE_CHROMA, 10, [](int, int) { return 10; }},  // the fill: 16 greys; keyed, nothing
    {512, 512, COLOUR_MODE_LUMA, 0, [](int i, int j) { return ((i >> 4) * 5 + (j >> 4) * 3 + i + 2 * j) & 15; }},
    {195, 26, COLOUR_MODE_LUMA, 0, [](int i, int j) {  // the title: frame, holes, ramp
       return i == 0 || j == 0 || i == 194 || j == 25 ? 15 : (i / 5 + j / 5) % 4 == 0 ? 0 : 4 + i * 11 / 195;
     }},
    {33, 5, COLOUR_MODE_INTERLEAVED, 5, [](int i, int j) { return (i * 7 + j * 3 + (i * j) / 5) & 15; }},
    {7, 9, COLOUR_MODE_LUMA, 15, [](int i, int j) { return (i * 5 + j * 11) & 15; }},  // key byte 0xFF in variant 5
    {2, 3, COLOUR_MODE_LUMA, 0, [](int i, int j) { return i * 7 + j + 1; }},  // two columns: not one spread
};

struct Draw { int sprite; int32_t variant, x, y, hsize, vsize, tilt, stretch; bool keyed; };  // sprite -1: none

// The machine with every test sprite made; draw() returns the cycles charged.
struct Drawing {
  std::vector<Sprite*> sprites;
  Drawing() {
    blitter_test_start();
    sprite_memory_set(4 * SPRITE_MEMORY_SIZE);
    for (const TestSprite& s : SPRITES) sprites.push_back(make_sprite(s.w, s.h, s.rule, s.mode, s.key));
  }
  ~Drawing() {
    for (Sprite* s : sprites) sprite_destroy(s);
    sprite_memory_set(SPRITE_MEMORY_SIZE);
  }
  uint32_t draw(const Draw& d) {
    uint32_t before = machine_total_cycles();
    Sprite* s = d.sprite < 0 ? nullptr : sprites[size_t(d.sprite)];
    (d.keyed ? sprite_draw_keyed : sprite_draw)(s, d.variant, d.x, d.y, d.hsize, d.vsize, d.tilt, d.stretch);
    return machine_total_cycles() - before;
  }
};

}  // namespace

TEST(Fixed, ProductsAndQuotientsSaturateWithErange) {
  const struct { bool div; int32_t a, b, want; bool overflow; } rows[] = {
      {false, -0x18000, 0x20000, -0x30000, false}, {false, -1, 1, -1, false}, {false, INT32_MIN, ONE, INT32_MIN, false},
      {false, 0x7FFFFFFF, -0x20000, -0x7FFFFFFF, true}, {false, -0x40000000, -0x40000000, 0x7FFFFFFF, true},
      {false, INT32_MIN, -ONE, 0x7FFFFFFF, true}, {false, 0x40000000, 0x20000, 0x7FFFFFFF, true},  // never 0x80000000
      {true, 0x400000, -ONE / 2, -0x800000, false}, {true, -1, 3, -21845, false},  // truncated towards zero
      {true, 0x400000, 0x81, 0x7F01FC07, false}, {true, 0x400000, -0x80, -0x7FFFFFFF, true},
      {true, 0x400000, 0x40, 0x7FFFFFFF, true}, {true, -5, 0, -0x7FFFFFFF, true},
      {true, INT32_MIN, 0x40000000, -0x20000, false}, {true, INT32_MIN, ONE, -0x7FFFFFFF, true}};
  blitter_test_start();  // the error number exists once the host runs
  for (const auto& row : rows) {
    *host_errno() = 0;
    EXPECT_EQ(row.div ? fixed_div(row.a, row.b) : fixed_mul(row.a, row.b), row.want) << row.div << " " << row.a << " " << row.b;
    EXPECT_EQ(*host_errno(), row.overflow ? ERANGE : 0) << row.div << " " << row.a << " " << row.b;
  }
}

namespace {

// Which source pixel a back-buffer pixel (c, r) shows; outside the sprite, it
// keeps the background.
struct Source { int i, j; };
const struct WorkedDraw { Draw draw; uint32_t cycles; bool overflow; Source (*shows)(int c, int r); } WORKED[] = {
    // 8 x 8 at natural size: 25 + 8 rows of 15 + 8. The first column is the first whose centre is at or right of x.
    {{0, 0, px(20), px(30), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 20, r - 30}; }},
    {{0, 0, px(10) + 0x8000, px(50), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 10, r - 50}; }},
    {{0, 0, px(10) + 0x8001, px(50), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 11, r - 50}; }},
    {{0, 0, px(40), px(10) + 0x8001, ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 40, r - 11}; }},
    // Mirrored left of x and above y.
    {{0, 0, px(100), px(50), -ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{99 - c, r - 50}; }},
    // Mirrored wholly left of the screen, its start a hair before the source's first column: nothing.
    {{0, 0, ONE / 2, px(10), -ONE, ONE, 0, 0, false}, 209, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, px(60), px(100), ONE, -ONE, 0, 0, true}, 209, false, [](int c, int r) { return Source{c - 60, 99 - r}; }},
    // Upside down, the tilt is wound back by the 8 source rows: row 42 starts in column 42.
    {{0, 0, px(50), px(50), ONE, -ONE, ONE, 0, false}, 209, false, [](int c, int r) { return Source{c - r, 49 - r}; }},
    // Tilted across the bottom edge: rows past 239 are charged, not drawn.
    {{0, 0, px(20), px(236), ONE, ONE, ONE, 0, false}, 209, false, [](int c, int r) { return Source{c - r + 216, r - 236}; }},
    // Clipped at the edges; off screen every row is still charged.
    {{0, 0, px(-3), px(5), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c + 3, r - 5}; }},
    {{0, 0, px(316), px(236), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 316, r - 236}; }},
    {{0, 0, px(40), px(300), ONE, ONE, 0, 0, false}, 209, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, 0x7FFF8001, px(120), ONE, ONE, 0, 0, true}, 209, false, [](int, int) { return Source{-1, 0}; }},  // wraps
    {{0, 0, px(40), px(40), 0, ONE, 0, 0, false}, 25 + 8 * 15, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, px(40), px(40), ONE, 0, 0, 0, true}, 0, false, [](int, int) { return Source{-1, 0}; }},
    {{-1, 0, px(40), px(40), ONE, ONE, 0, 0, false}, 0, false, [](int, int) { return Source{-1, 0}; }},
    // Sizes of 1/512 pixel or less saturate the step: one row, or one pixel a row.
    {{0, 0, px(10), px(10) + 0x8000, ONE, 0x80, 0, 0, false}, 48, true, [](int c, int r) { return Source{c - 10, r == 10 ? 0 : -1}; }},
    {{0, 0, px(10), px(10) + 0x8000, ONE, 0x81, 0, 0, false}, 48, false, [](int c, int r) { return Source{c - 10, r == 10 ? 0 : -1}; }},
    {{0, 0, px(10) + 0x8000, px(10), 0x80, ONE, 0, 0, false}, 25 + 8 * 16, true, [](int c, int r) { return Source{c == 10 ? 0 : -1, r - 10}; }},
    // Only the variant's low 4 bits count; keyed draws skip the key pixels.
    {{0, 16, px(10), px(10), ONE, ONE, 0, 0, true}, 209, false, [](int c, int r) { return Source{c - 10, r - 10}; }},
    {{6, 0, px(30), px(40), px(3), ONE, 0, 0, false}, 25 + 3 * 21, false, [](int c, int r) { return Source{c / 3 - 10, r - 40}; }},
    {{6, 0, px(30) + ONE / 2, px(40), px(4), ONE, 0, 0, false}, 25 + 3 * 23, false, [](int c, int r) { return Source{c < 30 ? -1 : (c - 30) / 4, r - 40}; }},
    // Stretched from mirrored through nothing (no error) to natural size.
    {{6, 0, px(30), px(40) + ONE / 2, -ONE, ONE, 0, ONE, false}, 25 + 3 * 15 + 4, false,
     [](int c, int r) { return Source{r == 40 ? 29 - c : r == 42 ? c - 30 : -1, r - 40}; }},
    // A pixel filling the screen.
    {{1, 7, 0, 0, px(320), px(240), 0, 0, false}, 80425, false, [](int, int) { return Source{0, 0}; }},
    // 512 x 512, down to its last pixel: 25 + 512 rows of 15 + 512.
    {{2, 0, px(-192), px(-272), ONE, ONE, 0, 0, false}, 269849, false, [](int c, int r) { return Source{c + 192, r + 272}; }},
    {{2, 0, px(320), px(240), -ONE, -ONE, 0, 0, true}, 269849, false, [](int c, int r) { return Source{319 - c, 239 - r}; }},
};

}  // namespace

TEST(Draw, WorkedDrawsGiveTheirPixelsCyclesAndErrorNumber) {
  Drawing drawing;
  for (const WorkedDraw& row : WORKED) {
    const Draw& d = row.draw;
    const std::string name = "worked draw " + std::to_string(&row - WORKED);
    clear_back_buffer(BACKGROUND);
    *host_errno() = 0;
    EXPECT_EQ(drawing.draw(d), row.cycles) << name;
    EXPECT_EQ(*host_errno(), row.overflow ? ERANGE : 0) << name;
    const TestSprite& s = SPRITES[d.sprite < 0 ? 0 : d.sprite];
    int wrong = 0;
    for (int n = 0; n < SCREEN_WIDTH * SCREEN_HEIGHT; ++n) {
      const int c = n % SCREEN_WIDTH, r = n / SCREEN_WIDTH;
      const Source from = row.shows(c, r);
      const bool inside = d.sprite >= 0 && from.i >= 0 && from.i < s.w && from.j >= 0 && from.j < s.h;
      const int value = inside ? s.rule(from.i, from.j) : 0;
      const bool drawn = inside && !(d.keyed && value == s.key);
      const uint8_t want = drawn ? colour_encode(s.mode, uint32_t(value), uint32_t(d.variant)) : BACKGROUND;
      if (test_pixel(c, r) != want && ++wrong <= 3)
        ADD_FAILURE() << name << ": pixel " << c << "," << r << " is " << int(test_pixel(c, r)) << ", want " << int(want);
    }
  }
}
