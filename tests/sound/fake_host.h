// Test hosts for the sound chip. The fake host is a scripted audio device:
// the test decides how many buffers it hands out and whether sound can be
// started, and reads the calls made and the samples filled. The offline host
// (the tools' host) serves every buffer at the machine's time.
#pragma once
#include <cstdint>
#include <vector>

struct FakeHost {
  int  free_buffers;  // buffers get_audio_stream_buffer still hands out
  bool no_sound;      // install_sound fails and play_audio_stream returns null
  int  play_calls, stop_calls, remove_calls, get_calls;
  int  reserves;      // reserve_voices(1, 0) calls: one voice, no MIDI
  int  play_args[6];  // len, bits, stereo, freq, vol, pan of the last play
  std::vector<uint32_t> install_times;  // sound_time_now() at every install_sound
  std::vector<uint16_t> output;         // every filled buffer, in order
};
extern FakeHost fake_host;

// Start the headless machine (clock 0, generator at its start) and the sound
// chip on the fake host, with or without sound at start-up (the record is
// cleared after start-up), or on the offline host collecting into `samples`.
void sound_test_start(bool stream_opens = true);
void sound_test_start_offline(std::vector<uint16_t>* samples);

void sound_test_write(int reg, int value);  // select, then data: 12 cycles or a few more
void sound_test_spend(uint64_t ticks);      // charges any number of sound ticks

// The chip's amplitude of each 4-bit level.
inline constexpr int32_t LEVELS[16] = {0,    225,  335,  476,  693,   1013,  1388,  2243,
                                       2771, 4336, 5778, 7371, 9345, 11260, 13896, 16383};

// The fewest sound ticks worth `samples` output samples.
inline uint32_t ticks_for(uint64_t samples) { return uint32_t((samples * 11818 + 146) / 147); }
