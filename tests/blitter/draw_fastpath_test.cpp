// The drawing engine's fast paths (natural-size rows copied or key-selected
// many bytes at a time, memset runs, row geometry worked out once per
// untilted draw) against the engine with them turned off and against a
// reference written here that follows the machine's algorithm one step at a
// time: every pixel, every cycle charged and allegro_errno must agree.
#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blitter/draw.h"
#include "blitter/draw_internal.h"
#include "blitter/sprite.h"
#include "machine/machine.h"
#include "tests/blitter/blitter_test_support.h"

namespace {

constexpr int32_t ONE = 0x10000;
constexpr size_t PICTURE_BYTES = size_t(SCREEN_WIDTH) * SCREEN_HEIGHT;

using Picture = std::vector<uint8_t>;  // 320 x 240 colour bytes, row after row

// --- the reference: the machine's rules, one step at a time ------------------

int32_t wrap_add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
int32_t wrap_sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
int32_t wrap_mul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

// 16.16 product, shifted right by 16 (towards minus infinity); saturates to
// 0x7FFFFFFF negated once per negative operand.
int32_t ref_mul(int32_t a, int32_t b, bool& range_error) {
  const int64_t result = (int64_t(a) * int64_t(b)) >> 16;
  if (result > INT32_MAX || result < INT32_MIN) {
    range_error = true;
    int32_t saturated = 0x7FFFFFFF;
    if (a < 0) saturated = -saturated;
    if (b < 0) saturated = -saturated;
    return saturated;
  }
  return int32_t(result);
}

// |a| * 65536 / |b| truncated; overflow when (|a| >> 16) >= |b| or bit 31 of
// the quotient is set; negated when exactly one operand is negative.
int32_t ref_div(int32_t a, int32_t b, bool& range_error) {
  const uint64_t abs_a = a < 0 ? uint64_t(-int64_t(a)) : uint64_t(a);
  const uint64_t abs_b = b < 0 ? uint64_t(-int64_t(b)) : uint64_t(b);
  uint64_t quotient = 0x7FFFFFFF;
  if ((abs_a >> 16) >= abs_b) {
    range_error = true;
  } else {
    quotient = (abs_a << 16) / abs_b;
    if (quotient & 0x80000000u) {
      range_error = true;
      quotient = 0x7FFFFFFF;
    }
  }
  return ((a < 0) != (b < 0)) ? -int32_t(quotient) : int32_t(quotient);
}

struct ReferenceResult {
  uint32_t cycles = 0;
  bool     range_error = false;
};

// One destination row, then its span: pixel by pixel while the source column
// is in 0..w-1 and the destination column in 0..319. Source positions are
// 64-bit, as the engine holds them, so 512-pixel sprites draw. A row start
// that wrapped below 0 draws nothing (the engine's choice).
void ref_row(const BITMAP* bitmap, int32_t source_row, int32_t dest_row, int32_t X, int32_t W,
             int32_t key, bool keyed, Picture& picture, ReferenceResult& result) {
  if (dest_row < 0 || dest_row >= SCREEN_HEIGHT || W == 0) return;
  const int32_t w = bitmap->w;
  const int32_t d = ref_div(0x400000, W, result.range_error);
  int64_t U = 0;
  if (d < 0) {
    U = (int64_t(w) << 22) - 1;
    X = wrap_add(X, wrap_mul(w, W));
  }
  if (X < 0) {
    U += ref_mul(int32_t(0u - uint32_t(X)), d, result.range_error);
    X = 0;
  }
  if ((X & 0xFFFF) != 0) {
    const int32_t m = 0x10000 - (X & 0xFFFF);
    U += ref_mul(m, d, result.range_error);
    X = wrap_add(X, m);
  }
  const uint8_t* source = bitmap->line[source_row];
  uint8_t* dest = &picture[size_t(dest_row) * SCREEN_WIDTH];
  while (U < (int64_t(w) << 22) && U >= 0 && X >= 0 && (X & int32_t(0xFFFF0000)) < 0x1400000) {
    const uint8_t pixel = source[U >> 22];
    if (!keyed || pixel != key) dest[X >> 16] = pixel;
    U += d;
    X += 0x10000;
  }
}

ReferenceResult ref_draw(const Sprite* sprite, int32_t variant, int32_t x, int32_t y,
                         int32_t hsize, int32_t vsize, int32_t tilt, int32_t stretch, bool keyed,
                         Picture& picture) {
  ReferenceResult result;
  if (!sprite || vsize == 0) return result;
  const int v = variant & 15;
  result.cycles += 25;
  const int32_t vstep = ref_div(0x400000, vsize, result.range_error);
  int32_t X = wrap_sub(x, 0x8000);
  int32_t Y = wrap_sub(y, 0x8000);
  const BITMAP* source = sprite->variant_bitmap[v];
  const int32_t w = sprite->variant_bitmap[0]->w;
  const int32_t h = sprite->variant_bitmap[0]->h;
  int32_t W = hsize;
  int64_t R = 0;
  if (vsize < 0) {
    Y = wrap_add(Y, wrap_mul(h, vsize));
    X = wrap_sub(X, wrap_mul(h, tilt));
    W = wrap_sub(hsize, wrap_mul(h, stretch));
    R = (int64_t(h) << 22) - 1;
  }
  const int32_t f = Y & 0xFFFF;
  if (f != 0) {
    const int32_t m = 0x10000 - f;
    R += ref_mul(m, vstep, result.range_error);
    W = wrap_add(W, ref_mul(m, stretch, result.range_error));
    X = wrap_add(X, ref_mul(m, tilt, result.range_error));
    Y = wrap_add(Y, m);
  }
  while (R >= 0 && R < (int64_t(h) << 22)) {
    const int32_t right = wrap_add(wrap_add(X, wrap_mul(w, W)), 0xFFFF) >> 16;
    const int32_t left = wrap_add(X, 0xFFFF) >> 16;
    result.cycles += 15 + uint32_t(std::abs(right - left));
    ref_row(source, int32_t(R >> 22), Y >> 16, X, W, sprite->variant_key[v], keyed, picture,
            result);
    Y = wrap_add(Y, 0x10000);
    X = wrap_add(X, tilt);
    W = wrap_add(W, stretch);
    R += vstep;
  }
  return result;
}

// --- the engine, fast and general --------------------------------------------

struct EngineResult {
  Picture  picture;
  uint32_t cycles;
  int      error;  // allegro_errno after the draw (0 before it)
};

Picture read_back_buffer() {
  Picture picture(PICTURE_BYTES);
  BITMAP* back = machine_back_buffer();
  for (int r = 0; r < SCREEN_HEIGHT; ++r)
    std::memcpy(&picture[size_t(r) * SCREEN_WIDTH], back->line[r], SCREEN_WIDTH);
  return picture;
}

void write_back_buffer(const Picture& picture) {
  BITMAP* back = machine_back_buffer();
  for (int r = 0; r < SCREEN_HEIGHT; ++r)
    std::memcpy(back->line[r], &picture[size_t(r) * SCREEN_WIDTH], SCREEN_WIDTH);
}

struct DrawCase {
  int     sprite;  // index into the fixture's sprites
  int32_t variant, x, y, hsize, vsize, tilt, stretch;
  bool    keyed;
};

std::string describe(const DrawCase& c, const Sprite* s) {
  return "sprite " + std::to_string(sprite_width(s)) + "x" + std::to_string(sprite_height(s)) +
         " variant " + std::to_string(c.variant) + " x " + std::to_string(c.x) + " y " +
         std::to_string(c.y) + " hsize " + std::to_string(c.hsize) + " vsize " +
         std::to_string(c.vsize) + " tilt " + std::to_string(c.tilt) + " stretch " +
         std::to_string(c.stretch) + (c.keyed ? " keyed" : " opaque");
}

EngineResult engine_draw(const Sprite* s, const DrawCase& c, const Picture& before, int fast) {
  write_back_buffer(before);
  draw_set_fast_paths(fast);
  *allegro_errno = 0;
  const uint32_t start = machine_total_cycles();
  if (c.keyed) {
    sprite_draw_keyed(s, c.variant, c.x, c.y, c.hsize, c.vsize, c.tilt, c.stretch);
  } else {
    sprite_draw(s, c.variant, c.x, c.y, c.hsize, c.vsize, c.tilt, c.stretch);
  }
  EngineResult result{read_back_buffer(), machine_total_cycles() - start, *allegro_errno};
  draw_set_fast_paths(1);
  return result;
}

// Where two pictures differ first, for the failure message.
std::string first_difference(const Picture& got, const Picture& want) {
  for (size_t i = 0; i < PICTURE_BYTES; ++i)
    if (got[i] != want[i])
      return "(" + std::to_string(i % SCREEN_WIDTH) + "," + std::to_string(i / SCREEN_WIDTH) +
             "): " + std::to_string(got[i]) + " instead of " + std::to_string(want[i]);
  return "none";
}

uint32_t lcg_step(uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  return seed >> 8;
}

struct FastPathFixture : testing::Test {
  std::vector<Sprite*> sprites;
  uint32_t seed = 2026;

