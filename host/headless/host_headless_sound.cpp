// The headless host's audio: a stream served exactly at the machine's time.
// It hands the pump a buffer only when the whole buffer lies at or before the
// sound clock of the poll, so the renderer never runs ahead of a register
// write (no write is stamped into the rendered past) and never lags by a
// buffer after a fill (the catch-up has nothing to do).
#include <cstddef>
#include <vector>

#include "host/headless/headless.h"
#include "host/headless/headless_internal.h"
#include "host/host.h"

namespace {

std::vector<uint16_t> buffer;         // the stream's one buffer
uint64_t              ticks;          // sound ticks since the sound started, never wrapping
uint32_t              last_time;      // the sound clock at the last poll
uint64_t              rendered;       // samples delivered
bool                  ending;         // headless_end_sound was called
uint64_t              end_samples;    // then: the samples owed at that moment
char                  stream_token;   // its address stands for the stream

// Samples owed by the machine's time at the poll. The sound clock wraps
// after about 20 minutes; polls come often enough that each step is small.
uint64_t owed(uint32_t sound_time) {
  ticks += sound_time - last_time;
  last_time = sound_time;
  return ticks * SAMPLES_PER_UNIT / TICKS_PER_UNIT;  // 64-bit: never wraps
}

}  // namespace

void headless_end_sound() {
  ending = true;
  end_samples = ticks * SAMPLES_PER_UNIT / TICKS_PER_UNIT;
}

int32_t host_sound_install() {
  ticks = 0;
  last_time = 0;
  rendered = 0;
  ending = false;
  return -1;
}

void host_sound_remove() {}

HostStream* host_stream_open(uint32_t length) {
  buffer.assign(length, 0);
  return reinterpret_cast<HostStream*>(&stream_token);
}

void host_stream_close(HostStream*) {}

uint16_t* host_stream_buffer(HostStream*, uint32_t sound_time) {
  const uint64_t due = owed(sound_time);
  if (ending) return rendered < end_samples ? buffer.data() : nullptr;
  return rendered + buffer.size() <= due ? buffer.data() : nullptr;
}

void host_stream_release(HostStream*) {
  uint64_t count = buffer.size();
  if (ending && count > end_samples - rendered) count = end_samples - rendered;
  rendered += count;
  if (headless_host.samples) headless_host.samples(buffer.data(), int32_t(count));
}
