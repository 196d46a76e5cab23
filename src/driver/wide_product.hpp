// The full 128-bit product of two 64-bit integers, as its two 64-bit halves,
// for the shortest-decimal writer. Targets with a 128-bit integer type (every
// 64-bit one) form it in one multiplication; 32-bit targets, which lack the
// type, from four 32 x 32-bit partial products.
#pragma once

#include <cstdint>

namespace geneig {

struct WideProduct {
  std::uint64_t hi, lo;  // a * b = hi * 2^64 + lo
};

// a * b by schoolbook multiplication in 32-bit digits: with a = a1 2^32 + a0
// and b = b1 2^32 + b0, the middle column (p00 >> 32) + low halves of the two
// cross products stays below 3 * 2^32, so nothing is lost before its carry
// goes up.
constexpr WideProduct multiply_wide_by_parts(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t kLow = 0xFFFFFFFFu;
  const std::uint64_t a0 = a & kLow, a1 = a >> 32, b0 = b & kLow, b1 = b >> 32;
  const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const std::uint64_t middle = (p00 >> 32) + (p01 & kLow) + (p10 & kLow);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & kLow)};
}

inline WideProduct multiply_wide(std::uint64_t a, std::uint64_t b) {
#ifdef __SIZEOF_INT128__
  const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#else
  return multiply_wide_by_parts(a, b);
#endif
}

}  // namespace geneig
