// The real game on the real host (window, 250 Hz timer, Allegro's sound
// driver), exactly as the quadrillo program runs it, with a log for the
// host-fault tests: after every presented frame one line on standard output,
//   frame <n> <ms since the first frame> <samples taken by the host> <stream> <buffer length> <full screen>
// where <stream> is 1 while an audio stream is open and <full screen> is 1
// in full-screen mode, 0 in the window. The samples are counted
// by wrapping Allegro's get_audio_stream_buffer, so the log shows whether the
// host audio is taking sound, and the times show the frame rate.
//
// With QUADRILLO_HOLD_ALT_ENTER="FIRST LAST" in the environment, Alt and
// Enter are held in key[] from frame FIRST to frame LAST (the frame ends
// after those presents toggle the display, every one of them) and released
// afterwards. Keys sent through the X server cannot do this under Xvfb:
// without a window manager the full-screen window gets no keyboard focus,
// so the second toggle never sees the keys.
#include <allegro.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "game/flow.h"
#include "machine/machine.h"
#include "machine/machine_internal.h"
#include "sound/pump.h"
#include "sound/sound_internal.h"

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point first_frame;
bool started;
long frames;
unsigned long long samples_taken;
long hold_first = -1, hold_last = -1;  // frames with Alt+Enter held; -1: never

void* counting_get_buffer(AUDIOSTREAM* stream) {
  void* buffer = get_audio_stream_buffer(stream);
  if (buffer) samples_taken += buffer_length;
  return buffer;
}
void host_reserve_voices(int digi, int midi) { reserve_voices(digi, midi); }
int host_install_sound(int digi, int midi, const char* cfg) { return install_sound(digi, midi, cfg); }
void host_remove_sound() { remove_sound(); }

const SoundHost COUNTING_HOST = {host_reserve_voices,       host_install_sound,
                                 host_remove_sound,         play_audio_stream,
                                 counting_get_buffer,       free_audio_stream_buffer,
                                 stop_audio_stream};

void on_present(BITMAP*) {
  const Clock::time_point now = Clock::now();
  if (!started) {
    first_frame = now;
    started = true;
  }
  ++frames;
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now - first_frame).count();
  std::printf("frame %ld %lld %llu %d %u %d\n", frames, ms, samples_taken, audio_stream ? 1 : 0,
              unsigned(buffer_length), machine_fullscreen() ? 1 : 0);
  std::fflush(stdout);
  if (frames >= hold_first && frames <= hold_last) {
    key[KEY_ALT] = 1;
    key[KEY_ENTER] = 1;
  } else if (frames == hold_last + 1) {
    key[KEY_ALT] = 0;
    key[KEY_ENTER] = 0;
  }
}

}  // namespace

int main() {
  if (const char* hold = std::getenv("QUADRILLO_HOLD_ALT_ENTER"))
    if (std::sscanf(hold, "%ld %ld", &hold_first, &hold_last) != 2) hold_first = hold_last = -1;
  MachineHooks hooks{};
  hooks.presented = on_present;  // everything else as in the program
  machine_set_hooks(hooks);
  sound_set_host(&COUNTING_HOST);
  return game_main();
}
END_OF_MAIN()
