// The PSG music player: reads a recording of register writes byte by byte
// through the C library's buffered stream and writes one frame per call to
// the chip's ports.
#include "sound/psg.h"

#include <cstdint>
#include <cstdio>

#include "sound/ports.h"

namespace {

inline constexpr long COMMANDS_OFFSET = 4;  // the commands follow the 4-byte magic
inline constexpr int  FRAME_END       = 0xFF;
inline constexpr int  FRAME_SKIP      = 0xFE;
inline constexpr int  MUSIC_END       = 0xFD;

FILE*    psg_file;  // the open piece, null when idle
int      psg_loop;  // non-zero: rewind at the end of the music
uint32_t psg_skip;  // frames still to skip before reading on

}  // namespace

int psg_open(const char* path, int loop) {
  psg_stop();
  psg_loop = loop;
  psg_file = std::fopen(path, "rb");
  if (!psg_file) return 0;
  unsigned char magic[4];
  if (std::fread(magic, 1, 4, psg_file) == 4 && magic[0] == 'P' && magic[1] == 'S' &&
      magic[2] == 'G' && magic[3] == 0x1A) {
    psg_skip = 0;
    return -1;
  }
  std::fclose(psg_file);
  psg_file = nullptr;
  return 0;
}

void psg_stop() {
  // Tones and noise off; the amplitudes stay, so channels hold a constant level.
  sound_out(PORT_REGISTER_SELECT, 7);
  sound_out(PORT_REGISTER_DATA, 0xFF);
  if (psg_file) {
    std::fclose(psg_file);
    psg_file = nullptr;
  }
}

int psg_step() {
  if (!psg_file) return 0;
  if (psg_skip != 0) {
    --psg_skip;
    return -1;
  }
  bool rewound = false;
  for (;;) {
    int c = std::fgetc(psg_file);
    if (c == EOF || c == MUSIC_END) {
      if (!psg_loop) {
        psg_stop();
        return 0;
      }
      // A looping piece that reaches its end twice in one frame has no frame
      // end of its own (say, writes and no 0xFF): the frame ends here rather
      // than spinning for ever.
      if (rewound) return -1;
      rewound = true;
      std::fseek(psg_file, COMMANDS_OFFSET, SEEK_SET);
      // The first byte after a rewind is not tested for the end again: an
      // empty piece reads the end-of-file value, -1, whose byte is 0xFF.
      c = std::fgetc(psg_file) & 0xFF;
    }
    if (c == FRAME_END) return -1;
    if (c == FRAME_SKIP) {
      int count = std::fgetc(psg_file);
      // A count cut off by the end of the file is no skip: the frame ends
      // here and the next step meets the end of the music.
      psg_skip = count == EOF ? 0 : uint32_t(count);
      return -1;
    }
    sound_out(PORT_REGISTER_SELECT, c);
    int v = std::fgetc(psg_file);  // -1 at the end of the file: the port takes 0xFF
    sound_out(PORT_REGISTER_DATA, v);
  }
}
