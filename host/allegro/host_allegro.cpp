// The desktop host: Allegro 4. A window (or the full screen) showing the
// machine's picture stretched, the host keyboard, a 250 Hz timer thread and a
// polled audio stream. Allegro calls the timer and close-button callbacks on
// its own background thread: they only touch atomics.
#include <allegro.h>
#if defined(ALLEGRO_UNIX) && !defined(ALLEGRO_MACOSX)
#include <X11/Xlib.h>
#define HOST_ALLEGRO_X11 1
#endif

#include <atomic>
#include <chrono>
#include <thread>
#ifdef HOST_ALLEGRO_X11
#include <dlfcn.h>
#endif
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/allegro/watch.h"
#include "host/host.h"

// Host key codes are Allegro's own, so the keys held are read by code.
constexpr bool same_code(int host, int allegro) { return host == allegro; }
#define HOST_KEY_IS_ALLEGROS(name, code, dom) \
  static_assert(same_code(HOST_KEY_##name, KEY_##name), "KEY_" #name " is Allegro's " #code);
HOST_KEY_LIST(HOST_KEY_IS_ALLEGROS)
#undef HOST_KEY_IS_ALLEGROS
static_assert(same_code(HOST_KEY_COUNT, KEY_MAX), "the host knows all of Allegro's keys");

namespace {

std::atomic<uint32_t> ticks;             // bumped by Allegro's timer thread at 250 Hz
std::atomic<int32_t>  close_requested;   // set to -1 by the close button, never cleared
char                  error_text[ALLEGRO_ERROR_SIZE];

// A replay being watched (allegro_watch): its frames, and the presents so far.
struct Watch {
  bool                          on = false;
  std::vector<std::vector<int>> frames;
  uint32_t                      start_frames = 0;
  uint64_t                      presents = 0;
} watch;

void timer_tick() { ticks.fetch_add(1); }
void close_button() { close_requested.store(-1); }

#ifdef HOST_ALLEGRO_X11
// When the X server goes away, Xlib's own handler calls exit(1) from the
// thread that found it gone: most often Allegro's input thread, sometimes the
// present's stretch. exit() then runs Allegro's exit handler under the feet of
// the machine's thread, which crashes in its next rest, or waits for the
// display lock the present still holds and hangs. The program cannot go on
// without its window either way: it says so as Xlib does and ends at once,
// with Xlib's status, from whichever thread noticed.
int display_lost(Display* display) {
  std::fprintf(stderr, "X connection to %s broken (explicit kill or server shutdown).\n",
               DisplayString(display));
  std::fflush(nullptr);
  std::_Exit(1);
}
#endif

// Keeps Allegro's words on a failure, before later calls overwrite them.
void remember_error() {
  std::strncpy(error_text, allegro_error, sizeof error_text - 1);
  error_text[sizeof error_text - 1] = 0;
}

}  // namespace

int32_t host_start() {
  if (allegro_init() != 0) {
    // No system driver at all (no X server to talk to): Allegro's keyboard
    // start-up would crash, and no graphics mode could be set anyway.
    remember_error();
#ifdef HOST_ALLEGRO_X11
    // Allegro has no words when its X driver cannot start: say whether the
    // display itself could be reached, so that the player (and whoever reads
    // the report) knows which side failed.
    const char* name = std::getenv("DISPLAY");
    if (!error_text[0] && (!name || !*name)) {
      std::snprintf(error_text, sizeof error_text, "DISPLAY is not set");
    } else if (!error_text[0]) {
      Display* display = XOpenDisplay(nullptr);
      std::snprintf(error_text, sizeof error_text,
                    display ? "the X display %s answers, but Allegro's X driver did not start"
                            : "the X display %s could not be reached",
                    name);
      if (display) XCloseDisplay(display);
    }
#endif
    return 0;
  }
#ifdef HOST_ALLEGRO_X11
  XSetIOErrorHandler(display_lost);
#endif
  install_keyboard();
  install_timer();
  enable_hardware_cursor();
  set_display_switch_mode(SWITCH_BACKGROUND);
  install_int_ex(timer_tick, BPS_TO_TIMER(TIMER_HZ));
  return -1;
}

const char* host_error() { return error_text; }
int* host_errno() { return allegro_errno; }

HostBitmap* host_bitmap_create(int32_t width, int32_t height) {
  HostBitmap* bitmap = static_cast<HostBitmap*>(std::calloc(1, sizeof(HostBitmap)));
  if (!bitmap) return nullptr;
  // 8-bit whatever depth a graphics mode may have set: the machine's bytes
  // are colour bytes. Memory bitmaps survive every change of graphics mode.
  BITMAP* native = create_bitmap_ex(8, width, height);
  if (!native) {
    std::free(bitmap);
    return nullptr;
  }
  *bitmap = {native->w, native->h, native->line, native};
  return bitmap;
}

void host_bitmap_destroy(HostBitmap* bitmap) {
  if (!bitmap) return;
  destroy_bitmap(static_cast<BITMAP*>(bitmap->native));
  std::free(bitmap);
}

void host_bitmap_clear(HostBitmap* bitmap, uint8_t colour) {
  clear_to_color(static_cast<BITMAP*>(bitmap->native), colour);
}

int32_t host_set_mode(int32_t fullscreen, int32_t width, int32_t height) {
  const int card = fullscreen ? GFX_AUTODETECT_FULLSCREEN : GFX_AUTODETECT_WINDOWED;
  if (set_gfx_mode(card, width, height, 0, 0) != 0) {
    remember_error();
    return 0;
  }
  error_text[0] = 0;
  // A new mode starts black, with the close button armed and no mouse
  // cursor over the full screen.
  clear_to_color(screen, 0);
  set_close_button_callback(close_button);
  select_mouse_cursor(fullscreen ? MOUSE_CURSOR_NONE : MOUSE_CURSOR_ARROW);
  return -1;
}

void host_set_palette(const uint8_t colours[256][3]) {
  PALETTE palette;
  for (int c = 0; c < 256; ++c) palette[c] = {colours[c][0], colours[c][1], colours[c][2], 0};
  set_palette(palette);
}

static void hold_last_frame();

void host_present(const HostBitmap* shown) {
  if (!screen) return;
  // A watched replay ends at its last frame: the present after it is not shown.
  if (watch.on && ++watch.presents > watch.start_frames + watch.frames.size()) {
    hold_last_frame();
    return;
  }
  stretch_blit(static_cast<BITMAP*>(shown->native), screen, 0, 0, shown->w, shown->h, 0, 0,
               SCREEN_W, SCREEN_H);
}

void host_set_title(const char* title) {
  // Allegro does nothing here when its system driver has no window title.
  set_window_title(title);
}

int32_t host_close_requested() { return close_requested.load(); }
int32_t host_display_changed(int32_t*) { return 0; }

int32_t host_key_held(int32_t code) {
  if (watch.on) {
    // The keys of the frame whose present comes next.
    const uint64_t frame = watch.presents + 1 > watch.start_frames ? watch.presents + 1 - watch.start_frames : 0;
    if (frame == 0 || frame > watch.frames.size()) return 0;
    for (int held : watch.frames[size_t(frame - 1)])
      if (held == code) return -1;
    return 0;
  }
  return code > 0 && code < KEY_MAX && key[code] ? -1 : 0;
}

void allegro_watch(const std::vector<std::vector<int>>& frames, uint32_t start_frames) {
  watch.on = true;
  watch.frames = frames;
  watch.start_frames = start_frames;
}

uint32_t host_ticks() { return ticks.load(); }
void host_rest(uint32_t ms) { rest(ms); }

// --- Sound -------------------------------------------------------------------
//
// Allegro's install_sound opens ALSA's default device, which may be a sound
// server (PulseAudio) reached through ALSA's plugin; that plugin waits for
// the server's answer without a time limit. A server that accepts the
// connection and does not answer (stopped, busy starting, overloaded) would
// hold the machine in its start-up, before any window, for as long as it
// keeps silent. So the server is first asked on a thread of its own, which
// touches nothing of Allegro's: ALSA's default device opened and closed
// again. Only once it has answered does the machine's thread install
// Allegro's sound; until then the stream is one that hands out no buffer,
// and the sound starts at the first poll after the answer.

namespace {

enum : int { ASK_IDLE, ASK_WAITING, ASK_ANSWERED };
std::atomic<int> asking{ASK_IDLE};  // the question to the sound server, on its thread

#ifdef HOST_ALLEGRO_X11
void ask_server() {
  using Open = int (*)(void** pcm, const char* name, int stream, int mode);
  using Close = int (*)(void* pcm);
  // ALSA is loaded by name, as Allegro's own sound driver loads it: a
  // system without it has no device to wait for.
  if (void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL)) {
    const auto open = reinterpret_cast<Open>(dlsym(alsa, "snd_pcm_open"));
    const auto close = reinterpret_cast<Close>(dlsym(alsa, "snd_pcm_close"));
    void* pcm = nullptr;
    constexpr int PLAYBACK = 0, NONBLOCK = 1;
    if (open && close && open(&pcm, "default", PLAYBACK, NONBLOCK) == 0) close(pcm);
  }
  asking.store(ASK_ANSWERED);
}
#endif

// Whether the sound server has answered since the last install, asking it
// anew if no question is pending and waiting up to `wait_ms` for the answer.
bool server_answered(int wait_ms) {
#ifdef HOST_ALLEGRO_X11
  int idle = ASK_IDLE;
  if (asking.compare_exchange_strong(idle, ASK_WAITING)) std::thread(ask_server).detach();
  for (int waited = 0; asking.load() != ASK_ANSWERED && waited < wait_ms; waited += 2)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return asking.load() == ASK_ANSWERED;
#else
  (void)wait_ms;
  return true;
#endif
}

bool install_pending;  // host_sound_install is waiting for the server's answer

bool install_now() {
  asking.store(ASK_IDLE);  // the next install asks again
  install_pending = false;
  reserve_voices(1, 0);
  return install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr) == 0;
}

// The one stream there is at a time: Allegro's, or none yet while the server
// has not answered.
struct Stream {
  AUDIOSTREAM* allegro;
  uint32_t     length;
};
Stream stream_record;

AUDIOSTREAM* play(uint32_t length) {
  return play_audio_stream(int(length), 16, 0, SAMPLE_RATE, 128, 128);
}

}  // namespace

