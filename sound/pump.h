// The audio stream pump: starts and stops the host sound system and feeds the
// 44100 Hz audio stream from the machine's own cycle accounting.
#pragma once
#include <cstdint>

void sound_init();
void sound_shutdown();
void sound_stream_stop();
void sound_stream_start();
// Moves the sound chip's time on by `ticks` sound ticks (6 machine cycles
// each) and fills every audio buffer the host has freed.
void sound_advance(uint32_t ticks);
