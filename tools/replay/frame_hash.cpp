#include "tools/replay/frame_hash.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten.h>
#else
#include <openssl/evp.h>
#endif

namespace {

constexpr size_t DIGEST_SIZE = 32;

#ifdef __EMSCRIPTEN__
// A browser build's harness runs under node: node's crypto (OpenSSL's) digests
// the bytes straight from the program's memory.
EM_JS(int, node_sha256, (const void* data, size_t size, uint8_t* out), {
  if (typeof require !== 'function') return 0;
  HEAPU8.set(require('crypto').createHash('sha256').update(HEAPU8.subarray(data, data + size)).digest(), out);
  return 1;
});
#endif

bool digest(const void* data, size_t size, uint8_t out[DIGEST_SIZE]) {
#ifdef _WIN32
  // The provider is opened once per process and kept: opening it is the slow part.
  static BCRYPT_ALG_HANDLE provider = nullptr;
  if (!provider && !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM,
                                                               nullptr, 0)))
    return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) return false;
  const bool ok =
      BCRYPT_SUCCESS(BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), ULONG(size), 0)) &&
      BCRYPT_SUCCESS(BCryptFinishHash(hash, out, ULONG(DIGEST_SIZE), 0));
  BCryptDestroyHash(hash);
  return ok;
#elif defined(__EMSCRIPTEN__)
  return node_sha256(data, size, out) != 0;
#else
  unsigned int length = 0;
  return EVP_Digest(data, size, out, &length, EVP_sha256(), nullptr) == 1 && length == DIGEST_SIZE;
#endif
}

}  // namespace

std::string frame_hash_hex(const void* data, size_t size) {
  uint8_t out[DIGEST_SIZE];
  if (!digest(data, size, out)) return "";
  static const char HEX[] = "0123456789abcdef";
  std::string text(2 * DIGEST_SIZE, '0');
  for (size_t i = 0; i < DIGEST_SIZE; ++i) {
    text[2 * i] = HEX[out[i] >> 4];
    text[2 * i + 1] = HEX[out[i] & 15];
  }
  return text;
}
