// The AY-3-8910 synthesis. Every generator is a 32-bit phase accumulator
// gaining its step once per output sample, as if the chip ran at 1772700 Hz
// (half the sound-tick rate): a tone is high while phase bit 22 is set, and
// noise and envelope move to their next table entry every 2^22 phase units.
// All arithmetic is integer, so the output is the same sample for sample on
// every host.
#include "sound/chip.h"

#include "host/rates.h"
#include "machine/random.h"
#include "sound/queue.h"
#include "sound/registers.h"

namespace {

// The phase step per sample for a divider of 1: a chip clocked at half the
// sound-tick rate (1772700 Hz) counting 16 clocks per tone step, in phase
// units of 2^-23 cycle: floor(1772700 x 2^23 / (16 x 44100)) = 21074950.
inline constexpr uint32_t STEP_BASE =
    uint32_t((uint64_t(SOUND_TICKS_PER_SECOND / 2) << 23) / (16 * uint64_t(SAMPLE_RATE)));
static_assert(STEP_BASE == 21074950);
inline constexpr uint32_t TONE_HIGH   = 0x400000;  // phase bit read as the tone output
inline constexpr int      PHASE_SHIFT = 22;        // phase >> 22 indexes noise and envelope

struct ToneChannel {
  uint32_t       period;            // 12-bit tone period register value
  uint32_t       tone_mask;         // 0xFFFF tone enabled by the mixer, else 0
  uint32_t       noise_mask;        // 0xFFFF noise enabled on this channel, else 0
  int32_t        fixed_amplitude;   // volume_table value of the last fixed level
  const int32_t* amplitude_source;  // &fixed_amplitude, or &env_level in envelope mode
  uint32_t       phase;             // tone phase: bit 22 is the output
  uint32_t       step;              // phase gain per sample
};

constexpr int32_t volume_table[16] = {  // amplitude of each 4-bit level
    0,    225,  335,  476,  693,   1013,  1388,  2243,
    2771, 4336, 5778, 7371, 9345, 11260, 13896, 16383,
};
int16_t        noise_table[1024];       // 0, 1 or 2: non-zero means noise high
int32_t        envelope_tables[5][32];  // amplitudes of the five envelope rows
ToneChannel    tone_channels[3];        // A, B, C; put in their start state by chip_init
uint32_t       noise_step;                      // noise phase gain per sample
uint32_t       noise_phase;
uint16_t       env_period;                      // registers 11 (low) and 12 (high)
uint32_t       env_step;                        // envelope phase loss per sample
int32_t        env_phase;                       // counts down; >> 22 indexes env_table
uint32_t       env_mask;                        // applied after each step: hold or repeat
const int32_t* env_table = envelope_tables[0];  // the selected row of envelope_tables
int32_t        env_level;                       // the envelope's amplitude this sample

// Where register 13 puts the envelope: the row it reads, the phase it starts
// from (it counts down, so the first index lasts one sample only) and the
// mask applied after each step. A mask of all ones lets the phase run down to
// 0 and hold there (one-shot shapes: row entry 0 is the held level);
// 0x3FFFFFF repeats indices 15..0 and 0x7FFFFFF repeats 31..0.
struct EnvelopeShape {
  uint8_t  row;
  uint32_t start_phase;
  uint32_t mask;
};
constexpr uint32_t ONE_SHOT = 0xFFFFFFFF;
constexpr EnvelopeShape ENVELOPE_SHAPES[16] = {
    {0, 0x3C00000, ONE_SHOT},  {0, 0x3C00000, ONE_SHOT},  {0, 0x3C00000, ONE_SHOT},
    {0, 0x3C00000, ONE_SHOT},  {1, 0x3C00000, ONE_SHOT},  {1, 0x3C00000, ONE_SHOT},
    {1, 0x3C00000, ONE_SHOT},  {1, 0x3C00000, ONE_SHOT},  {0, 0x3C00000, 0x3FFFFFF},
    {0, 0x3C00000, ONE_SHOT},  {2, 0x3C00000, 0x7FFFFFF}, {3, 0x4000000, ONE_SHOT},
    {1, 0x4000000, 0x7FFFFFF}, {4, 0x4000000, ONE_SHOT},  {2, 0x7C00000, 0x7FFFFFF},
    {1, 0x3C00000, ONE_SHOT},
};

void set_period_low(ToneChannel& channel, uint8_t value) {
  channel.period = (channel.period & 0xF00) | value;
}

void set_period_high(ToneChannel& channel, uint8_t value) {
  channel.period = (uint32_t(value) << 8) | (channel.period & 0xFF);
}

void set_amplitude(ToneChannel& channel, uint8_t value) {
  // Bit 4 hands the channel to the envelope; its fixed level is kept for
  // when a plain level is written again.
  if (value & 0x10) {
    channel.amplitude_source = &env_level;
  } else {
    channel.fixed_amplitude = volume_table[value & 0x0F];
    channel.amplitude_source = &channel.fixed_amplitude;
  }
}

void set_mixer(uint8_t value) {
  // A set bit disables: bits 0..2 the tones of A, B, C, bits 3..5 their noise.
  for (int i = 0; i < 3; ++i) {
    tone_channels[i].tone_mask = (value >> i) & 1 ? 0 : 0xFFFF;
    tone_channels[i].noise_mask = (value >> (i + 3)) & 1 ? 0 : 0xFFFF;
  }
}

// A channel sounds its amplitude when its tone is high or disabled and its
// noise is high or disabled, and 0 otherwise: the gate is either 0 or a.
inline uint32_t channel_output(const ToneChannel& x, bool noise_high) {
  uint32_t a = uint32_t(*x.amplitude_source);
  uint32_t noise_gate = (noise_high ? 0 : a) & x.noise_mask;
  uint32_t tone_gate = (x.phase & TONE_HIGH ? 0 : a) & x.tone_mask;
  return a - (noise_gate | tone_gate);
}

// Produces `count` samples from the current state, with no event in between.
void render_run(uint16_t* out, int32_t count) {
  ToneChannel& a = tone_channels[0];
  ToneChannel& b = tone_channels[1];
  ToneChannel& c = tone_channels[2];
  for (int32_t i = 0; i < count; ++i) {
    env_level = env_table[uint32_t(env_phase) >> PHASE_SHIFT];
    bool noise_high = noise_table[noise_phase >> PHASE_SHIFT] != 0;
    uint32_t total = channel_output(a, noise_high) + channel_output(b, noise_high) +
                     channel_output(c, noise_high);
    out[i] = uint16_t(total);  // modulo 65536
    a.phase += a.step;
    b.phase += b.step;
    c.phase += c.step;
    // One-shot masks keep the sign bit, so running below 0 holds at 0;
    // repeating masks clear it and wrap the phase to the top of their range.
    int32_t next = int32_t((uint32_t(env_phase) - env_step) & env_mask);
    env_phase = next < 0 ? 0 : next;
    noise_phase += noise_step;
  }
}

void tone_update_step(ToneChannel& x) {
  x.step = STEP_BASE / (x.period + 1);
  // More than half a cycle per sample would alias: periods 0 to 4 freeze the
  // output high instead, as if the tone were disabled. Otherwise the phase
  // runs on, so a period change never restarts the waveform.
  if (x.step > TONE_HIGH) {
    x.step = 0;
    x.phase = TONE_HIGH;
  }
}

void envelope_update_step() {
  // The envelope counts 16 chip clocks per step of its divider.
  env_step = (STEP_BASE >> 4) / (uint32_t(env_period) + 1);
}

// Applies one event (a register write; marks, sync points and registers 14
// and 15 change nothing) to the chip state at once.
void apply_event(const SoundEvent& event) {
  uint8_t v = event.value;
  switch (event.type) {
    case REG_A_PERIOD_LOW: case REG_B_PERIOD_LOW: case REG_C_PERIOD_LOW:
      set_period_low(tone_channels[event.type / 2], v);  // two registers a channel
      tone_update_step(tone_channels[event.type / 2]);
      break;
    case REG_A_PERIOD_HIGH: case REG_B_PERIOD_HIGH: case REG_C_PERIOD_HIGH:
      set_period_high(tone_channels[event.type / 2], v);
      tone_update_step(tone_channels[event.type / 2]);
      break;
    case REG_NOISE_PERIOD:
      noise_step = STEP_BASE / (uint32_t(v) + 1);  // fast noise is never frozen
      break;
    case REG_MIXER:
      set_mixer(v);
      break;
    case REG_A_AMPLITUDE: case REG_B_AMPLITUDE: case REG_C_AMPLITUDE:
      set_amplitude(tone_channels[event.type - REG_A_AMPLITUDE], v);
      break;
    case REG_ENVELOPE_LOW:
      env_period = uint16_t((env_period & 0xFF00) | v);
      envelope_update_step();
      break;
    case REG_ENVELOPE_HIGH:
      env_period = uint16_t((uint32_t(v) << 8) | (env_period & 0xFF));
      envelope_update_step();
      break;
    case REG_ENVELOPE_SHAPE: {
      // Writing the shape restarts the envelope, also with the same shape.
      const EnvelopeShape& shape = ENVELOPE_SHAPES[v & 0x0F];
      env_table = envelope_tables[shape.row];
      env_phase = int32_t(shape.start_phase);
      env_mask = shape.mask;
      break;
    }
    default:
      break;  // registers 14 and 15, marks and sync points only mark time
  }
}

}  // namespace

