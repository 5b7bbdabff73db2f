// The one PNG reader and writer of the project's tools and tests (libpng):
// machine pictures written through the palette, previews in grey, and
// picture sources read in any PNG colour type.
#pragma once
#include <cstdint>
#include <vector>

struct RGB;

// Writes `width` x `height` colour bytes (rows `stride` bytes apart) as an
// RGB PNG, each byte looked up in the 256-entry `palette` (components 0..63,
// scaled to 0..255). Returns -1 on success, 0 on failure.
int png_write_indexed(const char* path, int width, int height, const uint8_t* pixels, int stride,
                      const RGB* palette);

// The same, each pixel drawn as a `scale` x `scale` block (1..16).
int png_write_indexed_scaled(const char* path, int width, int height, const uint8_t* pixels,
                             int stride, const RGB* palette, int scale);

// Writes `width` x `height` 8-bit grey levels (rows without padding) as a
// grey PNG. Returns -1 on success, 0 on failure.
int png_write_grey(const char* path, int width, int height, const uint8_t* levels);

// Reads any PNG (grey, RGB, palette; with or without alpha or a tRNS chunk;
// 1 to 16 bits) as 8-bit non-premultiplied RGBA, sRGB-encoded as stored.
// Returns -1 on success, 0 on failure.
int png_read_rgba(const char* path, std::vector<uint8_t>& out, int& width, int& height);

// Reads any PNG and converts it to 8-bit grey, row after row without padding.
// Returns -1 on success, 0 on failure (then `out` is empty).
int png_read_grey(const char* path, std::vector<uint8_t>& out, int& width, int& height);

// Reads any PNG as 8-bit RGB triples. Returns -1 on success, 0 on failure.
int png_read_rgb(const char* path, std::vector<uint8_t>& out, int& width, int& height);
