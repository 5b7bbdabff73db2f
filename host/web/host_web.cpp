// The browser host (Emscripten): the machine in a web page. The picture goes
// through the palette to a 320 x 240 canvas, the keys come from the page's
// keyboard events by physical key (and its touch buttons and a gamepad), the
// 250 Hz timer counts the page's clock, and the stream plays through WebAudio.
//
// A page has no thread to block: the program's main runs as the page's one
// long task, and every rest hands the page back to the browser. Asyncify
// unwinds the stack at the rest and rewinds it when the sleep is over, so the
// runtime and the program run unchanged. Key events, audio reports and
// resizes are all handled while the machine rests.
//
// The page's side (orvalin.js) owns the canvas, the events and the audio
// graph; the calls below reach it as Module.orvalin. This file also holds the
// page's main, which calls the program's program_main.
#include <emscripten.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/gif.h"
#include "host/host.h"
#include "host/memory.h"
#include "host/program.h"

// --- The page's side --------------------------------------------------------

// The page learns the keys from the host's own list (host/keys.h): one line
// "NAME CODE DOM_CODE" a key.
EM_JS(int32_t, web_start, (const char* keys), { return Module.orvalin.start(UTF8ToString(keys)); });
EM_JS(int32_t, web_set_mode, (int32_t fullscreen), { return Module.orvalin.mode(fullscreen); });
EM_JS(void, web_present, (const uint32_t* rgba, int32_t width, int32_t height), {
  Module.orvalin.present(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
});
EM_JS(void, web_set_title, (const char* title), { Module.orvalin.title(UTF8ToString(title)); });
EM_JS(int32_t, web_close_requested, (), { return Module.orvalin.closeRequested(); });
// 1 full screen, 0 a window: what the page shows when it changed by its own
// means since the last call; -1 when it did not.
EM_JS(int32_t, web_display_changed, (), { return Module.orvalin.displayChanged(); });
EM_JS(int32_t, web_key_held, (int32_t code), { return Module.orvalin.key(code); });
EM_JS(double, web_now_ms, (), { return Module.orvalin.now(); });
// Asyncify unwinds the program here and rewinds it when the page's promise
// is kept.
EM_ASYNC_JS(void, web_rest, (uint32_t ms), { await Module.orvalin.rest(ms); });
EM_JS(int32_t, web_sound_install, (), { return Module.orvalin.soundInstall(); });
EM_JS(int32_t, web_stream_open, (uint32_t length), { return Module.orvalin.streamOpen(length); });
EM_JS(void, web_stream_close, (), { Module.orvalin.streamClose(); });
EM_JS(int32_t, web_stream_free, (), { return Module.orvalin.streamFree(); });
EM_JS(void, web_stream_play, (const uint16_t* samples, uint32_t length), {
  Module.orvalin.streamPlay(HEAPU16.subarray(samples >> 1, (samples >> 1) + length));
});
EM_JS(void, web_ended, (int32_t status), { Module.orvalin.ended(status); });
EM_JS(void, web_gif_made, (const uint8_t* bytes, uint32_t length), {
  Module.orvalin.gifMade(HEAPU8.slice(bytes, bytes + length));
});

// The host's key list (host/keys.h), one line "NAME CODE DOM_CODE" a key
// (DOM_CODE empty for a key no browser reports). The page reads it before
// the program starts too: a replay names its keys by these names.
extern "C" EMSCRIPTEN_KEEPALIVE const char* web_key_list() {
  static std::string list;
  if (list.empty())
    for (const HostKeyName& k : HOST_KEY_NAMES)
      list += std::string(k.name) + " " + std::to_string(k.code) + " " + k.dom_code + "\n";
  return list.c_str();
}

namespace {

bool                  started;
uint32_t              palette_rgba[256];  // canvas pixels: R, G, B, 255 in memory order
std::vector<uint32_t> picture;            // the last present through the palette
std::vector<uint16_t> stream_samples;     // the stream's one buffer, `length` samples
bool                  stream_open;
char                  stream_token;       // its address stands for the stream

// The film: the frames presented lately, for the page's GIF. The oldest
// frame kept is a whole picture (`film_base`); each later one is the
// rectangle that changed since the frame before, its bytes in `film_bytes`
// in order. At most a minute of frames, and as many rectangles as
// FILM_BYTES holds: the oldest frames go first. Most frames change a few
// blocks, so a minute takes little memory.
constexpr size_t FILM_FRAMES = 60 * 50;
constexpr size_t FILM_BYTES = size_t(32) << 20;
struct FilmStep {
  GifRect rect;    // w = 0: the frame equals the one before
  size_t  offset;  // of its w x h bytes in film_bytes
};
uint8_t               film_palette[256][3];  // the machine's, 0..63
std::vector<uint8_t>  film_base;             // the oldest frame kept; empty: none yet
std::vector<uint8_t>  film_last;             // the newest
std::vector<uint8_t>  film_bytes;
size_t                film_used;             // film_bytes in use, from its start
std::vector<FilmStep> film_steps(FILM_FRAMES);
size_t                film_first, film_count;  // steps kept, oldest at film_first

FilmStep& film_step(size_t k) { return film_steps[(film_first + k) % FILM_FRAMES]; }

void film_apply(std::vector<uint8_t>& picture, const FilmStep& step) {
  const GifRect& r = step.rect;
  for (int32_t y = 0; y < r.h; ++y)
    std::memcpy(&picture[size_t((r.y + y) * SCREEN_WIDTH + r.x)], &film_bytes[step.offset + size_t(y * r.w)],
                size_t(r.w));
}

// The oldest frame leaves: the next one becomes the whole picture.
void film_drop() {
  film_apply(film_base, film_step(0));
  film_first = (film_first + 1) % FILM_FRAMES;
  --film_count;
}

void film_add(const HostBitmap* shown) {
  if (shown->w != SCREEN_WIDTH || shown->h != SCREEN_HEIGHT) return;
  if (film_base.empty()) {
    film_base.resize(size_t(SCREEN_WIDTH * SCREEN_HEIGHT));
    for (int32_t y = 0; y < SCREEN_HEIGHT; ++y)
      std::memcpy(&film_base[size_t(y * SCREEN_WIDTH)], shown->line[y], size_t(SCREEN_WIDTH));
    film_last = film_base;
    return;
  }
  FilmStep step{gif_changes(shown->line, film_last.data(), SCREEN_WIDTH, SCREEN_HEIGHT), 0};
  const GifRect& r = step.rect;
  const size_t size = size_t(r.w) * size_t(r.h);
  if (film_count + 1 == FILM_FRAMES) film_drop();
  if (film_used + size > FILM_BYTES) {
    // Full: the oldest frames go until half is free, and the rest moves to
    // the front.
    while (film_count && film_used - film_step(0).offset + size > FILM_BYTES / 2) film_drop();
    const size_t from = film_count ? film_step(0).offset : film_used, live = film_used - from;
    std::memmove(film_bytes.data(), film_bytes.data() + from, live);
    for (size_t k = 0; k < film_count; ++k) film_step(k).offset -= from;
    film_used = live;
  }
  step.offset = film_used;
  film_used += size;
  if (film_bytes.size() < film_used) film_bytes.resize(std::min(FILM_BYTES, std::max(film_used, 2 * film_bytes.size())));
  for (int32_t y = 0; y < r.h; ++y) {
    const uint8_t* row = shown->line[r.y + y] + r.x;
    std::memcpy(&film_bytes[step.offset + size_t(y * r.w)], row, size_t(r.w));
    std::memcpy(&film_last[size_t((r.y + y) * SCREEN_WIDTH + r.x)], row, size_t(r.w));
  }
  film_step(film_count++) = step;
}

}  // namespace

// The page's GIF button: the last `frames` frames kept (all there are, when
// fewer), one machine frame each, handed to the page as a GIF file. Returns
// the frames it holds.
extern "C" EMSCRIPTEN_KEEPALIVE int32_t web_gif(int32_t frames) {
  GifWriter gif;
  if (film_base.empty() || frames < 1 || !gif_open(gif, SCREEN_WIDTH, SCREEN_HEIGHT, 1, film_palette)) {
    web_gif_made(nullptr, 0);
    return 0;
  }
  const size_t skip = film_count + 1 > size_t(frames) ? film_count + 1 - size_t(frames) : 0;
  std::vector<uint8_t> picture = film_base;
  for (size_t k = 0; k < film_count; ++k) {
    if (k >= skip) gif_add(gif, picture.data(), SCREEN_WIDTH, k);
    film_apply(picture, film_step(k));
  }
  gif_add(gif, picture.data(), SCREEN_WIDTH, film_count);
  gif_close(gif);
  web_gif_made(gif.bytes.data(), uint32_t(gif.bytes.size()));
  return int32_t(film_count + 1 - skip);
}

int main(int argc, char** argv) {
  const int status = program_main(argc, argv);
  web_ended(status);
  return status;
}

// --- Start-up ---------------------------------------------------------------

int32_t host_start() {
  // Opaque black until the machine sets its palette.
  for (uint32_t& colour : palette_rgba) colour = 0xFF000000u;
  started = web_start(web_key_list()) != 0;
  return started ? -1 : 0;
}

const char* host_error() { return started ? "" : "the page has no canvas for the machine"; }
int* host_errno() { return started ? &errno : nullptr; }

// --- Bitmaps: plain memory ------------------------------------------------

HostBitmap* host_bitmap_create(int32_t width, int32_t height) { return host_memory_bitmap(width, height); }
void host_bitmap_destroy(HostBitmap* bitmap) { std::free(bitmap); }
void host_bitmap_clear(HostBitmap* bitmap, uint8_t colour) { host_memory_clear(bitmap, colour); }

// --- Display ----------------------------------------------------------------

// The page has one screen, the canvas, whatever size is asked: the page scales
// it to fit. Full screen is the page's (the Fullscreen API); a page that
// cannot have it refuses that mode, and the machine stays windowed.
int32_t host_set_mode(int32_t fullscreen, int32_t width, int32_t height) {
  (void)width;
  (void)height;
  return web_set_mode(fullscreen) ? -1 : 0;
}

// Components 0..63 widen to 0..255 by repeating their top bits, so that 63
// is full white: (c << 2) | (c >> 4).
void host_set_palette(const uint8_t colours[256][3]) {
  std::memcpy(film_palette, colours, sizeof film_palette);
  for (int c = 0; c < 256; ++c) {
    uint32_t rgba = 0xFF000000u;
    for (int k = 0; k < 3; ++k) {
      const uint32_t level = colours[c][k] & 63u;
      rgba |= ((level << 2) | (level >> 4)) << (8 * k);
    }
    palette_rgba[c] = rgba;
  }
}

void host_present(const HostBitmap* shown) {
  const size_t width = size_t(shown->w), height = size_t(shown->h);
  picture.resize(width * height);
  uint32_t* out = picture.data();
  for (size_t y = 0; y < height; ++y)
    for (size_t x = 0; x < width; ++x) *out++ = palette_rgba[shown->line[y][x]];
  web_present(picture.data(), shown->w, shown->h);
  film_add(shown);
}

void host_set_title(const char* title) { web_set_title(title); }
int32_t host_close_requested() { return web_close_requested() ? -1 : 0; }

int32_t host_display_changed(int32_t* fullscreen) {
  const int32_t shown = web_display_changed();
  if (shown < 0) return 0;
  *fullscreen = shown ? -1 : 0;
  return -1;
}

// --- Keyboard and time ------------------------------------------------------

int32_t host_key_held(int32_t code) {
  return code > 0 && code < HOST_KEY_COUNT && web_key_held(code) ? -1 : 0;
}

// Counted from the page's clock, never delivered in a burst of its own: a
// page that ran late shows the whole gap at once, and the machine's pacing
// drops such a backlog instead of catching it up.
uint32_t host_ticks() { return uint32_t(int64_t(std::floor(web_now_ms() / TIMER_TICK_MS))); }

// The page runs its events while the machine sleeps. While the page is
// paused or hidden the machine stays asleep and the page's clock for it
// stands still, with the sound suspended: it comes back with no backlog to
// drop.
void host_rest(uint32_t ms) { web_rest(ms); }

// --- Sound ------------------------------------------------------------------

// The page's stream queues whole buffers for WebAudio and frees one each time
// WebAudio has played it; the pump polls for free ones as on the desktop.
// Until the browser allows the page sound (its first gesture), the page
// plays the buffers into nothing at the machine's clock, so the pump is
// served at the same pace before and after: the sound is installed wherever
// the browser has WebAudio at all.
int32_t host_sound_install() { return web_sound_install() ? -1 : 0; }
void host_sound_remove() {}

HostStream* host_stream_open(uint32_t length) {
  if (!web_stream_open(length)) return nullptr;
  stream_samples.assign(length, 0x8000);
  stream_open = true;
  return reinterpret_cast<HostStream*>(&stream_token);
}

void host_stream_close(HostStream* stream) {
  if (!stream || !stream_open) return;
  stream_open = false;
  web_stream_close();
}

uint16_t* host_stream_buffer(HostStream* stream, uint32_t) {
  return stream && stream_open && web_stream_free() > 0 ? stream_samples.data() : nullptr;
}

void host_stream_release(HostStream* stream) {
  if (stream && stream_open) web_stream_play(stream_samples.data(), uint32_t(stream_samples.size()));
}

void host_port_written(uint32_t, uint32_t, int32_t) {}
