#include <allegro.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/replay/keyscript.h"

TEST(KeyScript, NamesAreAllegroKeysWithoutThePrefix) {
  EXPECT_EQ(keyscript_code("SPACE"), KEY_SPACE);
  EXPECT_EQ(keyscript_code("LEFT"), KEY_LEFT);
  EXPECT_EQ(keyscript_code("ESC"), KEY_ESC);
  EXPECT_EQ(keyscript_code("0"), KEY_0);
  EXPECT_EQ(keyscript_code("KEY_SPACE"), 0);
  EXPECT_EQ(keyscript_code("space"), 0) << "names are upper case, as the constants";
}

TEST(KeyScript, ReadsOneLinePerFrame) {
  std::string path = testing::TempDir() + "replay_test_" + std::to_string(getpid()) + ".keys";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("SPACE\n\nLEFT  DOWN\r\nUP", f);
  std::fclose(f);
  std::vector<std::vector<int>> frames;
  std::string error;
  ASSERT_EQ(keyscript_read(path, frames, error), -1) << error;
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0], std::vector<int>{KEY_SPACE});
  EXPECT_TRUE(frames[1].empty());
  EXPECT_EQ(frames[2], (std::vector<int>{KEY_LEFT, KEY_DOWN}));
  EXPECT_EQ(frames[3], std::vector<int>{KEY_UP});

  f = std::fopen(path.c_str(), "w");
  std::fputs("SPACE\nLEFT JUMP\n", f);
  std::fclose(f);
  EXPECT_EQ(keyscript_read(path, frames, error), 0);
  EXPECT_NE(error.find(":2: unknown key \"JUMP\""), std::string::npos) << error;
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(keyscript_read(path + ".missing", frames, error), 0);
}
