// Helpers of the sound tests, and the scripted audio device of the pump's:
// the test decides how many buffers it hands out and whether sound can be
// started, and reads the calls made and the samples filled. The other sound
// tests run on the headless host's own stream, served at the machine's time.
#pragma once
#include <cstdint>
#include <vector>

#include "machine/clock_internal.h"
#include "sound/ports.h"
#include "sound/pump.h"
#include "tests/support/headless.h"

struct FakeHost {
  int  free_buffers;  // buffers host_stream_buffer still hands out
  bool no_sound;      // host_sound_install fails and host_stream_open returns null
  int  open_calls, close_calls, remove_calls, get_calls;
  uint32_t length;                      // samples a buffer of the last stream opened
  std::vector<uint32_t> install_times;  // the sound clock at every host_sound_install
  std::vector<uint16_t> output;         // every filled buffer, in order
};
extern FakeHost fake_host;

// Restarts the sound chip on the fake host (the machine started once), with
// or without a stream at start-up; the record is cleared after start-up.
void sound_test_start(bool stream_opens = true);

inline void sound_test_write(int reg, int value) {  // select, then data: 12 cycles or a few more
  sound_out(PORT_REGISTER_SELECT, reg);
  sound_out(PORT_REGISTER_DATA, value);
}

inline void sound_test_spend(uint64_t ticks) {  // charges any number of sound ticks
  for (uint64_t part; ticks > 0; ticks -= part) {
    part = ticks < 300000000 ? ticks : 300000000;
    machine_spend(uint32_t(6 * part));
  }
}

// The chip's amplitude of each 4-bit level.
inline constexpr int32_t LEVELS[16] = {0,    225,  335,  476,  693,   1013,  1388,  2243,
                                       2771, 4336, 5778, 7371, 9345, 11260, 13896, 16383};

// The fewest sound ticks worth `samples` output samples.
inline uint32_t ticks_for(uint64_t samples) { return uint32_t((samples * 11818 + 146) / 147); }

// On the headless host's own stream: restarts the sound chip at time 0 (the
// first call in a process keeps the chip of the machine's start-up, whose
// noise holds the generator's first draws) with every sample rendered
// appended to `samples`; the machine is started with no display, so no frame
// has been rendered before. `ports` sees every port write.
void sound_test_start_offline(std::vector<uint16_t>* samples);
void sound_test_end_offline();  // delivers the samples owed up to now
extern void (*sound_test_ports)(uint32_t cycles, uint32_t port, int32_t value);