void chip_init() {
  // The noise sequence is the first 1024 draws of the program's generator,
  // taken from the top entry down, so it is the same at every run.
  for (int i = 1023; i >= 0; --i) noise_table[i] = int16_t(lcg_rand() / 16383);
  for (int i = 0; i < 32; ++i) {
    int levels[5] = {
        i & 15,
        (16 - i) & 15,
        i < 16 ? i : 31 - i,
        (i + 15) & 15,
        15 - (i & 15),
    };
    for (int row = 0; row < 5; ++row) envelope_tables[row][i] = volume_table[levels[row]];
  }
  // The start state: silent channels at period 0, each reading its own fixed
  // amplitude until told otherwise. A second start-up (tests, tools) begins
  // alike.
  for (ToneChannel& channel : tone_channels) {
    channel = ToneChannel{};
    channel.amplitude_source = &channel.fixed_amplitude;
  }
  noise_step = 0;
  noise_phase = 0;
  env_period = 0;
  env_step = 0;
  env_phase = 0;
  env_mask = 0;
  env_table = envelope_tables[0];
  env_level = 0;
}


void chip_apply_oldest() { apply_event(sound_queue_pop()); }

void chip_render(uint16_t* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    // Apply every event whose time point has been reached; render only up to
    // the first one still ahead.
    int32_t run = count - done;
    while (!sound_queue_empty()) {
      uint32_t ahead = sound_queue_samples_ahead();
      if (ahead > 0) {
        if (ahead < uint32_t(run)) run = int32_t(ahead);
        break;
      }
      apply_event(sound_queue_pop());
    }
    sound_queue_rendered(uint32_t(run));
    render_run(buffer + done, run);
    done += run;
  }
}
