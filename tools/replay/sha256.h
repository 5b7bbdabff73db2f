// SHA-256 (FIPS 180-4), small and dependency-free: the replay tool names each
// presented frame by the digest of its 76800 colour bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct Sha256 {
  uint32_t state[8];      // running hash value H0..H7
  uint64_t length;        // bytes hashed so far
  uint8_t  block[64];     // the message block being filled
  size_t   block_used;    // bytes of `block` filled, 0..63
};

void sha256_init(Sha256& hash);
void sha256_update(Sha256& hash, const void* data, size_t size);
// Pads and finishes; writes the 32-byte digest. `hash` must be initialised
// again before further use.
void sha256_final(Sha256& hash, uint8_t digest[32]);

// The digest of `size` bytes as 64 lower-case hex digits.
std::string sha256_hex(const void* data, size_t size);
