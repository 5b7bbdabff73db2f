// Shared plumbing of the fuzz targets: the real machine started once per
// process on the headless host (the chip rendered at the machine's time, its
// samples discarded), and fuzz inputs handed to loaders that take a file
// name as in-memory files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Starts the machine once per process; later calls do nothing.
void fuzz_machine_start();

// Holds `size` bytes of `data` as a file that fopen(path, "rb") reads from
// its start, and returns that path. The previous file of the same `name` is
// replaced. Aborts when no such file can be made (the fuzz run is then void).
std::string fuzz_file(const char* name, const uint8_t* data, size_t size);

// Aborts with `what` on standard error when `ok` is false: a broken property
// is reported to the fuzzer as a crash, with its input saved.
void fuzz_check(bool ok, const char* what);
