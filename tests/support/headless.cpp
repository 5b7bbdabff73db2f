#include "tests/support/headless.h"

#include <allegro.h>

#include "machine/machine_internal.h"

void test_machine_start() {
  static bool started = false;
  if (!started) {
    machine_set_hooks(machine_headless_hooks());
    machine_init();
    started = true;
  }
  test_release_all_keys();
  machine_reset_clock();
}

void test_release_all_keys() { for (int i = 0; i < KEY_MAX; ++i) key[i] = 0; }

int test_count_pixels(BITMAP* bitmap, uint8_t value) {
  int count = 0;
  for (int y = 0; y < bitmap->h; ++y)
    for (int x = 0; x < bitmap->w; ++x) count += bitmap->line[y][x] == value;
  return count;
}
