// Powers of ten as 128-bit binary significands, for writing doubles as
// shortest decimals without big-number arithmetic at run time.
//
// For every q in [kMinPow10, kMaxPow10], 10^q = (t + eps) * 2^(b - 127)
// with t the 128 bits t = floor(10^q * 2^(127 - b)), 2^127 <= t < 2^128,
// b = floor(log2(10^q)) and 0 <= eps < 1.
//
// The table is computed by the compiler from exact integer arithmetic: 10^q
// for q >= 0 by repeated multiplication, and 2^M / 10^-q for q < 0 by repeated
// division of 2^M (floor(floor(x / 10) / 10) = floor(x / 100), so every
// entry is the exact floor), with M large enough that 128 bits remain.
#pragma once

#include <array>
#include <cstdint>

namespace geneig::pow10 {

// The powers 10^-k that scale a double c * 2^q to its decimal digits, with
// k = floor(log10(2^q)) for every binary exponent q of a double.
inline constexpr int kMinPow10 = -292;
inline constexpr int kMaxPow10 = 324;

struct Entry {
  std::uint64_t hi, lo;  // t = hi * 2^64 + lo
  std::int16_t b;        // floor(log2(10^q))
};

namespace detail {

// Unsigned integers of kLimbs 32-bit limbs, least significant first: enough
// for 2^M with M = kFractionBits, and for 10^kMaxPow10 < 2^1077.
inline constexpr int kLimbs = 42;
inline constexpr int kFractionBits = 1280;  // > log2(10^-kMinPow10) + 128
using Big = std::array<std::uint32_t, kLimbs>;

constexpr int bit_length(const Big& x) {
  for (int k = kLimbs - 1; k >= 0; --k)
    if (x[k] != 0) {
      int n = 0;
      for (std::uint32_t v = x[k]; v != 0; v >>= 1) ++n;
      return 32 * k + n;
    }
  return 0;
}

// The 64 bits of x from bit `low` up, low >= 0.
constexpr std::uint64_t bits64(const Big& x, int low) {
  const auto limb = [&x](int k) -> std::uint64_t { return k < kLimbs ? x[k] : 0; };
  const int k = low / 32, r = low % 32;
  const std::uint64_t v = limb(k) | limb(k + 1) << 32;
  return r == 0 ? v : (v >> r) | (limb(k + 2) << (64 - r));
}

// The 128 bits of x from bit (n - 128) up, n = bit_length(x) >= 128.
constexpr Entry top_bits(const Big& x, int n) {
  const int low = n - 128;
  return {bits64(x, low + 64), bits64(x, low), 0};
}

constexpr void multiply(Big& x, std::uint32_t m) {
  std::uint64_t carry = 0;
  for (std::uint32_t& limb : x) {
    const std::uint64_t v = std::uint64_t{limb} * m + carry;
    limb = static_cast<std::uint32_t>(v);
    carry = v >> 32;
  }
}

constexpr void divide(Big& x, std::uint32_t d) {
  std::uint64_t rest = 0;
  for (int k = kLimbs - 1; k >= 0; --k) {
    const std::uint64_t v = (rest << 32) | x[k];
    x[k] = static_cast<std::uint32_t>(v / d);
    rest = v % d;
  }
}

// 10^q for q >= 0: t is the top 128 bits of the integer 10^q, zero-padded
// below when it has fewer; b = bit_length - 1.
constexpr Entry positive_entry(const Big& p, int n) {
  if (n >= 128) {
    Entry e = top_bits(p, n);
    e.b = static_cast<std::int16_t>(n - 1);
    return e;
  }
  Big shifted = p;
  for (int k = n; k < 128; ++k) multiply(shifted, 2);
  Entry e = top_bits(shifted, 128);
  e.b = static_cast<std::int16_t>(n - 1);
  return e;
}

using Table = std::array<Entry, kMaxPow10 - kMinPow10 + 1>;

constexpr Table make_table() {
  Table table{};
  Big p{};
  p[0] = 1;
  for (int q = 0; q <= kMaxPow10; ++q) {
    table[q - kMinPow10] = positive_entry(p, bit_length(p));
    multiply(p, 10);
  }
  // x = floor(2^M / 10^-q); 10^q = x * 2^-M, so b = bit_length(x) - 1 - M.
  Big x{};
  x[kFractionBits / 32] = 1u << (kFractionBits % 32);
  for (int q = -1; q >= kMinPow10; --q) {
    divide(x, 10);
    const int n = bit_length(x);
    Entry e = top_bits(x, n);
    e.b = static_cast<std::int16_t>(n - 1 - kFractionBits);
    table[q - kMinPow10] = e;
  }
  return table;
}

}  // namespace detail

inline constexpr detail::Table kTable = detail::make_table();

// The entry of 10^q, kMinPow10 <= q <= kMaxPow10.
inline const Entry& entry(int q) { return kTable[static_cast<std::size_t>(q - kMinPow10)]; }

}  // namespace geneig::pow10
