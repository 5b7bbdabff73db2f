// The scaling, tilting and stretching drawing engine. Like a hardware
// blitter it walks the destination one scan line at a time and steps through
// the source with fixed-point increments: 16.16 on screen, 10.22 in the
// source. Each row may start somewhere else (tilt) and have its own scale
// (stretch). Screen arithmetic wraps at 32 bits like the machine's registers;
// only fixed_mul and fixed_div saturate.
#include "blitter/draw.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "blitter/draw_internal.h"
#include "blitter/fixed.h"
#include "blitter/sprite_internal.h"
#include "host/host.h"
#include "machine/clock.h"

namespace {

// Source positions are 10.22 fixed point (the source index is the position
// >> 22). They are held in 64 bits so that a sprite 512 pixels wide or high,
// whose end 512 << 22 = 2^31 does not fit 32 bits, draws like any other; for
// smaller sprites the wider type changes no result.
inline constexpr int SOURCE_FRACTION_BITS = 22;
inline constexpr int32_t SOURCE_STEP_DIVIDEND = 0x400000;  // 64.0 in 16.16: 1 / size in 10.22

HostBitmap* target;  // the back buffer drawn into: the machine's current one

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
int64_t span_length(const HostBitmap* bitmap, int64_t U, int32_t d, int32_t X) {
  const int64_t end = source_end(bitmap->w);
  if (U < 0 || U >= end || uint32_t(X) >= SCREEN_RIGHT_EDGE) return 0;
  const int64_t dest_left = SCREEN_WIDTH - (X >> 16);
  int64_t source_left = dest_left;  // d = 0 never leaves the source
  if (d > 0) source_left = (end - U + d - 1) / d;
  if (d < 0) source_left = U / -int64_t(d) + 1;
  return source_left < dest_left ? source_left : dest_left;
}

// Natural-size keyed copy: a byte of the source that equals the key leaves
// the destination byte, any other replaces it. Sixteen pixels at a time with
// SSE2 (byte compare and select), else eight at a time in a 64-bit word,
// where the test for "byte is not zero" is exact because no carry crosses a
// byte. Either picks the same bytes as the pixel-by-pixel loop. `key` is 0..255.
void copy_keyed_natural(uint8_t* out, const uint8_t* source, uint8_t key, int64_t count) {
  int64_t k = 0;
#if defined(__SSE2__)
  const __m128i keys = _mm_set1_epi8(char(key));
  for (; k + 16 <= count; k += 16) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + k));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + k));
    const __m128i keep = _mm_cmpeq_epi8(s, keys);  // 0xFF where the destination stays
    const __m128i mixed = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), mixed);
  }
#else
  constexpr uint64_t LOW_SEVEN = 0x7F7F7F7F7F7F7F7Full;
  constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;
  const uint64_t keys = 0x0101010101010101ull * key;
  for (; k + 8 <= count; k += 8) {
    uint64_t s, d;
    std::memcpy(&s, source + k, 8);
    std::memcpy(&d, out + k, 8);
    const uint64_t x = s ^ keys;                                     // 0 where s is the key
    const uint64_t differs = (((x & LOW_SEVEN) + LOW_SEVEN) | x) & HIGH_BITS;
    const uint64_t take = (differs >> 7) * 0xFF;                     // 0xFF where s is drawn
    d = (s & take) | (d & ~take);
    std::memcpy(out + k, &d, 8);
  }
#endif
  for (; k < count; ++k)
    if (source[k] != key) out[k] = source[k];
}

