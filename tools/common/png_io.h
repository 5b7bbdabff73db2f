// PNG reading and writing for the project's tools and tests: machine pictures
// written through the palette, and picture sources read as grey levels.
#pragma once
#include <cstdint>
#include <vector>

struct RGB;

// Writes `width` x `height` colour bytes (rows `stride` bytes apart) as an
// RGB PNG, each byte looked up in the 256-entry `palette` (components 0..63,
// scaled to 0..255). Returns -1 on success, 0 on failure.
int png_write_indexed(const char* path, int width, int height, const uint8_t* pixels, int stride,
                      const RGB* palette);

// Reads any PNG and converts it to 8-bit grey, row after row without padding.
// Returns -1 on success, 0 on failure (then `out` is empty).
int png_read_grey(const char* path, std::vector<uint8_t>& out, int& width, int& height);

// Reads any PNG as 8-bit RGB triples. Returns -1 on success, 0 on failure.
int png_read_rgb(const char* path, std::vector<uint8_t>& out, int& width, int& height);
