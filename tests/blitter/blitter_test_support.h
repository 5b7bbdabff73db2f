// Helpers shared by the blitter's tests: a fresh machine with the whole
// sprite memory, sprites built from a pixel rule, and back-buffer access.
#pragma once
#include <allegro.h>

#include <cstdint>
#include <vector>

#include "blitter/sprite.h"
#include "machine/machine.h"
#include "tests/support/headless.h"

// Starts (or resets) the machine: clock at 0, all 65536 bytes of sprite
// memory free, Allegro's error number cleared.
inline void blitter_test_start() {
  test_machine_start();
  sprite_memory_set(SPRITE_MEMORY_SIZE);
  *allegro_errno = 0;
}

// A width x height sprite in byte format whose pixel (i, j) is rule(i, j).
inline Sprite* make_sprite(int width, int height, int (*rule)(int, int), int32_t mode = COLOUR_MODE_LUMA,
                           int32_t key = 0) {
  std::vector<uint8_t> data(size_t(width > 0 ? width : 0) * size_t(height > 0 ? height : 0) + 1);
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) data[size_t(j * width + i)] = uint8_t(rule(i, j));
  return sprite_create(mode, data.data(), PIXEL_FORMAT_BYTE, width, height, key);
}

inline uint8_t back_pixel(int column, int row) { return machine_back_buffer()->line[row][column]; }
inline void clear_back_buffer(uint8_t value) { clear_to_color(machine_back_buffer(), value); }
