#include "tests/fuzz/fuzz_support.h"

#include <allegro.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "machine/machine.h"
#include "machine/machine_internal.h"
#include "sound/offline.h"

namespace {

void discard_samples(const uint16_t*, int, void*) {}

bool started;
std::map<std::string, std::string> file_paths;  // name -> path in the private folder
std::string folder;

}  // namespace

void fuzz_machine_start(bool render_sound) {
  if (!started) {
    MachineHooks hooks = machine_headless_hooks();
    machine_set_hooks(hooks);
    if (render_sound) sound_offline_install(discard_samples, nullptr);
    fuzz_check(machine_init() != 0, "the headless machine did not start");
    started = true;
  }
  for (int i = 0; i < KEY_MAX; ++i) key[i] = 0;
  machine_reset_clock();
}

std::string fuzz_file(const char* name, const uint8_t* data, size_t size) {
  // A private folder under /dev/shm (memory, not disk) per process, so that
  // parallel fuzz jobs do not read each other's inputs.
  if (folder.empty()) {
    char pattern[] = "/dev/shm/quadrillo-fuzz.XXXXXX";
    char pattern_tmp[] = "/tmp/quadrillo-fuzz.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) made = mkdtemp(pattern_tmp);
    fuzz_check(made != nullptr, "cannot make a folder for input files");
    folder = made;
    std::atexit([] {
      for (const auto& entry : file_paths) std::remove(entry.second.c_str());
      rmdir(folder.c_str());
    });
  }
  std::string path = folder + "/" + name;
  file_paths[name] = path;
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
