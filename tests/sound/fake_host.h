// A scripted audio host for the sound chip's tests: the pump's host calls land
// in a record that the test fills (free buffers, failing stream opens) and
// reads (calls made, samples rendered). Tests start the sound chip on it with
// sound_test_start(), which makes every test begin from the same state.
#pragma once
#include <cstdint>
#include <vector>

struct FakeHost {
  int  free_buffers;        // buffers get_audio_stream_buffer still hands out
  bool play_fails;          // play_audio_stream returns null while set
  int  reserve_calls, install_calls, remove_calls;
  int  play_calls, stop_calls, get_calls, free_calls;
  int  play_args[6];        // len, bits, stereo, freq, vol, pan of the last play
  int  reserve_args[2];
  int  install_args[2];     // digi, midi
  bool install_cfg_null;
  std::vector<uint16_t> buffer;  // the buffer handed out (play's len samples)
  std::vector<uint16_t> output;  // every filled buffer, in order
};
extern FakeHost fake_host;

// Starts the machine headless (clock at 0), puts the generator back to its
// start so the noise table is the program's, installs the fake host with
// `stream_opens` deciding whether sound_init gets a stream, and runs
// sound_init. The fake record is cleared first.
void sound_test_start(bool stream_opens = true);

// Places an event in the ring by hand, `sample_delta` samples after the
// previous one (ticks 0, remainder 0), as the renderer will read it.
void sound_test_queue(uint8_t type, uint8_t value, uint32_t sample_delta);

// Renders `count` samples from the chip into a new vector.
std::vector<uint16_t> sound_test_render(int count);
