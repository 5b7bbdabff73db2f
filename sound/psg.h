// The PSG music player: plays recordings of the sound chip's register writes,
// one frame of writes per call, through the machine's ports, so every write
// costs machine cycles and is time-stamped like any other.
//
// File: "PSG" 0x1A, then commands: 0xFF frame end; 0xFE n frame end and n
// empty frames; 0xFD end of the music; any other byte r: a write of the
// following byte to register r & 0x0F. The end of the file ends the music.
#pragma once
#include <cstdint>

// Stops the current piece, then opens `path`. -1 when it is open with the
// right magic, 0 otherwise (the player is then idle). `loop` non-zero rewinds
// at the end of the music instead of stopping.
int psg_open(const char* path, int loop);

// Silences the chip's tones and noise (mixer register 7 = 0xFF; amplitudes
// stay) and closes the file.
void psg_stop();

// Plays (or skips) the next frame. -1 while the music plays, 0 when nothing is
// open or a non-looping piece has just ended. Called once per frame.
int psg_step();

// Frames (player steps) of one pass through the piece at `path`, read as the
// player reads it but without a sound: 0xFF one, 0xFE n one plus n, up to
// 0xFD or the end of the file. At least 1 (a piece without frame ends still
// plays a frame); 0 when the file is not a PSG piece. Charges nothing.
int64_t psg_frames(const char* path);
