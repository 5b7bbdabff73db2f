// Stand-in until the sound chip lands: counts sound time, plays nothing.
#include "sound/pump.h"

namespace {
uint32_t sound_time;
}

void sound_init() { sound_time = 0; }
void sound_shutdown() {}
void sound_stream_stop() {}
void sound_stream_start() {}
void sound_advance(uint32_t ticks) { sound_time += ticks; }
