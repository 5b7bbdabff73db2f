// The PSG player, watched at the ports: the magic, frames of register writes,
// skips, the end of the music with and without loop, files that end in odd
// places, and the 16-byte header of files from elsewhere.
#include "sound/psg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sound/ports.h"
#include "tests/sound/fake_host.h"

namespace {

std::string seen;  // "rr=vv " for each select and data pair

void watch(uint32_t, uint32_t port, int32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, port == PORT_REGISTER_SELECT ? "%02X=" : "%02X ", value & 0xFF);
  seen += text;
}

// A file of `bytes`, after the magic unless `raw`.
std::string file(std::vector<uint8_t> bytes, bool raw = false) {
  if (!raw) bytes.insert(bytes.begin(), {'P', 'S', 'G', 0x1A});
  static int files;
  std::string path = testing::TempDir() + "psg_test_" + std::to_string(++files);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

TEST(Psg, PlaysFramesSkipsAndEndsAsTheFileSays) {
  struct Step { int result; const char* writes; };
  struct Row { const char* name; std::vector<uint8_t> file; int loop; std::vector<Step> steps; };
  const Row rows[] = {
      {"frame", {7, 0x38, 8, 0x0F, 0xFF}, 0, {{-1, "07=38 08=0F "}, {0, "07=FF "}, {0, ""}, {0, ""}}},
      {"skip 3", {8, 1, 0xFE, 3, 8, 2, 0xFF}, 0,
       {{-1, "08=01 "}, {-1, ""}, {-1, ""}, {-1, ""}, {-1, "08=02 "}, {0, "07=FF "}}},
      {"music end", {8, 1, 0xFF, 0xFD, 8, 9, 0xFF}, 0, {{-1, "08=01 "}, {0, "07=FF "}}},
      {"music end looped", {8, 1, 0xFF, 0xFD, 8, 9, 0xFF}, -1, {{-1, "08=01 "}, {-1, "08=01 "}}},
      {"magic only", {}, 0, {{0, "07=FF "}, {0, ""}}},
      {"magic only looped", {}, -1, {{-1, ""}, {-1, ""}}},
      {"value bytes are never commands", {0x1F, 0xFD, 0x1E, 0xFF, 0x0D, 0xFE, 0xFF}, 0,
       {{-1, "1F=FD 1E=FF 0D=FE "}}},
      {"register byte last", {8, 4, 0xFF, 1}, 0, {{-1, "08=04 "}, {0, "01=FF 07=FF "}}},
      {"skip count cut off", {8, 4, 0xFE}, 0, {{-1, "08=04 "}, {0, "07=FF "}}},
      {"skip count cut off looped", {8, 4, 0xFE}, -1, {{-1, "08=04 "}, {-1, "08=04 "}}},
      {"no frame end looped", {8, 5}, -1, {{-1, "08=05 08=05 "}, {-1, "08=05 "}}},
      {"header", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 8, 0x0F, 0xFF}, 0,
       {{-1, "00=00 00=00 00=00 00=00 00=00 00=00 "}, {-1, "08=0F "}}},
  };
  sound_test_start_offline(nullptr);
  sound_test_ports = watch;
  for (const Row& r : rows) {
    ASSERT_EQ(psg_open(file(r.file).c_str(), r.loop), -1) << r.name;
    for (size_t i = 0; i < r.steps.size(); ++i) {
      seen.clear();
      EXPECT_EQ(psg_step(), r.steps[i].result) << r.name << ", step " << i + 1;
      EXPECT_EQ(seen, r.steps[i].writes) << r.name << ", step " << i + 1;
    }
  }
  // Opening stops the piece before, also when the new file is refused.
  for (auto bad : {file({'P', 'S', 'G', 0x1B, 0xFF}, true), file({'P', 'S', 'G'}, true),
                   file({}, true), testing::TempDir() + "psg_test_no_such_file"}) {
    psg_open(file({8, 1, 0xFF}).c_str(), 0);
    seen.clear();
    EXPECT_EQ(psg_open(bad.c_str(), -1), 0) << bad;
    EXPECT_EQ(psg_step(), 0) << "idle after a refused file";
    EXPECT_EQ(seen, "07=FF ");
  }
  psg_open(file({0xFE, 9}).c_str(), 0);
  psg_step();
  psg_open(file({8, 3, 0xFF}).c_str(), 0);
  seen.clear();
  psg_step();
  // A new piece does not inherit the old one's skip.
  EXPECT_EQ(seen, "08=03 ");
  EXPECT_EQ(psg_frames(file({8, 1, 0xFF, 0xFE, 3, 0xFE}).c_str()) * 10 + psg_frames(file({8, 1}).c_str()), 61)
     ;
  EXPECT_EQ(psg_frames(file({}, true).c_str()), 0) << "no magic, no piece";
}

}  // namespace
