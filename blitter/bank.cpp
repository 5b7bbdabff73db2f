// The SpriteBank and text. The bank owns its glyph Sprites; widths outlive
// them (only a load changes a width), so text keeps its spacing even when a
// glyph was refused by the sprite memory.
#include "blitter/bank.h"

#include <cstdarg>
#include <cstdio>

#include "blitter/draw.h"
#include "blitter/fixed.h"
#include "blitter/sprite.h"
#include "machine/random.h"

namespace {

struct SpriteBank {
  Sprite* sprites[BANK_SLOTS];  // glyph per character code; null = empty; owned
  int32_t widths[BANK_SLOTS];   // advance, whole pixels: width of the last glyph loaded
};

SpriteBank sprite_bank;

// The largest record's pixels: 255 rows of 128 bytes.
inline constexpr int MAX_GLYPH_BYTES = 255 * 128;
inline constexpr int RANDOM_VARIANT_DIVISOR = 2047;  // 0..32767 -> 0..16; 16 draws as 0

// Formats into `text` (TEXT_BUFFER_SIZE bytes); a longer result is cut at
// 2047 characters rather than written past the buffer.
void format_text(char* text, const char* format, va_list arguments) {
  const int written = std::vsnprintf(text, TEXT_BUFFER_SIZE, format, arguments);
  if (written < 0) text[0] = '\0';  // an encoding error leaves no text
}

int32_t width_of(const char* text) {
  uint32_t total = 0;  // 2047 characters of width 255 pass 2^31: wraps like the machine
  for (const char* c = text; *c; ++c) {
    total += uint32_t(sprite_bank.widths[uint8_t(*c)]) << 16;
  }
  return int32_t(total);
}

}  // namespace

void bank_free() {
  for (int slot = BANK_SLOTS - 1; slot >= 0; --slot) {
    sprite_destroy(sprite_bank.sprites[slot]);
    sprite_bank.sprites[slot] = nullptr;
  }
}

int32_t bank_load(const char* filename) {
  bank_free();
  std::FILE* file = std::fopen(filename, "rb");
  if (!file) return 0;
  static uint8_t pixels[MAX_GLYPH_BYTES];
  for (;;) {
    const int slot = std::fgetc(file);
    if (slot == EOF) break;  // the end of the file or a read error: no more records
    const int width = std::fgetc(file);
    const int height = std::fgetc(file);
    if (width == EOF || height == EOF) break;  // cut inside the record's sizes
    const size_t bytes = size_t(height) * size_t((width + 1) >> 1);
    if (std::fread(pixels, 1, bytes, file) != bytes) break;  // cut inside its pixels
    // A slot named again: the earlier glyph is destroyed so its sprite
    // memory comes back instead of leaking for the rest of the run.
    sprite_destroy(sprite_bank.sprites[slot]);
    sprite_bank.sprites[slot] =
        sprite_create(COLOUR_MODE_LUMA, pixels, PIXEL_FORMAT_PACKED, width, height, 0);
    sprite_bank.widths[slot] = width;
  }
  std::fclose(file);
  return -1;
}

void text_draw(int32_t x, int32_t y, int32_t colour, const char* format, ...) {
  char text[TEXT_BUFFER_SIZE];
  va_list arguments;
  va_start(arguments, format);
  format_text(text, format, arguments);
  va_end(arguments);
  for (const char* p = text; *p; ++p) {
    const uint8_t c = uint8_t(*p);
    // A random colour is drawn for every character, even one with no glyph,
    // so the generator's sequence does not depend on the font.
    const int32_t variant = colour >= 0 ? colour : lcg_rand() / RANDOM_VARIANT_DIVISOR;
    sprite_draw_keyed(sprite_bank.sprites[c], variant, x, y, FIXED_ONE, FIXED_ONE, 0, 0);
    x = fixed_wrap_add(x, fixed_wrap_mul(sprite_bank.widths[c], FIXED_ONE));
  }
}

int32_t text_width(const char* format, ...) {
  char text[TEXT_BUFFER_SIZE];
  va_list arguments;
  va_start(arguments, format);
  format_text(text, format, arguments);
  va_end(arguments);
  return width_of(text);
}
