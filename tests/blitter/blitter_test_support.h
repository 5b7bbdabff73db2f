// Helpers shared by the blitter's tests: a started machine, sprites built
// from a pixel rule, and the bitmap they draw into.
#pragma once
#include <cerrno>
#include <cstdint>
#include <vector>

#include "blitter/draw_internal.h"
#include "blitter/sprite.h"
#include "tests/support/headless.h"

// The bitmap the tests draw into (320 x 240), as the machine's back buffer.
inline HostBitmap* test_target() {
  static HostBitmap* target = host_bitmap_create(SCREEN_WIDTH, SCREEN_HEIGHT);
  return target;
}

// Starts the machine (once) with the clock at a frame start, drawing into
// test_target(), and the host's error number cleared.
inline void blitter_test_start() {
  test_machine_start();
  draw_set_target(test_target());
  *host_errno() = 0;
}

// A width x height sprite in byte format whose pixel (i, j) is rule(i, j).
inline Sprite* make_sprite(int width, int height, int (*rule)(int, int), int32_t mode = COLOUR_MODE_LUMA,
                           int32_t key = 0) {
  std::vector<uint8_t> data(size_t(width > 0 ? width : 0) * size_t(height > 0 ? height : 0) + 1);
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) data[size_t(j * width + i)] = uint8_t(rule(i, j));
  return sprite_create(mode, data.data(), PIXEL_FORMAT_BYTE, width, height, key);
}

inline void clear_back_buffer(uint8_t value) { host_bitmap_clear(test_target(), value); }
inline uint8_t test_pixel(int column, int row) { return test_target()->line[row][column]; }
