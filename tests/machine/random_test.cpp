#include "machine/random.h"

#include <gtest/gtest.h>

TEST(Random, FollowsTheLinearCongruenceFromStateOne) {
  uint32_t saved = lcg_state();
  lcg_set_state(1);
  for (int want : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
    EXPECT_EQ(lcg_rand(), want);
  lcg_set_state(0xFFFFFFFFu);  // 4294967295 * 214013 + 2531011 wraps to 2316998
  EXPECT_EQ(lcg_rand(), 35);
  lcg_set_state(saved);
}
