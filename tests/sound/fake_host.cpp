#include "tests/sound/fake_host.h"

#include <allegro.h>

#include "machine/machine.h"
#include "machine/random.h"
#include "sound/offline.h"
#include "sound/ports.h"
#include "sound/pump.h"
#include "tests/support/headless.h"

FakeHost fake_host;

namespace {

char stream_token;  // its address stands for the stream
std::vector<uint16_t> buffer;

void fake_reserve(int, int) {}
int fake_install(int, int, const char*) {
  ++fake_host.install_calls;
  fake_host.install_times.push_back(sound_time_now());
  return fake_host.play_fails ? -1 : 0;
}
void fake_remove() { ++fake_host.remove_calls; }
AUDIOSTREAM* fake_play(int len, int bits, int stereo, int freq, int vol, int pan) {
  ++fake_host.play_calls;
  int args[6] = {len, bits, stereo, freq, vol, pan};
  for (int i = 0; i < 6; ++i) fake_host.play_args[i] = args[i];
  if (fake_host.play_fails) return nullptr;
  buffer.assign(size_t(len), 0xDEAD);
  return reinterpret_cast<AUDIOSTREAM*>(&stream_token);
}
void* fake_get(AUDIOSTREAM*) {
  ++fake_host.get_calls;
  if (fake_host.free_buffers <= 0) return nullptr;
  --fake_host.free_buffers;
  return buffer.data();
}
void fake_free(AUDIOSTREAM*) { fake_host.output.insert(fake_host.output.end(), buffer.begin(), buffer.end()); }
void fake_stop(AUDIOSTREAM*) { ++fake_host.stop_calls; }

const SoundHost FAKE = {fake_reserve, fake_install, fake_remove, fake_play,
                        fake_get,     fake_free,    fake_stop};

void collect(const uint16_t* samples, int count, void* out) {
  static_cast<std::vector<uint16_t>*>(out)->insert(static_cast<std::vector<uint16_t>*>(out)->end(),
                                                  samples, samples + count);
}

void start_machine() {
  static bool allegro_sound_removed;
  test_machine_start();
  if (!allegro_sound_removed) {
    // machine_init started the sound chip on Allegro's own host; let go of
    // whatever that opened before switching hosts.
    sound_set_host(nullptr);
    sound_shutdown();
    allegro_sound_removed = true;
  }
}

}  // namespace

void sound_test_start(bool stream_opens) {
  fake_host = FakeHost{};
  fake_host.play_fails = !stream_opens;
  start_machine();
  sound_set_host(&FAKE);
  lcg_set_state(1);
  sound_init();
  fake_host.install_times.clear();
  fake_host.install_calls = fake_host.play_calls = 0;
}

void sound_test_start_offline(std::vector<uint16_t>* samples) {
  start_machine();
  sound_offline_install(collect, samples);
  lcg_set_state(1);
  sound_init();
}

void sound_test_write(int reg, int value) {
  sound_out(PORT_REGISTER_SELECT, reg);
  sound_out(PORT_REGISTER_DATA, value);
}

void sound_test_spend(uint64_t ticks) {
  for (; ticks > 0;) {
    uint64_t part = ticks < 300000000 ? ticks : 300000000;
    machine_spend(uint32_t(6 * part));
    ticks -= part;
  }
}
