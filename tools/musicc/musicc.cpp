// Music compiler: parses the notation into events per channel, renders them
// frame by frame into register values, and writes only what changes.
#include "tools/musicc/musicc.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <sstream>

namespace {

// Register numbers of the sound chip.
constexpr int32_t REG_NOISE_PERIOD = 6;
constexpr int32_t REG_MIXER = 7;  // a set bit disables: bits 0-2 tone A-C, 3-5 noise A-C
constexpr int32_t REG_AMPLITUDE_A = 8;
constexpr int32_t USED_REGISTERS = 11;  // 0..10; the envelope generator is not used

// Channel text with the source line of every character, for error messages.
struct SourceText {
  std::string text;
  std::vector<int32_t> lines;
};

struct ChannelParser {
  const SourceText* source = nullptr;
  const MusicScore* score = nullptr;
  std::vector<MusicEvent>* events = nullptr;
  int32_t cursor = 0;        // frame of the next event
  int32_t octave = 4;        // octave of plain note letters (C4 = MIDI 60)
  int32_t length = 0;        // default length, frames
  int32_t instrument = -1;   // current instrument, -1 before the first @
  int32_t volume = 15;
  std::string error;

  int32_t line_at(size_t i) const {
    if (source->lines.empty()) return 0;
    return source->lines[std::min(i, source->lines.size() - 1)];
  }
  int fail(size_t i, const std::string& what) {
    if (error.empty()) error = "line " + std::to_string(line_at(i)) + ": " + what;
    return 0;
  }
  // Reads an unsigned number at i; returns -1 and sets value, 0 when none.
  int number(size_t& i, int32_t& value) const {
    const std::string& t = source->text;
    if (i >= t.size() || !std::isdigit(uint8_t(t[i]))) return 0;
    int64_t v = 0;
    while (i < t.size() && std::isdigit(uint8_t(t[i]))) {
      v = v * 10 + (t[i++] - '0');
      if (v > 100000) v = 100000;
    }
    value = int32_t(v);
    return -1;
  }
  // A length: a note value (1, 2, 4, 8, 16, 32, or 3, 6, 12, 24 for
  // triplets) and dots, or the default. A whole note is 4 x tempo frames and
  // every length must come out as whole frames.
  int note_length(size_t& i, int32_t& frames) {
    const std::string& t = source->text;
    int32_t value = 0;
    if (number(i, value) == -1) {
      int32_t whole = score->tempo * 4;
      if (value == 0 || whole % value != 0) return fail(i, "length " + std::to_string(value) + " is not a whole number of frames at this tempo");
      frames = whole / value;
    } else {
      if (length == 0) return fail(i, "no length given and no default length (l)");
      frames = length;
    }
    int32_t add = frames;
    while (i < t.size() && t[i] == '.') {
      ++i;
      if (add % 2 != 0) return fail(i, "dotted length is not a whole number of frames");
      add /= 2;
      frames += add;
    }
    return -1;
  }
  void push(int32_t frames, int32_t note, int32_t drum) {
    MusicEvent e;
    e.start = cursor;
    e.frames = frames;
    e.note = note;
    e.instrument = instrument;
    e.drum = drum;
    e.volume = volume;
    events->push_back(e);
    cursor += frames;
  }
  // Parses text[begin, end); repeats call it again for their body.
  int block(size_t begin, size_t end) {
    const std::string& t = source->text;
    size_t i = begin;
    while (i < end) {
      char c = t[i];
      if (std::isspace(uint8_t(c)) || c == '|') {
        ++i;
      } else if (c == '[') {
        int depth = 0;
        size_t j = i;
        for (; j < end; ++j) {
          if (t[j] == '[') ++depth;
          if (t[j] == ']' && --depth == 0) break;
        }
        if (j >= end) return fail(i, "'[' without its ']'");
        size_t k = j + 1;
        int32_t count = 2;
        number(k, count);
        if (count < 1 || count > 256) return fail(j, "repeat count must be 1..256");
        for (int32_t r = 0; r < count; ++r)
          if (block(i + 1, j) != -1) return 0;
        i = k;
      } else if (c == ']') {
        return fail(i, "']' without its '['");
      } else if (c == 'o' || c == 'l' || c == 'v') {
        ++i;
        int32_t value = 0;
        if (c == 'l') {
          if (note_length(i, value) != -1) return 0;
          length = value;
          continue;
        }
        if (number(i, value) != -1) return fail(i, std::string("'") + c + "' needs a number");
        if (c == 'o' && value > 8) return fail(i, "octave must be 0..8");
        if (c == 'v' && value > 15) return fail(i, "volume must be 0..15");
        (c == 'o' ? octave : volume) = value;
      } else if (c == '>' || c == '<') {
        octave += c == '>' ? 1 : -1;
        if (octave < 0 || octave > 8) return fail(i, "octave out of range 0..8");
        ++i;
      } else if (c == '@') {
        size_t j = ++i;
        while (j < end && (std::isalnum(uint8_t(t[j])) || t[j] == '_')) ++j;
        std::string name = t.substr(i, j - i);
        instrument = -1;
        for (size_t n = 0; n < score->instruments.size(); ++n)
          if (score->instruments[n].name == name) instrument = int32_t(n);
        if (instrument < 0) return fail(i, "unknown instrument '" + name + "'");
        i = j;
      } else if (c == 'r') {
        ++i;
        int32_t frames = 0;
        if (note_length(i, frames) != -1) return 0;
        push(frames, NOTE_REST, 0);
      } else if (c >= 'a' && c <= 'g') {
        static const int32_t SEMITONE[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
        size_t at = i++;
        int32_t note = (octave + 1) * 12 + SEMITONE[c - 'a'];
        while (i < end && (t[i] == '+' || t[i] == '-')) note += t[i++] == '-' ? -1 : 1;
        int32_t frames = 0;
        if (note_length(i, frames) != -1) return 0;
        while (i < end && t[i] == '&') {  // tie: &length lengthens the note
          ++i;
          int32_t more = 0;
          if (note_length(i, more) != -1) return 0;
          frames += more;
        }
        if (instrument < 0) return fail(at, "note before any instrument (@name)");
        if (musicc_period(note) < 0) return fail(at, "note out of the chip's range");
        push(frames, note, 0);
      } else if (c >= 'A' && c <= 'Z') {
        int32_t drum = -1;
        for (size_t n = 0; n < score->drums.size(); ++n)
          if (score->drums[n].name == c) drum = int32_t(n);
        if (drum < 0) return fail(i, std::string("unknown drum '") + c + "'");
        ++i;
        int32_t frames = 0;
        if (note_length(i, frames) != -1) return 0;
        push(frames, NOTE_DRUM, drum);
      } else {
        return fail(i, std::string("unexpected '") + c + "'");
      }
    }
    return -1;
  }
};

int parse_int_token(const std::string& token, int32_t low, int32_t high, int32_t& value) {
  if (token.empty()) return 0;
  size_t i = token[0] == '-' ? 1 : 0;
  if (i >= token.size()) return 0;
  for (size_t j = i; j < token.size(); ++j)
    if (!std::isdigit(uint8_t(token[j]))) return 0;
  long v = std::stol(token.substr(0, 9));
  if (v < low || v > high) return 0;
  value = int32_t(v);
  return -1;
}

// instrument NAME vol V... [gap N] [arp S...] [vibrato DELAY CENTS FRAMES]
int parse_instrument(std::istringstream& words, Instrument& out, std::string& error) {
  if (!(words >> out.name)) return error = "instrument needs a name", 0;
  std::string word, section;
  std::vector<int32_t> vibrato;
  while (words >> word) {
    if (word == "vol" || word == "gap" || word == "arp" || word == "vibrato") {
      section = word;
      continue;
    }
    int32_t v = 0;
    int32_t low = section == "arp" ? -24 : 0, high = section == "vol" ? 15 : section == "arp" ? 24 : 1200;
    if (section.empty() || parse_int_token(word, low, high, v) != -1)
      return error = "instrument " + out.name + ": bad value '" + word + "'", 0;
    if (section == "vol") out.volume.push_back(v);
    if (section == "gap") out.gap = v;
    if (section == "arp") out.arpeggio.push_back(v);
    if (section == "vibrato") vibrato.push_back(v);
  }
  if (out.volume.empty()) return error = "instrument " + out.name + " has no vol values", 0;
  if (!vibrato.empty()) {
    if (vibrato.size() != 3 || vibrato[2] == 0) return error = "vibrato wants DELAY CENTS FRAMES", 0;
    out.vibrato_delay = vibrato[0];
    out.vibrato_cents = vibrato[1];
    out.vibrato_frames = vibrato[2];
  }
  return -1;
}

// drum X vV [nP] [tP], vV ..., one comma-separated step per frame
int parse_drum(std::istringstream& words, Drum& out, std::string& error) {
  std::string name, rest, step;
  if (!(words >> name) || name.size() != 1 || !std::isupper(uint8_t(name[0])))
    return error = "drum needs an upper-case letter as its name", 0;
  out.name = name[0];
  std::getline(words, rest);
  std::istringstream steps(rest);
  while (std::getline(steps, step, ',')) {
    std::istringstream parts(step);
    std::string part;
    DrumStep s;
    while (parts >> part) {
      int32_t v = 0;
      char kind = part[0];
      int32_t high = kind == 'v' ? 15 : kind == 'n' ? 31 : 4095;
      if ((kind != 'v' && kind != 'n' && kind != 't') || parse_int_token(part.substr(1), 0, high, v) != -1)
        return error = std::string("drum ") + name + ": bad step '" + part + "'", 0;
      (kind == 'v' ? s.volume : kind == 'n' ? s.noise_period : s.tone_period) = v;
    }
    out.steps.push_back(s);
  }
  if (out.steps.empty()) return error = std::string("drum ") + name + " has no steps", 0;
  return -1;
}

// What one channel sounds in one frame.
struct ChannelFrame {
  int32_t period = -1;  // tone period, -1 tone off
  int32_t noise = -1;   // noise period, -1 noise off
  int32_t amplitude = 0;
};

ChannelFrame channel_frame(const MusicScore& score, const MusicEvent& e, int32_t frame) {
  ChannelFrame out;
  int32_t k = frame - e.start;  // frames since the attack
  if (e.note == NOTE_REST) return out;
  if (e.note == NOTE_DRUM) {
    const Drum& drum = score.drums[size_t(e.drum)];
    if (k >= int32_t(drum.steps.size())) return out;
    const DrumStep& s = drum.steps[size_t(k)];
    out.period = s.tone_period;
    out.noise = s.noise_period;
    out.amplitude = std::max(0, s.volume - (15 - e.volume));
    return out;
  }
  const Instrument& in = score.instruments[size_t(e.instrument)];
  int32_t note = e.note;
  if (!in.arpeggio.empty()) note += in.arpeggio[size_t(k) % in.arpeggio.size()];
  double frequency = musicc_frequency(note);
  if (in.vibrato_frames > 0 && k >= in.vibrato_delay) {
    double phase = 2.0 * std::numbers::pi * double(k - in.vibrato_delay) / double(in.vibrato_frames);
    frequency *= std::pow(2.0, double(in.vibrato_cents) / 1200.0 * std::sin(phase));
  }
  out.period = std::clamp(int32_t(std::lround(CHIP_CLOCK_HZ / (16.0 * frequency))) - 1, 0, 4095);
  int32_t level = in.volume[std::min(size_t(k), in.volume.size() - 1)];
  if (k >= e.frames - in.gap) level = 0;
  out.amplitude = std::max(0, level - (15 - e.volume));
  return out;
}

}  // namespace

double musicc_frequency(int32_t note) { return 440.0 * std::pow(2.0, double(note - 69) / 12.0); }

int32_t musicc_period(int32_t note) {
  long period = std::lround(CHIP_CLOCK_HZ / (16.0 * musicc_frequency(note))) - 1;
  return (period < 0 || period > 4095) ? -1 : int32_t(period);
}

int musicc_parse(const std::string& text, MusicScore& score, std::string& error) {
  score = MusicScore{};
  SourceText channel_text[MUSIC_CHANNELS];
  std::istringstream lines(text);
  std::string line;
  int32_t number = 0;
  auto fail = [&](const std::string& what) {
    error = "line " + std::to_string(number) + ": " + what;
    return 0;
  };
  while (std::getline(lines, line)) {
    ++number;
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string head;
    if (!(words >> head)) continue;
    if (head.size() == 2 && head[1] == ':' && head[0] >= 'A' && head[0] < 'A' + MUSIC_CHANNELS) {
      SourceText& t = channel_text[head[0] - 'A'];
      std::string body = line.substr(line.find(':') + 1) + " ";
      t.text += body;
      t.lines.insert(t.lines.end(), body.size(), number);
    } else if (head == "title") {
      std::getline(words, score.title);
      score.title.erase(0, score.title.find_first_not_of(' '));
    } else if (head == "tempo") {
      std::string value;
      words >> value;
      if (parse_int_token(value, 1, 255, score.tempo) != -1) return fail("tempo wants frames per quarter note, 1..255");
    } else if (head == "loop" || head == "once") {
      score.loop = head == "loop" ? -1 : 0;
    } else if (head == "melody") {
      std::string value;
      words >> value;
      if (value.size() != 1 || value[0] < 'A' || value[0] >= 'A' + MUSIC_CHANNELS) return fail("melody wants A, B or C");
      score.melody = value[0] - 'A';
    } else if (head == "instrument") {
      Instrument in;
      std::string why;
      if (parse_instrument(words, in, why) != -1) return fail(why);
      score.instruments.push_back(in);
    } else if (head == "drum") {
      Drum drum;
      std::string why;
      if (parse_drum(words, drum, why) != -1) return fail(why);
      score.drums.push_back(drum);
    } else {
      return fail("unknown directive '" + head + "'");
    }
  }
  for (int32_t c = 0; c < MUSIC_CHANNELS; ++c) {
    ChannelParser parser;
    parser.source = &channel_text[c];
    parser.score = &score;
    parser.events = &score.channels[c];
    parser.length = score.tempo;
    if (parser.block(0, channel_text[c].text.size()) != -1) {
      error = std::string("channel ") + char('A' + c) + ", " + parser.error;
      return 0;
    }
    score.frames = std::max(score.frames, parser.cursor);
  }
  if (score.frames == 0) {
    error = "the score has no notes";
    return 0;
  }
  if (score.loop) {
    // A looping piece rewinds when its longest channel ends; a shorter
    // channel would fall silent before the seam.
    for (int32_t c = 0; c < MUSIC_CHANNELS; ++c) {
      int32_t end = score.channels[c].empty() ? 0 : score.channels[c].back().start + score.channels[c].back().frames;
      if (end != 0 && end != score.frames) {
        error = std::string("channel ") + char('A' + c) + " lasts " + std::to_string(end) + " frames, not " +
                std::to_string(score.frames) + " like the longest; a looping piece needs them equal";
        return 0;
      }
    }
  }
  return -1;
}

std::vector<uint8_t> musicc_compile(const MusicScore& score, uint32_t channel_mask) {
  std::vector<uint8_t> out = {'P', 'S', 'G', 0x1A};
  int32_t previous[USED_REGISTERS];
  // A piece played once gets a last frame that silences every channel, so it
  // does not end on a held amplitude level.
  int32_t total = score.frames + (score.loop ? 0 : 1);
  size_t next[MUSIC_CHANNELS] = {0, 0, 0};
  int32_t noise_period = 0;
  int32_t periods[MUSIC_CHANNELS] = {0, 0, 0};
  std::vector<std::vector<uint8_t>> frames;
  for (int32_t f = 0; f < total; ++f) {
    int32_t reg[USED_REGISTERS] = {};
    int32_t mixer = 0x3F;
    for (int32_t c = 0; c < MUSIC_CHANNELS; ++c) {
      const std::vector<MusicEvent>& events = score.channels[c];
      while (next[c] < events.size() && events[next[c]].start + events[next[c]].frames <= f) ++next[c];
      ChannelFrame cf;
      if (next[c] < events.size() && events[next[c]].start <= f && (channel_mask >> c & 1u))
        cf = channel_frame(score, events[next[c]], f);
      // A silent channel keeps its last period so that no write is wasted.
      if (cf.period >= 0) periods[c] = cf.period;
      if (cf.noise >= 0) noise_period = cf.noise;
      reg[c * 2] = periods[c] & 0xFF;
      reg[c * 2 + 1] = periods[c] >> 8;
      if (cf.period >= 0 && cf.amplitude > 0) mixer &= ~(1 << c);
      if (cf.noise >= 0 && cf.amplitude > 0) mixer &= ~(8 << c);
      reg[REG_AMPLITUDE_A + c] = cf.amplitude;
    }
    reg[REG_NOISE_PERIOD] = noise_period;
    reg[REG_MIXER] = mixer;
    std::vector<uint8_t> writes;
    for (int32_t r = 0; r < USED_REGISTERS; ++r) {
      if (f == 0 || reg[r] != previous[r]) {
        writes.push_back(uint8_t(r));
        writes.push_back(uint8_t(reg[r]));
      }
      previous[r] = reg[r];
    }
    frames.push_back(writes);
  }
  // Frame ends: 0xFF, or 0xFE n when n empty frames follow.
  for (size_t f = 0; f < frames.size();) {
    out.insert(out.end(), frames[f].begin(), frames[f].end());
    size_t empty = 0;
    while (f + 1 + empty < frames.size() && frames[f + 1 + empty].empty() && empty < 255) ++empty;
    if (empty > 0) {
      out.push_back(0xFE);
      out.push_back(uint8_t(empty));
    } else {
      out.push_back(0xFF);
    }
    f += 1 + empty;
  }
  out.push_back(0xFD);
  return out;
}
