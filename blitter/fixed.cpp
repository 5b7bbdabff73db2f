// Saturating 16.16 multiplication and division (the rule is in fixed.h).
#include "blitter/fixed.h"

#include <cerrno>

#include "host/host.h"

namespace {

void report_range_error() {
  // The host's error number exists once the host has started; before that
  // there is nowhere to report to.
  if (int* error = host_errno()) *error = ERANGE;
}

uint32_t magnitude(int32_t value) {
  // |INT32_MIN| is 2^31, which only the unsigned type holds.
  return value < 0 ? 0u - uint32_t(value) : uint32_t(value);
}

}  // namespace

int32_t fixed_mul(int32_t a, int32_t b) {
  const int64_t product = int64_t(a) * int64_t(b);  // |a * b| <= 2^62: always fits
  const int64_t result = product >> 16;              // arithmetic: towards minus infinity
  if (result > INT32_MAX || result < INT32_MIN) {
    report_range_error();
    int32_t saturated = FIXED_SATURATED;
    if (a < 0) saturated = -saturated;
    if (b < 0) saturated = -saturated;
    return saturated;
  }
  return int32_t(result);
}

int32_t fixed_div(int32_t a, int32_t b) {
  const uint32_t abs_a = magnitude(a);
  const uint32_t abs_b = magnitude(b);
  uint32_t quotient;
  // The first test also catches b = 0, so the division below never sees it,
  // and guarantees that the quotient fits 32 bits.
  if ((abs_a >> 16) >= abs_b) {
    report_range_error();
    quotient = uint32_t(FIXED_SATURATED);
  } else {
    quotient = uint32_t((uint64_t(abs_a) << 16) / abs_b);
    if (quotient & 0x80000000u) {
      report_range_error();
      quotient = uint32_t(FIXED_SATURATED);
    }
  }
  const int32_t result = int32_t(quotient);  // 0..0x7FFFFFFF
  return ((a < 0) != (b < 0)) ? -result : result;
}
