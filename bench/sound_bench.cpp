// Host cost of the sound chip's hot paths. chip_render on a busy register
// setting (three tones, noise on two channels, an envelope) is reported in
// samples per second and as a multiple of real time (44100 samples/s), next
// to its baseline: filling the same buffer with a running count, the least a
// renderer can do per sample. sound_out (select + data, with its cycle
// charge and the headless host's rendering behind it) is set against its
// baseline, the bare machine_spend(6) charge that every port write makes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "machine/machine.h"
#include "sound/chip.h"
#include "sound/ports.h"

namespace {

constexpr double REAL_TIME_RATE = 44100;  // samples per second the host plays
constexpr int    BUFFER = 512;            // the pump's first buffer length

// Starts the machine once on the headless host, so the chip is set up as
// with an open stream.
void start_machine() {
  static bool started = false;
  if (started) return;
  machine_init();
  started = true;
}

void write_register(int reg, int value) {
  sound_out(PORT_REGISTER_SELECT, reg);
  sound_out(PORT_REGISTER_DATA, value);
}

void busy_registers() {
  const int writes[][2] = {
      {0, 0x1C}, {1, 0x01}, {2, 0x7D}, {3, 0x00}, {4, 0xEE}, {5, 0x02},  // three tones
      {6, 0x0B},                                                     // noise
      {7, 0x28},                                                     // tones on, noise on A and B
      {8, 0x0F}, {9, 0x0A}, {10, 0x10},                              // C on the envelope
      {11, 0x40}, {12, 0x00}, {13, 0x0E},                            // a repeating triangle
  };
  for (const auto& w : writes) write_register(w[0], w[1]);
  machine_spend(FRAME_CYCLES);  // the pump renders up to here: the queue is applied
}

void report_rate(benchmark::State& state, int64_t samples) {
  state.SetItemsProcessed(samples);
  state.counters["x_real_time"] = benchmark::Counter(
      double(samples) / REAL_TIME_RATE, benchmark::Counter::kIsRate);
}

void BM_ChipRenderBusy(benchmark::State& state) {
  start_machine();
  busy_registers();
  std::vector<uint16_t> buffer(BUFFER);
  for (auto _ : state) {
    chip_render(buffer.data(), BUFFER);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  report_rate(state, int64_t(state.iterations()) * BUFFER);
}
BENCHMARK(BM_ChipRenderBusy);

void BM_BufferFillBaseline(benchmark::State& state) {
  std::vector<uint16_t> buffer(BUFFER);
  uint16_t value = 0;
  for (auto _ : state) {
    for (int i = 0; i < BUFFER; ++i) buffer[size_t(i)] = value++;
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  report_rate(state, int64_t(state.iterations()) * BUFFER);
}
BENCHMARK(BM_BufferFillBaseline);

void BM_SoundOut(benchmark::State& state) {
  start_machine();
  int value = 0;
  for (auto _ : state) {
    sound_out(PORT_REGISTER_SELECT, 8);
    sound_out(PORT_REGISTER_DATA, value++ & 15);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 2);
}
BENCHMARK(BM_SoundOut);

void BM_MachineSpendBaseline(benchmark::State& state) {
  start_machine();
  for (auto _ : state) {
    machine_spend(6);
    machine_spend(6);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 2);
}
BENCHMARK(BM_MachineSpendBaseline);

}  // namespace

BENCHMARK_MAIN();
