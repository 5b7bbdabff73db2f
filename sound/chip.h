// The AY-3-8910 synthesis: three square-wave tone channels, one noise
// generator, the mixer, the amplitude controls and the envelope generator,
// rendering the event ring into unsigned 16-bit mono samples at 44100 Hz with
// every event applied at its exact sample.
#pragma once
#include <cstdint>

// Builds the noise table from the next 1024 lcg_rand draws and the envelope
// rows, and puts the envelope on row 0 with step and phase 0. Part of
// sound_init.
void chip_tables_init();

// Puts the three tone channels back to period 0, masks 0, amplitude 0 read
// from their own fixed amplitude, phase 0 and step 0. sound_init calls it once
// the audio stream is open.
void chip_reset_channels();

// Fills `buffer` with `count` samples, applying the events of the ring at
// their sample positions. Adds `count` to the pump's window_samples first,
// whatever `count` is; does nothing more when `count` < 1.
void chip_render(uint16_t* buffer, int32_t count);

// Applies the event at queue_read to the chip state and advances queue_read.
// The caller makes sure the ring is not empty.
void chip_apply_event();

// Recomputes a tone channel's (0..2 = A, B, C) phase step from its period.
void tone_update_step(int channel);

// Recomputes the envelope's phase step from env_period.
void envelope_update_step();
