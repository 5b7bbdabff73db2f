// The headless host's display, keyboard, timer and trace (its sound is in
// host_headless_sound.cpp). Nothing here waits or talks to a device.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/headless/headless.h"
#include "host/headless/headless_internal.h"
#include "host/host.h"
#include "host/memory.h"

HeadlessHost headless_host;

namespace {

bool     started;
bool     keys[HOST_KEY_COUNT];
int32_t  close_pressed;   // -1 once headless_close was called
bool     close_reported;  // the program has been told yes once
uint64_t rested_ms;       // virtual time: the rests taken so far
uint32_t extra_ticks;     // ticks delivered in bursts
bool     display_change_pending;  // headless_display_change was called ...
int32_t  display_changed_to;      // ... for this kind of mode
int32_t  bitmaps_live;            // made and not yet destroyed

}  // namespace

void headless_set(const HeadlessHost& host) { headless_host = host; }

void headless_key(int32_t code, int32_t held) {
  if (code > 0 && code < HOST_KEY_COUNT) keys[code] = held != 0;
}

void headless_release_keys() { std::memset(keys, 0, sizeof keys); }
void headless_close() { close_pressed = -1; }
void headless_timer_burst(uint32_t ticks) { extra_ticks += ticks; }

void headless_display_change(int32_t fullscreen) {
  display_change_pending = true;
  display_changed_to = fullscreen ? -1 : 0;
}
uint64_t headless_rested_ms() { return rested_ms; }
int32_t headless_bitmaps_live() { return bitmaps_live; }

int32_t host_start() {
  started = true;
  return -1;
}

const char* host_error() { return ""; }
int* host_errno() { return started ? &errno : nullptr; }

HostBitmap* host_bitmap_create(int32_t width, int32_t height) {
  HostBitmap* bitmap = host_memory_bitmap(width, height);
  bitmaps_live += bitmap != nullptr;
  return bitmap;
}

void host_bitmap_destroy(HostBitmap* bitmap) {
  bitmaps_live -= bitmap != nullptr;
  std::free(bitmap);
}

void host_bitmap_clear(HostBitmap* bitmap, uint8_t colour) { host_memory_clear(bitmap, colour); }

int32_t host_set_mode(int32_t fullscreen, int32_t width, int32_t height) {
  return headless_host.set_mode ? headless_host.set_mode(fullscreen, width, height) : -1;
}

void host_set_palette(const uint8_t[256][3]) {}

void host_present(const HostBitmap* shown) {
  if (headless_host.presented) headless_host.presented(shown);
}

void host_set_title(const char*) {}

int32_t host_close_requested() {
  if (close_pressed && !close_reported) {
    close_reported = true;
    if (headless_host.close_seen) headless_host.close_seen();
  }
  return close_pressed;
}

int32_t host_display_changed(int32_t* fullscreen) {
  if (!display_change_pending) return 0;
  display_change_pending = false;
  *fullscreen = display_changed_to;
  return -1;
}

int32_t host_key_held(int32_t code) {
  return code > 0 && code < HOST_KEY_COUNT && keys[code] ? -1 : 0;
}

uint32_t host_ticks() { return uint32_t(rested_ms / TIMER_TICK_MS) + extra_ticks; }
void host_rest(uint32_t ms) { rested_ms += ms; }

void host_port_written(uint32_t cycles, uint32_t port, int32_t value) {
  if (headless_host.port_written) headless_host.port_written(cycles, port, value);
}
