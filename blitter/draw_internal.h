// The drawing engine's side for the machine layer, which owns the back
// buffers and says which one drawing goes to.
#pragma once

struct HostBitmap;

// Draws go to `back_buffer` (320 x 240) from now on; null draws nothing.
void draw_set_target(HostBitmap* back_buffer);
