// The audio stream pump: starts and stops the host sound system, owns the
// 44100 Hz 16-bit mono audio stream and feeds it by polling from the machine's
// own cycle accounting, with a catch-up for a lagging queue and a latency
// control that adapts the stream's buffer length.
#pragma once
#include <cstdint>

struct AUDIOSTREAM;

// The host's audio calls that the pump makes, with Allegro's signatures. Tests
// and offline tools fill their own table; sound_set_host(nullptr) selects
// Allegro's functions (the default).
struct SoundHost {
  void (*reserve_voices)(int digi_voices, int midi_voices);
  int (*install_sound)(int digi, int midi, const char* cfg_path);
  void (*remove_sound)();
  AUDIOSTREAM* (*play_audio_stream)(int len, int bits, int stereo, int freq, int vol, int pan);
  void* (*get_audio_stream_buffer)(AUDIOSTREAM* stream);
  void (*free_audio_stream_buffer)(AUDIOSTREAM* stream);
  void (*stop_audio_stream)(AUDIOSTREAM* stream);
};

// Selects the host table (kept by pointer, it must outlive its use). Set it
// before machine_init, which calls sound_init.
void sound_set_host(const SoundHost* host);

// Longest stream buffer the latency control will ask for, in samples.
inline constexpr uint32_t SOUND_BUFFER_LENGTH_MAX = 32768;

// Resets the sound chip's clock, ring and tables, installs the host sound
// system and opens a 512-sample stream. Sound stays unavailable (time still
// counts, events still queue) when the stream cannot be opened. Called once by
// machine_init.
void sound_init();

// Stops the stream, if any, and removes the host sound system. Called first by
// machine_shutdown.
void sound_shutdown();

// Stops and forgets the host stream (the chip state and the ring stay). Called
// around a display toggle and a buffer-length change.
void sound_stream_stop();

// Opens the host stream again with the current buffer length. When that
// fails, nothing is rendered until a later restart or reopening succeeds.
void sound_stream_start();

// Restarts the stream with buffers twice (grow, up to SOUND_BUFFER_LENGTH_MAX)
// or half (shrink) as long.
void sound_buffer_grow();
void sound_buffer_shrink();

// Moves the sound chip's time on by `ticks` sound ticks (6 machine cycles
// each), fills every audio buffer the host has freed, catches up a queue
// that lags more than a buffer behind and adapts the buffer length. A stream
// that worked and then hands out no buffer for half a second or more (longer
// than it queues), or that a restart failed to open, is reopened with the host's
// sound system reinstalled, at most once a second of machine time; once it
// is served again every pending event takes effect at once and the sound goes
// on from the machine's time. A machine without a stream from start-up stays
// silent. Called by machine_spend on every charge, also with 0.
void sound_advance(uint32_t ticks);
