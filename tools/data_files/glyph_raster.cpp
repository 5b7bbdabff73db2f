// FreeType behind the glyph rasteriser: one library and one face per font.
#include "tools/data_files/glyph_raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {
constexpr FT_Int32 LOAD_FLAGS = FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT;
}  // namespace

int raster_font_open(RasterFont& font, const char* path, int pixel_size) {
  font.library = nullptr;
  font.face = nullptr;
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return 0;
  font.library = library;
  FT_Face face = nullptr;
  if (FT_New_Face(library, path, 0, &face) != 0) return 0;
  font.face = face;
  if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixel_size)) != 0) return 0;
  return -1;
}

void raster_font_close(RasterFont& font) {
  if (font.face) FT_Done_Face(static_cast<FT_Face>(font.face));
  if (font.library) FT_Done_FreeType(static_cast<FT_Library>(font.library));
  font.face = nullptr;
  font.library = nullptr;
}

int raster_glyph(RasterFont& font, uint32_t code, RasterGlyph& out) {
  FT_Face face = static_cast<FT_Face>(font.face);
  FT_UInt index = FT_Get_Char_Index(face, code);
  if (index == 0) return 0;
  if (FT_Load_Glyph(face, index, LOAD_FLAGS) != 0) return 0;
  if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return 0;
  const FT_Bitmap& bitmap = face->glyph->bitmap;
  out.width = int32_t(bitmap.width);
  out.height = int32_t(bitmap.rows);
  out.left = face->glyph->bitmap_left;
  out.top = face->glyph->bitmap_top;
  out.advance = int32_t(face->glyph->advance.x);
  out.coverage.assign(size_t(out.width) * size_t(out.height), 0);
  for (int y = 0; y < out.height; ++y) {
    // pitch may be negative (bottom-up storage); go through each row's start
    const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
    for (int x = 0; x < out.width; ++x) out.coverage[size_t(y * out.width + x)] = row[x];
  }
  return -1;
}

int32_t raster_kerning(RasterFont& font, uint32_t left, uint32_t right) {
  FT_Face face = static_cast<FT_Face>(font.face);
  if (!FT_HAS_KERNING(face)) return 0;
  FT_Vector kern{};
  FT_Get_Kerning(face, FT_Get_Char_Index(face, left), FT_Get_Char_Index(face, right),
                 FT_KERNING_DEFAULT, &kern);
  return int32_t(kern.x);
}
