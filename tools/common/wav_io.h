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

// The most samples one file can hold: the header counts the RIFF chunk's
// bytes (36 of header, then 2 per sample) in 32 bits, so 2147483629 samples,
// 13 h 31 min at 44100 Hz, just under 4 GiB. A longer render cannot be
// written as a WAV file at all; its sizes would wrap into a header that lies.
inline constexpr uint64_t WAV_MAX_SAMPLES = (0xFFFFFFFFu - 36) / 2;

// Whether a file of `samples` samples fits the format: -1 yes, 0 no. For a
// tool to refuse a run up front, before it renders anything.
int wav_fits(uint64_t samples);

// Opens `path` and writes a header for no samples. -1 on success, 0 on failure.
int wav_open(WavWriter& wav, const char* path);

// Appends signed samples. A call that would take the file past
// WAV_MAX_SAMPLES writes none of them and marks the writer failed; a failed
// writer writes nothing more, and its wav_close reports the failure.
void wav_write(WavWriter& wav, const int16_t* samples, int count);

// Appends the sound chip's unsigned samples (silence 0) as the host's audio
// stream plays them: minus 32768, so silence is the lowest level. Refuses a
// call past the limit as wav_write does: none of its samples are written.
void wav_write_chip(WavWriter& wav, const uint16_t* samples, int count);

// Writes the final sizes into the header and closes the file. -1 when every
// sample given was written, 0 otherwise (a write failed or was refused for
// the limit; the header then still says no samples). Does nothing (0) on a
// writer never opened.
int wav_close(WavWriter& wav);
