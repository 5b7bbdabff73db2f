// The program's one pseudo-random generator, with the C library's rand()
// interface. Its 32-bit state starts at 1 and is never seeded, so every run
// draws the same sequence: the sound chip's start-up takes the first 1024.
#pragma once
#include <cstdint>

inline constexpr int LCG_RAND_MAX = 32767;

// state = state * 214013 + 2531011 (mod 2^32); returns (state >> 16) & 0x7FFF.
// The first call returns 41.
int lcg_rand();
