// The music compiler: notation, tuning and PSG output, and the game's three
// tunes checked by ear's stand-in: each is played through the machine's real
// player and chip (orvalin-psg2wav), and pitch detection on the audio must
// hear the melody notes written in its score, on both sides of a loop's seam.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/musicc/musicc.h"

namespace {

const std::string DATA = QUADRILLO_DATA_DIR;
const std::string WORK = MUSICC_TEST_WORK_DIR;
const std::string PSG2WAV = PSG2WAV_PATH;

constexpr int32_t SAMPLE_RATE = 44100;
constexpr int32_t FRAME_SAMPLES = 882;  // 44100 / 50, exact for the machine's frame
// psg2wav starts the machine as the game does: 75 frames before the music.
constexpr int32_t MUSIC_START = 75 * FRAME_SAMPLES;

MusicScore parse_ok(const std::string& text) {
  MusicScore score;
  std::string error;
  EXPECT_EQ(musicc_parse(text, score, error), -1) << error;
  return score;
}

std::string parse_error(const std::string& text) {
  MusicScore score;
  std::string error;
  EXPECT_EQ(musicc_parse(text, score, error), 0) << "accepted: " << text;
  return error;
}

// Register writes of each frame of a compiled PSG, in order: (register, value).
std::vector<std::vector<std::pair<int, int>>> frames_of(const std::vector<uint8_t>& psg) {
  std::vector<std::vector<std::pair<int, int>>> frames(1);
  for (size_t i = 4; i < psg.size(); ++i) {
    uint8_t c = psg[i];
    if (c == 0xFD) break;
    if (c == 0xFF) {
      frames.emplace_back();
    } else if (c == 0xFE) {
      for (int n = 0; n <= psg[i + 1]; ++n) frames.emplace_back();
      ++i;
    } else {
      frames.back().push_back({c, psg[i + 1]});
      ++i;
    }
  }
  frames.pop_back();  // the last frame end opens no new frame
  return frames;
}

const std::string HEADER =
    "tempo 24\n"
    "instrument i vol 15 12 10 gap 1\n"
    "drum K v15 n5 t300, v8 n6\n";

}  // namespace

TEST(MusicTuning, PeriodsFollowTheChipClockAndEqualTemperament) {
  // A4 = 440 Hz: 1772700 / (16 x 440) = 251.8, so period round(251.8) - 1.
  EXPECT_EQ(musicc_period(69), 251);
  EXPECT_DOUBLE_EQ(musicc_frequency(81), 880.0);
  for (int32_t note = 24; note <= 108; ++note) {
    int32_t period = musicc_period(note);
    ASSERT_GT(period, 0) << note;
    // The divider is period + 1: the nearest whole divider, off by at most
    // half a step of the divider.
    double ideal = CHIP_CLOCK_HZ / (16.0 * musicc_frequency(note));
    EXPECT_LE(std::fabs(ideal - (period + 1)), 0.5) << "note " << note;
    double heard = CHIP_CLOCK_HZ / (16.0 * (period + 1));
    if (note <= 96) {
      EXPECT_NEAR(heard / musicc_frequency(note), 1.0, 0.01) << "in tune up to C7, note " << note;
    }
  }
  EXPECT_EQ(musicc_period(12), -1) << "below the 12-bit period range";
}

TEST(MusicNotation, LengthsDotsTiesAndRepeatsCountFrames) {
  MusicScore s = parse_ok(HEADER + "A: @i o4 a4 a8. a2&8 r16 [c d]3 l8 e K16\n");
  const std::vector<MusicEvent>& a = s.channels[0];
  ASSERT_EQ(a.size(), 12u);
  EXPECT_EQ(a[0].frames, 24);
  EXPECT_EQ(a[1].frames, 18) << "dotted eighth";
  EXPECT_EQ(a[2].frames, 60) << "half tied to an eighth";
  EXPECT_EQ(a[3].note, NOTE_REST);
  EXPECT_EQ(a[3].frames, 6);
  EXPECT_EQ(a[4].note, 60);
  EXPECT_EQ(a[9].note, 62) << "repeat expanded three times";
  EXPECT_EQ(a[10].note, 64);
  EXPECT_EQ(a[10].frames, 12) << "default length l8";
  EXPECT_EQ(a[11].note, NOTE_DRUM);
  EXPECT_EQ(a[11].start, 24 + 18 + 60 + 6 + 6 * 24 + 12);
  EXPECT_EQ(s.frames, a[11].start + 6);
}

