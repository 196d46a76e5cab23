// The shortest-decimal writer against the standard library's:
// put_shortest_real must write the very characters of std::to_chars, on
// random and adversarial inputs of every kind (but one spelling of NaN); and
// the table of powers of ten it scales by.
//
// GENEIG_CONVERSION_SCALE=k in the environment multiplies every count by k,
// for a long run by hand.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "free_output.hpp"
#include "powers_of_ten.hpp"
#include "shortest_real.hpp"
#include "test_support.hpp"

namespace {

using geneig::test::any_finite;
using u64 = std::uint64_t;

long scaled(long count) {
  const char* s = std::getenv("GENEIG_CONVERSION_SCALE");
  return s ? count * std::max(1L, std::atol(s)) : count;
}

// A double of random significand with its binary exponent in [lo, hi].
double with_exponent(std::mt19937_64& gen, int lo, int hi) {
  const u64 exponent = static_cast<u64>(std::uniform_int_distribution<int>(lo, hi)(gen) + 1023);
  return std::bit_cast<double>((gen() & 0x800FFFFFFFFFFFFFULL) | exponent << 52);
}

// Every power of ten of the table that is a normal double rounds to the
// double that "1e<q>" reads as: t carries the leading 53 bits and more.
TEST(PowersOfTen, EntriesAgreeWithTheDecimalPowers) {
  for (int q = geneig::pow10::kMinPow10; q <= 308; ++q) {
    const geneig::pow10::Entry& e = geneig::pow10::entry(q);
    EXPECT_GE(e.hi, u64{1} << 63) << q;
    const std::string text = "1e" + std::to_string(q);
    double expected;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    // The top 64 bits, rounded to a double, at the entry's power of two.
    const double approx = std::ldexp(static_cast<double>(e.hi), e.b - 63);
    EXPECT_LE(std::fabs(approx - expected), std::ldexp(expected, -52)) << q;
  }
  EXPECT_EQ(geneig::pow10::entry(0).hi, u64{1} << 63);
  EXPECT_EQ(geneig::pow10::entry(0).lo, 0u);
  EXPECT_EQ(geneig::pow10::entry(-1).hi, 0xCCCCCCCCCCCCCCCCu);
  EXPECT_EQ(geneig::pow10::entry(-1).lo, 0xCCCCCCCCCCCCCCCCu);
  EXPECT_EQ(geneig::pow10::entry(-1).b, -4);
}

// ---------------------------------------------------------------------------
// Writing.

struct WriteTally {
  long count = 0, wrong = 0;
  std::vector<std::string> first_wrong;

  void check(double v) {
    char expected[64], got[64];
    // A NaN of either sign is "nan" (PutReal below), not to_chars's "-nan".
    const char* end = std::to_chars(expected, expected + sizeof expected, v).ptr;
    const std::string_view e = std::isnan(v) ? "nan" : std::string_view(expected, end);
    const std::string_view g(got, geneig::put_shortest_real(got, v));
    ++count;
    if (e == g) return;
    ++wrong;
    if (first_wrong.size() < 10)
      first_wrong.push_back(std::string(e) + " written as " + std::string(g));
  }
  void expect_all_right(const char* family) const {
    EXPECT_EQ(wrong, 0) << family << ": " << ::testing::PrintToString(first_wrong);
  }
};

TEST(PutShortestReal, RandomDoublesOfAllMagnitudes) {
  std::mt19937_64 gen(5);
  WriteTally t;
  for (long k = 0; k < scaled(300'000); ++k) {
    t.check(any_finite(gen));
    t.check(with_exponent(gen, -70, 80));
    // Few significant bits: short decimals, integers and trailing zeros.
    t.check(std::bit_cast<double>(gen() & 0xFFFFFC0000000000ULL));
  }
  t.expect_all_right("random");
}

// Every binary exponent, with the smallest, largest and random significands
// (the smallest is a power of two, whose lower neighbour is closer).
TEST(PutShortestReal, EveryExponent) {
  std::mt19937_64 gen(6);
  WriteTally t;
  for (u64 exponent = 0; exponent < 2047; ++exponent)
    for (const u64 significand : {u64{0}, u64{1}, (u64{1} << 52) - 1, gen() >> 12, gen() >> 12}) {
      const double v = std::bit_cast<double>(exponent << 52 | significand);
      t.check(v);
      t.check(-v);
    }
  t.expect_all_right("exponents");
}

TEST(PutShortestReal, IntegersEdgesAndTheLayoutSwitch) {
  WriteTally t;
  for (const double v : {0.0, -0.0, DBL_MIN, -DBL_MIN, DBL_MAX, -DBL_MAX, DBL_TRUE_MIN,
                         DBL_EPSILON, 1.0, 0.1, 0.3, 2.0 / 3.0, 1e21, 1e22, 1e23, 0x1p53,
                         0x1p53 + 2, 0x1p60, 0x1p70, 123456789012345680000.0, 5e-324, 1e-5,
                         1.5e-5, 0.0001234, 1234e5, 1e16, 3e20})
    t.check(v);
  // Integers of every length, and values d * 10^e on both sides of the
  // switch between fixed and scientific notation.
  std::mt19937_64 gen(7);
  for (int e = -30; e <= 30; ++e)
    for (int n = 1; n <= 17; ++n)
      for (int k = 0; k < 20; ++k) {
        const u64 lo = n == 1 ? 1 : static_cast<u64>(std::pow(10.0, n - 1));
        const u64 d = lo + gen() % (lo * 9);
        const std::string text = std::to_string(d) + "e" + std::to_string(e);
        double v;
        std::from_chars(text.data(), text.data() + text.size(), v);
        t.check(v);
        t.check(std::nextafter(v, INFINITY));
      }
  for (u64 i = 0; i < 100'000; ++i) t.check(static_cast<double>(i * 1000));
  t.expect_all_right("edges");
}

// Non-finite values, which only a failed solve leaves: an infinity keeps
// its sign, and every NaN is "nan", whatever its sign bit and payload, in
// the result file (put_shortest_real) and in the diagnostic lines
// (put_real) alike. The sign an invalid operation gives its NaN is the
// processor's: x86-64 sets it, aarch64 does not.
TEST(PutReal, WritesEveryNaNOneWay) {
  volatile double zero = 0.0;
  const double computed = zero / zero;  // the NaN of this processor
  const struct {
    double v;
    const char* text;
  } cases[] = {
      {std::bit_cast<double>(u64{0x7FF8000000000000}), "nan"},  // quiet, sign clear
      {std::bit_cast<double>(u64{0xFFF8000000000000}), "nan"},  // x86-64's default NaN
      {std::bit_cast<double>(u64{0x7FF0000000000001}), "nan"},  // signalling
      {std::bit_cast<double>(u64{0xFFF0000000000001}), "nan"},
      {std::bit_cast<double>(u64{0xFFFFFFFFFFFFFFFF}), "nan"},  // every payload bit
      {computed, "nan"},
      {-computed, "nan"},
      {INFINITY, "inf"},
      {-INFINITY, "-inf"},
      {-0.0, "-0"},
  };
  for (const auto& c : cases) {
    char shortest[geneig::kShortestRealChars], free[geneig::kMaxRealChars];
    EXPECT_EQ(std::string_view(shortest, geneig::put_shortest_real(shortest, c.v)), c.text)
        << std::bit_cast<u64>(c.v);
    EXPECT_EQ(std::string_view(free, geneig::put_real(free, c.v)), c.text)
        << std::bit_cast<u64>(c.v);
  }
}

}  // namespace
