// Shortest round-trip decimals by the Schubfach method.
//
// A double v = c * 2^q (c the significand with its hidden bit) reads back
// from every decimal inside its rounding interval: the points halfway to its
// neighbours, included when c is even (reading rounds ties to even). With
// k = floor(log10(2^q)) (or of 3/4 * 2^q when the lower neighbour is closer,
// at a power of two), the quarter-units cb = 4c, cbl = 4c - 2 (or 4c - 1),
// cbr = 4c + 2 scaled by 2^q * 10^-k give the interval and v in units of
// 10^k / 4, between 4 * 10^15 and 4 * 10^17. Each scaled value is computed
// rounded to odd (the floor, with its last bit set when the exact value is
// not an integer) from one 128-bit power of ten g, which keeps every
// comparison with the interval exact. The candidates are then: one digit
// fewer (a multiple of 10 in units of 10^k), else the two integers around
// v / 10^k, of which the one inside the interval, or else the nearer (ties
// to even).
#include "shortest_real.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "free_output.hpp"
#include "powers_of_ten.hpp"
#include "wide_product.hpp"

namespace geneig {

namespace {

using u64 = std::uint64_t;

// value = digits * 10^exponent
struct Decimal {
  u64 digits;
  int exponent;
};

// floor(g * cp / 2^128), with its last bit set when the product is not a
// multiple of 2^128. g overestimates the exact scale factor by less than 1,
// so the product overestimates by less than cp < 2^64: an exactly integral
// scaled value leaves a fraction whose upper 64 bits are zero, and any other
// leaves them nonzero (its fraction is never that small).
u64 round_to_odd(u64 g_hi, u64 g_lo, u64 cp) {
  const WideProduct x = multiply_wide(g_lo, cp);
  const WideProduct y = multiply_wide(g_hi, cp);
  const u64 fraction = y.lo + x.hi;  // wraps around exactly when it carries
  const u64 integer = y.hi + (fraction < x.hi ? 1u : 0u);
  return integer | (fraction != 0 ? 1u : 0u);
}

// The shortest decimal in the rounding interval of the double with the given
// biased exponent and stored significand (not zero, not infinite), nearest
// of its length, ties to even; it may end in zeros.
Decimal shortest_decimal(u64 significand, int biased_exponent) {
  constexpr u64 kHiddenBit = u64{1} << 52;
  u64 c = significand;
  int q = -1074;
  if (biased_exponent != 0) {
    c |= kHiddenBit;
    q = biased_exponent - 1075;
    // An integer below 2^53 is its own shortest form.
    if (q <= 0 && -q < 53 && (c & ((u64{1} << -q) - 1)) == 0) return {c >> -q, 0};
  }
  const bool even = (c & 1) == 0;
  const bool lower_closer = significand == 0 && biased_exponent > 1;
  const u64 cbl = 4 * c - 2 + lower_closer;
  const u64 cb = 4 * c;
  const u64 cbr = 4 * c + 2;
  // floor(log10(2^q)) and floor(log10(3/4 * 2^q)) for |q| <= 1500.
  const int k = (q * 1262611 - (lower_closer ? 524031 : 0)) >> 22;
  const pow10::Entry& t = pow10::entry(-k);
  const u64 g_lo = t.lo + 1;
  const u64 g_hi = t.hi + (g_lo == 0);
  const int h = q + t.b + 1;  // 1 to 4: the scale's power of two
  const u64 vbl = round_to_odd(g_hi, g_lo, cbl << h);
  const u64 vb = round_to_odd(g_hi, g_lo, cb << h);
  const u64 vbr = round_to_odd(g_hi, g_lo, cbr << h);
  const u64 lower = vbl + !even;
  const u64 upper = vbr - !even;

  // Every candidate is formed and the choice made by selection, not by
  // branches: which one wins depends on the digits, as random as the data.
  const u64 s = vb / 4;
  const u64 sp = s / 10;
  const bool up_inside = lower <= 40 * sp;
  const bool wp_inside = 40 * sp + 40 <= upper;
  const bool shorter = s >= 10 && up_inside != wp_inside;
  const bool u_inside = lower <= 4 * s;
  const bool w_inside = 4 * s + 4 <= upper;
  const u64 mid = 4 * s + 2;
  const bool round_up = vb > mid || (vb == mid && (s & 1) != 0);
  const u64 nearer = s + (u_inside != w_inside ? w_inside : round_up);
  return {shorter ? sp + wp_inside : nearer, k + shorter};
}

constexpr u64 kPowersOfTen[20] = {1ULL,
                                  10ULL,
                                  100ULL,
                                  1000ULL,
                                  10000ULL,
                                  100000ULL,
                                  1000000ULL,
                                  10000000ULL,
                                  100000000ULL,
                                  1000000000ULL,
                                  10000000000ULL,
                                  100000000000ULL,
                                  1000000000000ULL,
                                  10000000000000ULL,
                                  100000000000000ULL,
                                  1000000000000000ULL,
                                  10000000000000000ULL,
                                  100000000000000000ULL,
                                  1000000000000000000ULL,
                                  10000000000000000000ULL};

// The number of decimal digits of d >= 1: bit_width * log10(2) is within
// one below it.
int digit_count(u64 d) {
  const int t = (std::bit_width(d) * 1233) >> 12;
  return t + (d >= kPowersOfTen[t]);
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the 8 digits of x < 10^8, leading zeros included, at p: split in
// halves and then in pairs, so that the divisions do not wait on each other.
void write_eight_digits(char* p, std::uint32_t x) {
  const std::uint32_t high = x / 10000, low = x % 10000;
  std::memcpy(p, kDigitPairs + 2 * (high / 100), 2);
  std::memcpy(p + 2, kDigitPairs + 2 * (high % 100), 2);
  std::memcpy(p + 4, kDigitPairs + 2 * (low / 100), 2);
  std::memcpy(p + 6, kDigitPairs + 2 * (low % 100), 2);
}

// Copies n <= 17 bytes in at most two fixed-size copies that overlap, so
// that the length of the digits (15 to 17 for most doubles) costs no
// unpredictable branch.
void copy_short(char* dst, const char* src, int n) {
  if (n >= 16) {
    std::memcpy(dst, src, 16);
    std::memcpy(dst + n - 16, src + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(dst, src, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + n - 4, src + n - 4, 4);
  } else {
    for (int k = 0; k < n; ++k) dst[k] = src[k];
  }
}

// Writes the n digits of d < 10^17 (n its digit count) so that they end at
// end: all 17 places formed at once, then the last n copied.
void write_digits(char* end, u64 d, int n) {
  char places[17];
  const auto high = static_cast<std::uint32_t>(d / 100000000);  // < 10^9
  places[0] = static_cast<char>('0' + high / 100000000);
  write_eight_digits(places + 1, high % 100000000);
  write_eight_digits(places + 9, static_cast<std::uint32_t>(d % 100000000));
  copy_short(end - n, places + 17 - n, n);
}

// The digits with the point after the first and the exponent after an 'e',
// its sign always and at least two digits of it.
char* write_scientific(char* p, u64 digits, int n, int exponent) {
  write_digits(p + 1 + n, digits, n);
  p[0] = p[1];
  if (n > 1) {
    p[1] = '.';
    p += n + 1;
  } else {
    p += 1;
  }
  *p++ = 'e';
  *p++ = exponent < 0 ? '-' : '+';
  const unsigned x = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
  if (x >= 100) {
    *p++ = static_cast<char>('0' + x / 100);
    std::memcpy(p, kDigitPairs + 2 * (x % 100), 2);
  } else {
    std::memcpy(p, kDigitPairs + 2 * x, 2);
  }
  return p + 2;
}

// The digits in fixed notation, exponent <= 0 or a value below 2^53.
char* write_fixed(char* p, u64 digits, int n, int exponent) {
  if (exponent >= 0) {
    write_digits(p + n, digits, n);
    std::memset(p + n, '0', static_cast<std::size_t>(exponent));
    return p + n + exponent;
  }
  const int whole = n + exponent;  // digits before the point
  if (whole > 0) {
    write_digits(p + n + 1, digits, n);
    std::memmove(p, p + 1, static_cast<std::size_t>(whole));
    p[whole] = '.';
    return p + n + 1;
  }
  // "0." and the zeros after the point, of which there are at most 3 in the
  // fixed layout: written as 8, the digits then overwrite the others.
  std::memcpy(p, "0.00000000", 10);
  p += 2 - whole;
  write_digits(p + n, digits, n);
  return p + n;
}

}  // namespace

char* put_shortest_real(char* p, double v) {
  const u64 bits = std::bit_cast<u64>(v);
  const u64 significand = bits & ((u64{1} << 52) - 1);
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased_exponent == 0x7FF) return put_real(p, v);  // "inf", "-inf" or "nan"
  char* const start = p;
  *p = '-';
  p += bits >> 63;
  if (biased_exponent == 0 && significand == 0) {
    *p++ = '0';
    return p;
  }
  Decimal d = shortest_decimal(significand, biased_exponent);
  while (d.digits % 10 == 0) {
    d.digits /= 10;
    ++d.exponent;
  }
  const int n = digit_count(d.digits);
  const int e = d.exponent;
  // Lengths without the sign: the shorter layout wins, fixed on a tie.
  const int x = e + n - 1;  // exponent of the scientific form
  const int scientific_chars = n + (n > 1) + 2 + (x <= -100 || x >= 100 ? 3 : 2);
  const int fixed_chars = e >= 0 ? n + e : (n + e > 0 ? n + 1 : 2 - e);
  if (fixed_chars > scientific_chars) return write_scientific(p, d.digits, n, x);
  // The exact digits of a large integer are not the shortest digits and
  // zeros: the standard library's own conversion writes those.
  if (e > 0 && std::fabs(v) >= 0x1p53)
    return std::to_chars(start, start + kShortestRealChars, v).ptr;
  return write_fixed(p, d.digits, n, e);
}

}  // namespace geneig
