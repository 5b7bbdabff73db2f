#include "blitter/draw.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blitter/draw_internal.h"
#include "blitter/fixed.h"
#include "machine/palette.h"
#include "tests/blitter/blitter_test_support.h"
#include "tools/common/png_io.h"

namespace {

constexpr int32_t ONE = 0x10000;
constexpr int32_t px(int pixels) { return pixels * ONE; }
constexpr uint8_t BACKGROUND = 0x01;  // variant 11's low nibble: not drawn here

// The test sprites, each a picture whose value changes along both axes, so a
// shifted, mirrored or rescaled row or column shows.
struct TestSprite {
  int w, h;
  int32_t mode, key;
  int (*rule)(int i, int j);
};
const TestSprite SPRITES[] = {
    {8, 8, COLOUR_MODE_LUMA, 0, [](int i, int j) { return (i + 3 * j + 1) & 15; }},
    {1, 1, COLOUR_MODE_CHROMA, 0, [](int, int) { return 10; }},  // the fill: 16 greys
    {512, 512, COLOUR_MODE_LUMA, 0, [](int i, int j) { return ((i >> 4) * 5 + (j >> 4) * 3 + i + 2 * j) & 15; }},
    {195, 26, COLOUR_MODE_LUMA, 0, [](int i, int j) {  // the title: frame, holes, ramp
       return i == 0 || j == 0 || i == 194 || j == 25 ? 15 : (i / 5 + j / 5) % 4 == 0 ? 0 : 4 + i * 11 / 195;
     }},
    {33, 5, COLOUR_MODE_INTERLEAVED, 5, [](int i, int j) { return (i * 7 + j * 3 + (i * j) / 5) & 15; }},
    {7, 9, COLOUR_MODE_LUMA, 15, [](int i, int j) { return (i * 5 + j * 11) & 15; }},
};

struct Draw {
  int sprite;
  int32_t variant, x, y, hsize, vsize, tilt, stretch;
  bool keyed;
};

// Starts the machine with room for every test sprite, draws `draw` on the
// background `before` and returns the cycles it charged.
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
    draw_set_fast_paths(1);
  }
  uint32_t draw(const Draw& d) {
    uint32_t before = machine_total_cycles();
    (d.keyed ? sprite_draw_keyed : sprite_draw)(d.sprite < 0 ? nullptr : sprites[size_t(d.sprite)],
                                                 d.variant, d.x, d.y, d.hsize, d.vsize, d.tilt, d.stretch);
    return machine_total_cycles() - before;
  }
};

std::string describe(const Draw& d) {
  char text[160];
  std::snprintf(text, sizeof text, "sprite %d variant %d at %d,%d size %d,%d tilt %d stretch %d%s", d.sprite,
                d.variant, d.x, d.y, d.hsize, d.vsize, d.tilt, d.stretch, d.keyed ? " keyed" : "");
  return text;
}

}  // namespace

// --- 16.16 arithmetic ------------------------------------------------------

