// Fuzz target: any bytes as the font bank file. The loader must read what it
// can, every character must draw and measure, the text's width must be the
// sum of its characters', and freeing the bank must give all of the sprite
// memory back.
#include <cstdint>

#include "blitter/bank.h"
#include "blitter/fixed.h"
#include "blitter/sprite.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_machine_start();
  std::string path = fuzz_file("tahoma.fnt", data, size);
  fuzz_check(bank_load(path.c_str()) == -1, "an existing bank file did not load");
  fuzz_check(sprite_memory_free() >= 0, "the glyphs took more than the sprite memory");

  // Every character code once (1..255; 0 ends the text), drawn at a place
  // that clips some glyphs, in random colours, and measured.
  char text[256];
  for (int c = 1; c < 256; ++c) text[c - 1] = char(c);
  text[255] = '\0';
  text_draw(-40 * FIXED_ONE, 200 * FIXED_ONE, -1, "%s", text);
  uint32_t expected = 0;
  for (int c = 1; c < 256; ++c) expected += uint32_t(text_width("%c", c));
  fuzz_check(text_width("%s", text) == int32_t(expected), "the text's width is not the sum of its advances");

  bank_free();
  fuzz_check(sprite_memory_free() == SPRITE_MEMORY_SIZE, "freeing the bank leaked sprite memory");
  return 0;
}
