// The host: everything the machine's runtime asks of the computer it runs
// on, and nothing else. The machine layer, the blitter's bitmaps and the
// sound pump reach the outside world only through these functions; no other
// file of the runtime names a host library.
//
// Exactly one host is linked into a program, chosen at link time:
// - the desktop host (Allegro 4: a window, its keyboard, a 250 Hz timer
//   thread, an audio stream polled for free buffers);
// - the headless host (memory bitmaps, keys set by the caller, a virtual
//   clock that never makes anyone wait, and an audio stream that is served
//   exactly at the machine's time): the replay harness, the tools and the
//   tests run on it, with no display, timer or audio device;
// - the browser host (a canvas, keyboard events, the page's clock, WebAudio).
// Flags follow the machine's convention: -1 yes / success, 0 no / failure.
#pragma once
#include <cstdint>

#include "host/keys.h"
#include "host/rates.h"

// --- Start-up ---------------------------------------------------------------

// Starts the host system, its keyboard and its 250 Hz timer. 0 when there is
// no system to run on at all (no display server): host_error() says why.
int32_t host_start();

// The host's own words on the last failure of host_start or host_set_mode,
// or "" after a success.
const char* host_error();

// Where arithmetic reports a range error (ERANGE): the host library's error
// number, null before host_start.
int* host_errno();

// --- Bitmaps ----------------------------------------------------------------

// An 8-bit bitmap of colour bytes, w x h, reached through its row pointers.
struct HostBitmap {
  int32_t   w, h;    // pixels
  uint8_t** line;    // h row pointers, each to w colour bytes
  void*     native;  // the host library's own object, if it has one
};

// A new bitmap with undefined contents; null when the host has no memory.
// A 0 width or height is a valid empty bitmap.
HostBitmap* host_bitmap_create(int32_t width, int32_t height);
void        host_bitmap_destroy(HostBitmap* bitmap);  // null is ignored
void        host_bitmap_clear(HostBitmap* bitmap, uint8_t colour);

// --- Display ----------------------------------------------------------------

// Sets a graphics mode: a window (fullscreen 0) or the full screen (-1) of
// width x height, showing the palette's colours, cleared to colour 0, with
// the close button armed. -1 on success, 0 when the host refuses the mode.
int32_t host_set_mode(int32_t fullscreen, int32_t width, int32_t height);

// Sets all 256 colours of the screen: components 0..63, red, green, blue.
void host_set_palette(const uint8_t colours[256][3]);

// Shows `shown` (320 x 240) stretched over the whole screen of the mode.
void host_present(const HostBitmap* shown);

void host_set_title(const char* title);

// -1 once the window's close button was pressed (never cleared).
int32_t host_close_requested();

// -1 when the host itself has changed the kind of mode since the last call
// (a page's own full-screen button, or Esc leaving the browser's full
// screen), with the kind it now shows in *fullscreen (-1 full screen, 0 a
// window); 0 when it has not. The machine asks at every frame end and takes
// the host's kind as its own, with no mode set and no key reported. Hosts
// whose modes change only when the machine sets them always answer 0.
int32_t host_display_changed(int32_t* fullscreen);

// --- Keyboard ---------------------------------------------------------------

// The keys are listed in host/keys.h (HostKey).

// Non-zero while the key `code` is held. Read without a lock: the host's
// keyboard handler may change it at any moment.
int32_t host_key_held(int32_t code);

// --- Time -------------------------------------------------------------------

// Ticks of the TIMER_HZ (250 Hz) timer since host_start, modulo 2^32. Late ticks may
// arrive in a burst; none is lost.
uint32_t host_ticks();

// Sleeps (never spins) for about `ms` milliseconds.
void host_rest(uint32_t ms);

// --- Sound ------------------------------------------------------------------

// Starts the host's sound system for one digital voice. -1 on success, 0
// when there is no sound driver.
int32_t host_sound_install();
void    host_sound_remove();

// A 44100 Hz, 16-bit, mono stream of unsigned samples (silence 0x8000 for
// the host; the sound chip's own silence is 0) in buffers of `length`
// samples, at full volume and centred. Null when it cannot be opened.
struct HostStream;
HostStream* host_stream_open(uint32_t length);
void        host_stream_close(HostStream* stream);  // null is ignored

// The next buffer the stream has free for `length` samples, or null. The
// caller fills it and hands it back with host_stream_release. `sound_time` is
// the machine's sound clock at the poll (sound ticks, 6 machine cycles
// each): a host that plays nothing in real time serves by it.
uint16_t* host_stream_buffer(HostStream* stream, uint32_t sound_time);
void      host_stream_release(HostStream* stream);

// --- Trace ------------------------------------------------------------------

// A write to a machine port, `cycles` being the machine's cycle count after
// it. Hosts that record a run (a replay) keep it; the others ignore it.
void host_port_written(uint32_t cycles, uint32_t port, int32_t value);
