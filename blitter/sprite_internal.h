// A Sprite's insides, for the drawing engine, and the sprite memory's
// start-up. Programs see a Sprite only through blitter/sprite.h.
#pragma once
#include <cstdint>

#include "blitter/sprite.h"

struct HostBitmap;

struct Sprite {
  HostBitmap* variant_bitmap[16];  // 8-bit bitmaps, width x height, indexed by variant; owned
  int32_t     variant_key[16];     // colour byte (0..255) of the key pixel value in each variant
  int32_t     memory_charge;       // bytes taken from the sprite memory, given back on destroy
};

void sprite_memory_set(int32_t bytes);  // machine start-up sets SPRITE_MEMORY_SIZE
