#include <gtest/gtest.h>

#include "machine/random.h"

TEST(Random, FollowsTheLinearCongruenceFromStateOne) {
  uint32_t saved = lcg_state();
  lcg_set_state(1);
  EXPECT_EQ(lcg_rand(), 41) << "the first call of every run";
  EXPECT_EQ(lcg_rand(), 18467);
  EXPECT_EQ(lcg_rand(), 6334);
  EXPECT_EQ(lcg_rand(), 26500);
  // An independent model of the generator over many draws.
  uint32_t model = lcg_state();
  for (int i = 0; i < 100000; ++i) {
    model = model * 214013u + 2531011u;
    int expected = int((model >> 16) & 0x7FFF);
    int got = lcg_rand();
    ASSERT_EQ(got, expected) << "draw " << i;
    ASSERT_LE(got, LCG_RAND_MAX);
  }
  lcg_set_state(saved);
}
