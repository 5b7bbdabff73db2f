#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "machine/machine.h"

namespace {

bool started;
std::set<std::string> made;  // input files to remove at exit

}  // namespace

void fuzz_machine_start() {
  if (started) return;
  fuzz_check(machine_init() != 0, "the headless machine did not start");
  started = true;
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
