// The headless host: the machine with no display, timer or audio device, for
// the replay harness, the tools that render the machine's output and the
// tests. Bitmaps are plain memory; the keys held are whatever the caller
// sets; the 250 Hz timer is a virtual clock that a rest moves on at once, so
// frames are paced without anyone waiting; and the audio stream hands out a
// buffer only when the whole of it lies at or before the machine's time, so
// every register write takes effect at output sample
// floor(147 x sound time / 11818), the catch-up never fires, and nothing is
// ever rendered ahead of a write.
//
// The caller sees the run through a record of functions: every frame at its
// present, every sample, every port write, and the moment the program first
// finds the close button pressed.
#pragma once
#include <cstdint>

struct HostBitmap;

struct HeadlessHost {
  // A graphics mode asked for: -1 grants it, 0 refuses it. Null grants all.
  int32_t (*set_mode)(int32_t fullscreen, int32_t width, int32_t height);
  // The picture of each present (320 x 240 colour bytes).
  void (*presented)(const HostBitmap* shown);
  // The sound chip's samples (unsigned, its silence 0), in order.
  void (*samples)(const uint16_t* samples, int32_t count);
  // Each port write, with the machine's cycle count after it.
  void (*port_written)(uint32_t cycles, uint32_t port, int32_t value);
  // The program asked whether to quit and was told yes for the first time.
  void (*close_seen)();
};

// Sets the record (members may be null). Call before machine_init.
void headless_set(const HeadlessHost& host);

// Holds (non-zero) or releases the key `code` (a HostKey); every key at once
// for headless_release_keys.
void headless_key(int32_t code, int32_t held);
void headless_release_keys();

// Presses the close button: the program's next quit question is answered yes.
void headless_close();

// The host's own controls switch to a full screen (non-zero) or a window:
// the machine's next frame end takes that kind as its own.
void headless_display_change(int32_t fullscreen);

// Adds `ticks` ticks of the 250 Hz timer at once, as a host that fell behind
// delivers them in a burst.
void headless_timer_burst(uint32_t ticks);

// Milliseconds the machine has rested (its virtual time).
uint64_t headless_rested_ms();

// Bitmaps made and not yet destroyed: none once the machine has shut down,
// unless the runtime leaked one.
int32_t headless_bitmaps_live();

// Ends the sound: the samples already owed by the machine's time up to now
// are still delivered (in the next buffer the stream hands out, at the
// latest at machine_shutdown), and none after them. A replay's sound ends
// where the program was asked to quit.
void headless_end_sound();
