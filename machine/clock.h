// The machine-cycle clock, the bottom of the machine layer: every machine
// operation (the blitter's, the sound chip's, the keyboard's) charges its cost
// here in machine cycles. A video frame is FRAME_CYCLES of them (311 scan
// lines of LINE_CYCLES), 50 frames a second, and every 6 cycles are one tick
// of the sound chip's clock (host/rates.h holds the numbers).
#pragma once
#include <cstdint>

#include "host/rates.h"

// Charges `cycles` (well below 2^31) of machine time. The sound chip's clock
// moves on by the whole sound ticks (6 cycles each) they complete, and at
// each frame end crossed the machine tests Alt+Enter and waits for the host's
// timer.
void machine_spend(uint32_t cycles);

// what = 0: charges up to the end of the current scan line (1..1368 cycles);
// what = 1: up to the end of the current frame (a whole frame right after one).
// Any other value does nothing.
void machine_wait(int what);

// Machine cycles charged since start, modulo 2^32. The port interface pads
// its writes to a multiple of 6 of this counter.
uint32_t machine_total_cycles();

// Frame ends crossed since start, never wrapping (unlike machine_total_cycles).
uint64_t machine_frames_elapsed();
