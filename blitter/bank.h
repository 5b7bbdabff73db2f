// The SpriteBank: 256 glyph Sprites indexed by character code, each with an
// advance width, loaded from a bank file; it is the machine's font. Text is
// formatted printf-style, drawn one keyed glyph per character and measured.
#pragma once
#include <cstdint>

struct Sprite;

inline constexpr int BANK_SLOTS = 256;
inline constexpr int TEXT_BUFFER_SIZE = 2048;  // formatted text: 2047 characters at most

// Destroys every glyph (slot 255 first, 1 cycle each) and empties its slot.
// Widths are kept.
void bank_free();

// Frees the bank, then loads the bank file `filename`: a headerless run of
// records {slot, width, height, height * ((width + 1) >> 1) packed pixel
// bytes}, each made a COLOUR_MODE_LUMA glyph with key 0 and its width
// recorded. A slot named twice keeps the later glyph and the earlier one is
// destroyed. A record cut short by the end of the file is dropped. Returns 0
// if the file cannot be opened (the bank is then empty), -1 once read to its
// end. Reading costs no cycles; creating and destroying glyphs do.
int32_t bank_load(const char* filename);

// Formats the text (cut at 2047 characters) and draws each character's glyph
// keyed at natural size, x advancing by the slot's width (whole pixels).
// x, y are 16.16 as for sprite_draw_keyed. colour >= 0 is the palette
// variant; a negative colour draws each character in variant lcg_rand() / 2047,
// one lcg_rand call per character, empty slots included.
void text_draw(int32_t x, int32_t y, int32_t colour, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// The formatted text's width in 16.16: the sum of its characters' widths
// times 65536, glyph or not. Draws and charges nothing.
int32_t text_width(const char* format, ...) __attribute__((format(printf, 1, 2)));
