// The machine's spine: start-up and shut-down, the two back buffers and
// their presentation, and the windowed / full-screen toggle. Frame ends pace
// the host to 50 frames per second with its 250 Hz timer.
#pragma once
#include <cstdint>

#include "host/program.h"
#include "machine/clock.h"

// The black frames machine_init presents before it returns (1.5 s): a
// program's own first frame is the next present.
inline constexpr int MACHINE_START_FRAMES = 75;

// Starts the host, its keyboard and timer and the sound chip, sets the sprite
// memory to 65536 bytes, creates and clears both back buffers, sets the first
// graphics mode (a 640 x 480 window) and presents 75 black frames.
// Returns -1 when a graphics mode was set, 0 when none could be (then nothing
// was presented). Called once, first, by the program.
int machine_init();

// Stops the sound chip's host side and destroys the back buffers. Called last.
void machine_shutdown();

// Charges the rest of the frame, shows the current back buffer stretched to
// the host screen and switches drawing to the other back buffer.
void machine_present();

int  machine_quit_requested();              // -1 once the close button was pressed
const char* machine_host_error();          // the host's reason when no display could be had, or ""
void machine_set_title(const char* title);  // the host window's title
