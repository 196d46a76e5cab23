// The fast decimal conversions against the standard library's: read_decimal
// must give the double that the reader's general way (std::from_chars) gives
// whenever it decides, and put_shortest_real the very characters of
// std::to_chars, on random and adversarial inputs of every kind (but one
// spelling of NaN).
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

#include "free_format.hpp"
#include "free_output.hpp"
#include "powers_of_ten.hpp"
#include "read_decimal.hpp"
#include "shortest_real.hpp"
#include "test_support.hpp"

namespace {

using geneig::test::any_finite;
using u64 = std::uint64_t;

long scaled(long count) {
  const char* s = std::getenv("GENEIG_CONVERSION_SCALE");
  return s ? count * std::max(1L, std::atol(s)) : count;
}

std::string to_text(double v) {
  char buf[64];
  return {buf, std::to_chars(buf, buf + sizeof buf, v).ptr};
}
std::string to_text(double v, std::chars_format f, int precision) {
  char buf[1200];
  return {buf, std::to_chars(buf, buf + sizeof buf, v, f, precision).ptr};
}
std::string to_text(long double v, std::chars_format f, int precision) {
  char buf[1200];
  return {buf, std::to_chars(buf, buf + sizeof buf, v, f, precision).ptr};
}

// ---------------------------------------------------------------------------
// Reading.

// What read_decimal did over many texts: decided (and right), left to the
// general way, or decided wrong (the first few kept for the report).
struct ReadTally {
  long decided = 0, undecided = 0, wrong = 0;
  std::vector<std::string> first_wrong;

  void check(const std::string& text) {
    std::string item = text;
    double reference = 0;
    const geneig::NumberStatus status = geneig::parse_real(item, reference);
    std::string padded = text + std::string(geneig::kDecimalReadAhead + 1, ' ');
    double fast = 0;
    const char* end = geneig::read_decimal(padded.data(), fast);
    if (!end) {
      ++undecided;
      return;
    }
    ++decided;
    const bool same = end == padded.data() + text.size() &&
                      status == geneig::NumberStatus::ok &&
                      std::bit_cast<u64>(fast) == std::bit_cast<u64>(reference);
    if (same) return;
    ++wrong;
    if (first_wrong.size() < 10) first_wrong.push_back(text);
  }