  void SetUp() override {
    blitter_test_start();
    sprite_memory_set(4 * SPRITE_MEMORY_SIZE);
    // Pixel rules with the key value (0) scattered through every picture.
    auto pattern = [](int i, int j) { return (i * 7 + j * 3 + (i * j) / 5) & 15; };
    sprites.push_back(make_sprite(1, 1, [](int, int) { return 10; }, COLOUR_MODE_CHROMA));
    sprites.push_back(make_sprite(1, 1, [](int, int) { return 0; }));  // the key itself
    sprites.push_back(make_sprite(1, 3, pattern));
    sprites.push_back(make_sprite(7, 9, pattern));                     // a glyph
    sprites.push_back(make_sprite(13, 5, pattern, COLOUR_MODE_INTERLEAVED, 5));
    sprites.push_back(make_sprite(40, 30, pattern));
    sprites.push_back(make_sprite(195, 26, pattern, COLOUR_MODE_LUMA, 0));  // the title
    sprites.push_back(make_sprite(320, 240, pattern));                      // a backdrop
    sprites.push_back(make_sprite(512, 2, pattern));
    sprites.push_back(make_sprite(3, 512, pattern));
    for (Sprite* s : sprites) ASSERT_NE(s, nullptr);
  }
  void TearDown() override {
    draw_set_fast_paths(1);
    for (Sprite* s : sprites) sprite_destroy(s);
    sprite_memory_set(SPRITE_MEMORY_SIZE);
  }

