// Fuzz target: any text as a music score for the music compiler. Parsing
// either succeeds or says what is wrong; a parsed score compiles into a PSG file
// that starts with the magic and whose commands the game's player can read.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tools/musicc/musicc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  MusicScore score;
  std::string error;
  if (!musicc_parse(text, score, error)) {
    fuzz_check(!error.empty(), "a score was refused without a reason");
    return 0;
  }
  // The first byte chooses the audible channels, as --solo does.
  const uint32_t mask = size ? data[0] & 7u : 7u;
  const std::vector<uint8_t> psg = musicc_compile(score, mask);
  fuzz_check(psg.size() >= 4 && psg[0] == 'P' && psg[1] == 'S' && psg[2] == 'G' && psg[3] == 0x1A,
             "a compiled piece lacks the PSG magic");
  // Every register write has its value byte, every skip its count: the
  // stream ends on a command boundary.
  size_t i = 4;
  while (i < psg.size()) {
    const uint8_t c = psg[i];
    i += (c == 0xFF || c == 0xFD) ? 1 : 2;
  }
  fuzz_check(i == psg.size(), "a compiled piece ends inside a command");
  return 0;
}
