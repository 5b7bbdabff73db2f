// The real machine in a test process, on the headless host: memory bitmaps,
// keys set by the test, a virtual timer, the sound served at the machine's
// time. Every unit test links it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "machine/headless.h"
#include "machine/host.h"
#include "machine/machine.h"
#include "machine/machine_internal.h"

// Starts the machine once per process with `host` (the first call's record
// counts), then brings the clock to the start of a frame. Keys are released.
void test_machine_start(const HeadlessHost& host = {});

// Runs `body` in a child process that starts from this process's state, so
// that every row of a table sees the same freshly started machine, and
// reports the child's failures here.
void test_fresh(const std::function<void()>& body);

// The bytes of `bitmap` equal to `value`; a back-buffer pixel.
int     test_count_pixels(const HostBitmap* bitmap, uint8_t value);
uint8_t test_pixel(int column, int row);