TEST(MusicNotation, OctavesAndAccidentals) {
  MusicScore s = parse_ok(HEADER + "A: @i o4 a > a < < a c+ d- e+ b- # a comment\n");
  const std::vector<MusicEvent>& a = s.channels[0];
  ASSERT_EQ(a.size(), 7u);
  EXPECT_EQ(a[0].note, 69);
  EXPECT_EQ(a[1].note, 81);
  EXPECT_EQ(a[2].note, 57);
  EXPECT_EQ(a[3].note, 49) << "c+ in octave 3";
  EXPECT_EQ(a[4].note, 49) << "d- is c+";
  EXPECT_EQ(a[5].note, 53) << "e+ is f";
  EXPECT_EQ(a[6].note, 58);
}

TEST(MusicNotation, ErrorsNameTheirLine) {
  EXPECT_NE(parse_error(HEADER + "A: @i a4\nB: @i a7\n").find("line 5"), std::string::npos)
      << "a seventh note is not a whole number of frames at tempo 24";
  EXPECT_NE(parse_error(HEADER + "A: a4\n").find("instrument"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "A: @i [a4\n").find("'['"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "A: @nope a\n").find("unknown instrument"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "A: @i Z4\n").find("unknown drum"), std::string::npos);
  EXPECT_NE(parse_error("tempo 0\n").find("line 1"), std::string::npos);
  EXPECT_NE(parse_error(HEADER + "loop\nA: @i a4\nB: @i a2\n").find("looping"), std::string::npos)
      << "channels of a looping piece must end together";
  EXPECT_NE(parse_error(HEADER).find("no notes"), std::string::npos);
}

TEST(MusicCompile, FirstFrameWritesEveryRegisterAndLaterOnlyChanges) {
  MusicScore s = parse_ok(HEADER + "loop\nA: @i o4 a4 a4\nB: @i o2 a2\n");
  std::vector<uint8_t> psg = musicc_compile(s, 7);
  ASSERT_GE(psg.size(), 6u);
  EXPECT_EQ(std::string(psg.begin(), psg.begin() + 4), std::string("PSG\x1A"));
  EXPECT_EQ(psg.back(), 0xFD);
  auto frames = frames_of(psg);
  ASSERT_EQ(int(frames.size()), s.frames);
  ASSERT_EQ(frames[0].size(), 11u) << "registers 0..10, so a rewind needs nothing from the end";
  for (int r = 0; r <= 10; ++r) EXPECT_EQ(frames[0][size_t(r)].first, r);
  EXPECT_EQ(frames[0][0].second, musicc_period(69) & 0xFF);
  EXPECT_EQ(frames[0][1].second, musicc_period(69) >> 8);
  EXPECT_EQ(frames[0][7].second, 0x3F & ~0x03) << "tones A and B on, all noise off";
  EXPECT_EQ(frames[0][8].second, 15);
  // Frame 1: only the amplitudes fall (15 -> 12) on both channels.
  ASSERT_EQ(frames[1].size(), 2u);
  EXPECT_EQ(frames[1][0], std::make_pair(8, 12));
  EXPECT_EQ(frames[1][1], std::make_pair(9, 12));
  // The gap silences the last frame of A's first note, the second note attacks.
  EXPECT_EQ(frames[23][0], std::make_pair(7, 0x3F & ~0x02));
  EXPECT_EQ(frames[24][0], std::make_pair(7, 0x3F & ~0x03));
}

TEST(MusicCompile, QuietFramesAreSkippedAndSoloSilencesTheRest) {
  MusicScore s = parse_ok(HEADER + "A: @i o4 a1\nB: K4\n");
  std::vector<uint8_t> psg = musicc_compile(s, 7);
  bool skip = false;
  for (size_t i = 4; i + 1 < psg.size(); i += 2) skip = skip || psg[i] == 0xFE;
  EXPECT_TRUE(skip) << "a held note leaves empty frames, written as 0xFE n";
  auto frames = frames_of(psg);
  EXPECT_EQ(int(frames.size()), s.frames + 1) << "a piece played once ends with a silent frame";
  EXPECT_EQ(frames[0][6], std::make_pair(6, 5)) << "the drum sets the noise period";
  EXPECT_EQ(frames[0][7].second, 0x3F & ~(0x01 | 0x02 | 0x10)) << "tone A, tone and noise B";

  auto solo = frames_of(musicc_compile(s, 2));
  EXPECT_EQ(solo[0][8], std::make_pair(8, 0)) << "channel A silent";
  EXPECT_EQ(solo[0][9], std::make_pair(9, 15));
}

