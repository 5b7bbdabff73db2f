// Host cost of the blitter's hot paths, against the plain memory operations
// they stand in for: a 1:1 full-screen draw against copying 76800 bytes row
// by row, a scaled 1 x 1 fill against memset, keyed drawing, a 40-character
// text line and the title reveal's distorted draw.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "blitter/bank.h"
#include "blitter/draw.h"
#include "blitter/sprite.h"
#include "blitter/sprite_internal.h"
#include "blitter/draw_internal.h"
#include "host/host.h"
#include "machine/machine.h"

namespace {

constexpr int32_t ONE = 0x10000;

// The bitmap the benchmarks draw into, in place of a back buffer.
HostBitmap* target;

// Starts the machine once, on the headless host, drawing into `target`.
void start_machine() {
  static bool started = false;
  if (started) return;
  machine_init();
  target = host_bitmap_create(SCREEN_WIDTH, SCREEN_HEIGHT);
  draw_set_target(target);
  started = true;
}

Sprite* make_picture(int width, int height) {
  std::vector<uint8_t> data(size_t(width) * size_t(height));
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) data[size_t(j) * size_t(width) + size_t(i)] = uint8_t((i ^ j) & 15);
  return sprite_create(COLOUR_MODE_LUMA, data.data(), PIXEL_FORMAT_BYTE, width, height, 0);
}

void BM_DrawOpaqueFullScreen(benchmark::State& state) {
  start_machine();
  Sprite* picture = make_picture(320, 240);
  for (auto _ : state) sprite_draw(picture, 10, 0, 0, ONE, ONE, 0, 0);
  benchmark::DoNotOptimize(target->line[0][0]);
  state.SetBytesProcessed(int64_t(state.iterations()) * 76800);
  sprite_destroy(picture);
}
BENCHMARK(BM_DrawOpaqueFullScreen);

void BM_MemcpyFullScreenByRows(benchmark::State& state) {
  start_machine();
  Sprite* picture = make_picture(320, 240);
  HostBitmap* source = picture->variant_bitmap[10];
  for (auto _ : state) {
    HostBitmap* dest = target;
    for (int r = 0; r < 240; ++r) std::memcpy(dest->line[r], source->line[r], 320);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 76800);
  sprite_destroy(picture);
}
BENCHMARK(BM_MemcpyFullScreenByRows);

void BM_DrawKeyedFullScreen(benchmark::State& state) {
  start_machine();
  Sprite* picture = make_picture(320, 240);
  for (auto _ : state) sprite_draw_keyed(picture, 10, 0, 0, ONE, ONE, 0, 0);
  benchmark::DoNotOptimize(target->line[0][0]);
  state.SetBytesProcessed(int64_t(state.iterations()) * 76800);
  sprite_destroy(picture);
}
BENCHMARK(BM_DrawKeyedFullScreen);

void BM_ScaledPixelFill(benchmark::State& state) {
  start_machine();
  const uint8_t grey = 10;
  Sprite* dot = sprite_create(COLOUR_MODE_CHROMA, &grey, PIXEL_FORMAT_BYTE, 1, 1, 0);
  for (auto _ : state) sprite_draw(dot, 3, 0, 0, 320 * ONE, 240 * ONE, 0, 0);
  benchmark::DoNotOptimize(target->line[0][0]);
  state.SetBytesProcessed(int64_t(state.iterations()) * 76800);
  sprite_destroy(dot);
}
BENCHMARK(BM_ScaledPixelFill);

void BM_MemsetFullScreen(benchmark::State& state) {
  start_machine();
  for (auto _ : state) {
    HostBitmap* dest = target;
    for (int r = 0; r < 240; ++r) std::memset(dest->line[r], 0x30, 320);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 76800);
}
BENCHMARK(BM_MemsetFullScreen);

void BM_TextLine40(benchmark::State& state) {
  start_machine();
  // A bank of 7 x 9 glyphs for the printable characters, written to a file
  // and loaded as the game loads its font.
  const std::string path = "/tmp/blitter_bench_font.fnt";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  for (int c = 32; c < 127; ++c) {
    const uint8_t header[3] = {uint8_t(c), 7, 9};
    std::fwrite(header, 1, 3, file);
    for (int b = 0; b < 9 * 4; ++b) std::fputc((c + b) & 0x7F ? 0x9A : 0x00, file);
  }
  std::fclose(file);
  bank_load(path.c_str());
  for (auto _ : state) text_draw(4 * ONE, 100 * ONE, 10, "%s", "SCORE 000120  LINES 0012  LEVEL 03  GO!!");
  bank_free();
  std::remove(path.c_str());
}
BENCHMARK(BM_TextLine40);

void BM_TitleRevealDraw(benchmark::State& state) {
  start_machine();
  Sprite* title = make_picture(195, 26);
  const int32_t v = 14500;
  for (auto _ : state)
    sprite_draw_keyed(title, 10, 62 * ONE + ONE / 2, 10 * ONE, ONE, 65536 + 4 * v, -63 * v, v);
  benchmark::DoNotOptimize(target->line[0][0]);
  sprite_destroy(title);
}
BENCHMARK(BM_TitleRevealDraw);


}  // namespace

BENCHMARK_MAIN();
