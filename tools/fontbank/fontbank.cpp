// Font bank builder: rasterises with FreeType, quantises coverage to 16 lumas.
#include "tools/fontbank/fontbank.h"

#include <algorithm>

#include "tools/data_files/glyph_raster.h"

namespace {

constexpr int32_t FIRST_CODE = 32;
constexpr int32_t LAST_CODE = 126;
constexpr int32_t TAB_CODE = 9;

// Coverage 0..255 to a luma 0..15, rounding to nearest so that faint edge
// coverage (below 1/30) falls to 0 and stays transparent.
uint8_t luma_of(uint8_t coverage) { return uint8_t((coverage * 15 + 127) / 255); }

}  // namespace

int fontbank_build(const char* font_path, const FontBankOptions& options,
                   std::vector<BankGlyph>& glyphs, std::string& error) {
  glyphs.clear();
  RasterFont font{};
  if (raster_font_open(font, font_path, options.pixel_size) != -1) {
    raster_font_close(font);
    error = std::string("cannot read font ") + font_path;
    return 0;
  }
  std::vector<RasterGlyph> rendered(LAST_CODE + 1);
  int32_t baseline = 0;  // rows from the line's top down to the baseline
  for (int32_t code = FIRST_CODE; code <= LAST_CODE; ++code) {
    if (raster_glyph(font, uint32_t(code), rendered[size_t(code)]) != -1) {
      raster_font_close(font);
      error = "font has no glyph for code " + std::to_string(code);
      return 0;
    }
    if (rendered[size_t(code)].height > 0) baseline = std::max(baseline, rendered[size_t(code)].top);
  }
  raster_font_close(font);

  const int32_t shade = options.shadow ? 1 : 0;
  // The advance is the only spacing the machine knows; a glyph that pokes
  // out to the left of its pen position is shifted right by the overhang.
  auto natural_width = [&](const RasterGlyph& g) {
    int32_t shift = std::max(0, -g.left);
    return std::max(((g.advance + 32) >> 6) + shift, g.left + shift + g.width + shade);
  };
  // Digits share the widest digit's width (centred in it), so a counting
  // score keeps its place on the screen.
  int32_t digit_width = 0;
  for (int32_t code = '0'; code <= '9'; ++code) digit_width = std::max(digit_width, natural_width(rendered[size_t(code)]));
  for (int32_t code = FIRST_CODE; code <= LAST_CODE; ++code) {
    const RasterGlyph& g = rendered[size_t(code)];
    int32_t shift = std::max(0, -g.left);
    BankGlyph out{code, 0, 0, {}};
    out.width = natural_width(g);
    if (code >= '0' && code <= '9') {
      shift += (digit_width - out.width) / 2;
      out.width = digit_width;
    }
    out.height = g.height > 0 ? baseline - g.top + g.height + shade : 0;
    out.pixels.assign(size_t(out.width) * size_t(out.height), 0);
    auto ink = [&](int32_t x, int32_t y) -> uint8_t {  // luma at box (x, y)
      int32_t gx = x - g.left - shift;
      int32_t gy = y - (baseline - g.top);
      if (gx < 0 || gy < 0 || gx >= g.width || gy >= g.height) return 0;
      return luma_of(g.coverage[size_t(gy * g.width + gx)]);
    };
    for (int32_t y = 0; y < out.height; ++y) {
      for (int32_t x = 0; x < out.width; ++x) {
        uint8_t value = ink(x, y);
        // Shadow: the glyph offset one pixel right and down, in luma 1, so the
        // letters stay readable over a bright backdrop.
        if (value == 0 && shade && ink(x - 1, y - 1) >= 6) value = 1;
        out.pixels[size_t(y * out.width + x)] = value;
      }
    }
    glyphs.push_back(out);
  }
  // Tab: blank, as wide as `tab_spaces` spaces; height 0 costs no memory.
  BankGlyph tab{TAB_CODE, glyphs.front().width * options.tab_spaces, 0, {}};
  glyphs.insert(glyphs.begin(), tab);
  for (const BankGlyph& glyph : glyphs) {
    if (glyph.width > 255 || glyph.height > 255) {
      error = "glyph " + std::to_string(glyph.slot) + " is larger than 255 pixels";
      return 0;
    }
  }
  return -1;
}

std::vector<uint8_t> fontbank_pack(const std::vector<BankGlyph>& glyphs) {
  std::vector<uint8_t> bytes;
  for (const BankGlyph& glyph : glyphs) {
    bytes.push_back(uint8_t(glyph.slot));
    bytes.push_back(uint8_t(glyph.width));
    bytes.push_back(uint8_t(glyph.height));
    int32_t row_bytes = (glyph.width + 1) >> 1;
    for (int32_t y = 0; y < glyph.height; ++y) {
      for (int32_t b = 0; b < row_bytes; ++b) {
        int32_t x = b * 2;
        uint8_t high = glyph.pixels[size_t(y * glyph.width + x)];
        uint8_t low = x + 1 < glyph.width ? glyph.pixels[size_t(y * glyph.width + x + 1)] : 0;
        bytes.push_back(uint8_t(high << 4 | low));
      }
    }
  }
  return bytes;
}

int32_t fontbank_charge(const std::vector<BankGlyph>& glyphs) {
  int32_t charge = 0;
  for (const BankGlyph& glyph : glyphs) charge += glyph.height * ((glyph.width + 1) >> 1);
  return charge;
}
