// The real game on the real host (window, 250 Hz timer, Allegro's sound
// driver), exactly as the quadrillo program runs it, with a log for the
// host-fault tests. After every presented frame:
//   frame <n> <ms since the first frame> <samples taken by the host> <stream length or 0> <full screen>
// and at every reopening of the host's sound after start-up:
//   reopen <ms> <ms the attempt took> <1 if a stream opened, else 0>
// With QUADRILLO_HOLD_ALT_ENTER="FIRST LAST", Alt and Enter are held in key[]
// from frame FIRST to frame LAST: keys sent through Xvfb cannot do this, as
// without a window manager the full-screen window gets no keyboard focus.
#include <allegro.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "game/flow.h"
#include "machine/machine.h"
#include "machine/machine_internal.h"
#include "sound/pump.h"

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point first_frame = Clock::now(), reopen_began;  // reopen_began: 0 when none runs
long frames, hold_first = -1, hold_last = -1;
unsigned long long samples_taken;
int stream_length;  // of the open stream, 0 when none

long long ms(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t - first_frame).count();
}
void log_reopen(int opened) {
  if (reopen_began == Clock::time_point{}) return;
  std::printf("reopen %lld %.1f %d\n", ms(Clock::now()),
              std::chrono::duration<double, std::milli>(Clock::now() - reopen_began).count(), opened);
  reopen_began = {};
}

void* host_get(AUDIOSTREAM* stream) {
  void* buffer = get_audio_stream_buffer(stream);
  if (buffer) samples_taken += unsigned(stream_length);
  return buffer;
}
void host_reserve(int digi, int midi) { reserve_voices(digi, midi); }
int host_install(int digi, int midi, const char* cfg) {
  int result = install_sound(digi, midi, cfg);
  if (result != 0) log_reopen(0);
  return result;
}
void host_remove() {
  reopen_began = Clock::now();
  remove_sound();
}
AUDIOSTREAM* host_play(int len, int bits, int stereo, int freq, int vol, int pan) {
  AUDIOSTREAM* stream = play_audio_stream(len, bits, stereo, freq, vol, pan);
  stream_length = stream ? len : 0;
  log_reopen(stream ? 1 : 0);
  return stream;
}
void host_stop(AUDIOSTREAM* stream) {
  stop_audio_stream(stream);
  stream_length = 0;
}
const SoundHost HOST = {host_reserve, host_install, host_remove, host_play,
                        host_get,     free_audio_stream_buffer, host_stop};

void on_present(BITMAP*) {
  if (frames++ == 0) first_frame = Clock::now();
  std::printf("frame %ld %lld %llu %d %d\n", frames, ms(Clock::now()), samples_taken, stream_length,
              machine_fullscreen() ? 1 : 0);
  std::fflush(stdout);
  bool hold = frames >= hold_first && frames <= hold_last;
  if (hold || frames == hold_last + 1) {
    key[KEY_ALT] = hold;
    key[KEY_ENTER] = hold;
  }
}

}  // namespace

int main() {
  if (const char* hold = std::getenv("QUADRILLO_HOLD_ALT_ENTER"))
    if (std::sscanf(hold, "%ld %ld", &hold_first, &hold_last) != 2) hold_first = hold_last = -1;
  MachineHooks hooks{};
  hooks.presented = on_present;  // everything else as in the program
  machine_set_hooks(hooks);
  sound_set_host(&HOST);
  return game_main();
}
END_OF_MAIN()
