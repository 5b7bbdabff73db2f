// Sprites: 4-bit pictures pre-rendered into 16 palette variants, within the
// machine's 65536-byte sprite memory.
#pragma once
#include <cstdint>

inline constexpr int32_t SPRITE_MEMORY_SIZE = 65536;

void    sprite_memory_set(int32_t bytes);  // machine start-up sets 65536
int32_t sprite_memory_free();
