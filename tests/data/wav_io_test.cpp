// The WAV writer's limit: sizes that would wrap the header's 32 bits are
// refused, not written. The writers start counted near the limit, so that no
// test writes gigabytes: the sizes are arithmetic on that count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/common/wav_io.h"

// The little-endian 32-bit field at byte `at` of a file.
static uint32_t field(const std::string& path, int at) {
  std::ifstream in(path, std::ios::binary);
  unsigned char b[4] = {};
  in.seekg(at).read(reinterpret_cast<char*>(b), 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

TEST(WavLimit, TheLastSampleFitsAndACallPastItWritesNothing) {
  EXPECT_EQ(wav_fits(WAV_MAX_SAMPLES), -1);
  EXPECT_EQ(wav_fits(WAV_MAX_SAMPLES + 1), 0);
  const std::string path = testing::TempDir() + "wav_limit.wav";
  const std::vector<uint16_t> chip(4097, 0x8000);
  WavWriter wav;
  ASSERT_EQ(wav_open(wav, path.c_str()), -1);
  wav.samples = WAV_MAX_SAMPLES - 4096;    // as if just under 4 GiB had gone
  wav_write_chip(wav, chip.data(), 4096);  // up to the limit exactly
  ASSERT_EQ(wav_close(wav), -1);
  EXPECT_EQ(field(path, 4), 36 + 2 * WAV_MAX_SAMPLES) << "RIFF size";
  EXPECT_EQ(field(path, 40), 2 * WAV_MAX_SAMPLES) << "data size";

  ASSERT_EQ(wav_open(wav, path.c_str()), -1);
  wav.samples = WAV_MAX_SAMPLES - 4096;
  wav_write_chip(wav, chip.data(), 4097);  // one past: none of the call
  wav_write(wav, reinterpret_cast<const int16_t*>(chip.data()), 1);  // nor after
  EXPECT_EQ(wav_close(wav), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 44u);
}