TEST(Fixed, ProductsAndQuotientsSaturateWithErange) {
  const struct { bool div; int32_t a, b, want; bool overflow; } rows[] = {
      {false, 0x18000, 0x20000, 0x30000, false},  {false, -0x18000, 0x20000, -0x30000, false},
      {false, -1, 1, -1, false},  // the shift rounds towards minus infinity
      {false, 1, 1, 0, false},    {false, INT32_MIN, ONE, INT32_MIN, false},
      {false, 0x7FFFFFFF, ONE, 0x7FFFFFFF, false}, {false, 0x8000, INT32_MIN, -0x40000000, false},
      {false, 0x7FFFFFFF, 0x20000, 0x7FFFFFFF, true}, {false, -0x7FFFFFFF, 0x20000, -0x7FFFFFFF, true},
      {false, 0x7FFFFFFF, -0x20000, -0x7FFFFFFF, true}, {false, -0x40000000, -0x40000000, 0x7FFFFFFF, true},
      {false, INT32_MIN, -ONE, 0x7FFFFFFF, true},  // 2^31 does not fit: never 0x80000000
      {false, 0x40000000, 0x20000, 0x7FFFFFFF, true},
      {true, 0x400000, ONE, 0x400000, false},       {true, 0x400000, 2 * ONE, 0x200000, false},
      {true, 0x400000, ONE / 2, 0x800000, false},   {true, 0x400000, -ONE, -0x400000, false},
      {true, -1, 3, -21845, false},  // truncates towards zero
      {true, 0x400000, 0x81, 0x7F01FC07, false},    {true, 0x400000, -0x81, -0x7F01FC07, false},
      {true, 0x400000, 0x80, 0x7FFFFFFF, true},     {true, 0x400000, -0x80, -0x7FFFFFFF, true},
      {true, 0x400000, 0x40, 0x7FFFFFFF, true},     {true, 5, 0, 0x7FFFFFFF, true},
      {true, -5, 0, -0x7FFFFFFF, true},             {true, INT32_MIN, 0x40000000, -0x20000, false},
      {true, INT32_MIN, ONE, -0x7FFFFFFF, true},
  };
  blitter_test_start();  // allegro_errno points somewhere once Allegro runs
  for (const auto& row : rows) {
    *allegro_errno = 0;
    EXPECT_EQ(row.div ? fixed_div(row.a, row.b) : fixed_mul(row.a, row.b), row.want)
        << (row.div ? "div " : "mul ") << row.a << ", " << row.b;
    EXPECT_EQ(*allegro_errno, row.overflow ? ERANGE : 0) << (row.div ? "div " : "mul ") << row.a << ", " << row.b;
  }
}

// --- worked draws: the picture, the cycles and the error number --------------

