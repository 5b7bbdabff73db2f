// Fuzz target: any bytes as a key script of the replay tool. Reading either
// succeeds with valid Allegro key codes for every frame, or fails with an
// error that names the problem.
#include <allegro.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tools/replay/keyscript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz_file("keys.txt", data, size);
  std::vector<std::vector<int>> frames;
  std::string error;
  if (!keyscript_read(path, frames, error)) {
    fuzz_check(!error.empty(), "a key script was refused without a reason");
    return 0;
  }
  for (const auto& frame : frames)
    for (int code : frame) fuzz_check(code > 0 && code < KEY_MAX, "a key code is outside key[]");
  return 0;
}
