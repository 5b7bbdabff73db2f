// The audio stream pump: starts and stops the host sound system, owns the
// 44100 Hz 16-bit mono audio stream and feeds it by polling from the machine's
// own cycle accounting, with a catch-up for a lagging queue and a latency
// control that adapts the stream's buffer length.
#pragma once
#include <cstdint>

// Longest stream buffer the latency control will ask for, in samples.
inline constexpr uint32_t SOUND_BUFFER_LENGTH_MAX = 32768;

// Resets the sound chip's clock, ring and tables, installs the host sound
// system and opens a 512-sample stream. Sound stays unavailable (time still
// counts, events still queue) when the stream cannot be opened. Called once by
// machine_init.
void sound_init();

// Fills the buffers the host still has free, then stops the stream, if any,
// and removes the host sound system. Called first by machine_shutdown.
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

// The sound chip's time has moved on by `ticks` sound ticks (6 machine
// cycles each; the clock counts them): fills every audio buffer the host has freed, catches up a queue
// that lags more than a buffer behind and adapts the buffer length. A stream
// that worked and then hands out no buffer for half a second or more (longer
// than it queues), or that a restart failed to open, is reopened with the host's
// sound system reinstalled, at most once a second of machine time; once it
// is served again every pending event takes effect at once and the sound goes
// on from the machine's time. A machine without a stream from start-up stays
// silent. Called by the clock on every charge, also with 0.
void sound_advance(uint32_t ticks);