namespace {

struct Source {
  int i, j;  // the source pixel a back-buffer pixel shows; outside the sprite: untouched
};
struct WorkedDraw {
  Draw draw;
  uint32_t cycles;
  bool overflow;
  Source (*shows)(int c, int r);
};

// 8 x 8 sprite 0, 1 x 1 sprite 1 and 512 x 512 sprite 2.
const WorkedDraw WORKED[] = {
    {{0, 0, px(20), px(30), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 20, r - 30}; }},
    {{0, 0, px(10) + 0x8000, px(50), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 10, r - 50}; }},
    {{0, 0, px(10) + 0x8001, px(50), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 11, r - 50}; }},
    {{0, 0, px(10) - 0x7FFF, px(50), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 10, r - 50}; }},
    {{0, 0, px(10) - 0x8000, px(50), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 9, r - 50}; }},
    {{0, 0, px(40), px(10) + 0x8000, ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 40, r - 10}; }},
    {{0, 0, px(40), px(10) + 0x8001, ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 40, r - 11}; }},
    {{0, 0, px(40), px(10) - 0x8001, ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 40, r - 9}; }},
    {{0, 0, px(100), px(50), -ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{99 - c, r - 50}; }},
    {{0, 0, px(60), px(100), ONE, -ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 60, 99 - r}; }},
    {{0, 0, px(100), px(100), -ONE, -ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{99 - c, 99 - r}; }},
    {{0, 0, px(20), px(20), 2 * ONE, 2 * ONE, 0, 0, false}, 25 + 16 * 31, false, [](int c, int r) { return Source{(c - 20) >> 1, (r - 20) >> 1}; }},
    {{0, 0, px(20), px(20), ONE / 2, ONE / 2, 0, 0, false}, 25 + 4 * 19, false, [](int c, int r) { return Source{2 * c - 39, 2 * r - 39}; }},
    // Row j's edge is measured at its centre: x + tilt * (j + 0.5).
    {{0, 0, px(10), px(10), ONE, ONE, ONE, 0, false}, 209, false, [](int c, int r) { return Source{c - r, r - 10}; }},
    // Upside down, the tilt is wound back by the 8 source rows.
    {{0, 0, px(50), px(50), ONE, -ONE, ONE, 0, false}, 209, false, [](int c, int r) { return Source{c - r, 49 - r}; }},
    // vsize 0.5 samples source rows 1, 3, 5, 7; row k is 2 + 2k pixels a source pixel.
    {{0, 0, px(10), px(10), ONE, ONE / 2, 0, 2 * ONE, false}, 25 + 4 * 15 + 8 * (2 + 4 + 6 + 8), false,
     [](int c, int r) { return c < 10 || r < 10 ? Source{-1, 0} : Source{(c - 10) / (2 * r - 18), 2 * r - 19}; }},
    {{0, 0, px(-3), px(5), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c + 3, r - 5}; }},
    {{0, 0, px(3), px(5), -ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{2 - c, r - 5}; }},
    {{0, 0, px(316), px(236), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 316, r - 236}; }},
    {{0, 0, px(40), px(300), ONE, ONE, 0, 0, false}, 209, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, px(-4000), px(-40), 2 * ONE, ONE, 0, 0, false}, 25 + 8 * 31, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, 0x7FFF8001, px(120), ONE, ONE, 0, 0, true}, 209, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, px(40), px(40), 0, ONE, 0, 0, false}, 25 + 8 * 15, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, px(40), px(40), ONE, 0, 0, 0, true}, 0, false, [](int, int) { return Source{-1, 0}; }},
    {{-1, 0, px(40), px(40), ONE, ONE, 0, 0, false}, 0, false, [](int, int) { return Source{-1, 0}; }},
    {{0, 0, px(10), px(10) + 0x8000, ONE, 0x80, 0, 0, false}, 48, true, [](int c, int r) { return Source{c - 10, r == 10 ? 0 : -1}; }},
    {{0, 0, px(10), px(10) + 0x8000, ONE, 0x81, 0, 0, false}, 48, false, [](int c, int r) { return Source{c - 10, r == 10 ? 0 : -1}; }},
    {{0, 0, px(10) + 0x8000, px(10), 0x80, ONE, 0, 0, false}, 25 + 8 * 16, true, [](int c, int r) { return Source{c == 10 ? 0 : -1, r - 10}; }},
    {{0, 16, px(10), px(10), ONE, ONE, 0, 0, false}, 209, false, [](int c, int r) { return Source{c - 10, r - 10}; }},
    {{0, -1, px(10), px(10), ONE, ONE, 0, 0, true}, 209, false, [](int c, int r) { return Source{c - 10, r - 10}; }},
    {{0, 0x7FFFFFF3, px(30), px(40), ONE, ONE, 0, 0, true}, 209, false, [](int c, int r) { return Source{c - 30, r - 40}; }},
    {{1, 7, 0, 0, px(320), px(240), 0, 0, false}, 80425, false, [](int, int) { return Source{0, 0}; }},
    {{1, 3, px(13), px(26), px(13), px(13), 0, 0, true}, 25 + 13 * 28, false,
     [](int c, int r) { return Source{c >= 13 && c < 26 ? 0 : -1, r >= 26 && r < 39 ? 0 : -1}; }},
    {{2, 0, px(-192), px(-272), ONE, ONE, 0, 0, false}, 269849, false, [](int c, int r) { return Source{c + 192, r + 272}; }},
    {{2, 0, px(320), px(240), -ONE, -ONE, 0, 0, true}, 269849, false, [](int c, int r) { return Source{319 - c, 239 - r}; }},
    {{2, 0, 0, 0, ONE / 2, ONE / 2, 0, 0, false}, 25 + 256 * 271, false, [](int c, int r) { return Source{2 * c + 1, 2 * r + 1}; }},
};

}  // namespace

TEST(Draw, WorkedDrawsGiveTheirPixelsCyclesAndErrorNumber) {
  Drawing drawing;
  for (const WorkedDraw& row : WORKED) {
    const Draw& d = row.draw;
    clear_back_buffer(BACKGROUND);
    *allegro_errno = 0;
    EXPECT_EQ(drawing.draw(d), row.cycles) << describe(d);
    EXPECT_EQ(*allegro_errno, row.overflow ? ERANGE : 0) << describe(d);
    const TestSprite& s = SPRITES[d.sprite < 0 ? 0 : d.sprite];
    int wrong = 0;
    for (int r = 0; r < SCREEN_HEIGHT; ++r) {
      for (int c = 0; c < SCREEN_WIDTH; ++c) {
        const Source from = row.shows(c, r);
        const bool inside = d.sprite >= 0 && from.i >= 0 && from.i < s.w && from.j >= 0 && from.j < s.h;
        const int value = inside ? s.rule(from.i, from.j) : 0;
        const bool drawn = inside && !(d.keyed && value == (s.key & 15));
        const uint8_t want = drawn ? colour_encode(s.mode, uint32_t(value), uint32_t(d.variant)) : BACKGROUND;
        if (back_pixel(c, r) != want && ++wrong <= 3)
          ADD_FAILURE() << describe(d) << ": (" << c << "," << r << ") is " << int(back_pixel(c, r))
                        << ", want " << int(want);
      }
    }
  }
}

