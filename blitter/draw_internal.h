// The drawing engine's switch for its fast paths: whole rows of natural size
// copied or key-selected many bytes at a time, runs of a magnified pixel set
// with memset, and the row geometry of an untilted, unstretched draw worked
// out once per call. They are on by default. Tests and benchmarks turn them
// off (0) to draw the same case through the plain per-pixel loop, which gives
// the same pixels, cycle charges and allegro_errno.
#pragma once

void draw_set_fast_paths(int enabled);
