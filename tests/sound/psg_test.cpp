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

std::string seen;  // "r=vv " for each select and data pair, "!" for anything else

void watch(uint32_t port, int value) {
  char text[16];
  if (port == PORT_REGISTER_SELECT) std::snprintf(text, sizeof text, "%02X=", value & 0xFF);
  else if (port == PORT_REGISTER_DATA) std::snprintf(text, sizeof text, "%02X ", value & 0xFF);
  else std::snprintf(text, sizeof text, "! ");
  seen += text;
}

std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::string path = testing::TempDir() + "psg_test_" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

std::vector<uint8_t> magic(std::vector<uint8_t> commands) {
  commands.insert(commands.begin(), {'P', 'S', 'G', 0x1A});
  return commands;
}

const std::vector<uint8_t> HEADER(12, 0);  // what follows the magic in files from elsewhere

struct Step { int result; const char* writes; };
struct Row { const char* name; std::vector<uint8_t> file; int loop; std::vector<Step> steps; };

TEST(Psg, PlaysFramesSkipsAndEndsAsTheFileSays) {
  const Row rows[] = {
      {"frame", magic({7, 0x38, 8, 0x0F, 0xFF}), 0,
       {{-1, "07=38 08=0F "}, {0, "07=FF "}, {0, ""}, {0, ""}}},
      {"frame looped", magic({7, 0x38, 8, 0x0F, 0xFF}), -1,
       {{-1, "07=38 08=0F "}, {-1, "07=38 08=0F "}, {-1, "07=38 08=0F "}}},
      {"skip 3", magic({8, 1, 0xFE, 3, 8, 2, 0xFF}), 0,
       {{-1, "08=01 "}, {-1, ""}, {-1, ""}, {-1, ""}, {-1, "08=02 "}, {0, "07=FF "}}},
      {"music end", magic({8, 1, 0xFF, 0xFD, 8, 9, 0xFF}), 0, {{-1, "08=01 "}, {0, "07=FF "}}},
      {"music end looped", magic({8, 1, 0xFF, 0xFD, 8, 9, 0xFF}), -1,
       {{-1, "08=01 "}, {-1, "08=01 "}}},
      {"magic only", magic({}), 0, {{0, "07=FF "}, {0, ""}}},
      {"magic only looped", magic({}), -1, {{-1, ""}, {-1, ""}, {-1, ""}}},
      {"value bytes are never commands", magic({0x1F, 0xFD, 0x1E, 0xFF, 0x0D, 0xFE, 0xFF}), 0,
       {{-1, "1F=FD 1E=FF 0D=FE "}}},
      {"register byte last", magic({8, 4, 0xFF, 1}), 0, {{-1, "08=04 "}, {0, "01=FF 07=FF "}}},
      {"skip count cut off", magic({8, 4, 0xFE}), 0, {{-1, "08=04 "}, {0, "07=FF "}}},
      {"skip count cut off looped", magic({8, 4, 0xFE}), -1, {{-1, "08=04 "}, {-1, "08=04 "}}},
      {"no frame end looped", magic({8, 5}), -1, {{-1, "08=05 08=05 "}, {-1, "08=05 "}}},
      {"header", magic([] { auto h = HEADER; h.insert(h.end(), {0xFF, 8, 0x0F, 0xFF}); return h; }()),
       0, {{-1, "00=00 00=00 00=00 00=00 00=00 00=00 "}, {-1, "08=0F "}}},
  };
  sound_test_start(false);
  sound_set_port_observer(watch);
  for (const Row& r : rows) {
    ASSERT_EQ(psg_open(write_file("rows", r.file).c_str(), r.loop), -1) << r.name;
    for (size_t i = 0; i < r.steps.size(); ++i) {
      seen.clear();
      EXPECT_EQ(psg_step(), r.steps[i].result) << r.name << ", step " << i + 1;
      EXPECT_EQ(seen, r.steps[i].writes) << r.name << ", step " << i + 1;
    }
  }
  psg_stop();
  sound_set_port_observer(nullptr);
}

TEST(Psg, OpenStopsThePreviousPieceAndChecksTheMagic) {
  sound_test_start(false);
  sound_set_port_observer(watch);
  const std::vector<uint8_t> bad[] = {{'P', 'S', 'G', 0x1B, 0xFF}, {'P', 'S', 'G'}, {}};
  for (const auto& file : bad) {
    ASSERT_EQ(psg_open(write_file("first", magic({8, 1, 0xFF})).c_str(), 0), -1);
    seen.clear();
    EXPECT_EQ(psg_open(write_file("bad", file).c_str(), -1), 0) << file.size() << " bytes";
    EXPECT_EQ(psg_step(), 0) << "idle after a refused file";
    EXPECT_EQ(seen, "07=FF ") << "the previous piece was stopped first";
  }
  seen.clear();
  EXPECT_EQ(psg_open((testing::TempDir() + "psg_test_no_such_file").c_str(), 0), 0);
  EXPECT_EQ(psg_step(), 0);
  EXPECT_EQ(seen, "07=FF ");
  sound_set_port_observer(nullptr);
}

}  // namespace
