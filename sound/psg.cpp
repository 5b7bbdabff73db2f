// The PSG music player: reads a recording of register writes byte by byte
// through the C library's buffered stream and writes one frame per call to
// the chip's ports.
#include "sound/psg.h"

#include <cstdint>
#include <cstdio>

#include "sound/ports.h"
#include "sound/registers.h"

namespace {

inline constexpr long COMMANDS_OFFSET = 4;  // the commands follow the 4-byte magic
inline constexpr int  FRAME_END       = 0xFF;
inline constexpr int  FRAME_SKIP      = 0xFE;
inline constexpr int  MUSIC_END       = 0xFD;

// One reading of a piece: the player's, or a dry one that only counts frames.
struct Reader {
  FILE*    file;   // the open piece, null when idle
  int      loop;   // non-zero: rewind at the end of the music
  uint32_t skip;   // frames still to skip before reading on
  bool     sound;  // the writes go to the ports (false: a dry reading)
};

Reader player = {nullptr, 0, 0, true};

// Opens `path` when it starts with the magic; null otherwise.
FILE* open_piece(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return nullptr;
  unsigned char magic[4];
  if (std::fread(magic, 1, 4, file) == 4 && magic[0] == 'P' && magic[1] == 'S' &&
      magic[2] == 'G' && magic[3] == 0x1A) {
    return file;
  }
  std::fclose(file);
  return nullptr;
}

void write_register(const Reader& reader, int reg, int value) {
  if (!reader.sound) return;
  sound_out(PORT_REGISTER_SELECT, reg);
  sound_out(PORT_REGISTER_DATA, value);
}

void stop(Reader& reader) {
  // Tones and noise off; the amplitudes stay, so channels hold a constant level.
  write_register(reader, REG_MIXER, 0xFF);
  if (reader.file) {
    std::fclose(reader.file);
    reader.file = nullptr;
  }
}

int step(Reader& reader) {
  if (!reader.file) return 0;
  if (reader.skip != 0) {
    --reader.skip;
    return -1;
  }
  bool rewound = false;
  for (;;) {
    int c = std::fgetc(reader.file);
    if (c == EOF || c == MUSIC_END) {
      if (!reader.loop) {
        stop(reader);
        return 0;
      }
      // A looping piece that reaches its end twice in one frame has no frame
      // end of its own (say, writes and no 0xFF): the frame ends here rather
      // than spinning for ever.
      if (rewound) return -1;
      rewound = true;
      std::fseek(reader.file, COMMANDS_OFFSET, SEEK_SET);
      // The first byte after a rewind is not tested for the end again: an
      // empty piece reads the end-of-file value, -1, whose byte is 0xFF.
      c = std::fgetc(reader.file) & 0xFF;
    }
    if (c == FRAME_END) return -1;
    if (c == FRAME_SKIP) {
      int count = std::fgetc(reader.file);
      // A count cut off by the end of the file is no skip: the frame ends
      // here and the next step meets the end of the music.
      reader.skip = count == EOF ? 0 : uint32_t(count);
      return -1;
    }
    int v = std::fgetc(reader.file);  // -1 at the end of the file: the port takes 0xFF
    write_register(reader, c, v);
  }
}

}  // namespace

int psg_open(const char* path, int loop) {
  psg_stop();
  player.loop = loop;
  player.skip = 0;
  player.file = open_piece(path);
  return player.file ? -1 : 0;
}

void psg_stop() { stop(player); }
int psg_step() { return step(player); }

int64_t psg_frames(const char* path) {
  Reader reader = {open_piece(path), 0, 0, false};
  if (!reader.file) return 0;
  int64_t frames = 0;
  while (step(reader)) ++frames;
  return frames > 0 ? frames : 1;
}
