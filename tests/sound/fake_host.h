// Test hosts for the sound chip. The fake host is a scripted audio device:
// the test decides how many buffers it hands out and whether streams open,
// and reads the calls made and the samples filled. The offline host (the one
// the tools use) serves every buffer at the machine's time.
#pragma once
#include <cstdint>
#include <vector>

struct FakeHost {
  int  free_buffers;         // buffers get_audio_stream_buffer still hands out
  bool play_fails;           // no sound: install_sound fails, play_audio_stream returns null
  int  install_calls, remove_calls, play_calls, stop_calls, get_calls;
  int  play_args[6];         // len, bits, stereo, freq, vol, pan of the last play
  std::vector<uint32_t> install_times;  // sound_time_now() at every install_sound
  std::vector<uint16_t> output;         // every filled buffer, in order
};
extern FakeHost fake_host;

// Starts the headless machine (clock 0, generator at its start) on the fake
// host, with or without a stream at start-up; the record starts empty.
void sound_test_start(bool stream_opens = true);

// The same on the offline host; its samples collect in `samples`.
void sound_test_start_offline(std::vector<uint16_t>* samples);

// Selects `reg` and writes `value` through the ports (12 cycles or a few more).
void sound_test_write(int reg, int value);

// Charges `ticks` sound ticks of machine time (any amount).
void sound_test_spend(uint64_t ticks);

// The fewest sound ticks worth `samples` output samples.
inline uint32_t ticks_for(uint64_t samples) { return uint32_t((samples * 11818 + 146) / 147); }
