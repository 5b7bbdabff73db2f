// Font bank builder: turns a scalable font into the machine's bank of 4-bit
// glyph sprites. Every glyph's top row is the line's top, its width is its
// advance (side bearings included) and pixel value 0 is the transparent key.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FontBankOptions {
  int32_t pixel_size;  // font size, pixels per em
  int32_t tab_spaces;  // the tab (code 9) is this many spaces wide, blank
  int32_t shadow;      // -1: add a 1-pixel drop shadow of value 1 (near black)
};

struct BankGlyph {
  int32_t slot;                 // character code 0..255
  int32_t width;                // pixels, also the advance width
  int32_t height;               // pixels from the line's top
  std::vector<uint8_t> pixels;  // width * height values 0..15, rows top first
};

// Renders codes 32..126 and the tab from the font at `font_path`.
// Returns -1 on success, 0 (with `error` set) when the font cannot be used.
int fontbank_build(const char* font_path, const FontBankOptions& options,
                   std::vector<BankGlyph>& glyphs, std::string& error);

// Serialises glyphs as bank records: slot, width, height, then the rows
// packed two pixels a byte, left pixel in the high nibble.
std::vector<uint8_t> fontbank_pack(const std::vector<BankGlyph>& glyphs);

// Sprite-memory bytes the glyphs take: the sum of height * ((width + 1) >> 1).
int32_t fontbank_charge(const std::vector<BankGlyph>& glyphs);
