// The machine's spine: host start-up and shut-down, the two back buffers and
// their presentation, the windowed / full-screen toggle, and the machine-cycle
// clock. Every machine operation charges cycles through machine_spend; frame
// ends pace the host to 50 frames per second with a 250 Hz host timer.
#pragma once
#include <cstdint>

struct BITMAP;

inline constexpr int32_t FRAME_CYCLES    = 425448;  // 311 scan lines of LINE_CYCLES
inline constexpr int32_t LINE_CYCLES     = 1368;    // machine cycles per scan line
inline constexpr int32_t TIMER_HZ        = 250;     // host timer rate: one tick is 4 ms
inline constexpr int32_t TICKS_PER_FRAME = 5;       // host ticks per frame: 50 frames/s
inline constexpr int     SCREEN_WIDTH    = 320;     // back buffer size, in colour bytes
inline constexpr int     SCREEN_HEIGHT   = 240;

// A program of the machine defines this function and links the runtime's
// entry wrapper (liborvalin, or the machine_entry library in this tree),
// which provides the host's main (WinMain on Windows) and calls it with the
// command line. It returns the program's exit status. The program does the
// rest itself: machine_init first, machine_shutdown last.
int program_main(int argc, char** argv);

// Starts Allegro, the keyboard, the timer and the sound chip, sets the sprite
// memory to 65536 bytes, creates and clears both back buffers, sets the first
// graphics mode (a 640 x 480 window) and presents 75 black frames.
// Returns -1 when a graphics mode was set, 0 when none could be (then nothing
// was presented). Called once, first, by the program.
int machine_init();

// Stops the sound chip's host side and destroys the back buffers. Called last.
void machine_shutdown();

// Sets the other kind of mode than the `fullscreen` flag holds (windowed <->
// full screen), falling back to the previous kind on failure. `attempt` is the
// number of passes already used; callers pass 0. -1 on success, 0 if no mode.
int machine_set_display(int attempt);

// Charges `cycles` (well below 2^31) of machine time. Passes the whole sound
// ticks (6 cycles each) on to the sound chip, and at each frame end crossed
// tests Alt+Enter and waits for the host timer.
void machine_spend(uint32_t cycles);

// what = 0: charges up to the end of the current scan line (1..1368 cycles);
// what = 1: up to the end of the current frame (a whole frame right after one).
// Any other value does nothing.
void machine_wait(int what);

// Charges the rest of the frame, shows the current back buffer stretched to
// the host screen and switches drawing to the other back buffer.
void machine_present();

int  machine_quit_requested();             // -1 once the close button was pressed
const char* machine_host_error();         // the host's reason when no display could be had, or ""
void machine_set_title(const char* title); // the host window's title
void machine_timer_tick();                 // host timer callback (another thread)
void machine_close_button();               // host close-button callback (another thread)

// The back buffer that drawing goes to now (320 x 240, 8-bit colour bytes).
BITMAP* machine_back_buffer();

// Machine cycles charged since start, modulo 2^32. The port interface pads
// its writes to a multiple of 6 of this counter.
uint32_t machine_total_cycles();

// Frame ends crossed since start, never wrapping (unlike machine_total_cycles).
uint64_t machine_frames_elapsed();

// Ways for tools to run the machine without a host window or timer (the
// replay tool, renderers, the unit tests). Members left null or 0 keep the
// normal behaviour. Set before machine_init.
struct MachineHooks {
  // Replaces Allegro's set_gfx_mode (result 0 = success). With it set, the
  // machine has no host screen: nothing is drawn to one and no palette is set.
  int (*set_gfx_mode)(int card, int width, int height);
  // Called by machine_present with the back buffer that it shows.
  void (*presented)(BITMAP* shown);
  int unpaced;    // -1: frame ends do not wait for the host timer
  int no_system;  // -1: start Allegro without a system driver (no X server)
  // Answers machine_quit_requested in place of the close button: a harness
  // ends a program's run at the program's own question, between two frames.
  int (*quit_requested)();
};
void machine_set_hooks(const MachineHooks& hooks);

// The hooks of a machine with no host at all, as tools, tests and benchmarks
// run it: a graphics mode that always succeeds without a screen, no pacing,
// no system driver. Callers add their own `presented`.
MachineHooks machine_headless_hooks();
