// Stand-in until the blitter lands: the sprite-memory count only.
#include "blitter/sprite.h"

namespace {
int32_t sprite_memory;
}

void sprite_memory_set(int32_t bytes) { sprite_memory = bytes; }
int32_t sprite_memory_free() { return sprite_memory; }
