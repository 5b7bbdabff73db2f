// The end-to-end sound test's player: runs the real machine paced at 50
// frames per second with Allegro's audio stream (no window needed) and plays
// a PSG file through psg_step. It reports on stdout the monotonic time at
// which the stream opened (the machine's sound time 0), so the test can turn
// a recording's position into the audible latency, and how often the pump
// had to bend the renderer's timeline (writes stamped into already rendered
// samples, catch-ups), every half second of music.
//
// The music is written WRITE_AT_CYCLES into each frame, not right after the
// frame starts as the game does. The pump fills at the first poll after the
// frame wait, a buffer at a time, and that fill must neither pass a write
// still to come in the frame (the write would be stamped into rendered
// samples and moved) nor leave behind a write older than a buffer (the
// catch-up would move it). With the writes at the frame start that leaves
// 882 samples of slack for a fill step of 512 or 1024 samples plus the host
// mixer's steps and the frame jitter; with the writes near the frame's end
// the slack is about 1600 samples for buffers of 512 or 1024, and the test
// then sees the chip's sound path itself.
//
// Usage: sound_play FILE.psg FRAMES WRITE_AT_CYCLES
// SOUND_PLAY_ALSA_FRAGSIZE / SOUND_PLAY_ALSA_NUMFRAGS, when set, tune
// Allegro's ALSA driver (period size and count) before it starts; the test
// sets 512 and 3.
#include <allegro.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "machine/machine.h"
#include "sound/psg.h"
#include "sound/pump.h"
#include "sound/sound_internal.h"

namespace {


double stream_opened_at = -1;  // monotonic seconds of the first stream opening
int    streams_opened;         // start-up plus every restart
long   buffers_filled;
long   samples_filled;         // samples handed to the stream

double monotonic_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void host_reserve_voices(int digi, int midi) { reserve_voices(digi, midi); }
int host_install_sound(int digi, int midi, const char* cfg) {
  // The test's latency budget: ALSA's periods as small as the driver allows
  // keep what the host buffers well under the 100 ms the test accepts.
  if (const char* size = std::getenv("SOUND_PLAY_ALSA_FRAGSIZE")) {
    set_config_int("sound", "alsa_fragsize", std::atoi(size));
  }
  if (const char* count = std::getenv("SOUND_PLAY_ALSA_NUMFRAGS")) {
    set_config_int("sound", "alsa_numfrags", std::atoi(count));
  }
  int result = install_sound(digi, midi, cfg);
  // Start the device before the machine does, as on a desktop whose sound
  // server is already playing: a silent stream fed for half a second gets
  // ALSA and PulseAudio past their start-up, which otherwise holds the
  // machine's first stream for a few hundred milliseconds.
  if (AUDIOSTREAM* warm = play_audio_stream(512, 16, 0, 44100, 0, 128)) {
    double until = monotonic_seconds() + 0.5;
    while (monotonic_seconds() < until) {
      while (void* buffer = get_audio_stream_buffer(warm)) {
        auto* samples = static_cast<uint16_t*>(buffer);
        for (int i = 0; i < 512; ++i) samples[i] = 0x8000;
        free_audio_stream_buffer(warm);
      }
      rest(1);
    }
    stop_audio_stream(warm);
  }
  return result;
}
void host_remove_sound() { remove_sound(); }
AUDIOSTREAM* host_play(int len, int bits, int stereo, int freq, int vol, int pan) {
  AUDIOSTREAM* stream = play_audio_stream(len, bits, stereo, freq, vol, pan);
  if (stream && stream_opened_at < 0) stream_opened_at = monotonic_seconds();
  if (stream) ++streams_opened;
  return stream;
}
void* host_get(AUDIOSTREAM* stream) { return get_audio_stream_buffer(stream); }
bool trace = std::getenv("SOUND_PLAY_TRACE") != nullptr;
void host_free(AUDIOSTREAM* stream) {
  ++buffers_filled;
  samples_filled += long(buffer_length);
  if (trace) {
    std::fprintf(stderr, "fill t=%.4f machine=%u rendered=%ld len=%u late=%u catchups=%u\n",
                 monotonic_seconds() - stream_opened_at, sound_ticks_to_samples(sound_time),
                 samples_filled, buffer_length,
                 sound_timing_counts.late_stamps, sound_timing_counts.catch_ups);
  }
  free_audio_stream_buffer(stream);
}
void host_stop(AUDIOSTREAM* stream) { stop_audio_stream(stream); }

const SoundHost HOST = {host_reserve_voices, host_install_sound, host_remove_sound, host_play,
                        host_get,            host_free,          host_stop};

int no_window(int, int, int) { return 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: sound_play FILE.psg FRAMES WRITE_AT_CYCLES\n");
    return 2;
  }
  long frames = std::atol(argv[2]);
  uint32_t write_at = uint32_t(std::atol(argv[3]));
  sound_set_host(&HOST);
  MachineHooks hooks{};
  hooks.set_gfx_mode = no_window;
  machine_set_hooks(hooks);
  machine_init();
  if (!sound_available) {
    std::fprintf(stderr, "sound_play: no audio stream\n");
    return 3;
  }
  if (!psg_open(argv[1], -1)) {
    std::fprintf(stderr, "sound_play: cannot play %s\n", argv[1]);
    return 2;
  }
  SoundTimingCounts before_music = sound_timing_counts;
  for (long i = 0; i < frames; ++i) {
    // The first poll of the frame, then the music late in the frame (see
    // the header).
    machine_spend(6);
    machine_spend(write_at - 6);
    psg_step();
    machine_present();
    if (i % 25 == 24) {
      // How the timeline fared, every half second of music.
      std::printf("music_frame_%04ld late=%u catch_ups=%u streams=%d length=%u\n", i + 1,
                  sound_timing_counts.late_stamps - before_music.late_stamps,
                  sound_timing_counts.catch_ups - before_music.catch_ups, streams_opened,
                  buffer_length);
    }
  }
  SoundTimingCounts during_music = sound_timing_counts;
  psg_stop();
  // Let the last buffers play out before the stream goes.
  for (int i = 0; i < 25; ++i) machine_present();
  std::printf("stream_opened_at %.6f\n", stream_opened_at);
  std::printf("streams_opened %d\n", streams_opened);
  std::printf("buffers_filled %ld\n", buffers_filled);
  std::printf("buffer_length %u\n", buffer_length);
  std::printf("sound_time %u\n", sound_time);
  std::printf("late_stamps_in_music %u\n", during_music.late_stamps - before_music.late_stamps);
  std::printf("catch_ups_in_music %u\n", during_music.catch_ups - before_music.catch_ups);
  std::printf("overruns_in_music %u\n", during_music.overruns - before_music.overruns);
  machine_shutdown();
  return 0;
}
