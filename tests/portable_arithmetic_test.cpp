// The arithmetic written out so that every target computes the same bits:
// the modulus cabs, the principal square root csqrt (both from basic IEEE
// operations) and the 128-bit product of the decimal conversions (from
// 32-bit parts where the target has no 128-bit integers). Exact cases,
// the scaled ranges, the branch cut and signed zeros, then a large random
// sample against a long-double reference.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "complex_ops.hpp"
#include "test_support.hpp"
#include "wide_product.hpp"

namespace {

using geneig::cplx;

using geneig::test::kEps;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = DBL_MAX;
constexpr double kTrueMin = std::numeric_limits<double>::denorm_min();

// Same value and, for zeros, same sign; any NaN matches any NaN.
bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

struct Case {
  double x, y;      // z = x + yi
  double modulus;   // |z|
  double re, im;    // sqrt(z)
};

const Case kCases[] = {
    {3.0, 4.0, 5.0, 2.0, 1.0},
    {3.0, -4.0, 5.0, 2.0, -1.0},
    {-3.0, 4.0, 5.0, 1.0, 2.0},
    {-3.0, -4.0, 5.0, 1.0, -2.0},
    {-5.0, 12.0, 13.0, 2.0, 3.0},
    // Signed zeros and the branch cut along the negative real axis.
    {0.0, 0.0, 0.0, 0.0, 0.0},
    {0.0, -0.0, 0.0, 0.0, -0.0},
    {-0.0, 0.0, 0.0, 0.0, 0.0},
    {-0.0, -0.0, 0.0, 0.0, -0.0},
    {4.0, 0.0, 4.0, 2.0, 0.0},
    {4.0, -0.0, 4.0, 2.0, -0.0},
    {-4.0, 0.0, 4.0, 0.0, 2.0},
    {-4.0, -0.0, 4.0, 0.0, -2.0},
    {0.0, 2.0, 2.0, 1.0, 1.0},
    {-0.0, -2.0, 2.0, 1.0, -1.0},
    // Squares that would overflow or underflow: scaled by powers of two.
    {0x3p1020, 0x4p1020, 0x5p1020, 0x2p510, 0x1p510},
    {0x3p-1074, -0x4p-1074, 0x5p-1074, 0x2p-537, -0x1p-537},
    {0x1p1023, 0x1p1023, 0x1.6a09e667f3bcdp1023, 0x1.8dc42193d5c03p511, 0x1.49852f983efddp510},
    // (each part of this root is one unit from the nearest double, as the
    // x86-64 C library's is)
    {kMax, kMax, kInf, 0x1.19435caffa9f9p512, 0x1.d203138f6c827p510},
    {kMax, 0.0, kMax, 0x1.fffffffffffffp511, 0.0},
    {-kTrueMin, 0.0, kTrueMin, 0.0, 0x1p-537},
    {0.0, 0x1p-1073, 0x1p-1073, 0x1p-537, 0x1p-537},
    {0x1p600, 0x1p-600, 0x1p600, 0x1p300, 0x1p-901},
    // Infinite and NaN parts: an infinite part makes the modulus infinite,
    // and the root takes the limits of the principal branch.
    {1.0, kInf, kInf, kInf, kInf},
    {kNaN, -kInf, kInf, kInf, -kInf},
    {-kInf, 1.0, kInf, 0.0, kInf},
    {-kInf, -1.0, kInf, 0.0, -kInf},
    {kInf, -1.0, kInf, kInf, -0.0},
    {kInf, kNaN, kInf, kInf, kNaN},
    {-kInf, kNaN, kInf, kNaN, kInf},
    {kNaN, 1.0, kNaN, kNaN, kNaN},
    {1.0, kNaN, kNaN, kNaN, kNaN},
};

TEST(PortableArithmetic, ModulusAndSquareRootOfExactCases) {
  for (const Case& c : kCases) {
    const cplx z(c.x, c.y);
    const double m = geneig::cabs(z);
    const cplx w = geneig::csqrt(z);
    EXPECT_TRUE(same(m, c.modulus)) << "|" << c.x << " + " << c.y << "i| = " << m;
    EXPECT_TRUE(same(w.real(), c.re) && same(w.imag(), c.im))
        << "sqrt(" << c.x << " + " << c.y << "i) = " << w.real() << " + " << w.imag() << "i";
  }
}

// One part of magnitude 2^e, e uniform in [-1000, 1000], random sign and
// significand; every other pair has exponents at most 3 apart, where the
// correction of the modulus does its work.
TEST(PortableArithmetic, RandomSampleAgreesWithLongDouble) {
  static_assert(LDBL_MANT_DIG > DBL_MANT_DIG && LDBL_MAX_EXP > 2 * DBL_MAX_EXP);
  std::mt19937_64 g(20261208);
  const auto part = [&g](int e) {
    const double v = std::ldexp(1.0 + static_cast<double>(g() >> 12) * 0x1p-52, e);
    return (g() & 1) != 0 ? -v : v;
  };
  constexpr int kSamples = 1000000;
  int worst_modulus = 0, worst_root = 0, not_nearest = 0, unlike_library = 0;
  for (int k = 0; k < kSamples; ++k) {
    const int ex = static_cast<int>(g() % 2001) - 1000;
    const int ey = k % 2 != 0 ? ex + static_cast<int>(g() % 7) - 3 : static_cast<int>(g() % 2001) - 1000;
    const double x = part(ex), y = part(ey);
    const long double xl = x, yl = y;
    const long double modulus = std::sqrt(xl * xl + yl * yl);
    const std::complex<long double> root = std::sqrt(std::complex<long double>(xl, yl));
    const double m = geneig::cabs(cplx(x, y));
    const cplx w = geneig::csqrt(cplx(x, y));
    // Within one unit in the last place; each part of the root, which takes
    // a quotient after the square root, within two.
    if (!(std::fabs(m - modulus) <= kEps * modulus) && worst_modulus++ < 5)
      ADD_FAILURE() << "|" << x << " + " << y << "i| = " << m << ", not " << static_cast<double>(modulus);
    if (m != static_cast<double>(modulus)) ++not_nearest;
#if defined(__x86_64__) && defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 35)
    // The same bits as the C library's hypot and csqrt on x86-64, whose
    // formulas these follow (the recorded digests depend on it).
    const cplx library_root = std::sqrt(cplx(x, y));
    if ((m != std::hypot(x, y) || w != library_root) && unlike_library++ < 5)
      ADD_FAILURE() << x << " + " << y << "i: not the C library's bits";
#endif
    const bool re_ok = std::fabs(w.real() - root.real()) <= 2 * kEps * std::fabs(root.real()) + kTrueMin;
    const bool im_ok = std::fabs(w.imag() - root.imag()) <= 2 * kEps * std::fabs(root.imag()) + kTrueMin;
    if (!(re_ok && im_ok) && worst_root++ < 5)
      ADD_FAILURE() << "sqrt(" << x << " + " << y << "i) = " << w.real() << " + " << w.imag() << "i";
  }
  EXPECT_EQ(worst_modulus, 0);
  EXPECT_EQ(worst_root, 0);
  EXPECT_EQ(unlike_library, 0);
  // The correction makes the modulus the nearest double but in rare cases
  // (3 in 1000 here, with the reference's own double rounding); the plain
  // sqrt(x^2 + y^2) misses it some 90 times in 1000.
  EXPECT_LE(not_nearest, kSamples / 100);
}

// The product by 32-bit parts, used where there is no 128-bit integer type,
// against the one multiply_wide forms here.
TEST(PortableArithmetic, WideProductByPartsIsExact) {
  constexpr std::uint64_t kAll = ~std::uint64_t{0};
  struct Product {
    std::uint64_t a, b, hi, lo;
  };
  const Product kProducts[] = {
      {0, kAll, 0, 0},
      {kAll, kAll, kAll - 1, 1},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0xFFFFFFFE00000001u},
      {std::uint64_t{1} << 32, std::uint64_t{1} << 32, 1, 0},
      {std::uint64_t{1} << 63, 2, 1, 0},
      {0x123456789ABCDEF0u, 0x0FEDCBA987654321u, 0x0121FA00AD77D742u, 0x2236D88FE5618CF0u},
  };
  for (const Product& p : kProducts) {
    const geneig::WideProduct w = geneig::multiply_wide_by_parts(p.a, p.b);
    EXPECT_EQ(w.hi, p.hi) << p.a << " * " << p.b;
    EXPECT_EQ(w.lo, p.lo) << p.a << " * " << p.b;
  }
  std::mt19937_64 g(7);
  int wrong = 0;
  for (int k = 0; k < 1000000; ++k) {
    const std::uint64_t a = g() >> (g() % 64), b = g() >> (g() % 64);
    const geneig::WideProduct w = geneig::multiply_wide_by_parts(a, b), v = geneig::multiply_wide(a, b);
    if ((w.hi != v.hi || w.lo != v.lo) && wrong++ < 5) ADD_FAILURE() << a << " * " << b;
  }
}

}  // namespace
