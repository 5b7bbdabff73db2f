// Picture builder: draws the game's three raw pictures (the ORVALIN logo, the
// QUADRILLO title and the beach backdrop) procedurally, lettering rendered
// from a scalable font. Raw pictures hold one byte per pixel, value in the
// top nibble; the title is stored inverted (the game reads 15 - byte >> 4).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int32_t LOGO_WIDTH = 320, LOGO_HEIGHT = 42;
inline constexpr int32_t TITLE_WIDTH = 195, TITLE_HEIGHT = 26;
inline constexpr int32_t BEACH_WIDTH = 320, BEACH_HEIGHT = 240;

// The board's cells cover these backdrop pixels (inclusive); the backdrop is
// dimmed there so the blocks stand out.
inline constexpr int32_t BOARD_LEFT = 3, BOARD_RIGHT = 132, BOARD_TOP = 3, BOARD_BOTTOM = 236;

// A picture of 4-bit pixel values, one value 0..15 per byte.
struct Picture {
  int32_t width;
  int32_t height;
  std::vector<uint8_t> pixels;  // width * height values 0..15, rows top first
};

// "ORVALIN" in dark chrome letters on pixel value 15 (the logo's key).
// Returns -1 on success, 0 (with `error`) when the font cannot be used.
int picture_logo(const char* font_path, Picture& out, std::string& error);

// "QUADRILLO" in bright letters on pixel value 0 (transparent).
int picture_title(const char* font_path, Picture& out, std::string& error);

// A beach at sunset in 16 greys, ordered-dithered, with the board area dimmed.
void picture_beach(Picture& out);

// The raw file bytes: value << 4 | value per pixel, or for `inverted` the
// stored value is 15 - value.
std::vector<uint8_t> picture_raw(const Picture& picture, int inverted);