// Copies `count` pixels, skipping those equal to `key` when `keyed`. The step
// decides the way: consecutive bytes at natural size, memset runs when
// magnified 4 times or more, else one pixel at a time. All give the pixels of
// the last loop, which alone runs with the fast paths off.
template <bool keyed>
void copy_pixels(int64_t U, int32_t d, uint8_t* out, const uint8_t* source, int32_t key,
                 int64_t count) {
  if (d == SOURCE_STEP_DIVIDEND) {
    // Natural size: consecutive source bytes to consecutive columns. A key
    // outside 0..255 matches no colour byte, so nothing is skipped.
    const uint8_t* from = source + (U >> SOURCE_FRACTION_BITS);
    if (!keyed || key < 0 || key > 255) {
      std::memcpy(out, from, size_t(count));
    } else {
      copy_keyed_natural(out, from, uint8_t(key), count);
    }
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

// Where one destination row starts in the source and on screen: the steps of
// sprite_draw_row before its span. Sets the host's error number like them.
struct RowStart {
  int64_t U;  // source column position (10.22)
  int32_t d;  // source columns per destination pixel (10.22)
  int32_t X;  // first destination column (16.16, whole unless wrapped)
};

RowStart row_start(const HostBitmap* bitmap, int32_t X, int32_t W) {
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
  return {U, d, X};
}

// A draw without tilt or stretch gives every row the same left edge and size,
// so every visible row starts at the same source column and screen column and
// copies as many pixels. This works that out once, at the first visible row,
// where the row-by-row way would first do it, and remembers whether doing so
// set the host's error number: the row-by-row way sets it again at every visible row, so
// this does too, in the same place, in case something between two rows (the
// sound chip's host, behind machine_spend) changed the error number.
struct SteadyRows {
  bool    known = false;
  bool    sets_range_error = false;
  RowStart start{};
  int64_t count = 0;  // pixels each visible row copies
};

void steady_rows_prepare(SteadyRows& steady, const HostBitmap* bitmap, int32_t X, int32_t W) {
  int* error = host_errno();
  int saved = 0;
  if (error) {
    saved = *error;
    *error = 0;
  }
  steady.start = row_start(bitmap, X, W);
  steady.count = span_length(bitmap, steady.start.U, steady.start.d, steady.start.X);
  if (error) {
    steady.sets_range_error = *error == ERANGE;
    if (!steady.sets_range_error) *error = saved;
  }
  steady.known = true;
}

template <bool keyed>
void steady_row_draw(const SteadyRows& steady, const HostBitmap* bitmap, int32_t source_row,
                     int32_t dest_row, int32_t key) {
  if (steady.sets_range_error && host_errno()) *host_errno() = ERANGE;
  if (steady.count <= 0) return;
  uint8_t* out = target->line[dest_row] + (steady.start.X >> 16);
  const uint8_t* source = bitmap->line[source_row];
  if (bitmap->w == 1) {
    // One pixel wide: the whole row is that pixel (the count keeps U in the
    // source's only column).
    if (!keyed || source[0] != key) std::memset(out, source[0], size_t(steady.count));
    return;
  }
  copy_pixels<keyed>(steady.start.U, steady.start.d, out, source, key, steady.count);
}

// Draws source row `source_row` of `bitmap` on back-buffer row `dest_row`,
// the row's left edge at X and its per-pixel size W (both 16.16), skipping
// source bytes equal to `key` when `keyed`. The span runs while the source
// column lies in 0..w-1 and the destination column below 320. Rows outside
// 0..239 and W = 0 draw nothing. Charges nothing itself.
template <bool keyed>
void sprite_draw_row(const HostBitmap* bitmap, int32_t source_row, int32_t dest_row, int32_t X,
                     int32_t W, int32_t key) {
  if (dest_row < 0 || dest_row >= SCREEN_HEIGHT || W == 0 || !target) return;
  const RowStart start = row_start(bitmap, X, W);
  const int64_t count = span_length(bitmap, start.U, start.d, start.X);
  if (count > 0) {
    copy_pixels<keyed>(start.U, start.d, target->line[dest_row] + (start.X >> 16),
                       bitmap->line[source_row], key, count);
  }
}

// The common engine of sprite_draw and sprite_draw_keyed: the opaque or keyed
// choice is made once, at compile time, for the whole draw.
template <bool keyed>
void sprite_draw_rows(const Sprite* sprite, int32_t variant, int32_t x, int32_t y, int32_t hsize,
                      int32_t vsize, int32_t tilt, int32_t stretch) {
  if (!sprite || vsize == 0) return;
  const int v = variant & 15;
  machine_spend(DRAW_CALL_CYCLES);
  const int32_t vstep = fixed_div(SOURCE_STEP_DIVIDEND, vsize);
  // Shifting by half a pixel turns "centre covered" into "whole position
  // reached", so the sub-pixel steps below sample at pixel centres.
  int32_t X = fixed_wrap_sub(x, HALF_PIXEL);
  int32_t Y = fixed_wrap_sub(y, HALF_PIXEL);

  const HostBitmap* source = sprite->variant_bitmap[v];
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
  // Without tilt and stretch every row has the same geometry (see
  // SteadyRows); the choice is made once per draw.
  const bool steady = tilt == 0 && stretch == 0;
  const int32_t key = sprite->variant_key[v];
  SteadyRows rows;
  // The loop ends when the source runs out, not at the screen's edge: rows
  // off screen are charged like visible ones.
  while (R >= 0 && R < end) {
    const int32_t right = fixed_wrap_add(fixed_wrap_add(X, fixed_wrap_mul(w, W)), 0xFFFF) >> 16;
    const int32_t left = fixed_wrap_add(X, 0xFFFF) >> 16;  // >> rounds towards minus infinity
    machine_spend(DRAW_ROW_CYCLES + uint32_t(std::abs(right - left)));
    const int32_t source_row = int32_t(R >> SOURCE_FRACTION_BITS);
    const int32_t dest_row = Y >> 16;
    if (!steady) {
      sprite_draw_row<keyed>(source, source_row, dest_row, X, W, key);
    } else if (dest_row >= 0 && dest_row < SCREEN_HEIGHT && W != 0 && target) {
      if (!rows.known) steady_rows_prepare(rows, source, X, W);
      steady_row_draw<keyed>(rows, source, source_row, dest_row, key);
    }
    Y = fixed_wrap_add(Y, FIXED_ONE);
    X = fixed_wrap_add(X, tilt);
    W = fixed_wrap_add(W, stretch);
    R += vstep;
  }
}

}  // namespace

void draw_set_target(HostBitmap* back_buffer) { target = back_buffer; }

void sprite_draw(const Sprite* sprite, int32_t variant, int32_t x, int32_t y, int32_t hsize,
                 int32_t vsize, int32_t tilt, int32_t stretch) {
  sprite_draw_rows<false>(sprite, variant, x, y, hsize, vsize, tilt, stretch);
}

void sprite_draw_keyed(const Sprite* sprite, int32_t variant, int32_t x, int32_t y,
                       int32_t hsize, int32_t vsize, int32_t tilt, int32_t stretch) {
  sprite_draw_rows<true>(sprite, variant, x, y, hsize, vsize, tilt, stretch);
}