// --- golden pictures ---------------------------------------------------------

namespace {

// A collage of draws of every kind, on screen and across its edges.
std::vector<Draw> collage() {
  std::vector<Draw> draws;
  uint32_t seed = 77;
  auto next = [&seed](uint32_t n) { seed = seed * 1664525u + 1013904223u; return int32_t((seed >> 8) % n); };
  for (int k = 0; k < 60; ++k) {
    Draw d{0, next(32), px(next(440) - 60) + next(ONE), px(next(320) - 40) + next(ONE), 0, 0, 0, 0, next(2) == 1};
    static const int kinds[] = {0, 3, 4, 5};
    d.sprite = kinds[next(4)];
    d.hsize = next(4) == 0 ? ONE : (next(2) ? 1 : -1) * (0x2000 + next(0x30000));
    d.vsize = next(4) == 0 ? -ONE : (next(2) ? 1 : -1) * (0x4000 + next(0x40000));
    if (next(3) == 0) d.tilt = next(0x40000) - 0x20000;
    if (next(3) == 0) d.stretch = next(0x1000) - 0x800;
    draws.push_back(d);
  }
  return draws;
}

const struct Golden {
  const char* name;
  std::vector<Draw> draws;
} GOLDENS[] = {
    {"scaled", {{3, 10, px(10), px(8), 3 * ONE / 2, 3 * ONE, 0, 0, true},
                {3, 10, px(20) + 0x4000, px(100), 3 * ONE / 4, ONE, 0, 0, true},
                {3, 5, px(180), px(100), ONE / 3, 5 * ONE / 2, 0, 0, false},
                {3, 10, px(4), px(150), 8 * ONE / 5, 7 * ONE / 2, 0, 0, true}}},
    {"mirrored", {{3, 10, px(62) + 0x8000, px(10), ONE, ONE, 0, 0, true},
                  {3, 10, px(257) + 0x8000, px(50), -ONE, ONE, 0, 0, true},
                  {3, 10, px(62) + 0x8000, px(140), ONE, -2 * ONE, 0, 0, true},
                  {3, 10, px(257) + 0x8000, px(230), -ONE, -3 * ONE / 2, 0, 0, true}}},
    {"tilted", {{3, 10, px(40), px(10), ONE, 2 * ONE, 3 * ONE / 4, 0, true},
                {3, 10, px(280) - 195 * ONE, px(130), ONE, 2 * ONE, -3 * ONE / 4, 0, true}}},
    // Tilt that takes back half the growth keeps the rows centred: a trapezoid.
    {"stretched", {{3, 10, px(20), px(8), 2 * ONE / 5, 4 * ONE, 0, ONE / 100, true},
                   {3, 10, px(160) - 195 * ONE / 4, px(122), ONE / 2, 4 * ONE, -195 * (ONE / 200), ONE / 100, true}}},
    // The title reveal's first distorted frame: v = 14500.
    {"title_reveal", {{3, 10, px(62) + 0x8000, px(10), ONE, ONE + 4 * 14500, -63 * 14500, 14500, true}}},
    {"collage", collage()},
};

class GoldenPicture : public testing::TestWithParam<Golden> {};

}  // namespace

