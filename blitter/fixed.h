// The blitter's 16.16 fixed-point arithmetic: 0x10000 is 1.0. Products and
// quotients saturate instead of wrapping, so a size close to 0 or an extreme
// clip distance gives the largest step rather than a garbage one.
//
// Overflow rule: a result that does not fit a signed 32-bit number becomes
// 0x7FFFFFFF or -0x7FFFFFFF (never 0x80000000), and the host's error number
// (Allegro's allegro_errno on the desktop) is set to ERANGE. Nothing else reports the overflow.
#pragma once
#include <cstdint>

inline constexpr int32_t FIXED_ONE = 0x10000;        // 1.0
inline constexpr int32_t FIXED_SATURATED = 0x7FFFFFFF;

// a * b in 16.16. The 64-bit product is shifted right by 16 (rounding towards
// minus infinity). On overflow: 0x7FFFFFFF negated once for each negative
// operand, and ERANGE.
int32_t fixed_mul(int32_t a, int32_t b);

// a / b in 16.16: |a| * 65536 / |b| as unsigned numbers, truncated, negated
// when exactly one operand is negative. It overflows (0x7FFFFFFF before the
// sign, and ERANGE) when (|a| >> 16) >= |b|, which includes b = 0, or when the
// quotient reaches 2^31. With a = 0x400000 that is exactly |b| <= 128.
int32_t fixed_div(int32_t a, int32_t b);

// The machine's plain 32-bit arithmetic wraps modulo 2^32 (positions that run
// far off screen, products of a size by a row count). These helpers do it in
// unsigned arithmetic so that the wrap is defined.
constexpr int32_t fixed_wrap_add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
constexpr int32_t fixed_wrap_sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
constexpr int32_t fixed_wrap_mul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }
constexpr int32_t fixed_wrap_neg(int32_t a) { return int32_t(0u - uint32_t(a)); }