namespace {

struct Tune {
  const char* name;
  MusicScore score;
};

Tune load_tune(const char* name) {
  Tune tune{name, {}};
  FILE* file = std::fopen((DATA + "/src/" + name + ".txt").c_str(), "rb");
  std::string text;
  if (file) {
    int c;
    while ((c = std::fgetc(file)) != EOF) text.push_back(char(c));
    std::fclose(file);
  }
  std::string error;
  EXPECT_EQ(musicc_parse(text, tune.score, error), -1) << name << ": " << error;
  return tune;
}

// Renders channels `mask` of the tune for `frames` frames through the real
// player and chip; returns the samples from the start of the music.
std::vector<int16_t> render(const Tune& tune, uint32_t mask, int32_t frames) {
  std::string psg = WORK + "/" + tune.name + "-" + std::to_string(mask) + ".psg";
  std::string wav = WORK + "/" + tune.name + "-" + std::to_string(mask) + ".wav";
  std::vector<uint8_t> bytes = musicc_compile(tune.score, mask);
  FILE* out = std::fopen(psg.c_str(), "wb");
  if (!out) return {};
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
  std::string command = "\"" + PSG2WAV + "\" " + (tune.score.loop ? "--loop " : "") + "-n " +
                        std::to_string(frames) + " \"" + psg + "\" \"" + wav + "\"";
#ifdef _WIN32
  // cmd.exe drops the first and the last quote of a line that starts with one.
  command = "\"" + command + "\"";
#endif
  if (std::system(command.c_str()) != 0) return {};
  FILE* in = std::fopen(wav.c_str(), "rb");
  if (!in) return {};
  std::vector<uint8_t> file;
  int c;
  while ((c = std::fgetc(in)) != EOF) file.push_back(uint8_t(c));
  std::fclose(in);
  // RIFF: find the "data" chunk of 16-bit mono samples.
  size_t pos = 12;
  while (pos + 8 <= file.size()) {
    uint32_t size = uint32_t(file[pos + 4]) | uint32_t(file[pos + 5]) << 8 | uint32_t(file[pos + 6]) << 16 |
                    uint32_t(file[pos + 7]) << 24;
    if (std::string(file.begin() + long(pos), file.begin() + long(pos) + 4) == "data") {
      std::vector<int16_t> samples;
      for (size_t i = pos + 8; i + 1 < file.size() && i < pos + 8 + size; i += 2)
        samples.push_back(int16_t(uint16_t(file[i] | file[i + 1] << 8)));
      if (samples.size() <= size_t(MUSIC_START)) return {};
      return std::vector<int16_t>(samples.begin() + MUSIC_START, samples.end());
    }
    pos += 8 + size + (size & 1);
  }
  return {};
}

// Frequency of a lone square wave in samples [begin, end): the chip's output
// is at its floor (silence) in the wave's low half, so rising crossings of a
// threshold just above the floor mark whole cycles. 0 when under two cycles.
double pitch(const std::vector<int16_t>& s, int64_t begin, int64_t end) {
  if (begin < 0 || end > int64_t(s.size()) || end <= begin) return 0.0;
  int32_t floor = 32767;
  for (int64_t i = begin; i < end; ++i) floor = std::min<int32_t>(floor, s[size_t(i)]);
  int32_t threshold = floor + 100;
  int64_t first = -1, last = -1, cycles = -1;
  for (int64_t i = begin + 1; i < end; ++i)
    if (s[size_t(i - 1)] <= threshold && s[size_t(i)] > threshold) {
      if (first < 0) first = i;
      last = i;
      ++cycles;
    }
  if (cycles < 2) return 0.0;
  return double(cycles) * SAMPLE_RATE / double(last - first);
}

// Loudness of one frame: the square wave's height above the chip's floor,
// after the frame's register writes (which come a few samples into it).
double loudness(const std::vector<int16_t>& s, int32_t frame) {
  int64_t begin = int64_t(frame) * FRAME_SAMPLES;
  if (begin + FRAME_SAMPLES > int64_t(s.size())) return -1.0;
  int32_t high = -32768;
  for (int64_t i = begin + 100; i < begin + FRAME_SAMPLES; ++i) high = std::max<int32_t>(high, s[size_t(i)]);
  return double(high) + 32768.0;
}

// Checks every melody note of at least 4 sounding frames whose attack lies in
// [from, to) frames of the piece, `offset` frames later in the audio; returns
// how many notes were checked.
int check_melody(const Tune& tune, const std::vector<int16_t>& audio, int32_t from, int32_t to, int32_t offset) {
  int checked = 0;
  for (const MusicEvent& e : tune.score.channels[tune.score.melody]) {
    if (e.note < 0 || e.start < from || e.start >= to) continue;
    int32_t sounding = e.frames - tune.score.instruments[size_t(e.instrument)].gap;
    if (sounding < 4) continue;
    // The middle of the note: clear of the attack and of the next note.
    int64_t begin = int64_t(offset + e.start) * FRAME_SAMPLES + int64_t(sounding) * FRAME_SAMPLES / 4;
    int64_t end = int64_t(offset + e.start) * FRAME_SAMPLES + int64_t(sounding) * FRAME_SAMPLES * 3 / 4;
    double heard = pitch(audio, begin, end);
    double written = musicc_frequency(e.note);
    EXPECT_NEAR(heard / written, 1.0, 0.015)
        << tune.name << ": note " << e.note << " at frame " << e.start << " (+" << offset << ") heard at " << heard
        << " Hz, written " << written << " Hz";
    ++checked;
  }
  return checked;
}

}  // namespace

