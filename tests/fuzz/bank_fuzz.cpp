// Fuzz target: any bytes as the font bank file. The loader must read what it
// can, the glyphs it keeps must have the sizes their records give, every
// character must draw and measure, and freeing the bank must give all of the
// sprite memory back.
#include <cstdint>
#include <cstring>

#include "blitter/bank.h"
#include "blitter/fixed.h"
#include "blitter/sprite.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_machine_start(false);
  std::string path = fuzz_file("tahoma.fnt", data, size);
  fuzz_check(bank_load(path.c_str()) == -1, "an existing bank file did not load");

  int32_t charged = 0;
  for (int slot = 0; slot < 256; ++slot) {
    const Sprite* glyph = bank_sprite(slot);
    if (!glyph) continue;
    fuzz_check(sprite_width(glyph) == bank_width(slot), "a glyph is not as wide as its advance");
    fuzz_check(sprite_width(glyph) <= SPRITE_MAX_SIZE && sprite_height(glyph) <= SPRITE_MAX_SIZE,
               "a glyph is larger than a sprite can be");
    charged += glyph->memory_charge;
  }
  fuzz_check(charged + sprite_memory_free() == SPRITE_MEMORY_SIZE,
             "the loaded glyphs and the free sprite memory do not add up to 65536");

  // Every character code once (1..255; 0 ends the text), drawn at a place
  // that clips some glyphs, in random colours, and measured.
  char text[256];
  for (int c = 1; c < 256; ++c) text[c - 1] = char(c);
  text[255] = '\0';
  text_draw(-40 * FIXED_ONE, 200 * FIXED_ONE, -1, "%s", text);
  int64_t expected = 0;
  for (int c = 1; c < 256; ++c) expected += bank_width(c);
  fuzz_check(text_width("%s", text) == int32_t(uint32_t(expected) << 16),
             "the text's width is not the sum of its advances");

  bank_free();
  fuzz_check(sprite_memory_free() == SPRITE_MEMORY_SIZE, "freeing the bank leaked sprite memory");
  return 0;
}
