// The desktop host as a replay's player: the keys come from a recorded run
// instead of the keyboard, so the program plays that run again in its
// window, in real time, with its sound. Frame k is the k-th present after
// the machine's start-up frames; its keys are held from the present before
// it on, as the replay harness holds them, so the program sees what it saw
// when the run was recorded. After the last frame the host keeps showing
// that frame, silent, until the close button is pressed.
#pragma once
#include <cstdint>
#include <vector>

// Call before the program starts. `frames[k - 1]` holds the key codes
// (HostKey) of frame k; `start_frames` is the number of presents before
// frame 1.
void allegro_watch(const std::vector<std::vector<int>>& frames, uint32_t start_frames);
