// The harness's own entry, for any program of the machine: linked in place of
// the machine's entry wrapper, it replays the program's program_main under
// the program's own name ("orvalin-hello-replay --keys ...").
#include <cstring>

#include "machine/machine.h"
#include "tools/harness/harness.h"

int main(int argc, char** argv) {
  const char* slash = std::strrchr(argv[0], '/');
  const HarnessProgram program = {slash ? slash + 1 : argv[0], "the program", program_main, nullptr};
  return harness_run(program, argc, argv);
}
