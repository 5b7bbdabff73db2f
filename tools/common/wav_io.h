// The WAV writer of the machine's tools: 44100 Hz, mono, signed 16-bit PCM,
// written as the samples come so that a render of any length holds no more
// than one buffer of them, the header's sizes filled in at the close.
#pragma once
#include <cstdint>
#include <cstdio>

struct WavWriter {
  FILE*    file = nullptr;
  uint64_t samples = 0;
  bool     failed = false;
};

// Opens `path` and writes a header for no samples. -1 on success, 0 on failure.
int wav_open(WavWriter& wav, const char* path);

// Appends signed samples.
void wav_write(WavWriter& wav, const int16_t* samples, int count);

// Appends the sound chip's unsigned samples (silence 0) as the host's audio
// stream plays them: minus 32768, so silence is the lowest level.
void wav_write_chip(WavWriter& wav, const uint16_t* samples, int count);

// Writes the final sizes into the header and closes the file. -1 when every
// byte was written, 0 otherwise. Does nothing (0) on a writer never opened.
int wav_close(WavWriter& wav);
