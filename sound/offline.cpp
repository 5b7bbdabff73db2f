// The perfect host. Its stream hands the pump a buffer only when the whole
// buffer lies at or before the machine's current time, so the renderer never
// runs ahead of a register write (no write is stamped into the rendered past)
// and never lags by a buffer after a fill (the catch-up has nothing to do):
// every write takes effect at sample floor(147 x sound_time / 11818).
#include "sound/offline.h"

#include <cstddef>
#include <vector>

#include "sound/chip.h"
#include "sound/pump.h"
#include "sound/queue.h"

namespace {

void (*offline_sink)(const uint16_t* samples, int count, void* user);
void*                 offline_user;
std::vector<uint16_t> offline_buffer;    // the one stream buffer, buffer_length samples
uint64_t              offline_ticks;     // sound ticks since start-up, never wrapping
uint32_t              offline_last_time; // sound_time when offline_ticks was last brought up
uint64_t              offline_rendered;  // samples handed to the sink
char                  offline_token;     // its address stands for the stream

AUDIOSTREAM* stream_token() { return reinterpret_cast<AUDIOSTREAM*>(&offline_token); }

// Samples that the machine's time is worth so far. sound_time wraps after
// about 20 minutes; the pump polls often enough that each difference is small.
uint64_t owed_samples() {
  offline_ticks += sound_queue_time() - offline_last_time;
  offline_last_time = sound_queue_time();
  return offline_ticks * SAMPLES_PER_UNIT / TICKS_PER_UNIT;
}

void host_reserve_voices(int, int) {}
int host_install_sound(int, int, const char*) { return 0; }
void host_remove_sound() {}

AUDIOSTREAM* host_play(int len, int, int, int, int, int) {
  offline_buffer.assign(std::size_t(len), 0);
  return stream_token();
}

void* host_get_buffer(AUDIOSTREAM*) {
  if (offline_rendered + offline_buffer.size() > owed_samples()) return nullptr;
  return offline_buffer.data();
}

void host_free_buffer(AUDIOSTREAM*) {
  offline_rendered += offline_buffer.size();
  if (offline_sink) offline_sink(offline_buffer.data(), int(offline_buffer.size()), offline_user);
}

void host_stop(AUDIOSTREAM*) {}

const SoundHost OFFLINE_HOST = {
    host_reserve_voices, host_install_sound, host_remove_sound, host_play,
    host_get_buffer,     host_free_buffer,   host_stop,
};

}  // namespace

void sound_offline_install(void (*sink)(const uint16_t* samples, int count, void* user),
                           void* user) {
  offline_sink = sink;
  offline_user = user;
  offline_ticks = 0;
  offline_last_time = 0;
  offline_rendered = 0;
  sound_set_host(&OFFLINE_HOST);
}

void sound_offline_flush() {
  uint64_t owed = owed_samples();
  std::vector<uint16_t> tail;
  while (offline_rendered < owed) {
    uint64_t count = owed - offline_rendered;
    if (count > 65536) count = 65536;
    tail.resize(std::size_t(count));
    chip_render(tail.data(), int32_t(count));
    offline_rendered += count;
    if (offline_sink) offline_sink(tail.data(), int(count), offline_user);
  }
}
