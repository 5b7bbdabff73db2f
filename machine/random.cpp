// The program's one generator: the C library's classic linear congruence.
#include "machine/random.h"

namespace {
uint32_t state = 1;  // never seeded: every run draws the same numbers
}

int lcg_rand() {
  state = state * 214013u + 2531011u;  // wraps modulo 2^32
  return int((state >> 16) & 0x7FFF);
}