  // A background of every colour byte, so keyed draws leave visible holes.
  Picture random_background() {
    Picture picture(PICTURE_BYTES);
    for (uint8_t& b : picture) b = uint8_t(lcg_step(seed));
    return picture;
  }

  // Draws the case three ways from the same background and compares.
  void check(const DrawCase& c) {
    const Sprite* s = sprites[size_t(c.sprite)];
    const Picture before = random_background();
    const EngineResult fast = engine_draw(s, c, before, 1);
    const EngineResult general = engine_draw(s, c, before, 0);
    Picture want = before;
    const ReferenceResult reference =
        ref_draw(s, c.variant, c.x, c.y, c.hsize, c.vsize, c.tilt, c.stretch, c.keyed, want);
    const std::string what = describe(c, s);
    ASSERT_TRUE(fast.picture == want) << what << ": fast path " << first_difference(fast.picture, want);
    ASSERT_TRUE(general.picture == want)
        << what << ": general path " << first_difference(general.picture, want);
    ASSERT_EQ(fast.cycles, reference.cycles) << what;
    ASSERT_EQ(general.cycles, reference.cycles) << what;
    const int want_error = reference.range_error ? ERANGE : 0;
    ASSERT_EQ(fast.error, want_error) << what;
    ASSERT_EQ(general.error, want_error) << what;
  }

  int32_t pick(std::initializer_list<int32_t> values) {
    return *(values.begin() + lcg_step(seed) % values.size());
  }

  // Positions: whole pixels, halves and random fractions, on screen, at the
  // edges and far off it, now and then the extremes of the 32-bit range.
  int32_t random_position(int extent) {
    const uint32_t kind = lcg_step(seed) % 10;
    const int32_t whole = int32_t(lcg_step(seed) % uint32_t(extent + 400)) - 200;
    if (kind < 4) return whole * ONE;
    if (kind < 5) return whole * ONE + ONE / 2;
    if (kind < 9) return whole * ONE + int32_t(lcg_step(seed) & 0xFFFF);
    return pick({INT32_MIN, INT32_MAX, -0x7FFF8000, 0x7FFF8001, int32_t(lcg_step(seed) << 8)});
  }

  // Sizes: exactly 1.0 most often (the natural-size paths), whole
  // magnifications (runs), fractions, mirrors, and sizes so small they
  // saturate. `large` allows the extremes, whose row counts are huge.
  int32_t random_size(bool allow_zero, bool large) {
    const uint32_t kind = lcg_step(seed) % 20;
    const int32_t sign = (lcg_step(seed) & 1) ? -1 : 1;
    if (kind < 7) return ONE;
    if (kind < 9) return -ONE;
    if (kind < 13) return sign * int32_t(1 + lcg_step(seed) % 24) * ONE;
    if (kind < 17) return sign * int32_t(0x200 + lcg_step(seed) % 0x60000);
    if (kind < 18) return sign * int32_t(lcg_step(seed) % 0x180 + (allow_zero ? 0 : 1));
    if (kind < 19 && large) return sign * 0x7FFFFFFF;
    return allow_zero ? 0 : ONE / 2;
  }

  int32_t random_slant() {
    const uint32_t kind = lcg_step(seed) % 10;
    if (kind < 6) return 0;
    if (kind < 9) return int32_t(lcg_step(seed) % 0x60000) - 0x30000;
    return pick({ONE, -ONE, 0x7FFFFFFF, INT32_MIN, int32_t(lcg_step(seed) << 8)});
  }
};

}  // namespace