TEST(Tunes, LengthsAndFormSuitTheirPlaceInTheGame) {
  Tune intro = load_tune("menu1"), title = load_tune("menu2"), game = load_tune("game");
  EXPECT_FALSE(intro.score.loop) << "the intro plays once; its end brings the title menu";
  EXPECT_GE(intro.score.frames, 8 * 50);
  EXPECT_LE(intro.score.frames, 12 * 50);
  EXPECT_GT(intro.score.frames, 240 + 160) << "lasts through the logo intro and the title reveal";
  EXPECT_TRUE(title.score.loop);
  EXPECT_GE(title.score.frames, 30 * 50);
  EXPECT_LE(title.score.frames, 60 * 50);
  EXPECT_TRUE(game.score.loop);
  EXPECT_GE(game.score.frames, 60 * 50);
  int bass = 0, drums = 0;
  for (int c = 0; c < MUSIC_CHANNELS; ++c)
    for (const MusicEvent& e : game.score.channels[c]) {
      bass += c != game.score.melody && e.note >= 0 && e.note < 52;
      drums += e.note == NOTE_DRUM;
    }
  EXPECT_GT(bass, 100) << "the game theme has a bass line";
  EXPECT_GT(drums, 100) << "and percussion";
}

TEST(Tunes, MelodiesSoundAsWritten) {
  for (const char* name : {"menu1", "menu2", "game"}) {
    Tune tune = load_tune(name);
    std::vector<int16_t> audio = render(tune, 1u << tune.score.melody, tune.score.frames);
    ASSERT_GE(audio.size(), size_t(tune.score.frames - 1) * FRAME_SAMPLES) << name << ": psg2wav failed";
    int checked = check_melody(tune, audio, 0, tune.score.frames, 0);
    EXPECT_GT(checked, 10) << name;
  }
}

TEST(Tunes, LoopsContinueAcrossTheirRewind) {
  for (const char* name : {"menu2", "game"}) {
    Tune tune = load_tune(name);
    const int32_t length = tune.score.frames, after = 250;  // five seconds past the seam
    std::vector<int16_t> audio = render(tune, 1u << tune.score.melody, length + after);
    ASSERT_GE(audio.size(), size_t(length + after - 1) * FRAME_SAMPLES) << name << ": psg2wav failed";
    // The second pass plays the opening notes at their written times: no
    // frame lost or added at the rewind.
    EXPECT_GT(check_melody(tune, audio, 0, after - 20, length), 5) << name;
    // And it plays them as loud, frame by frame, as the first pass did.
    for (int32_t f = 0; f < after - 1; ++f) {
      double first = loudness(audio, f), again = loudness(audio, length + f);
      EXPECT_NEAR(again, first, 0.01 * first + 2.0) << name << ": frame " << f << " after the seam";
    }
    // The frames just before the seam are not silent where the melody plays.
    const MusicEvent& last = tune.score.channels[tune.score.melody].back();
    if (last.note >= 0 && last.frames > 4) {
      EXPECT_GT(loudness(audio, length - last.frames + 1), 100.0) << name;
    }
  }
}
