#include "tests/sound/fake_host.h"

#include <allegro.h>

#include "machine/random.h"
#include "sound/offline.h"
#include "sound/ports.h"
#include "sound/pump.h"
#include "tests/support/headless.h"

FakeHost fake_host;

namespace {

std::vector<uint16_t> buffer;  // the stream's one buffer; its address stands for the stream

int fake_install(int, int, const char*) {
  fake_host.install_times.push_back(sound_time_now());
  return fake_host.no_sound ? -1 : 0;
}
AUDIOSTREAM* fake_play(int len, int bits, int stereo, int freq, int vol, int pan) {
  ++fake_host.play_calls;
  int args[6] = {len, bits, stereo, freq, vol, pan};
  std::copy(args, args + 6, fake_host.play_args);
  buffer.assign(size_t(len), 0xDEAD);
  return fake_host.no_sound ? nullptr : reinterpret_cast<AUDIOSTREAM*>(&buffer);
}
void* fake_get(AUDIOSTREAM*) {
  ++fake_host.get_calls;
  return fake_host.free_buffers > 0 && fake_host.free_buffers-- ? buffer.data() : nullptr;
}
void fake_free(AUDIOSTREAM*) { fake_host.output.insert(fake_host.output.end(), buffer.begin(), buffer.end()); }

const SoundHost FAKE = {[](int digi, int midi) { fake_host.reserves += digi == 1 && midi == 0; }, fake_install, [] { ++fake_host.remove_calls; }, fake_play,
                        fake_get, fake_free, [](AUDIOSTREAM*) { ++fake_host.stop_calls; }};

void start_machine() {
  static bool started;
  test_machine_start();
  if (!started) {  // machine_init started sound on Allegro's host: let go of it
    sound_set_host(nullptr);
    sound_shutdown();
    started = true;
  }
  lcg_set_state(1);
}

}  // namespace

void sound_test_start(bool stream_opens) {
  fake_host = FakeHost{};
  fake_host.no_sound = !stream_opens;
  start_machine();
  sound_set_host(&FAKE);
  sound_init();
  fake_host.install_times.clear();
  fake_host.play_calls = 0;
}

void sound_test_start_offline(std::vector<uint16_t>* samples) {
  start_machine();
  sound_offline_install([](const uint16_t* s, int n, void* out) {
    static_cast<std::vector<uint16_t>*>(out)->insert(static_cast<std::vector<uint16_t>*>(out)->end(), s, s + n);
  }, samples);
  sound_init();
}

void sound_test_write(int reg, int value) {
  sound_out(PORT_REGISTER_SELECT, reg);
  sound_out(PORT_REGISTER_DATA, value);
}

void sound_test_spend(uint64_t ticks) {
  for (uint64_t part; ticks > 0; ticks -= part) {
    part = ticks < 300000000 ? ticks : 300000000;
    machine_spend(uint32_t(6 * part));
  }
}
