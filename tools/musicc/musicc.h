// Music compiler: a small text notation for the machine's three-channel sound
// chip (notes, rests, lengths, tempo, amplitude envelopes, noise drums,
// repeats) compiled into PSG register recordings, one frame per 1/50 s.
// The notation is described in tools/musicc/NOTATION.md.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int32_t MUSIC_CHANNELS = 3;       // tone channels A, B, C
inline constexpr double CHIP_CLOCK_HZ = 1772700.0;  // the generators' clock
inline constexpr int32_t NOTE_REST = -1;           // MusicEvent.note of a rest
inline constexpr int32_t NOTE_DRUM = -2;           // MusicEvent.note of a drum hit

// A sound made of an amplitude sequence, optional arpeggio and vibrato.
struct Instrument {
  std::string name;
  std::vector<int32_t> volume;    // amplitude 0..15 per frame from the note's start; the last is held
  int32_t gap = 0;                // frames of silence at the end of each note (articulation)
  std::vector<int32_t> arpeggio;  // semitone offsets cycled one per frame; empty: none
  int32_t vibrato_delay = 0;      // frames before the vibrato starts
  int32_t vibrato_cents = 0;      // vibrato depth, cents either side
  int32_t vibrato_frames = 0;     // frames per vibrato cycle; 0: no vibrato
};

// One frame of a drum: amplitude and which generators sound.
struct DrumStep {
  int32_t volume = 0;        // 0..15
  int32_t noise_period = -1;  // 0..31, or -1: noise off
  int32_t tone_period = -1;   // 0..4095, or -1: tone off
};

struct Drum {
  char name = 0;  // the upper-case letter that plays it
  std::vector<DrumStep> steps;  // one per frame from the hit; silent afterwards
};

// One note, rest or drum hit of a channel, in frames.
struct MusicEvent {
  int32_t start = 0;       // frame of the attack, from the start of the piece
  int32_t frames = 0;      // length in frames
  int32_t note = 0;        // MIDI note number (69 = A4 = 440 Hz), NOTE_REST or NOTE_DRUM
  int32_t instrument = 0;  // index into MusicScore.instruments (notes)
  int32_t drum = 0;        // index into MusicScore.drums (drum hits)
  int32_t volume = 15;     // channel volume 0..15: amplitudes are lowered by 15 - volume
};

struct MusicScore {
  std::string title;
  int32_t tempo = 24;   // frames per quarter note
  int32_t loop = 0;     // -1: the piece loops back to its start without a seam
  int32_t melody = 0;   // channel 0..2 that carries the melody
  std::vector<Instrument> instruments;
  std::vector<Drum> drums;
  std::vector<MusicEvent> channels[MUSIC_CHANNELS];
  int32_t frames = 0;  // length of the piece in frames
};

// Parses a score. Returns -1 on success, 0 with `error` set to
// "line N: what is wrong" otherwise.
int musicc_parse(const std::string& text, MusicScore& score, std::string& error);

// The tone period of a MIDI note: round(1772700 / (16 x frequency)) - 1, with
// equal temperament and A4 = 440 Hz. Returns -1 when it does not fit 12 bits.
int32_t musicc_period(int32_t note);

// Frequency of a MIDI note in Hz.
double musicc_frequency(int32_t note);

// Compiles the score into a PSG file ("PSG" 0x1A, then frames of register
// writes). `channel_mask` bit c keeps channel c audible; the others are
// silenced (used to listen to one voice alone). The first frame writes every
// register it uses, so a rewind to the start needs no state from the end.
std::vector<uint8_t> musicc_compile(const MusicScore& score, uint32_t channel_mask);
