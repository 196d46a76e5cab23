// Decimal to double by one 192-bit product.
//
// With w the significant digits as an integer (w < 10^19 < 2^64) and q the
// power of ten of its last digit, the value is w * 10^q. Normalizing w to
// wn = w * 2^lz with its top bit set, and 10^q = (t + eps) * 2^(b - 127) from
// the table, the value is X * 2^(b - 127 - lz) with X = wn * (t + eps).
// The computed P = wn * t is exact, and X - P = wn * eps lies in [0, 2^64),
// zero when the power of ten is exact. X lies in [2^190, 2^192): its leading
// bit is bit 190 + u, its 53 significant bits and the round bit below them
// are the 54 bits from bit 137 + u up, and the rest are the sticky bits.
//
// Those 54 bits of X are the bits of P unless a carry out of X - P < 2^64
// runs through every bit of P from bit 64 up to the round bit. Without that
// carry, the round bit is P's, and the sticky bits of X are all zero only if
// those of P are and the power is exact, so the rounding to nearest, ties to
// even, is decided exactly. With it, a round bit of P of 1 gives the same
// result either way (rounded up, or carried into the next unit with no
// rounding): only a round bit of 0, with X within 2^64 of a point halfway
// between two doubles, is left undecided. A decimal that is exactly a
// double, such as 0.5, always rounds to it at once.
#include "read_decimal.hpp"

#include <bit>
#include <cstring>

#include "powers_of_ten.hpp"
#include "wide_product.hpp"

