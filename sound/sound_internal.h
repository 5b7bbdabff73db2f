// State that the sound chip's modules share: the event ring and its indices
// (written by the ports, read by the synthesis and the pump), the clock, the
// chip's registers as derived state, and the pump's stream and latency
// window. Only sound/ and its tests include this.
#pragma once
#include <cstdint>

#include "sound/ports.h"

struct AUDIOSTREAM;

// ---- Time and the event ring (ports.cpp) --------------------------------
inline constexpr uint32_t QUEUE_SIZE       = 65536;  // ring entries
inline constexpr uint32_t QUEUE_MASK       = QUEUE_SIZE - 1;
inline constexpr uint32_t SAMPLES_PER_UNIT = 147;    // samples per 11818 sound ticks
inline constexpr uint32_t TICKS_PER_UNIT   = 11818;  // 44100 / 3545400 reduced

extern SoundEvent sound_queue[QUEUE_SIZE];  // the ring, zero at start
extern uint32_t   queue_read;               // next entry to apply, 0..65535
extern uint32_t   queue_write;              // next entry to fill, 0..65535; empty when equal
extern uint32_t   samples_since_event;      // samples rendered since the last applied event's time point
extern uint32_t   sound_time;               // sound ticks since sound_init, wraps
extern uint8_t    selected_register;        // 0..15

// How often the timeline was bent, for diagnostics (the end-to-end test
// reports them): events stamped into the rendered past, catch-ups, overruns.
struct SoundTimingCounts {
  uint32_t late_stamps;  // an event into an empty queue lay before the rendered samples
  uint32_t catch_ups;    // the pump applied lagging events without samples
  uint32_t overruns;     // a full ring applied its oldest event early
};
extern SoundTimingCounts sound_timing_counts;

inline bool sound_queue_empty() { return queue_read == queue_write; }

// Whole samples that `ticks` sound ticks are worth, in the 32-bit arithmetic
// of the pump (the product wraps beyond 29217465 ticks, about 8.2 s).
inline uint32_t sound_ticks_to_samples(uint32_t ticks) {
  return ticks * SAMPLES_PER_UNIT / TICKS_PER_UNIT;
}

// ---- The chip (chip.cpp) -------------------------------------------------
inline constexpr uint32_t STEP_BASE  = 21074950;  // phase step per sample for a divider of 1
inline constexpr uint32_t TONE_HIGH  = 0x400000;  // phase bit read as the tone output
inline constexpr int      PHASE_SHIFT = 22;       // phase >> 22 indexes noise and envelope

struct ToneChannel {
  uint32_t       period;            // 12-bit tone period register value
  uint32_t       tone_mask;         // 0xFFFF tone enabled by the mixer, else 0
  uint32_t       noise_mask;        // 0xFFFF noise enabled on this channel, else 0
  int32_t        fixed_amplitude;   // volume_table value of the last fixed level
  const int32_t* amplitude_source;  // &fixed_amplitude, or &env_level in envelope mode
  uint32_t       phase;             // tone phase: bit 22 is the output
  uint32_t       step;              // phase gain per sample
};

extern const int32_t volume_table[16];       // amplitude of each 4-bit level
extern int16_t       noise_table[1024];      // 0, 1 or 2: non-zero means noise high
extern int32_t       envelope_tables[5][32]; // amplitudes of the five envelope rows
extern ToneChannel   tone_channels[3];       // A, B, C
extern uint32_t      noise_step;             // noise phase gain per sample
extern uint32_t      noise_phase;
extern uint16_t      env_period;             // registers 11 (low) and 12 (high)
extern uint32_t      env_step;               // envelope phase loss per sample
extern int32_t       env_phase;              // counts down; >> 22 indexes env_table
extern uint32_t      env_mask;               // applied after each step: hold or repeat
extern const int32_t* env_table;             // the selected row of envelope_tables
extern int32_t       env_level;              // the envelope's amplitude this sample

// ---- The pump (pump.cpp) -------------------------------------------------
extern int          sound_available;  // -1 once the stream opened at start-up, else 0
extern AUDIOSTREAM* audio_stream;     // the host stream, null while stopped
extern uint32_t     buffer_length;    // samples per stream buffer
extern uint32_t     window_ticks;     // sound ticks since the latency window began
extern uint32_t     window_samples;   // samples rendered since the window began
