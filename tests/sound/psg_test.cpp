// The PSG player: the magic, frames of register writes, skips, the end of
// the music with and without loop, and files that end in odd places.
#include "sound/psg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "machine/machine.h"
#include "sound/sound_internal.h"
#include "tests/sound/fake_host.h"

namespace {

using Writes = std::vector<std::pair<int, int>>;  // (register, value) events

std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::string path = testing::TempDir() + "psg_test_" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

std::string psg_file(const std::string& name, std::vector<uint8_t> commands) {
  commands.insert(commands.begin(), {'P', 'S', 'G', 0x1A});
  return write_file(name, commands);
}

// Without a stream nothing consumes the ring: it holds every write made.
class Psg : public testing::Test {
 protected:
  void SetUp() override { sound_test_start(false); }
  void TearDown() override { psg_stop(); }

  // The events queued since the last call.
  Writes new_writes() {
    Writes out;
    for (; seen != queue_write; seen = (seen + 1) & QUEUE_MASK) {
      out.emplace_back(sound_queue[seen].type, sound_queue[seen].value);
    }
    return out;
  }
  uint32_t seen = 0;
};

const Writes STOP = {{7, 0xFF}};

TEST_F(Psg, OpenChecksTheMagic) {
  EXPECT_EQ(psg_open(psg_file("good", {0xFF}).c_str(), 0), -1);
  EXPECT_EQ(psg_open(write_file("bad", {'P', 'S', 'G', 0x1B, 0xFF}).c_str(), 0), 0);
  EXPECT_EQ(psg_step(), 0) << "idle after a refused file";
  EXPECT_EQ(psg_open(write_file("short", {'P', 'S', 'G'}).c_str(), 0), 0);
  EXPECT_EQ(psg_open(write_file("empty", {}).c_str(), 0), 0);
}

TEST_F(Psg, MissingFileLeavesThePlayerIdle) {
  EXPECT_EQ(psg_open((testing::TempDir() + "psg_test_no_such_file").c_str(), -1), 0);
  EXPECT_EQ(new_writes(), STOP) << "the previous piece was stopped first";
  EXPECT_EQ(psg_step(), 0);
  EXPECT_TRUE(new_writes().empty());
}

TEST_F(Psg, OpenStopsThePreviousPiece) {
  psg_open(psg_file("first", {0x08, 0x0F, 0xFF, 0x08, 0x0E, 0xFF}).c_str(), 0);
  psg_step();
  new_writes();
  psg_open(psg_file("second", {0x09, 0x0C, 0xFF}).c_str(), 0);
  EXPECT_EQ(new_writes(), STOP);
  psg_step();
  EXPECT_EQ(new_writes(), (Writes{{9, 0x0C}})) << "the new piece, from its start";
}

TEST_F(Psg, FrameThenEndWithoutLoop) {
  ASSERT_EQ(psg_open(psg_file("frame", {0x07, 0x38, 0x08, 0x0F, 0xFF}).c_str(), 0), -1);
  new_writes();
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(new_writes(), (Writes{{7, 0x38}, {8, 0x0F}}));
  EXPECT_EQ(psg_step(), 0) << "the end of the file ends the piece";
  EXPECT_EQ(new_writes(), STOP);
  EXPECT_EQ(psg_step(), 0);
  EXPECT_EQ(psg_step(), 0);
  EXPECT_TRUE(new_writes().empty());
}

TEST_F(Psg, FrameThenRewindWithLoop) {
  psg_open(psg_file("loop", {0x07, 0x38, 0x08, 0x0F, 0xFF}).c_str(), -1);
  new_writes();
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(new_writes(), (Writes{{7, 0x38}, {8, 0x0F}, {7, 0x38}, {8, 0x0F}, {7, 0x38}, {8, 0x0F}}));
}

TEST_F(Psg, SkipCommandStretchesAFrame) {
  psg_open(psg_file("skip", {0x08, 0x01, 0xFE, 0x03, 0x08, 0x02, 0xFF}).c_str(), 0);
  new_writes();
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(new_writes(), (Writes{{8, 1}}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(psg_step(), -1) << "skipped frame " << i;
    EXPECT_TRUE(new_writes().empty());
  }
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(new_writes(), (Writes{{8, 2}}));
  EXPECT_EQ(psg_step(), 0);
}

TEST_F(Psg, MusicEndCommandStopsOrRewinds) {
  std::string path = psg_file("end", {0x08, 0x01, 0xFF, 0xFD, 0x08, 0x09, 0xFF});
  psg_open(path.c_str(), 0);
  new_writes();
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(psg_step(), 0);
  EXPECT_EQ(new_writes(), (Writes{{8, 1}, {7, 0xFF}}));
  psg_open(path.c_str(), -1);
  new_writes();
  psg_step();
  psg_step();
  EXPECT_EQ(new_writes(), (Writes{{8, 1}, {8, 1}})) << "the bytes after 0xFD are never played";
}

TEST_F(Psg, EmptyLoopingPieceGivesEmptyFrames) {
  psg_open(psg_file("magic_only", {}).c_str(), -1);
  new_writes();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(psg_step(), -1);
  EXPECT_TRUE(new_writes().empty());
  psg_open(psg_file("magic_only2", {}).c_str(), 0);
  EXPECT_EQ(psg_step(), 0) << "without loop it ends at once";
}

TEST_F(Psg, RegisterByteTakesAnyValueByte) {
  psg_open(psg_file("reg15", {0x1F, 0xFD, 0x1E, 0xFF, 0x0D, 0xFE, 0xFF}).c_str(), 0);
  new_writes();
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(new_writes(), (Writes{{15, 0xFD}, {14, 0xFF}, {13, 0x0E}}))
      << "0x1F is register 15; value bytes are never commands; the shape is cut to 4 bits";
}

TEST_F(Psg, RegisterByteAtTheEndIsWrittenWith0xFF) {
  psg_open(psg_file("tail", {0x08, 0x04, 0xFF, 0x01}).c_str(), 0);
  psg_step();
  new_writes();
  EXPECT_EQ(psg_step(), 0) << "the end of the file in the same step";
  EXPECT_EQ(new_writes(), (Writes{{1, 0x0F}, {7, 0xFF}}));
}

TEST_F(Psg, SkipCountCutOffByTheEndIsTheEndOfTheMusic) {
  std::string path = psg_file("fe_end", {0x08, 0x04, 0xFE});
  psg_open(path.c_str(), 0);
  new_writes();
  EXPECT_EQ(psg_step(), -1) << "0xFE still ends its frame";
  EXPECT_EQ(psg_step(), 0) << "no skipping for ever: the piece ends";
  EXPECT_EQ(new_writes(), (Writes{{8, 4}, {7, 0xFF}}));
  psg_open(path.c_str(), -1);
  new_writes();
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(new_writes(), (Writes{{8, 4}, {8, 4}})) << "a looping piece rewinds";
}

TEST_F(Psg, LoopingPieceWithoutFrameEndsStillEndsEachStep) {
  psg_open(psg_file("no_frame_end", {0x08, 0x05}).c_str(), -1);
  new_writes();
  EXPECT_EQ(psg_step(), -1);
  EXPECT_EQ(new_writes(), (Writes{{8, 5}, {8, 5}})) << "one rewind, then the frame ends";
  EXPECT_EQ(psg_step(), -1);
}

TEST_F(Psg, EveryWriteCostsTwoPortWrites) {
  psg_open(psg_file("cost", {0x08, 0x01, 0x09, 0x02, 0xFF}).c_str(), 0);
  uint32_t before = machine_total_cycles();
  psg_step();
  EXPECT_EQ(machine_total_cycles() - before, 4u * 6) << "two writes, two ports each";
}

TEST_F(Psg, StopSilencesTonesAndNoiseButKeepsAmplitudes) {
  psg_stop();
  EXPECT_EQ(new_writes(), STOP);
  EXPECT_EQ(selected_register, 7) << "register 7 stays selected";
}

}  // namespace
