// Replay speed: quadrillo-replay, the real tool as the golden replays, the
// soak and every fuzz and bad-input run use it, replaying the golden game
// (its key script, the committed data files) with every output written:
// the hash of each frame, the port log and the rendered sound. One iteration
// is one whole replay in a child process; its time is the child's CPU time
// (user + system), so other work sharing the cores does not count. The
// counter x_real_time is the replayed frames per second against the
// machine's 50 frames per second.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr double MACHINE_FRAMES_PER_SECOND = 50.0;

double children_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long count_lines(const std::string& path) {
  std::ifstream in(path);
  long lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

// Runs the replay tool over `frames` frames; true when it succeeded.
bool replay_once(const std::string& keys, long frames, const std::string& out) {
  const std::string count = std::to_string(frames);
  const pid_t child = fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stderr);
    execl(QUADRILLO_REPLAY, QUADRILLO_REPLAY, "--data", QUADRILLO_DATA_DIR, "--keys", keys.c_str(),
          "--frames", count.c_str(), "--out", out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

void BM_ReplayGoldenGame(benchmark::State& state) {
  const std::string keys = QUADRILLO_GOLDEN_DIR "/game/keys.txt";
  const long frames = count_lines(keys);
  char folder[] = "/tmp/quadrillo-replay-bench.XXXXXX";
  if (frames == 0 || !mkdtemp(folder)) {
    state.SkipWithError("no key script or no temporary folder");
    return;
  }
  for (auto _ : state) {
    const double before = children_cpu_seconds();
    if (!replay_once(keys, frames, folder)) {
      state.SkipWithError("the replay failed");
      break;
    }
    state.SetIterationTime(children_cpu_seconds() - before);
  }
  std::system((std::string("rm -rf ") + folder).c_str());
  state.SetItemsProcessed(state.iterations() * frames);
  // Frames per second of child CPU time over the machine's frame rate.
  state.counters["x_real_time"] = benchmark::Counter(
      double(state.iterations()) * double(frames) / MACHINE_FRAMES_PER_SECOND,
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReplayGoldenGame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
