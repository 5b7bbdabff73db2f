// The audio stream pump. There is no audio callback: machine_spend calls
// sound_advance on every charge, which moves the chip's clock on, renders
// into every buffer the host has freed, drops forward when the queue lags
// more than a buffer behind the machine, and grows or shrinks the buffers
// according to how well the host keeps up. A stream that the host stops
// serving (its sound server went away) is reopened once a second until it is
// served again.
#include "sound/pump.h"

#include "machine/clock_internal.h"
#include "host/host.h"
#include "sound/chip.h"
#include "sound/ports_internal.h"
#include "sound/queue.h"

namespace {

inline constexpr uint32_t START_BUFFER_LENGTH = 512;   // samples, about 11.6 ms
inline constexpr uint32_t WINDOW_SECONDS      = 4;     // the latency window's trim
inline constexpr uint32_t WINDOW_SAMPLES_MAX  = WINDOW_SECONDS * SAMPLE_RATE;             // 176400
inline constexpr uint32_t WINDOW_TICKS_DROP   = WINDOW_SECONDS * SOUND_TICKS_PER_SECOND;  // 14181600
inline constexpr uint32_t SHRINK_ABOVE        = 4096;  // lengths up to this never shrink
inline constexpr uint32_t STALL_SAMPLES_MIN   = SAMPLE_RATE / 2;  // 0.5 s: see stall_ticks()
inline constexpr uint32_t PROVEN_SAMPLES      = SAMPLE_RATE / 2;  // 0.5 s heard: sound works here
inline constexpr uint32_t REOPEN_INTERVAL     = SOUND_TICKS_PER_SECOND;  // 1 s between reopenings

int          sound_available;      // -1 once the stream opened at start-up, else 0
HostStream*  audio_stream;         // the host stream, null while stopped
uint32_t     buffer_length = 512;  // samples per stream buffer
uint32_t     window_ticks;         // sound ticks since the latency window began
uint32_t     window_samples;       // samples rendered since the window began
uint32_t     unserved_ticks;       // sound ticks since the stream last gave a buffer or opened
uint32_t     reopen_wait;          // sound ticks before another reopening may be tried
bool         resume_pending;       // a reopened stream has not been served yet
uint32_t     unproven_samples;     // samples the host must still take before a stall counts

HostStream* open_stream(uint32_t length) {
  unserved_ticks = 0;
  return host_stream_open(length);
}

void restart_window() {
  window_samples = 0;
  window_ticks = 0;
}

uint32_t samples_to_ticks(uint64_t samples) {
  return uint32_t(samples * TICKS_PER_UNIT / SAMPLES_PER_UNIT);
}

// How long a stream may go without handing out a buffer before it counts as
// no longer served: clearly longer than everything it queues (the host
// library keeps about max(4096, 2 x length) samples, its device driver about
// 5000 more), and at least half a second, so a host thread that runs late
// for a moment is not taken for a lost server. A host that merely runs slow
// frees buffers more often against the machine's time, not less.
uint32_t stall_ticks() {
  return samples_to_ticks(4 * buffer_length > STALL_SAMPLES_MIN ? 4 * buffer_length
                                                               : STALL_SAMPLES_MIN);
}

// The host's sound server went away (or the stream could not be restarted):
// start the host's sound system afresh and open the stream again at the
// current length, at most once a second of machine time, so a missing server
// costs one failed attempt a second (a millisecond or so). The renderer goes
// on from the machine's time once the new stream is served (see resume).
void reopen() {
  reopen_wait = REOPEN_INTERVAL;
  sound_stream_stop();
  host_sound_remove();
  // Without its server the host library falls back to a driver that plays
  // nowhere, whose streams still hand out their first buffers: a reinstall
  // that finds no sound driver is a failed attempt.
  const bool installed = host_sound_install() != 0;
  audio_stream = installed ? open_stream(buffer_length) : nullptr;
  unserved_ticks = 0;
  resume_pending = audio_stream != nullptr;
  // A stream on a server that has just come back can take more than a
  // second to start flowing, as at program start: give it two.
  if (audio_stream) reopen_wait = 2 * REOPEN_INTERVAL;
  restart_window();
}

// Whether the stream has gone unserved for too long and a reopening is due.
// Only once the host has taken half a second of sound: a device that is slow
// to start is not a lost one.
bool reopen_due() {
  return unproven_samples == 0 && reopen_wait == 0 && unserved_ticks > stall_ticks();
}

// Every pending event takes effect at once, and the renderer's timeline
// restarts at the current sound time: what was written while nothing was
// heard is not played late.
void resume() {
  resume_pending = false;
  while (!sound_queue_empty()) chip_apply_oldest();
  sound_queue_push(EVENT_SYNC, 0);
  sound_queue_pop();
  sound_queue_restart_timeline();
  restart_window();
}

// Applies at once every pending event that lags the machine's time by more
// than a buffer, at least the oldest one, and restarts the renderer's
// timeline at the last of them. Only when a buffer was filled and the oldest
// event pending before the fill (stamped at `oldest`) was that far behind.
void catch_up(uint32_t oldest) {
  uint32_t now = clock_sound_time();
  if (sound_ticks_to_samples(now - oldest) <= buffer_length) return;
  if (sound_queue_empty()) return;
  do {
    chip_apply_oldest();
  } while (!sound_queue_empty() &&
           sound_ticks_to_samples(now - sound_queue_oldest().ticks) > buffer_length);
  sound_queue_restart_timeline();
}

// Compares the samples the host took in this window with what the machine's
// time called for. Unsigned throughout: window_samples may have wrapped below
// zero after the 4-second trim, and then no deficit is seen until rendering
// brings it back.
void control_latency() {
  uint32_t e = sound_ticks_to_samples(window_ticks);
  uint32_t s = window_samples;
  uint32_t n = buffer_length;
  if (e > 16 * n && s < e && e - s > 3 * n) {
    // More than three buffers short over more than 16: longer buffers. At
    // the cap the window restarts anyway, so the shrink rule below does not
    // take the cap for a length that has settled.
    sound_buffer_grow();
    restart_window();
    return;
  }
  if (e > 16 * n && n > SHRINK_ABOVE) {
    sound_buffer_shrink();
    restart_window();
    return;
  }
  if (e > WINDOW_SAMPLES_MAX) {
    // Keep the deficit, but keep the counters small.
    window_ticks -= WINDOW_TICKS_DROP;
    window_samples -= WINDOW_SAMPLES_MAX;
  }
}

}  // namespace

