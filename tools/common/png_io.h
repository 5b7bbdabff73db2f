// The one PNG reader and writer of the project's tools and tests (libpng):
// machine pictures written through the palette, previews in grey, and
// picture sources read in any PNG colour type.
#pragma once
#include <cstdint>
#include <vector>

// Writes `width` x `height` colour bytes (rows `stride` bytes apart) as an
// RGB PNG, each byte looked up in the 256-entry `palette` (components 0..63,
// scaled to 0..255). Returns -1 on success, 0 on failure.
int png_write_indexed(const char* path, int width, int height, const uint8_t* pixels, int stride,
                      const uint8_t palette[256][3]);

// The same, each pixel drawn as a `scale` x `scale` block (1..16).
int png_write_indexed_scaled(const char* path, int width, int height, const uint8_t* pixels,
                             int stride, const uint8_t palette[256][3], int scale);

// Writes `width` x `height` 8-bit grey levels (rows without padding) as a
// grey PNG. Returns -1 on success, 0 on failure.
int png_write_grey(const char* path, int width, int height, const uint8_t* levels);

// The most pixels (width x height) a PNG read here may have: 50 megapixels,
// room for any camera's photo. A PNG's size says nothing of its file's: a
// 16000 x 16000 picture of one colour compresses to under a megabyte yet
// decodes to a gigabyte of RGBA, and to several more as a tool works on it.
// So the readers look at the size in the header and refuse a larger picture
// before they decode (or allocate) a single row.
inline constexpr uint64_t PNG_READ_MAX_PIXELS = 50'000'000;

// The readers below share one contract. Each returns -1 on success, 0 on
// failure (then `out` is empty). `width` and `height` are the picture's size
// as its header gives it once the header was read, also when the read then
// fails (a picture of more than PNG_READ_MAX_PIXELS, or broken data), and
// 0 x 0 when there was no header to read, so that a caller can tell a picture
// refused for its size from one that is no PNG.

// Reads any PNG (grey, RGB, palette; with or without alpha or a tRNS chunk;
// 1 to 16 bits) as 8-bit non-premultiplied RGBA, sRGB-encoded as stored.
int png_read_rgba(const char* path, std::vector<uint8_t>& out, int& width, int& height);

// Reads any PNG and converts it to 8-bit grey, row after row without padding.
int png_read_grey(const char* path, std::vector<uint8_t>& out, int& width, int& height);

// Reads any PNG as 8-bit RGB triples.
int png_read_rgb(const char* path, std::vector<uint8_t>& out, int& width, int& height);
