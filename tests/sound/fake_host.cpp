#include "tests/sound/fake_host.h"

#include <allegro.h>

#include <cstddef>

#include "machine/random.h"
#include "sound/chip.h"
#include "sound/pump.h"
#include "sound/sound_internal.h"
#include "tests/support/headless.h"

FakeHost fake_host;

namespace {

char stream_token;  // its address stands for the stream

void fake_reserve(int digi, int midi) {
  ++fake_host.reserve_calls;
  fake_host.reserve_args[0] = digi;
  fake_host.reserve_args[1] = midi;
}
int fake_install(int digi, int midi, const char* cfg) {
  ++fake_host.install_calls;
  fake_host.install_args[0] = digi;
  fake_host.install_args[1] = midi;
  fake_host.install_cfg_null = cfg == nullptr;
  return 0;
}
void fake_remove() { ++fake_host.remove_calls; }
AUDIOSTREAM* fake_play(int len, int bits, int stereo, int freq, int vol, int pan) {
  ++fake_host.play_calls;
  int args[6] = {len, bits, stereo, freq, vol, pan};
  for (int i = 0; i < 6; ++i) fake_host.play_args[i] = args[i];
  if (fake_host.play_fails) return nullptr;
  fake_host.buffer.assign(static_cast<std::size_t>(len), 0xDEAD);
  return reinterpret_cast<AUDIOSTREAM*>(&stream_token);
}
void* fake_get(AUDIOSTREAM*) {
  ++fake_host.get_calls;
  if (fake_host.free_buffers <= 0) return nullptr;
  --fake_host.free_buffers;
  return fake_host.buffer.data();
}
void fake_free(AUDIOSTREAM*) {
  ++fake_host.free_calls;
  fake_host.output.insert(fake_host.output.end(), fake_host.buffer.begin(), fake_host.buffer.end());
}
void fake_stop(AUDIOSTREAM*) { ++fake_host.stop_calls; }

const SoundHost FAKE = {fake_reserve, fake_install, fake_remove, fake_play,
                        fake_get,     fake_free,    fake_stop};

bool allegro_sound_removed;

}  // namespace

void sound_test_start(bool stream_opens) {
  test_machine_start();
  if (!allegro_sound_removed) {
    // machine_init started the sound chip on Allegro's own host; let go of
    // whatever stream that opened before switching to the fake one.
    sound_set_host(nullptr);
    sound_shutdown();
    allegro_sound_removed = true;
  }
  fake_host = FakeHost{};
  fake_host.play_fails = !stream_opens;
  sound_set_host(&FAKE);
  lcg_set_state(1);
  noise_phase = 0;  // start-up leaves the noise generator alone; tests start it at 0
  noise_step = 0;
  env_period = 0;
  // sound_init resets the channels only when a stream opens; without one they
  // would keep what an earlier test left (test order differs between hosts).
  chip_reset_channels();
  sound_init();
  fake_host.reserve_calls = fake_host.install_calls = fake_host.play_calls = 0;
}

void sound_test_queue(uint8_t type, uint8_t value, uint32_t sample_delta) {
  SoundEvent& event = sound_queue[queue_write];
  event = SoundEvent{value, type, sample_delta, 0, 0};
  queue_write = (queue_write + 1) & QUEUE_MASK;
}

std::vector<uint16_t> sound_test_render(int count) {
  std::vector<uint16_t> samples(static_cast<std::size_t>(count));
  chip_render(samples.data(), count);
  return samples;
}