namespace geneig {

namespace {

static_assert(std::endian::native == std::endian::little, "digits are read eight to a word");

using u64 = std::uint64_t;

constexpr int kMaxDigits = 19;          // 10^19 - 1 < 2^64
constexpr int kMaxExponentDigits = 5;   // far past every power of the table

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

u64 load8(const char* p) {
  u64 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The bytes of v that are not ASCII digits, as the high bit of each: a
// digit has the high nibble 3, and still has it after adding 6, which
// carries out of no byte then.
u64 non_digits(u64 v) {
  constexpr u64 kHigh = 0xF0F0F0F0F0F0F0F0, kThrees = 0x3030303030303030;
  const u64 off = ((v & kHigh) ^ kThrees) | (((v + 0x0606060606060606) & kHigh) ^ kThrees);
  // A byte of off is nonzero exactly when its byte of v is not a digit;
  // adding 0x7F to its low seven bits (which cannot carry out) and or-ing
  // in its own high bit sets the high bit of exactly those bytes.
  constexpr u64 kLow7 = 0x7F7F7F7F7F7F7F7F;
  return (((off & kLow7) + kLow7) | off) & ~kLow7;
}

// The value of eight ASCII digits, the first at the lowest address: pairs
// of digits, then pairs of pairs, then the two halves, each step in lanes
// that no partial result overflows.
u64 eight_digit_value(u64 v) {
  v -= 0x3030303030303030;
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FF;   // 16-bit lanes: 00..99
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFF;  // 32-bit lanes: 0000..9999
  return (v & 0xFFFFFFFF) * 10000 + (v >> 32);
}

constexpr u64 kPowersOfTen[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Appends the digits at p to w: whole words of eight while they fit in
// kMaxDigits, then the digits at the start of one more word, taken as the
// last digits of an eight-digit number with leading zeros. count counts
// them; more than kMaxDigits in all leave w unusable.
[[gnu::always_inline]] inline const char* read_digits(const char* p, u64& w, int& count) {
  u64 v = load8(p);
  u64 others = non_digits(v);
  while (others == 0 && count <= kMaxDigits - 8) {
    w = w * 100000000 + eight_digit_value(v);
    count += 8;
    p += 8;
    v = load8(p);
    others = non_digits(v);
  }
  const int n = others == 0 ? 8 : std::countr_zero(others) / 8;
  count += n;
  if (n == 0 || count > kMaxDigits) return p + n;
  // The n digits moved to the top of the word, '0' bytes below them.
  const int pad = 8 * (8 - n);
  const u64 zeros = pad == 0 ? 0 : 0x3030303030303030 >> (64 - pad);
  w = w * kPowersOfTen[n] + eight_digit_value(pad == 0 ? v : (v << pad) | zeros);
  return p + n;
}

}  // namespace

namespace decimal_detail {

bool nearest_double(u64 w, int q, bool negative, double& value) {
  if (q < pow10::kMinPow10 || q > pow10::kMaxPow10) return false;
  const pow10::Entry& t = pow10::entry(q);
  const int lz = std::countl_zero(w);
  const u64 wn = w << lz;
  // P = wn * t = hi * 2^128 + mid * 2^64 + lo. The product with t's low
  // word adds less than 2^128 at mid's place: it can reach the round bit
  // only by a carry through every bit of hi below it, and decide whether
  // there are sticky bits only when the rest has none and the power is
  // exact. Only then is it formed; otherwise lo stands for it as 0.
  const WideProduct high_product = multiply_wide(wn, t.hi);
  u64 hi = high_product.hi;
  u64 mid = high_product.lo;
  u64 lo = 0;
  const u64 hi_below = hi & ((hi >> 63) != 0 ? 0x3FF : 0x1FF);
  if (hi_below == ((hi >> 63) != 0 ? 0x3FF : 0x1FF) || (t.exact && hi_below == 0 && mid == 0)) {
    const WideProduct low_product = multiply_wide(wn, t.lo);
    lo = low_product.lo;
    mid += low_product.hi;
    hi += mid < low_product.hi ? 1u : 0u;  // the carry out of mid
  }

  const int u = static_cast<int>(hi >> 63);
  const int shift = 9 + u;  // the bits of hi below the round bit
  const u64 low_mask = (u64{1} << shift) - 1;
  const u64 below = hi & low_mask;
  const u64 r = hi >> shift;  // 53 significant bits and the round bit
  // (Tested rarest first: the branches then go the same way nearly always.)
  if (below == low_mask && mid == ~u64{0} && lo != 0 && (r & 1) == 0 && !t.exact) return false;

  // Round to nearest, ties to even, without a branch on the round bit.
  u64 m = r >> 1;
  const u64 sticky = static_cast<u64>((below | mid | lo) != 0) | static_cast<u64>(!t.exact);
  m += r & (sticky | m) & 1;
  int e = 63 + u + t.b - lz;  // power of two of the leading bit
  if (e < -1022) return false;  // subnormal: rounded at another bit
  if (m == u64{1} << 53) {
    m >>= 1;
    ++e;
  }
  if (e > 1023) return false;
  const u64 bits = (static_cast<u64>(negative) << 63) | (static_cast<u64>(e + 1023) << 52) |
                   (m & ((u64{1} << 52) - 1));
  value = std::bit_cast<double>(bits);
  return true;
}

}  // namespace decimal_detail

const char* read_decimal(const char* p, double& value) {
  const bool negative = *p == '-';
  p += negative || *p == '+';
  const char* const mantissa = p;
  // Leading zeros add nothing; the significant digits go into w.
  while (*p == '0') ++p;
  u64 w = 0;
  int count = 0;
  p = read_digits(p, w, count);
  int q = 0;  // the power of ten of the last digit read
  if (*p == '.') {
    const char* const fraction = ++p;
    if (count == 0)
      while (*p == '0') ++p;
    p = read_digits(p, w, count);
    q = -static_cast<int>(p - fraction);
  }
  const std::ptrdiff_t mantissa_chars = p - mantissa;
  if (mantissa_chars == 0 || (mantissa_chars == 1 && *mantissa == '.')) return nullptr;
  if (count > kMaxDigits) return nullptr;
  if ((*p | 0x20) == 'e' || (*p | 0x20) == 'd') {
    ++p;
    const bool negative_exponent = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char* const digits = p;
    int exponent = 0;
    for (; is_digit(*p) && p - digits < kMaxExponentDigits; ++p) exponent = exponent * 10 + (*p - '0');
    if (p == digits || is_digit(*p)) return nullptr;
    q += negative_exponent ? -exponent : exponent;
  }
  if (w == 0) {
    value = negative ? -0.0 : 0.0;
    return p;
  }
  return decimal_detail::nearest_double(w, q, negative, value) ? p : nullptr;
}

}  // namespace geneig
