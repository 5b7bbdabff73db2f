// The scaling, tilting and stretching drawing engine. Like a hardware
// blitter it walks the destination one scan line at a time and steps through
// the source with fixed-point increments: 16.16 on screen, 10.22 in the
// source. Each row may start somewhere else (tilt) and have its own scale
// (stretch). Screen arithmetic wraps at 32 bits like the machine's registers;
// only fixed_mul and fixed_div saturate.
#include "blitter/draw.h"

#include <allegro.h>

#include <cstdlib>
#include <cstring>

#include "blitter/draw_internal.h"
#include "blitter/fixed.h"
#include "blitter/sprite.h"
#include "machine/machine.h"

namespace {

inline constexpr uint32_t DRAW_CALL_CYCLES = 25;
inline constexpr uint32_t DRAW_ROW_CYCLES = 15;  // plus one per spanned column
inline constexpr int32_t HALF_PIXEL = 0x8000;
inline constexpr int32_t FRACTION_MASK = 0xFFFF;
// Destination columns 0..319: the span stops once the whole part reaches 320.
inline constexpr uint32_t SCREEN_RIGHT_EDGE = uint32_t(SCREEN_WIDTH) << 16;

int64_t source_end(int size) { return int64_t(size) << SOURCE_FRACTION_BITS; }

// Scales of 4 and more copy runs of one source pixel with memset; below that
// a run is too short to pay for the division that measures it.
inline constexpr int32_t RUN_STEP_LIMIT = SOURCE_STEP_DIVIDEND / 4;

// How many pixels the span's loop copies: it runs while the source column
// lies in 0..w-1 (U in 0..(w << 22) - 1) and the destination column is below
// 320. Working the count out first leaves the copy loops with no tests. X is
// taken unsigned: a row start wrapped past 2^31 by the sub-pixel step is far
// right of the screen and copies nothing (tested signed, it would index below
// the row).
int64_t span_length(const BITMAP* bitmap, int64_t U, int32_t d, int32_t X) {
  const int64_t end = source_end(bitmap->w);
  if (U < 0 || U >= end || uint32_t(X) >= SCREEN_RIGHT_EDGE) return 0;
  const int64_t dest_left = SCREEN_WIDTH - (X >> 16);
  int64_t source_left = dest_left;  // d = 0 never leaves the source
  if (d > 0) source_left = (end - U + d - 1) / d;
  if (d < 0) source_left = U / -int64_t(d) + 1;
  return source_left < dest_left ? source_left : dest_left;
}

// Copies `count` pixels, skipping those equal to `key` when `keyed`.
template <bool keyed>
void copy_pixels(int64_t U, int32_t d, uint8_t* out, const uint8_t* source, int32_t key,
                 int64_t count) {
  if (!keyed && d == SOURCE_STEP_DIVIDEND) {
    // Natural size: consecutive source bytes to consecutive columns.
    std::memcpy(out, source + (U >> SOURCE_FRACTION_BITS), size_t(count));
    return;
  }
  if (d != 0 && d >= -RUN_STEP_LIMIT && d <= RUN_STEP_LIMIT) {
    // Magnified: each source pixel covers a run of columns.
    for (int64_t k = 0; k < count;) {
      const int64_t column = U >> SOURCE_FRACTION_BITS;
      int64_t run = d > 0 ? (((column + 1) << SOURCE_FRACTION_BITS) - U + d - 1) / d
                          : (U - (column << SOURCE_FRACTION_BITS)) / -int64_t(d) + 1;
      if (run > count - k) run = count - k;
      const uint8_t pixel = source[column];
      if (!keyed || pixel != key) std::memset(out + k, pixel, size_t(run));
      U += run * d;
      k += run;
    }
    return;
  }
  for (int64_t k = 0; k < count; ++k) {
    const uint8_t pixel = source[U >> SOURCE_FRACTION_BITS];
    if (!keyed || pixel != key) out[k] = pixel;
    U += d;
  }
}

}  // namespace

void span_copy(const BITMAP* bitmap, int64_t U, int32_t d, int32_t X, uint8_t* dest_row_pixels,
               const uint8_t* source_row_pixels, int32_t key) {
  const int64_t count = span_length(bitmap, U, d, X);
  if (count > 0) {
    copy_pixels<false>(U, d, dest_row_pixels + (X >> 16), source_row_pixels, key, count);
  }
}

void span_copy_keyed(const BITMAP* bitmap, int64_t U, int32_t d, int32_t X,
                     uint8_t* dest_row_pixels, const uint8_t* source_row_pixels, int32_t key) {
  const int64_t count = span_length(bitmap, U, d, X);
  if (count > 0) {
    copy_pixels<true>(U, d, dest_row_pixels + (X >> 16), source_row_pixels, key, count);
  }
}

