// The name of a presented frame in frames.txt: the SHA-256 digest of its
// colour bytes, taken from the host's own cryptographic library (OpenSSL's
// libcrypto, or Windows' BCrypt; under node, node's own), which uses the
// processor's SHA instructions where it has them.
#pragma once
#include <cstddef>
#include <string>

// The SHA-256 digest of `size` bytes as 64 lower-case hex digits; "" if the
// library failed.
std::string frame_hash_hex(const void* data, size_t size);
