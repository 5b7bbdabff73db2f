// Raw pictures: headerless files of one byte per pixel, row 0 first, with the
// pixel's 4-bit value in the top nibble (the bottom nibble is ignored). A
// picture may be stored inverted (value 15 - v), as the game's title is.
#pragma once
#include <cstdint>

struct Sprite;

// Reads the first width x height bytes of the file at `path` into `pixels`
// as 4-bit values (inverted when `inverted` is non-zero). -1 on success; 0
// when the file cannot be opened or is shorter, or a size is outside
// 0..512. Costs no machine cycles.
int32_t picture_read(const char* path, int32_t width, int32_t height, int32_t inverted,
                     uint8_t* pixels);

// Reads a raw picture into a COLOUR_MODE_LUMA Sprite with key `key` (its
// cost is sprite_create's). Null when the file is missing or short, or the
// sprite memory refuses it: a short file gives no picture rather than half
// of one.
Sprite* picture_load(const char* path, int32_t width, int32_t height, int32_t key,
                     int32_t inverted);