void sound_init() {
  clock_sound_reset();
  sound_ports_reset();
  sound_queue_reset();
  chip_init();
  restart_window();
  reopen_wait = 0;
  resume_pending = false;
  unproven_samples = PROVEN_SAMPLES;
  host_sound_install();  // a failure shows as no stream
  buffer_length = START_BUFFER_LENGTH;
  audio_stream = open_stream(START_BUFFER_LENGTH);
  if (!audio_stream) {
    sound_available = 0;  // silent for the whole run; time still counts
    return;
  }
  sound_available = -1;
}

void sound_shutdown() {
  if (audio_stream) {
    // The last buffers the host has free: a host that records the run
    // (the headless one) takes its last samples here.
    for (uint16_t* buffer; (buffer = host_stream_buffer(audio_stream, clock_sound_time()));) {
      chip_render(buffer, int32_t(buffer_length));
      host_stream_release(audio_stream);
    }
    host_stream_close(audio_stream);
    audio_stream = nullptr;
  }
  host_sound_remove();
}

void sound_stream_stop() {
  host_stream_close(audio_stream);
  audio_stream = nullptr;
}

void sound_stream_start() {
  // Without a stream from start-up there is no retry: the machine stays
  // silent for the run. After a failed restart audio_stream stays null, and
  // the pump reopens it as for a stream no longer served.
  if (!sound_available) return;
  audio_stream = open_stream(buffer_length);
}

void sound_buffer_grow() {
  // Capped at SOUND_BUFFER_LENGTH_MAX (32768 samples, 0.74 s): a host that
  // never keeps up would otherwise double the length without bound. At the
  // cap the stream is left running (no restart, no gap). In practice the
  // 4-second trim already keeps a window below 16 x 16384 samples, so only a
  // single charge worth more than 262144 samples grows past 16384; and 16
  // buffers of 32768 would pass the 32-bit range of the window's ticks x 147.
  // The cap makes that edge explicit.
  if (buffer_length >= SOUND_BUFFER_LENGTH_MAX) return;
  sound_stream_stop();
  buffer_length *= 2;
  sound_stream_start();
}

void sound_buffer_shrink() {
  sound_stream_stop();
  buffer_length /= 2;
  sound_stream_start();
}

void sound_advance(uint32_t ticks) {
  window_ticks += ticks;
  if (!sound_available) return;
  unserved_ticks += ticks;
  reopen_wait = reopen_wait > ticks ? reopen_wait - ticks : 0;
  if (!audio_stream) {
    if (reopen_due()) reopen();
    return;
  }

  // An empty queue gets a sync point at the current time, so the renderer's
  // timeline follows the machine's even when nothing is written.
  bool was_empty = sound_queue_empty();
  uint32_t oldest = 0;
  if (was_empty) {
    sound_queue_push(EVENT_SYNC, 0);
  } else {
    oldest = sound_queue_oldest().ticks;
  }

  uint16_t* buffer = host_stream_buffer(audio_stream, clock_sound_time());
  if (buffer) {
    // A host that took nothing for longer than a stall was gone or still
    // starting, not slow: the latency window starts over with its service.
    // Before sound has worked, only the wait before this charge counts: one
    // long charge is the machine's time, not the host's.
    const uint32_t waited = unproven_samples == 0 ? unserved_ticks : unserved_ticks - ticks;
    if (waited > stall_ticks()) restart_window();
    unserved_ticks = 0;
    if (resume_pending) resume();
    do {
      window_samples += buffer_length;
      unproven_samples -= unproven_samples < buffer_length ? unproven_samples : buffer_length;
      chip_render(buffer, int32_t(buffer_length));
      host_stream_release(audio_stream);
      buffer = host_stream_buffer(audio_stream, clock_sound_time());
    } while (buffer);
    if (!was_empty) catch_up(oldest);
  }
  // A stream that has gone unserved for more than three buffers is not
  // judged by the latency control (a host that takes nothing is not slow but
  // gone), and one unserved for longer than it queues is reopened.
  if (unserved_ticks > samples_to_ticks(3 * uint64_t(buffer_length))) {
    if (reopen_due()) reopen();
    return;
  }
  control_latency();
}
