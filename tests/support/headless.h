// The real machine in a test process, on the headless host: memory bitmaps,
// keys set by the test, a virtual timer, the sound served at the machine's
// time. Every unit test links it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "host/headless/headless.h"
#include "host/host.h"
#include "machine/machine.h"

// Starts the machine once per process with `host` (the first call's record
// counts), then brings the clock to the start of a frame. Keys are released.
void test_machine_start(const HeadlessHost& host = {});

// Runs `body` in a child process that starts from this process's state, so
// that every row of a table sees the same freshly started machine, and
// reports the child's failures here.
void test_fresh(const std::function<void()>& body);
