// Sprites: pictures of up to 512 x 512 four-bit pixels, pre-rendered at
// creation into 16 host bitmaps of colour bytes, one per palette variant, so
// drawing only copies bytes. Owns the machine's 65536-byte sprite memory, which
// counts every picture as if stored packed two pixels to a byte.
#pragma once
#include <cstdint>

inline constexpr int32_t SPRITE_MEMORY_SIZE = 65536;  // bytes, set at machine start-up
inline constexpr int32_t SPRITE_MAX_SIZE = 512;        // pixels, width and height
inline constexpr int     SPRITE_VARIANTS = 16;

// How a pixel value p (0..15) and a palette variant v (0..15) build the offset
// form n of the colour byte (luma in bits 7..4, U in 3..2, V in 1..0).
inline constexpr int32_t COLOUR_MODE_LUMA = 0;         // n = p << 4 | v: pixel is brightness
inline constexpr int32_t COLOUR_MODE_CHROMA = 1;       // n = v << 4 | p (any mode but 0 and 2)
inline constexpr int32_t COLOUR_MODE_INTERLEAVED = 2;  // p3 p2 v3 v2 p1 v1 p0 v0

// Layout of the pixel data handed to sprite_create.
inline constexpr int32_t PIXEL_FORMAT_BYTE = 1;    // one pixel per byte, low nibble (any format but 2)
inline constexpr int32_t PIXEL_FORMAT_PACKED = 2;  // (width + 1) >> 1 bytes a row, left pixel high

// A picture made by sprite_create; programs hold it only by pointer.
struct Sprite;

// The stored colour byte (n XOR 0x0A) of pixel value `pixel` in palette
// variant `variant` under colour mode `mode`; only the low 4 bits of pixel and
// variant count. For a fixed mode and variant, different pixels give different
// bytes.
uint8_t colour_encode(int32_t mode, uint32_t pixel, uint32_t variant);

// Builds a Sprite from `data` (read only during the call, in `format`), every
// pixel in all 16 variants of colour `mode`, with `key` (low 4 bits) as the
// pixel value that keyed drawing skips. Takes height * ((width + 1) >> 1)
// bytes of sprite memory and charges width * height * 8 + 60 cycles.
// Returns null, with no effect at all (no memory taken, no cycles), when the
// charge exceeds the free sprite memory, a size is above 512 or negative, or
// the host cannot allocate the record or a bitmap. A 0 width or height is a
// valid empty sprite.
Sprite* sprite_create(int32_t mode, const uint8_t* data, int32_t format, int32_t width,
                      int32_t height, int32_t key);

// Frees the sprite's bitmaps and record, gives its memory charge back and
// charges 1 cycle. A null sprite is ignored and charges nothing.
void sprite_destroy(Sprite* sprite);

// Picture size in pixels (that of its bitmaps); 0 for a null sprite.
int32_t sprite_width(const Sprite* sprite);
int32_t sprite_height(const Sprite* sprite);

int32_t sprite_memory_free();  // bytes of sprite memory not taken
