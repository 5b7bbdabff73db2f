// Runs the real machine in a test process: no X server, no host timer wait,
// no audio device. The back buffers are real Allegro memory bitmaps.
#pragma once
#include <cstdint>

#include "machine/machine.h"

struct BITMAP;

// Starts the machine once per process (machine_init with the hooks of
// machine_headless_hooks), then puts the clock back to 0. Later calls only
// reset the clock. Every test that draws or charges cycles calls it.
void test_machine_start();

// Releases every key in Allegro's key[].
void test_release_all_keys();

// Counts the back-buffer bytes in `bitmap` equal to `value`.
int test_count_pixels(BITMAP* bitmap, uint8_t value);
