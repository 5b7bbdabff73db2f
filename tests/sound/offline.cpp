#include "tests/sound/fake_host.h"

void (*sound_test_ports)(uint32_t cycles, uint32_t port, int32_t value);

namespace {
std::vector<uint16_t>* capture;
}

void sound_test_start_offline(std::vector<uint16_t>* samples) {
  static bool first = true;
  HeadlessHost host{};
  host.set_mode = [](int32_t, int32_t, int32_t) { return 0; };
  host.samples = [](const uint16_t* s, int32_t n) { if (capture) capture->insert(capture->end(), s, s + n); };
  host.port_written = [](uint32_t cycles, uint32_t port, int32_t value) {
    if (sound_test_ports) sound_test_ports(cycles, port, value);
  };
  test_machine_start(host);
  if (!first) sound_init();
  first = false;
  capture = samples;
}

void sound_test_end_offline() {
  headless_end_sound();
  machine_spend(0);
}
