// The AY-3-8910 synthesis: three square-wave tone channels, one noise
// generator, the mixer, the amplitude controls and the envelope generator,
// rendering the event ring into unsigned 16-bit mono samples at 44100 Hz with
// every event applied at its exact sample.
#pragma once
#include <cstdint>

#include "sound/queue.h"

// Builds the noise table from the next 1024 lcg_rand draws and the envelope
// rows, and puts the chip in its program-start state: channels, noise and
// envelope all 0, each channel reading its own fixed amplitude, the envelope
// on row 0. Part of sound_init.
void chip_init();

// Fills `buffer` with `count` samples (none when `count` < 1), applying the
// events of the ring at their sample positions.
void chip_render(uint16_t* buffer, int32_t count);

// Retires the oldest pending event of the ring and applies it to the chip
// state at once, wherever the renderer stands: the one way an event takes
// effect ahead of its sample (the ports' overrun, the pump's catch-up and
// resumption) as the renderer does at its sample. The ring is not empty.
void chip_apply_oldest();
