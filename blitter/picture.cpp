// The one reader of raw pictures, for programs of the machine and its tools.
#include "blitter/picture.h"

#include <cstdio>

#include "blitter/sprite.h"

namespace {
uint8_t pixel_buffer[SPRITE_MAX_SIZE * SPRITE_MAX_SIZE];  // the picture being loaded
}

int32_t picture_read(const char* path, int32_t width, int32_t height, int32_t inverted,
                     uint8_t* pixels) {
  if (width < 0 || height < 0 || width > SPRITE_MAX_SIZE || height > SPRITE_MAX_SIZE) return 0;
  FILE* file = std::fopen(path, "rb");
  if (!file) return 0;
  const size_t size = size_t(width) * size_t(height);
  const size_t got = std::fread(pixels, 1, size, file);
  std::fclose(file);
  if (got != size) return 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t value = uint8_t(pixels[i] >> 4);
    pixels[i] = inverted ? uint8_t(15 - value) : value;
  }
  return -1;
}

Sprite* picture_load(const char* path, int32_t width, int32_t height, int32_t key,
                     int32_t inverted) {
  if (!picture_read(path, width, height, inverted, pixel_buffer)) return nullptr;
  return sprite_create(COLOUR_MODE_LUMA, pixel_buffer, PIXEL_FORMAT_BYTE, width, height, key);
}
