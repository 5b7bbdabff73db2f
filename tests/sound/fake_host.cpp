#include "tests/sound/fake_host.h"

FakeHost fake_host;

namespace {
std::vector<uint16_t> buffer;  // the stream's one buffer; its address stands for the stream
}

int32_t host_sound_install() {
  fake_host.install_times.push_back(clock_sound_time());
  return fake_host.no_sound ? 0 : -1;
}
void host_sound_remove() { ++fake_host.remove_calls; }

HostStream* host_stream_open(uint32_t length) {
  ++fake_host.open_calls;
  fake_host.length = length;
  buffer.assign(length, 0xDEAD);
  return fake_host.no_sound ? nullptr : reinterpret_cast<HostStream*>(&buffer);
}
void host_stream_close(HostStream* stream) { fake_host.close_calls += stream != nullptr; }

uint16_t* host_stream_buffer(HostStream*, uint32_t) {
  ++fake_host.get_calls;
  return fake_host.free_buffers > 0 && fake_host.free_buffers-- ? buffer.data() : nullptr;
}
void host_stream_release(HostStream*) {
  fake_host.output.insert(fake_host.output.end(), buffer.begin(), buffer.end());
}

void sound_test_start(bool stream_opens) {
  test_machine_start();
  fake_host = FakeHost{};
  fake_host.no_sound = !stream_opens;
  sound_init();
  fake_host.install_times.clear();
  fake_host.open_calls = 0;
}
