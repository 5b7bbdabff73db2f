#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "machine/machine.h"
#include "machine/machine_internal.h"
#include "sound/offline.h"

namespace {

bool started;
std::set<std::string> made;  // input files to remove at exit

}  // namespace

void fuzz_machine_start(bool render_sound) {
  if (!started) {
    machine_set_hooks(machine_headless_hooks());
    if (render_sound) sound_offline_install([](const uint16_t*, int, void*) {}, nullptr);
    fuzz_check(machine_init() != 0, "the headless machine did not start");
    started = true;
  }
  machine_reset_clock();
}

std::string fuzz_file(const char* name, const uint8_t* data, size_t size) {
  // In memory (/dev/shm), named by process, so that parallel fuzz jobs do not
  // read each other's inputs.
  std::string path = "/dev/shm/quadrillo-fuzz-" + std::to_string(getpid()) + "-" + name;
  if (made.empty()) std::atexit([] { for (const std::string& p : made) std::remove(p.c_str()); });
  made.insert(path);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  fuzz_check(file != nullptr, "cannot write an input file");
  if (size) fuzz_check(std::fwrite(data, 1, size, file) == size, "cannot write an input file");
  fuzz_check(std::fclose(file) == 0, "cannot write an input file");
  return path;
}

void fuzz_check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}
