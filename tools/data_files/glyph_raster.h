// Glyph rasteriser shared by the data tools: renders characters of a scalable
// font with FreeType into 8-bit coverage bitmaps (0 = empty, 255 = full ink).
// The font bank builder and the picture builder's lettering both use it.
#pragma once
#include <cstdint>
#include <vector>

struct RasterFont {
  void* library;  // FT_Library, opaque here so users need no FreeType headers
  void* face;     // FT_Face at the size given to raster_font_open
};

// One rendered character. Coordinates are pixels relative to the pen position
// on the baseline, y growing downwards as in the pictures.
struct RasterGlyph {
  int32_t width;                  // bitmap columns
  int32_t height;                 // bitmap rows
  int32_t left;                   // column of the bitmap's left edge from the pen
  int32_t top;                    // rows from the bitmap's top row up to the baseline
  int32_t advance;                // pen advance, 26.6 fixed point (64 = 1 pixel)
  std::vector<uint8_t> coverage;  // width * height bytes, rows top first
};

// Opens the font file at `path` scaled to `pixel_size` pixels per em.
// Returns -1 on success, 0 when FreeType cannot read the file or the size.
int raster_font_open(RasterFont& font, const char* path, int pixel_size);

// Releases what raster_font_open took. Safe on a font that failed to open.
void raster_font_close(RasterFont& font);

// Renders character `code` anti-aliased (light hinting: snapped vertically,
// natural widths). Returns -1 on success, 0 when the font has no such glyph.
int raster_glyph(RasterFont& font, uint32_t code, RasterGlyph& out);

// Pair kerning between two characters, 26.6 fixed point (0 without a table).
int32_t raster_kerning(RasterFont& font, uint32_t left, uint32_t right);