void sprite_draw_row(const BITMAP* bitmap, int32_t source_row, int32_t dest_row, int32_t X,
                     int32_t W, int32_t key, SpanFunction span) {
  if (dest_row < 0 || dest_row >= SCREEN_HEIGHT || W == 0) return;
  const int32_t d = fixed_div(SOURCE_STEP_DIVIDEND, W);
  int64_t U = 0;
  if (d < 0) {
    // Mirrored: the row extends left of X. Start at its left edge and read
    // the source from its last column backwards.
    U = source_end(bitmap->w) - 1;
    X = fixed_wrap_add(X, fixed_wrap_mul(bitmap->w, W));
  }
  if (X < 0) {
    // Skip the source that falls left of the screen.
    U += fixed_mul(fixed_wrap_neg(X), d);
    X = 0;
  }
  if ((X & FRACTION_MASK) != 0) {
    // Move to the first column whose centre the row covers (X already holds
    // the half-pixel offset), sampling the source there.
    const int32_t m = FIXED_ONE - (X & FRACTION_MASK);
    U += fixed_mul(m, d);
    X = fixed_wrap_add(X, m);
  }
  span(bitmap, U, d, X, machine_back_buffer()->line[dest_row], bitmap->line[source_row], key);
}

void sprite_draw_rows(const Sprite* sprite, int32_t variant, int32_t x, int32_t y, int32_t hsize,
                      int32_t vsize, int32_t tilt, int32_t stretch, SpanFunction span) {
  if (!sprite || vsize == 0) return;
  const int v = variant & 15;
  machine_spend(DRAW_CALL_CYCLES);
  const int32_t vstep = fixed_div(SOURCE_STEP_DIVIDEND, vsize);
  // Shifting by half a pixel turns "centre covered" into "whole position
  // reached", so the sub-pixel steps below sample at pixel centres.
  int32_t X = fixed_wrap_sub(x, HALF_PIXEL);
  int32_t Y = fixed_wrap_sub(y, HALF_PIXEL);

  BITMAP* dest = machine_back_buffer();
  BITMAP* source = sprite->variant_bitmap[v];
  acquire_bitmap(dest);
  acquire_bitmap(source);
  const int32_t w = sprite->variant_bitmap[0]->w;
  const int32_t h = sprite->variant_bitmap[0]->h;
  const int64_t end = source_end(h);

  int32_t W = hsize;
  int64_t R = 0;
  if (vsize < 0) {
    // Upside down: start at the top of the picture's extent, i.e. at its
    // last source row. Tilt and stretch are wound back by h rows (not by
    // h * |vsize| destination rows) so the bottom row sits where x puts it.
    Y = fixed_wrap_add(Y, fixed_wrap_mul(h, vsize));
    X = fixed_wrap_sub(X, fixed_wrap_mul(h, tilt));
    W = fixed_wrap_sub(hsize, fixed_wrap_mul(h, stretch));
    R = end - 1;
  }
  const int32_t f = Y & FRACTION_MASK;
  if (f != 0) {
    // Advance to the first row whose centre lies at or below the upper edge.
    const int32_t m = FIXED_ONE - f;
    R += fixed_mul(m, vstep);
    W = fixed_wrap_add(W, fixed_mul(m, stretch));
    X = fixed_wrap_add(X, fixed_mul(m, tilt));
    Y = fixed_wrap_add(Y, m);
  }
  // The loop ends when the source runs out, not at the screen's edge: rows
  // off screen are charged like visible ones.
  while (R >= 0 && R < end) {
    const int32_t right = fixed_wrap_add(fixed_wrap_add(X, fixed_wrap_mul(w, W)), 0xFFFF) >> 16;
    const int32_t left = fixed_wrap_add(X, 0xFFFF) >> 16;  // >> rounds towards minus infinity
    machine_spend(DRAW_ROW_CYCLES + uint32_t(std::abs(right - left)));
    sprite_draw_row(source, int32_t(R >> SOURCE_FRACTION_BITS), Y >> 16, X, W,
                    sprite->variant_key[v], span);
    Y = fixed_wrap_add(Y, FIXED_ONE);
    X = fixed_wrap_add(X, tilt);
    W = fixed_wrap_add(W, stretch);
    R += vstep;
  }
  release_bitmap(dest);
  release_bitmap(source);
}

void sprite_draw(const Sprite* sprite, int32_t variant, int32_t x, int32_t y, int32_t hsize,
                 int32_t vsize, int32_t tilt, int32_t stretch) {
  sprite_draw_rows(sprite, variant, x, y, hsize, vsize, tilt, stretch, span_copy);
}

void sprite_draw_keyed(const Sprite* sprite, int32_t variant, int32_t x, int32_t y,
                       int32_t hsize, int32_t vsize, int32_t tilt, int32_t stretch) {
  sprite_draw_rows(sprite, variant, x, y, hsize, vsize, tilt, stretch, span_copy_keyed);
}