  void expect_all_right(const char* family) const {
    EXPECT_EQ(wrong, 0) << family << ": first wrong: "
                        << ::testing::PrintToString(first_wrong);
  }
};

// A double of random significand with its binary exponent in [lo, hi].
double with_exponent(std::mt19937_64& gen, int lo, int hi) {
  const u64 exponent = static_cast<u64>(std::uniform_int_distribution<int>(lo, hi)(gen) + 1023);
  return std::bit_cast<double>((gen() & 0x800FFFFFFFFFFFFFULL) | exponent << 52);
}

// The exponent letter of a text replaced by one of E, d or D, and a plus
// sign put before some: every spelling the reader takes.
std::string respelled(std::string text, std::mt19937_64& gen) {
  const std::size_t e = text.find('e');
  if (e != std::string::npos) text[e] = "eEdD"[gen() % 4];
  if (text[0] != '-' && gen() % 8 == 0) text.insert(0, "+");
  return text;
}

TEST(ReadDecimal, ShortestFormsOfRandomDoubles) {
  std::mt19937_64 gen(1);
  ReadTally t;
  for (long k = 0; k < scaled(100'000); ++k) {
    t.check(respelled(to_text(any_finite(gen)), gen));
    t.check(respelled(to_text(with_exponent(gen, -60, 60)), gen));
  }
  t.expect_all_right("shortest forms");
  // Away from the subnormals and the long integers, nearly all are decided.
  EXPECT_GT(t.decided, t.undecided * 20);
}

TEST(ReadDecimal, SeventeenDigitsAndOtherPrecisions) {
  std::mt19937_64 gen(2);
  ReadTally t;
  for (long k = 0; k < scaled(60'000); ++k) {
    const double d = with_exponent(gen, -1022, 1023);
    t.check(respelled(to_text(d, std::chars_format::scientific, 16), gen));
    const int precision = static_cast<int>(gen() % 22);
    t.check(respelled(to_text(d, std::chars_format::scientific, precision), gen));
    const double near_one = with_exponent(gen, -30, 60);
    t.check(to_text(near_one, std::chars_format::fixed, static_cast<int>(gen() % 20)));
  }
  t.expect_all_right("fixed precisions");
  EXPECT_GT(t.decided, t.undecided);
}

// Exactly halfway between two neighbouring doubles (which ties to the even
// one), and just off halfway: the midpoint of x and the next double up, held
// exactly in a long double, written with all its digits or cut short.
TEST(ReadDecimal, HalfwayCases) {
  static_assert(LDBL_MANT_DIG >= 54, "a long double holds a midpoint of doubles");
  std::mt19937_64 gen(3);
  ReadTally t;
  for (long k = 0; k < scaled(40'000); ++k) {
    // Binary exponents from 46 to 63: midpoints of 16 to 20 digits.
    const double x = std::fabs(with_exponent(gen, 46, 63));
    const long double mid = (static_cast<long double>(x) +
                             static_cast<long double>(std::nextafter(x, INFINITY))) / 2;
    const int fraction_digits = std::max(0, 53 - std::ilogb(x));
    const std::string exact = to_text(mid, std::chars_format::fixed, fraction_digits);
    t.check(exact);
    t.check(to_text(mid, std::chars_format::scientific, 18));
    t.check(to_text(mid, std::chars_format::scientific, 17));
    t.check(exact + "1");
    t.check(to_text(mid, std::chars_format::scientific, 25));
    // Midpoints far from 1, to 19 digits: within 10^-19 of halfway.
    const double far = std::fabs(with_exponent(gen, -1000, 1000));
    const long double far_mid = (static_cast<long double>(far) +
                                 static_cast<long double>(std::nextafter(far, INFINITY))) / 2;
    t.check(respelled(to_text(far_mid, std::chars_format::scientific, 18), gen));
  }
  t.expect_all_right("halfway");
}

TEST(ReadDecimal, SubnormalsHugeExponentsManyDigitsLeadingZeros) {
  std::mt19937_64 gen(4);
  ReadTally t;
  const auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + gen() % 10));
    return s;
  };
  for (long k = 0; k < scaled(25'000); ++k) {
    const double sub = std::bit_cast<double>(gen() & 0x800FFFFFFFFFFFFFULL);
    t.check(to_text(sub));
    t.check(to_text(sub, std::chars_format::scientific, 16));
    // Random digits with a random point and any exponent up to 5 digits.
    std::string m = digits(1 + static_cast<int>(gen() % 24));
    m.insert(gen() % (m.size() + 1), ".");
    if (m == ".") m = "0.";
    const int e = std::uniform_int_distribution<int>(-420, 420)(gen);
    t.check(respelled(m + "e" + std::to_string(e), gen));
    t.check(respelled(m + "e" + std::to_string(gen() % 2 ? -99999 : 99999), gen));
    // Leading zeros before and after the point.
    t.check(std::string(gen() % 30, '0') + m);
    t.check("0." + std::string(gen() % 30, '0') + digits(1 + static_cast<int>(gen() % 19)) + "e" +
            std::to_string(e));
    std::string signed_zeros = "-" + std::string(gen() % 5, '0');
    signed_zeros += digits(static_cast<int>(gen() % 40));
    signed_zeros += ".";
    t.check(signed_zeros + digits(static_cast<int>(gen() % 40)));
  }
  for (const char* s : {"0", "-0", "+0", "0.", ".0", "-.0e5", "0e99999", "-0D-99999", "000.000",
                        "1e308", "1.7976931348623157e308", "1.7976931348623158e308",
                        "1.7976931348623159e308", "2.2250738585072014e-308",
                        "2.2250738585072011e-308", "2.2250738585072009e-308", "4.9e-324",
                        "9007199254740993", "9007199254740993.0", "9007199254740993.00000001",
                        "9007199254740992.9999999", "18446744073709551615",
                        "1844674407370955161.5", "9999999999999999999", "0.1", "0.5", "2.5",
                        "1e23", "8.98846567431158e307", "1e-5", "123456789012345678"})
    t.check(s);
  t.expect_all_right("extremes");
}

// Texts that are not, or not wholly, a real item: read_decimal refuses them
// or stops where the item would go on, so that the reader's general way
// decides them.
TEST(ReadDecimal, StopsAtTheFirstByteThatCannotContinueTheNumber) {
  const struct {
    const char* text;
    int stop;  // bytes read; -1 for a refusal
  } cases[] = {{"1e", -1},     {"1e+", -1},  {".", -1},     {"-", -1},    {"+", -1},
               {"+-1", -1},    {"--1", -1},  {"inf", -1},   {"nan", -1},  {"e5", -1},
               {"1d", -1},     {"D1", -1},   {".e1", -1},   {"1.5q", 3},  {"1e5.0", 3},
               {"1..2", 2},    {"0x1p3", 1}, {"1,5", 1},    {"12/", 2},   {"7 8", 1},
               {"1e1234567", -1}, {"3.25\r", 4}, {"-0.5e-3,", 7}};
  for (const auto& c : cases) {
    std::string padded = std::string(c.text) + std::string(geneig::kDecimalReadAhead + 1, '\n');
    double v;
    const char* end = geneig::read_decimal(padded.data(), v);
    EXPECT_EQ(end ? end - padded.data() : -1, c.stop) << c.text;
  }
}

// Every power of ten of the table that is a normal double rounds to the
// double that "1e<q>" reads as: t carries the leading 53 bits and more.
TEST(PowersOfTen, EntriesAgreeWithTheDecimalPowers) {
  for (int q = -307; q <= 308; ++q) {
    const geneig::pow10::Entry& e = geneig::pow10::entry(q);
    EXPECT_GE(e.hi, u64{1} << 63) << q;
    const std::string text = "1e" + std::to_string(q);
    double expected;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    // The top 64 bits, rounded to a double, at the entry's power of two.
    const double approx = std::ldexp(static_cast<double>(e.hi), e.b - 63);
    EXPECT_LE(std::fabs(approx - expected), std::ldexp(expected, -52)) << q;
    EXPECT_EQ(e.exact, q >= 0 && q <= 55) << q;
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
