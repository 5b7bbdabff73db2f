// Read-only views of the machine layer's inner state, and the clock reset,
// for tests and fuzz drivers. The machine's own users go through machine.h.
#pragma once
#include <cstdint>

int32_t machine_frame_cycles();   // cycles into the current frame: 0..FRAME_CYCLES-1
int     machine_fullscreen();     // 0 windowed, -1 full screen
int     machine_tick_counter();   // host ticks not yet used by pacing
// Puts the clock back to its start: frame_cycles, total_cycles and the sound
// remainder 0 (the frame count too). Back buffers and modes are untouched.
void    machine_reset_clock();
