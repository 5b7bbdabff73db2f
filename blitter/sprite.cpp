// Sprite objects and the sprite memory. Colour conversion happens once, here:
// each pixel is written into 16 bitmaps, one per palette variant, so the
// drawing engine only ever copies colour bytes.
#include "blitter/sprite.h"

#include <cstdlib>

#include "blitter/sprite_internal.h"
#include "machine/clock.h"
#include "host/host.h"
#include "machine/palette.h"

namespace {

int32_t sprite_memory;  // free bytes; only create and destroy change it

inline constexpr uint32_t CREATE_BASE_CYCLES = 60;
inline constexpr uint32_t CREATE_PIXEL_CYCLES = 8;
inline constexpr uint32_t DESTROY_CYCLES = 1;

Sprite* allocate_record() {
  return static_cast<Sprite*>(std::calloc(1, sizeof(Sprite)));
}

// Frees what a (possibly half-built) sprite holds, variant 15 first.
void release_sprite(Sprite* sprite) {
  for (int v = SPRITE_VARIANTS - 1; v >= 0; --v) {
    host_bitmap_destroy(sprite->variant_bitmap[v]);
  }
  std::free(sprite);
}

// The 4-bit pixel value at (column, row) of the caller's data.
uint32_t read_pixel(const uint8_t* data, int32_t format, int32_t width, int column, int row) {
  if (format == PIXEL_FORMAT_PACKED) {
    // The low nibble of an odd-width row's last byte belongs to no pixel.
    const int stride = (width + 1) >> 1;
    const uint8_t pair = data[row * stride + (column >> 1)];
    return (column & 1) ? (pair & 0x0Fu) : (pair >> 4);
  }
  return data[row * width + column] & 0x0Fu;
}

}  // namespace

void sprite_memory_set(int32_t bytes) { sprite_memory = bytes; }
int32_t sprite_memory_free() { return sprite_memory; }

uint8_t colour_encode(int32_t mode, uint32_t pixel, uint32_t variant) {
  const uint32_t p = pixel & 0x0Fu;
  const uint32_t v = variant & 0x0Fu;
  uint32_t n;
  if (mode == COLOUR_MODE_LUMA) {
    n = p << 4 | v;  // the pixel is the brightness, the variant the hue
  } else if (mode == COLOUR_MODE_INTERLEAVED) {
    // p3 p2 v3 v2 p1 v1 p0 v0: pixel and variant share luma and both tints.
    n = (p & 0xCu) << 4 | (v & 0xCu) << 2 | (p & 0x2u) << 2 | (v & 0x2u) << 1 |
        (p & 0x1u) << 1 | (v & 0x1u);
  } else {
    n = v << 4 | p;  // the variant is the brightness, the pixel the hue
  }
  return colour_from_offset(uint8_t(n));
}

Sprite* sprite_create(int32_t mode, const uint8_t* data, int32_t format, int32_t width,
                      int32_t height, int32_t key) {
  // Negative sizes are refused with the oversized ones: they would make a
  // negative charge that adds to the sprite memory. Past this test the charge
  // is at most 512 * 256 and cannot overflow.
  if (width < 0 || height < 0 || width > SPRITE_MAX_SIZE || height > SPRITE_MAX_SIZE) {
    return nullptr;
  }
  // Memory counts the packed 4-bit size, whatever the host really allocates.
  const int32_t charge = height * ((width + 1) >> 1);
  if (charge > sprite_memory) return nullptr;

  Sprite* sprite = allocate_record();
  if (!sprite) return nullptr;
  sprite->memory_charge = charge;
  for (int v = SPRITE_VARIANTS - 1; v >= 0; --v) {
    HostBitmap* bitmap = host_bitmap_create(width, height);
    if (!bitmap) {
      // Give back everything taken so far: nothing is charged yet.
      release_sprite(sprite);
      return nullptr;
    }
    sprite->variant_bitmap[v] = bitmap;
    sprite->variant_key[v] = colour_encode(mode, uint32_t(key), uint32_t(v));
  }
  // Rows outer, then all 16 variants of each pixel: the result is the same as
  // variant by variant, and each source byte is read once.
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const uint32_t p = read_pixel(data, format, width, column, row);
      for (int v = 0; v < SPRITE_VARIANTS; ++v) {
        sprite->variant_bitmap[v]->line[row][column] = colour_encode(mode, p, uint32_t(v));
      }
    }
  }
  sprite_memory -= charge;
  machine_spend(uint32_t(width) * uint32_t(height) * CREATE_PIXEL_CYCLES + CREATE_BASE_CYCLES);
  return sprite;
}

void sprite_destroy(Sprite* sprite) {
  if (!sprite) return;
  const int32_t charge = sprite->memory_charge;
  release_sprite(sprite);
  sprite_memory += charge;
  machine_spend(DESTROY_CYCLES);
}

int32_t sprite_width(const Sprite* sprite) { return sprite ? sprite->variant_bitmap[0]->w : 0; }
int32_t sprite_height(const Sprite* sprite) { return sprite ? sprite->variant_bitmap[0]->h : 0; }
