#include "tools/common/wav_io.h"

#include "host/rates.h"

namespace {

void put_le(uint8_t* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = uint8_t(value >> (8 * i));
}

// Whether `count` more samples may be written. A call past the limit marks
// the writer failed, so that the file is never closed with wrapped sizes.
bool may_write(WavWriter& wav, int count) {
  if (!wav.file || count <= 0) return false;
  if (!wav_fits(wav.samples + uint64_t(count))) wav.failed = true;
  return !wav.failed;
}

// The 44-byte header of a mono 16-bit PCM file of `samples` samples, at most
// WAV_MAX_SAMPLES.
void header(uint8_t out[44], uint64_t samples) {
  const uint32_t data_bytes = uint32_t(samples * 2);
  const char* tags[] = {"RIFF", "WAVE", "fmt ", "data"};
  const int at[] = {0, 8, 12, 36};
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 4; ++i) out[at[t] + i] = uint8_t(tags[t][i]);
  put_le(out + 4, 36 + data_bytes, 4);
  put_le(out + 16, 16, 4);                // size of the fmt chunk
  put_le(out + 20, 1, 2);                 // PCM
  put_le(out + 22, 1, 2);                 // mono
  put_le(out + 24, SAMPLE_RATE, 4);
  put_le(out + 28, SAMPLE_RATE * 2, 4);   // bytes per second
  put_le(out + 32, 2, 2);                 // bytes per sample frame
  put_le(out + 34, 16, 2);                // bits per sample
  put_le(out + 40, data_bytes, 4);
}

}  // namespace

int wav_fits(uint64_t samples) { return samples <= WAV_MAX_SAMPLES ? -1 : 0; }

int wav_open(WavWriter& wav, const char* path) {
  wav = WavWriter{};
  wav.file = std::fopen(path, "wb");
  if (!wav.file) return 0;
  uint8_t bytes[44];
  header(bytes, 0);
  wav.failed = std::fwrite(bytes, 1, sizeof bytes, wav.file) != sizeof bytes;
  return -1;
}

void wav_write(WavWriter& wav, const int16_t* samples, int count) {
  if (!may_write(wav, count)) return;
  uint8_t bytes[2 * 4096];
  for (int done = 0; done < count;) {
    const int n = count - done < 4096 ? count - done : 4096;
    for (int i = 0; i < n; ++i) put_le(bytes + 2 * i, uint16_t(samples[done + i]), 2);
    if (std::fwrite(bytes, 1, size_t(2 * n), wav.file) != size_t(2 * n)) wav.failed = true;
    done += n;
  }
  wav.samples += uint64_t(count);
}

void wav_write_chip(WavWriter& wav, const uint16_t* samples, int count) {
  // The whole call is checked before its first block, as the blocks below
  // would each pass on their own until the one that crosses the limit.
  if (!may_write(wav, count)) return;
  int16_t block[4096];
  for (int done = 0; done < count;) {
    const int n = count - done < 4096 ? count - done : 4096;
    for (int i = 0; i < n; ++i) block[i] = int16_t(uint16_t(samples[done + i] - 0x8000));
    wav_write(wav, block, n);
    done += n;
  }
}

int wav_close(WavWriter& wav) {
  if (!wav.file) return 0;
  uint8_t bytes[44];
  header(bytes, wav.samples);
  bool ok = !wav.failed && std::fseek(wav.file, 0, SEEK_SET) == 0 &&
            std::fwrite(bytes, 1, sizeof bytes, wav.file) == sizeof bytes;
  ok = std::fclose(wav.file) == 0 && ok;
  wav.file = nullptr;
  return ok ? -1 : 0;
}
