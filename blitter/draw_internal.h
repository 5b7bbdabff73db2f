// The drawing engine's inner routines, open to the blitter's tests: the row
// walker, one destination row, and the two span copiers.
//
// Source positions are 10.22 fixed point (the source index is the position
// >> 22). They are held in 64 bits so that a sprite 512 pixels wide or high,
// whose end 512 << 22 = 2^31 does not fit 32 bits, draws like any other; for
// smaller sprites the wider type changes no result.
#pragma once
#include <cstdint>

struct BITMAP;
struct Sprite;

inline constexpr int SOURCE_FRACTION_BITS = 22;
inline constexpr int32_t SOURCE_STEP_DIVIDEND = 0x400000;  // 64.0 in 16.16: 1 / size in 10.22

// Copies the pixels of one row. U: source column position (10.22), d: its step
// per destination pixel (10.22), X: destination column position (16.16, whole,
// >= 0). Goes on while the source column lies in 0..w-1 and the destination
// column below 320.
using SpanFunction = void (*)(const BITMAP* bitmap, int64_t U, int32_t d, int32_t X,
                              uint8_t* dest_row_pixels, const uint8_t* source_row_pixels,
                              int32_t key);

void span_copy(const BITMAP* bitmap, int64_t U, int32_t d, int32_t X, uint8_t* dest_row_pixels,
               const uint8_t* source_row_pixels, int32_t key);        // ignores key
void span_copy_keyed(const BITMAP* bitmap, int64_t U, int32_t d, int32_t X,
                     uint8_t* dest_row_pixels, const uint8_t* source_row_pixels,
                     int32_t key);  // skips source bytes equal to key

// Draws source row `source_row` of `bitmap` on back-buffer row `dest_row`,
// the row's left edge at X and its per-pixel size W (both 16.16). Rows outside
// 0..239 and W = 0 draw nothing. Charges nothing itself.
void sprite_draw_row(const BITMAP* bitmap, int32_t source_row, int32_t dest_row, int32_t X,
                     int32_t W, int32_t key, SpanFunction span);

// The fast paths (whole rows of natural size copied or key-selected eight
// bytes at a time, runs of a magnified pixel set with memset, and the row
// geometry of an untilted, unstretched draw worked out once per call) are on
// by default. Tests turn them off (0) to draw the same case through the plain
// per-pixel loop and compare pixels, cycle charges and allegro_errno.
void draw_set_fast_paths(int enabled);

// The common engine of sprite_draw and sprite_draw_keyed, with the span to use.
void sprite_draw_rows(const Sprite* sprite, int32_t variant, int32_t x, int32_t y, int32_t hsize,
                      int32_t vsize, int32_t tilt, int32_t stretch, SpanFunction span);
