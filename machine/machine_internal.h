// The machine layer's display, for its own frame end and its tests.
#pragma once

// Sets a full-screen mode (want_fullscreen non-zero) or the window, and when
// the host refuses that kind, the other one: the full screen tries 320 x 240
// and then 640 x 480, the window 640 x 480. The machine's full-screen flag
// becomes the kind that was set. -1 on success; 0 when no mode could be set
// (the flag is unchanged).
int machine_set_display(int want_fullscreen);
