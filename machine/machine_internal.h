// The machine layer's side for the rest of the runtime: the blitter draws
// into the back buffer, and the display toggle is reached from a frame end.
#pragma once
#include <cstdint>

struct HostBitmap;

// The back buffer that drawing goes to now (320 x 240, 8-bit colour bytes).
HostBitmap* machine_back_buffer();

// Sets the other kind of mode than the current one (windowed <-> full
// screen), falling back to the previous kind on failure. `attempt` is the
// number of passes already used; callers pass 0. -1 on success, 0 if no mode.
int machine_set_display(int attempt);