// The draws the game makes, each way: the backdrop, the plain fill, a board
// cell, a glyph, the title, mirrored and clipped variants of them.
TEST_F(FastPathFixture, TheGamesOwnDrawsMatchTheReference) {
  const DrawCase cases[] = {
      {7, 10, 0, 0, ONE, ONE, 0, 0, false},                       // backdrop 1:1
      {7, 10, 0, 0, ONE, ONE, 0, 0, true},                        // keyed 1:1
      {7, 3, -17 * ONE + 0x4000, 9 * ONE + 0x8001, ONE, ONE, 0, 0, true},
      {7, 3, 200 * ONE, -100 * ONE, -ONE, -ONE, 0, 0, true},      // mirrored, clipped
      {0, 3, 0, 0, 320 * ONE, 240 * ONE, 0, 0, false},            // the plain fill
      {0, 15, 0, 0, 320 * ONE, 240 * ONE, 0, 0, true},
      {1, 4, 3 * ONE, 3 * ONE, 13 * ONE, 13 * ONE, 0, 0, true},   // a cell of the key colour
      {0, 4, 120 * ONE, 224 * ONE, 13 * ONE, 13 * ONE, 0, 0, false},  // a cell over the bottom
      {3, 9, 180 * ONE, 3 * ONE, ONE, ONE, 0, 0, true},           // a glyph
      {3, 9, 318 * ONE, 235 * ONE, ONE, ONE, 0, 0, true},         // a glyph at the corner
      {6, 10, 62 * ONE + ONE / 2, 10 * ONE, ONE, ONE + 58000, -63 * 14500, 14500, true},
      {6, 10, 62 * ONE + ONE / 2, 10 * ONE, ONE, ONE, 0, 0, true},  // the title at rest
      {8, 16, -100 * ONE, 50 * ONE, ONE, 3 * ONE, 0, 0, false},   // 512 wide, variant 16
      {9, -1, 50 * ONE, -200 * ONE, 5 * ONE, ONE, 0, 0, true},    // 512 high, variant 15
  };
  for (const DrawCase& c : cases) {
    check(c);
    if (HasFatalFailure()) return;
  }
}

// Random cases across positions, sizes, mirrors, tilts, stretches, variants,
// keyed and opaque, on and off screen.
TEST_F(FastPathFixture, RandomDrawsMatchTheGeneralPathAndTheReference) {
  int checked = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    DrawCase c;
    c.sprite = int(lcg_step(seed) % sprites.size());
    const Sprite* s = sprites[size_t(c.sprite)];
    // Extreme vertical sizes give millions of rows on a tall sprite.
    const bool large = sprite_height(s) <= 9;
    c.variant = pick({0, 1, 5, 10, 15, 16, -1, 31, int32_t(lcg_step(seed))});
    c.x = random_position(SCREEN_WIDTH);
    c.y = random_position(SCREEN_HEIGHT);
    c.hsize = random_size(true, true);
    c.vsize = random_size(true, large);
    if (sprite_width(s) == 1 && lcg_step(seed) % 2) {
      // The fill: whole magnifications to the screen's size.
      c.hsize = int32_t(1 + lcg_step(seed) % 320) * ONE;
      c.vsize = int32_t(1 + lcg_step(seed) % 240) * ONE;
    }
    c.tilt = random_slant();
    c.stretch = random_slant();
    c.keyed = lcg_step(seed) & 1;
    check(c);
    if (HasFatalFailure()) return;
    ++checked;
  }
  EXPECT_EQ(checked, 3000);
}

// A key that no colour byte can equal skips nothing, also on the row copies
// that select many bytes at once.
TEST_F(FastPathFixture, KeyOutsideAByteSkipsNothingAtNaturalSize) {
  const BITMAP* bitmap = sprites[7]->variant_bitmap[0];
  for (int32_t key : {-1, 256, 0x100 | bitmap->line[0][0]}) {
    for (int start = 0; start < 40; start += 7) {
      uint8_t got[SCREEN_WIDTH], want[SCREEN_WIDTH];
      std::memset(got, 0xEE, sizeof got);
      std::memset(want, 0xEE, sizeof want);
      std::memcpy(want + start, bitmap->line[0], size_t(SCREEN_WIDTH - start));
      span_copy_keyed(bitmap, 0, 0x400000, start * ONE, got, bitmap->line[0], key);
      EXPECT_EQ(std::memcmp(got, want, sizeof got), 0) << "key " << key << " start " << start;
    }
  }
}