int32_t host_sound_install() {
  // A server that answers, or refuses, does so in milliseconds.
  if (!server_answered(500)) {
    install_pending = true;  // the stream starts once it answers
    return -1;
  }
  return install_now() ? -1 : 0;
}

void host_sound_remove() {
  install_pending = false;
  remove_sound();
}

HostStream* host_stream_open(uint32_t length) {
  if (install_pending) {
    stream_record = {nullptr, length};  // waiting for the server
  } else {
    AUDIOSTREAM* allegro = play(length);
    if (!allegro) return nullptr;
    stream_record = {allegro, length};
  }
  return reinterpret_cast<HostStream*>(&stream_record);
}

void host_stream_close(HostStream* stream) {
  if (!stream) return;
  if (stream_record.allegro) stop_audio_stream(stream_record.allegro);
  stream_record = {nullptr, 0};
}

uint16_t* host_stream_buffer(HostStream* stream, uint32_t) {
  if (!stream) return nullptr;
  if (!stream_record.allegro) {
    // One install when the server has answered; failing that, silence.
    if (!install_pending || !server_answered(0) || !install_now()) return nullptr;
    stream_record.allegro = play(stream_record.length);
    if (!stream_record.allegro) return nullptr;
  }
  return static_cast<uint16_t*>(get_audio_stream_buffer(stream_record.allegro));
}

void host_stream_release(HostStream* stream) {
  if (stream && stream_record.allegro) free_audio_stream_buffer(stream_record.allegro);
}

void host_port_written(uint32_t, uint32_t, int32_t) {}

// The replay's end: its last frame stays on the screen and its sound stops
// (a stream left alone would repeat its last buffers) until the close button.
static void hold_last_frame() {
  if (stream_record.allegro) {
    stop_audio_stream(stream_record.allegro);
    stream_record.allegro = nullptr;
  }
  install_pending = false;
  while (!close_requested.load()) rest(20);
}
