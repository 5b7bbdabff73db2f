// The blitter's drawing engine: copies a Sprite's colour bytes into the
// current back buffer one destination row at a time, scaled, mirrored,
// tilted and stretched, clipped to 320 x 240. Every draw charges machine
// cycles from its arguments alone, whatever ends up visible.
#pragma once
#include <cstdint>

struct Sprite;

// Draws `sprite` in palette variant `variant` (low 4 bits: 16 is 0, -1 is 15)
// into the back buffer that the next machine_present shows. All other
// arguments are 16.16 fixed point:
// - x, y: the anchor in back-buffer pixels; back-buffer pixel (c, r) has its
//   centre at (c + 0.5, r + 0.5) and is drawn when its centre is covered. With
//   both sizes positive the anchor is the top-left corner of source pixel 0,0.
// - hsize: on-screen width of a source pixel in the first drawn row; negative
//   mirrors each row leftwards from its start; 0 draws nothing (rows charged).
// - vsize: on-screen height of a source pixel; negative mirrors the picture
//   upwards from y; 0 does nothing and charges nothing.
// - tilt: added to the row's left edge after each destination row.
// - stretch: added to the row's hsize after each destination row.
// Costs 25 cycles, plus for every destination row covered (visible or not)
// 15 + the number of columns whose centres the unclipped row spans. A null
// sprite does nothing and charges nothing. Sizes within 1/512 pixel of 0
// saturate the step and set the host's error number (allegro_errno) to ERANGE.
void sprite_draw(const Sprite* sprite, int32_t variant, int32_t x, int32_t y, int32_t hsize,
                 int32_t vsize, int32_t tilt, int32_t stretch);

// As sprite_draw, but leaves the destination alone wherever the source colour
// byte equals the sprite's key colour in that variant.
void sprite_draw_keyed(const Sprite* sprite, int32_t variant, int32_t x, int32_t y,
                       int32_t hsize, int32_t vsize, int32_t tilt, int32_t stretch);
