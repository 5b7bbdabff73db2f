// Fuzz target: any bytes as each of the game's three raw pictures. A file of
// at least the picture's size gives a Sprite of that size (its first
// width x height bytes), a shorter one none; the Sprite draws anywhere on
// the screen, and destroying it gives its sprite memory back.
#include <cstdint>

#include "blitter/draw.h"
#include "blitter/fixed.h"
#include "blitter/sprite.h"
#include "blitter/picture.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct RawPicture {
  const char* name;
  int32_t width, height, key, inverted;
};

constexpr RawPicture PICTURES[] = {
    {"logo.raw", 320, 42, 15, 0},
    {"Quadrillo.raw", 195, 26, 0, -1},
    {"beach.raw", 320, 240, 0, 0},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_machine_start();
  // The first byte picks the place and the scale of the draws, so drawing
  // at the edges and clipped is tried as well; the whole input is the file.
  const int32_t shift = size ? int32_t(data[0]) - 128 : 0;
  for (const RawPicture& picture : PICTURES) {
    std::string path = fuzz_file(picture.name, data, size);
    Sprite* sprite = picture_load(path.c_str(), picture.width, picture.height, picture.key,
                                       picture.inverted);
    const bool whole = size >= size_t(picture.width) * size_t(picture.height);
    fuzz_check((sprite != nullptr) == whole, "a picture was made from a short file, or none from a whole one");
    if (!sprite) continue;
    fuzz_check(sprite_width(sprite) == picture.width && sprite_height(sprite) == picture.height,
               "the picture's Sprite has the wrong size");
    sprite_draw(sprite, 10, shift * FIXED_ONE, shift * FIXED_ONE / 2, FIXED_ONE, FIXED_ONE, 0, 0);
    sprite_draw_keyed(sprite, shift & 15, 0, 0, FIXED_ONE + shift * 256, FIXED_ONE, shift * 64,
                      shift * 128);
    sprite_destroy(sprite);
    fuzz_check(sprite_memory_free() == SPRITE_MEMORY_SIZE, "a picture's sprite memory was not given back");
  }
  return 0;
}