// The back buffer, as the RGB picture the palette makes of it, against
// tests/blitter/golden/<name>.png. QUADRILLO_UPDATE_GOLDEN=1 rewrites the
// golden instead; a mismatch leaves <name>.actual.png beside it.
TEST_P(GoldenPicture, MatchesItsGolden) {
  Drawing drawing;
  clear_to_color(machine_back_buffer(), 0x24);  // dark blue: luma 2, U +1
  for (const Draw& d : GetParam().draws) drawing.draw(d);
  const std::string golden = std::string(BLITTER_GOLDEN_DIR) + "/" + GetParam().name;
  const char* update = std::getenv("QUADRILLO_UPDATE_GOLDEN");
  const std::string written = update && std::string(update) == "1" ? golden + ".png" : golden + ".actual.png";
  PALETTE palette;
  palette_compute(palette);
  BITMAP* b = machine_back_buffer();
  ASSERT_EQ(png_write_indexed(written.c_str(), 320, 240, b->line[0], int(b->line[1] - b->line[0]), palette), -1);
  std::vector<uint8_t> want, got;
  int w = 0, h = 0;
  ASSERT_EQ(png_read_rgb(written.c_str(), got, w, h), -1);
  ASSERT_EQ(png_read_rgb((golden + ".png").c_str(), want, w, h), -1) << "no golden " << golden;
  EXPECT_TRUE(want == got) << "the picture drawn differs from the golden; see " << written;
  if (want == got && written != golden + ".png") std::remove(written.c_str());
}

INSTANTIATE_TEST_SUITE_P(Blitter, GoldenPicture, testing::ValuesIn(GOLDENS),
                         [](const testing::TestParamInfo<Golden>& info) { return std::string(info.param.name); });

// --- the fast paths against the plain per-pixel engine ----------------------

// Natural-size rows copied or key-selected many bytes at a time, memset runs of
// magnified pixels and the row geometry of untilted draws worked out once must
// give what the engine gives with them off: pixels, cycles and error number.
TEST(DrawFastPaths, RandomDrawsMatchThePlainEngine) {
  Drawing drawing;
  uint32_t seed = 2026;
  auto next = [&seed](uint32_t n) { seed = seed * 1664525u + 1013904223u; return int32_t((seed >> 8) % n); };
  auto pick = [&next](std::initializer_list<int32_t> values) { return *(values.begin() + next(uint32_t(values.size()))); };
  auto position = [&](int extent) {
    const int32_t whole = px(next(uint32_t(extent) + 400) - 200);
    return pick({whole, whole + ONE / 2, whole + next(ONE), INT32_MIN, INT32_MAX, 0x7FFF8001, whole - next(ONE)});
  };
  auto size = [&](bool extreme) {
    const int32_t sign = next(2) ? -1 : 1;
    return sign * pick({ONE, ONE, ONE, px(1 + next(24)), 0x200 + next(0x60000), next(0x180), extreme ? 0x7FFFFFFF : ONE, 0});
  };
  auto slant = [&] { return pick({0, 0, 0, next(0x60000) - 0x30000, ONE, INT32_MIN, int32_t(seed)}); };
  std::vector<uint8_t> before(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT), fast(before.size());
  for (int trial = 0; trial < 3000; ++trial) {
    Draw d{next(6), pick({0, 5, 10, 15, 16, -1, int32_t(seed)}), position(320), position(240), size(true), 0,
           slant(), slant(), next(2) == 1};
    d.vsize = size(SPRITES[d.sprite].h < 10);
    if (d.sprite == 1 && next(2)) d.hsize = px(1 + next(320)), d.vsize = px(1 + next(240));
    BITMAP* b = machine_back_buffer();
    for (uint8_t& byte : before) byte = uint8_t(next(256));
    uint32_t cycles[2];
    int error[2];
    for (int plain = 0; plain < 2; ++plain) {
      for (int r = 0; r < SCREEN_HEIGHT; ++r) std::memcpy(b->line[r], &before[size_t(r) * 320], 320);
      draw_set_fast_paths(!plain);
      *allegro_errno = 0;
      cycles[plain] = drawing.draw(d);
      error[plain] = *allegro_errno;
      for (int r = 0; r < SCREEN_HEIGHT && !plain; ++r) std::memcpy(&fast[size_t(r) * 320], b->line[r], 320);
    }
    for (int r = 0; r < SCREEN_HEIGHT; ++r)
      ASSERT_EQ(std::memcmp(&fast[size_t(r) * 320], b->line[r], 320), 0) << describe(d) << " row " << r;
    ASSERT_EQ(cycles[0], cycles[1]) << describe(d);
    ASSERT_EQ(error[0], error[1]) << describe(d);
  }
}
