// The end-to-end sound test's player: the real machine, paced at 50 frames a
// second, on Allegro's audio stream (no window), plays a PSG file with
// psg_step, writing each frame's registers WRITE_AT_CYCLES into the frame.
// Writes late in the frame keep clear of the pump's fills, which come at the
// first poll after the frame wait: a fill then neither passes a write still
// to come in the frame nor leaves one behind by more than a buffer, so the
// test hears the chip's sound path without the timeline being bent. Prints
// the monotonic time at which the stream opened (sound time 0) and how many
// streams were opened. ALSA's periods are 512 frames, 3 of them, so the
// host's share of the latency stays small.
//
// Usage: sound_play FILE.psg FRAMES WRITE_AT_CYCLES
#include <allegro.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "machine/machine.h"
#include "sound/psg.h"
#include "sound/pump.h"

namespace {

double opened_at = -1;  // monotonic seconds of the first stream opening
int    streams;         // start-up, restarts and reopenings

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void host_reserve_voices(int digi, int midi) { reserve_voices(digi, midi); }
int host_install_sound(int digi, int midi, const char* cfg) {
  set_config_int("sound", "alsa_fragsize", 512);
  set_config_int("sound", "alsa_numfrags", 3);
  int result = install_sound(digi, midi, cfg);
  // Warm the device up first, as on a desktop whose sound server already
  // plays: half a second of a silent stream gets ALSA and PulseAudio past
  // their start-up, which would otherwise hold the machine's first stream.
  if (AUDIOSTREAM* warm = play_audio_stream(512, 16, 0, 44100, 0, 128)) {
    for (double until = seconds() + 0.5; seconds() < until; rest(1)) {
      while (void* buffer = get_audio_stream_buffer(warm)) {
        for (int i = 0; i < 512; ++i) static_cast<uint16_t*>(buffer)[i] = 0x8000;
        free_audio_stream_buffer(warm);
      }
    }
    stop_audio_stream(warm);
  }
  return result;
}
void host_remove_sound() { remove_sound(); }
AUDIOSTREAM* host_play(int len, int bits, int stereo, int freq, int vol, int pan) {
  AUDIOSTREAM* stream = play_audio_stream(len, bits, stereo, freq, vol, pan);
  if (stream && opened_at < 0) opened_at = seconds();
  streams += stream != nullptr;
  return stream;
}

const SoundHost HOST = {host_reserve_voices, host_install_sound,       host_remove_sound,
                        host_play,           get_audio_stream_buffer, free_audio_stream_buffer,
                        stop_audio_stream};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  sound_set_host(&HOST);
  MachineHooks hooks{};
  hooks.set_gfx_mode = [](int, int, int) { return 0; };
  machine_set_hooks(hooks);
  machine_init();
  if (opened_at < 0 || !psg_open(argv[1], -1)) return 3;
  for (long i = 0; i < std::atol(argv[2]); ++i) {
    machine_spend(6);  // the first poll of the frame, then the music late in it
    machine_spend(uint32_t(std::atol(argv[3])) - 6);
    psg_step();
    machine_present();
  }
  psg_stop();
  for (int i = 0; i < 25; ++i) machine_present();  // the last buffers play out
  std::printf("stream_opened_at %.6f streams %d\n", opened_at, streams);
  machine_shutdown();
  return 0;
}
