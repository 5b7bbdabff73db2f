// The replay harness: runs any program of the machine without a window,
// timer or audio device, as fast as the host allows, with the keys of each
// frame read from a key script. harness_run takes the place of the host's
// main and calls the program's program_main (harness_main.cpp is that main
// for any program); the headless host does the rest. At each present the
// harness records the frame and holds the next frame's keys; after the
// script's last frame it presses the close button, the program's next quit
// question is answered yes, and the program shuts down as usual.
#pragma once
#include <cstdint>

struct HarnessProgram {
  const char* tool;     // the tool's name in messages and --help: "quadrillo-replay"
  const char* title;    // what it runs, for --help: "Orvalin: Quadrillo"
  int (*entry)(int argc, char** argv);  // the program's main function: program_main
  int32_t (*frame_note)();  // a number written after each frame's line (the
                            // game's state after the frame), or null for none
};

// Parses the harness's command line (see its --help), runs the program and
// writes frames.txt, ports.txt, audio.wav and the chosen pictures. Returns
// the exit status: 0 done, 1 a file or the program failed, 2 a wrong command
// line.
int harness_run(const HarnessProgram& program, int argc, char** argv);
