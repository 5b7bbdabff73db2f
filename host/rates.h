// The machine's fixed numbers: the size of its picture and the rates of its
// clocks. A host serves them (a 320 x 240 picture, a 250 Hz timer, a 44100 Hz
// stream) and the runtime counts in them, so they sit below both. A few
// numbers define the machine; every other one is computed here from them.
#pragma once
#include <cstdint>
#include <numeric>

// --- The picture ------------------------------------------------------------

inline constexpr int32_t SCREEN_WIDTH  = 320;  // back buffer size, in colour bytes
inline constexpr int32_t SCREEN_HEIGHT = 240;

// --- Machine time -------------------------------------------------------------

inline constexpr int32_t LINE_CYCLES       = 1368;  // machine cycles per scan line
inline constexpr int32_t FRAME_LINES       = 311;   // scan lines per video frame
inline constexpr int32_t FRAMES_PER_SECOND = 50;
inline constexpr int32_t SOUND_TICK_CYCLES = 6;     // machine cycles per tick of the sound chip's clock

inline constexpr int32_t FRAME_CYCLES      = FRAME_LINES * LINE_CYCLES;         // 425448
inline constexpr int32_t CYCLES_PER_SECOND = FRAME_CYCLES * FRAMES_PER_SECOND;  // 21272400
inline constexpr int32_t SOUND_TICKS_PER_SECOND = CYCLES_PER_SECOND / SOUND_TICK_CYCLES;  // 3545400
inline constexpr int32_t SOUND_TICKS_PER_FRAME  = FRAME_CYCLES / SOUND_TICK_CYCLES;       // 70908

// --- The host's timer -----------------------------------------------------------

inline constexpr int32_t TIMER_HZ        = 250;                          // host timer ticks per second
inline constexpr int32_t TIMER_TICK_MS   = 1000 / TIMER_HZ;              // 4
inline constexpr int32_t TICKS_PER_FRAME = TIMER_HZ / FRAMES_PER_SECOND;  // 5

// --- The sound stream -------------------------------------------------------------

inline constexpr int32_t SAMPLE_RATE       = 44100;  // output samples per second, mono
inline constexpr int32_t SAMPLES_PER_FRAME = SAMPLE_RATE / FRAMES_PER_SECOND;  // 882

// Sound ticks become output samples by x SAMPLES_PER_UNIT / TICKS_PER_UNIT:
// 44100 / 3545400 in lowest terms, 147 / 11818. One sample is about 80.39
// ticks, so positions are kept exact in units of 1 / 11818 sample.
inline constexpr uint32_t SAMPLES_PER_UNIT =
    uint32_t(SAMPLE_RATE / std::gcd(SAMPLE_RATE, SOUND_TICKS_PER_SECOND));  // 147
inline constexpr uint32_t TICKS_PER_UNIT =
    uint32_t(SOUND_TICKS_PER_SECOND / std::gcd(SAMPLE_RATE, SOUND_TICKS_PER_SECOND));  // 11818

static_assert(FRAME_CYCLES % SOUND_TICK_CYCLES == 0, "a frame is whole sound ticks");
static_assert(CYCLES_PER_SECOND % SOUND_TICK_CYCLES == 0 && 1000 % TIMER_HZ == 0 &&
                  TIMER_HZ % FRAMES_PER_SECOND == 0 && SAMPLE_RATE % FRAMES_PER_SECOND == 0,
              "every rate divides its second exactly");
