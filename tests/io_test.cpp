// The matrix input reader and the result writer, on texts in memory and on
// files in a scratch directory.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "eigcab.hpp"
#include "read_matrices.hpp"
#include "saveeig.hpp"
#include "test_support.hpp"

namespace {

using namespace std::literals;
using geneig::cplx;
using geneig::NMAX;
using geneig::ReadStatus;
namespace fs = std::filesystem;
using geneig::test::put;
using geneig::test::ScratchDir;
using geneig::test::slurp;

cplx g_A[NMAX * NMAX], g_B[NMAX * NMAX], g_V[NMAX * NMAX];
double g_E[NMAX];

// Reads text as the file "matrix.in", handed out chunk bytes at a time.
ReadStatus read_text(std::string_view text, std::size_t chunk, int& N, double& X,
                     geneig::ReadReport& report) {
  std::fill(std::begin(g_A), std::end(g_A), cplx(-7, -7));
  std::fill(std::begin(g_B), std::end(g_B), cplx(-7, -7));
  geneig::TextSource source(text, chunk);
  return geneig::read_matrices(source, "matrix.in", g_A, g_B, N, X, report);
}

// Both matrices row by row, for comparison with a case's expectation.
std::vector<cplx> rows_of(const cplx* M, int N) {
  const geneig::ColMajor<const cplx> m(M, NMAX);
  std::vector<cplx> out;
  for (int i = 1; i <= N; ++i)
    for (int j = 1; j <= N; ++j) out.push_back(m(i, j));
  return out;
}

// ---------------------------------------------------------------------------
// Reading: every case runs with the text handed out whole and in small
// chunks, so that items, separators and line ends straddle the refills.

struct ReadCase {
  std::string name;
  std::string text;
  ReadStatus status;
  std::string message;  // the diagnostic, exactly; empty for a good file
  int N = 2;
  double X = 0.5;
  std::vector<cplx> A = {}, B = {};  // row by row
};

const std::vector<cplx> kA2{{3, 0}, {1, -1}, {1, 1}, {1, 0}};
const std::vector<cplx> kB2{{2, 0}, {0.5, 0.25}, {0.5, -0.25}, {4, 0}};

// An order-2 file in the plainest layout, and the element lines of A and B.
const std::string kA2Lines = geneig::test::kOrder2A;
const std::string kB2Lines = "1 1 2.0 0.0\n1 2 0.5 0.25\n2 1 0.5 -0.25\n2 2 4.0 0.0\n";
const std::string kPlain = "2 0.5\nMatrix A\n" + kA2Lines + "Matrix B\n" + kB2Lines;

ReadCase good(std::string name, std::string text) {
  return {std::move(name), std::move(text), ReadStatus::ok, "", 2, 0.5, kA2, kB2};
}
ReadCase bad(std::string name, std::string text, ReadStatus status, std::string message) {
  return {std::move(name), std::move(text), status, std::move(message)};
}
// kPlain with the element record of A(1,2) replaced.
std::string with_a12(const std::string& record) {
  return "2 0.5\nMatrix A\n1 1 3.0 0.0\n" + record + "\n2 1 1.0 1.0\n2 2 1.0 0.0\nMatrix B\n" +
         kB2Lines;
}
std::string a12_fault(const char* item, const char* kind, const std::string& found) {
  return std::string("matrix.in:4: expected the ") + item + " of A(1,2) (" + kind +
         "), found " + found;
}

std::vector<ReadCase> read_cases() {
  const char* kInt = "an integer";
  const char* kReal = "a real number";
  std::vector<ReadCase> c;
  // Layouts that all read as kA2 and kB2.
  c.push_back(good("Plain", kPlain));
  c.push_back(good("Commas", "2,0.5\nMatrix A\n1,1,3.0,0.0\n1,2,1.0,-1.0\n2,1,1.0,1.0\n"
                             "2,2,1.0,0.0\nMatrix B\n1,1,2,0\n1,2,.5,.25\n2,1,.5,-.25\n2,2,4,0\n"));
  c.push_back(good("BlanksAroundCommas", "2 , 0.5\nA\n1 ,1,  3.0 ,0.0\n1\t,\t2 , 1.0 , -1.0\n"
                                         "2 1 1 1\n2 2 1 0\nB\n" + kB2Lines));
  c.push_back(good("TabsAndLeadingBlanks", "\t2\t0.5\n  Matrix A\n\t1\t1\t3.0\t0.0\n"
                                           "   1 2    1.0  -1.0\n2 1 1 1\n2 2 1 0\n\tB\n" +
                                           kB2Lines));
  c.push_back(good("CrLf", "2 0.5\r\nMatrix A\r\n1 1 3.0 0.0\r\n1 2 1.0 -1.0\r\n2 1 1 1\r\n"
                           "2 2 1 0\r\nMatrix B\r\n1 1 2 0\r\n1 2 0.5 0.25\r\n2 1 0.5 -0.25\r\n"
                           "2 2 4 0\r\n"));
  c.push_back(good("NoLineEndAtTheEnd", kPlain.substr(0, kPlain.size() - 1)));
  c.push_back(good("RecordOverTwoLines", "2 0.5\nA\n1 1\n3.0 0.0\n1 2 1.0\n-1.0\n2\n1\n1\n1\n"
                                         "2 2 1 0\nB\n" + kB2Lines));
  c.push_back(good("BlankLinesInsideARecord", "2\n\n   \n0.5\nA\n1 1\n\t\n\r\n3.0 0.0\n1 2 1 -1\n"
                                              "2 1 1 1\n2 2 1 0\nB\n" + kB2Lines));
  c.push_back(good("CommaAtLineEndThenNextLine", "2 0.5\nA\n1, 1,\n3.0, 0.0\n1 2 1 -1\n"
                                                 "2 1 1 1\n2 2 1 0\nB\n" + kB2Lines));
  c.push_back(good("WordsAfterTheLastItemSkipped",
                   "2 0.5 order and X\nMatrix A\n1 1 3.0 0.0 the (1,1) element, /!\n"
                   "1 2 1.0 -1.0 9 9 9 9\n2 1 1 1,junk\n2 2 1 0/\nB\n" + kB2Lines));
  c.push_back(good("BlankLinesBeforeHeadings", "2 0.5\n\n\n  \nMatrix A\n" + kA2Lines +
                                               "\n\t\n\nMatrix B\n" + kB2Lines));
  c.push_back(good("HeadingStartsWithANumber", "2 0.5\n12 by 12\n" + kA2Lines + "3.5e7\n" +
                                               kB2Lines));
  c.push_back(good("QuotedHeadings", "2 0.5\n'Matrix A, the operator / here'\n" + kA2Lines +
                                     "\"Matrix B, metric\" and more\n" + kB2Lines));
  c.push_back(good("HeadingsOfCommaOrSlash", "2 0.5\n,\n" + kA2Lines + "/ B\n" + kB2Lines));
  c.push_back(good("AnythingAfterTheLastRecordUnread", kPlain + "garbage \x01\xff 1e999\n"));
  c.push_back({"ExponentForms",
               "2 25D-2\nA\n1 1 2 0\n1 2 2.0 +0\n2 1 2.0E0 -0\n2 2 2.0d0 0.0e5\nB\n"
               "1 1 2.0D0 0\n1 2 .2e1 0\n2 1 2. 0\n2 2 +20e-1 0\n",
               ReadStatus::ok, "", 2, 0.25,
               {{2, 0}, {2, 0}, {2, -0.0}, {2, 0}}, {{2, 0}, {2, 0}, {2, 0}, {2, 0}}});
  c.push_back({"ExtremeReals",
               "2 -1.5D+3\nA\n1 1 1.7976931348623157e308 4.9406564584124654e-324\n"
               "1 2 2.2250738585072014E-308 -1D-400\n2 1 1e-400 0.000000000000000000001e-300\n"
               "2 2 123456789012345678901234567890 -0.1\nB\n1 1 1 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\n",
               ReadStatus::ok, "", 2, -1500,
               {{1.7976931348623157e308, 4.9406564584124654e-324},
                {2.2250738585072014e-308, -0.0},
                {0.0, 1e-321},
                {123456789012345678901234567890.0, -0.1}},
               {{1, 0}, {0, 0}, {0, 0}, {1, 0}}});
  c.push_back({"OrderZero", "0 7\nA\nB\n", ReadStatus::ok, "", 0, 7});
  c.push_back({"OrderZeroNoLineEnds", "0 7\nA\nB", ReadStatus::ok, "", 0, 7});
  c.push_back({"NegativeOrder", "-2147483648 1\nA\nB\n", ReadStatus::ok, "", INT32_MIN, 1});
  c.push_back({"OrderOne", "+1 0\nA\n1 1 5 0\nB\n1 1 2 0\n", ReadStatus::ok, "", 1, 0,
               {{5, 0}}, {{2, 0}}});

  // Index mismatches: the six items as they were read.
  c.push_back(bad("MismatchColumn", with_a12("1 3 1.5 -2"), ReadStatus::mismatch,
                  "Error: Inconsistent (i,j):  1 2 1 3 1.5 -2"));
  c.push_back(bad("MismatchInB", "2 0.5\nA\n" + kA2Lines +
                  "B\n1 1 2 0\n1 2 0.5 0.25\n2 2 4 -0.0\n", ReadStatus::mismatch,
                  "Error: Inconsistent (i,j):  2 1 2 2 4 -0"));
  c.push_back(bad("TwoRecordsOnOneLine",
                  "2 0.5\nA\n1 1 3.0 0.0 1 2 1.0 -1.0\n2 1 1.0 1.0\n2 2 1.0 0.0\nB\n" + kB2Lines,
                  ReadStatus::mismatch, "Error: Inconsistent (i,j):  1 2 2 1 1 1"));
  c.push_back(bad("BlankLineInPlaceOfHeading", "2 0.5\n\n" + kA2Lines + "B\n" + kB2Lines,
                  ReadStatus::mismatch, "Error: Inconsistent (i,j):  1 1 1 2 1 -1"));
  c.push_back(bad("QuotedHeadingOverTwoLines", "2 0.5\n'Matrix\nA'\n" + kA2Lines,
                  ReadStatus::malformed,
                  "matrix.in:3: expected the row index of A(1,1) (an integer), found \"A'\""));

  // Malformed items.
  c.push_back(bad("IndexWrittenAsReal", with_a12("1.0 2 1 -1"), ReadStatus::malformed,
                  a12_fault("row index", kInt, "\"1.0\"")));
  c.push_back(bad("IndexWithExponent", with_a12("1 2e0 1 -1"), ReadStatus::malformed,
                  a12_fault("column index", kInt, "\"2e0\"")));
  c.push_back(bad("IndexPast32Bits", with_a12("1 2147483648 1 -1"), ReadStatus::malformed,
                  a12_fault("column index", kInt, "\"2147483648\" (outside the 32-bit range)")));
  c.push_back(bad("IndexFarPast32Bits", with_a12("-99999999999999999999999 2 1 -1"),
                  ReadStatus::malformed,
                  a12_fault("row index", kInt,
                            "\"-99999999999999999999999\" (outside the 32-bit range)")));
  c.push_back(bad("SignAlone", with_a12("- 2 1 -1"), ReadStatus::malformed,
                  a12_fault("row index", kInt, "\"-\"")));
  for (const char* word : {"abc", "1.2.3", "1e", "1e+", ".", "-", "+-1", "--1", "1.5q", "0x1p3",
                           "inf", "-inf", "Infinity", "nan", "NaN", "1,5e", "e5", "1d", "D1",
                           "1e5.0", "1..2"}) {
    const std::string w = std::string(word);
    // "1,5e": the comma splits it, and "5e" is the item at fault.
    const std::string shown = w == "1,5e" ? "\"5e\"" : "\"" + w + "\"";
    const char* item = w == "1,5e" ? "imaginary part" : "real part";
    c.push_back(bad("BadReal" + std::to_string(c.size()), with_a12("1 2 " + w + " -1"), ReadStatus::malformed,
                    a12_fault(item, kReal, shown)));
  }
  c.push_back(bad("RealOverflows", with_a12("1 2 1 1e999"), ReadStatus::malformed,
                  a12_fault("imaginary part", kReal,
                            "\"1e999\" (beyond the range of a double)")));
  c.push_back(bad("RealOverflowsWithD", with_a12("1 2 -1.8D308 1"), ReadStatus::malformed,
                  a12_fault("real part", kReal, "\"-1.8D308\" (beyond the range of a double)")));
  c.push_back(bad("EmptyItemBetweenCommas", with_a12("1,,2 1 -1"), ReadStatus::malformed,
                  a12_fault("column index", kInt,
                            "an empty item (a comma with no item before it)")));
  c.push_back(bad("LeadingComma", with_a12(",1 2 1 -1"), ReadStatus::malformed,
                  a12_fault("row index", kInt, "an empty item (a comma with no item before it)")));
  c.push_back(bad("SlashEndingTheRecordEarly", with_a12("1 2 1 /"), ReadStatus::malformed,
                  a12_fault("imaginary part", kReal, "a slash ending the record")));
  c.push_back(bad("BinaryGarbage", std::string("2 0.5\nA\n1 1 3 0\n1 2 \x01\xfe\"\\") +
                  "\n2 1 1 1\n", ReadStatus::malformed,
                  a12_fault("real part", kReal, "\"\\x01\\xFE\\\"\\\\\"")));
  c.push_back(bad("NulByte", "2 0.5\nA\n1 1 3 0\n1 2 1 \0\n"s,
                  ReadStatus::malformed, a12_fault("imaginary part", kReal, "\"\\x00\"")));
  c.push_back(bad("LongItemShortened", with_a12("1 2 " + std::string(50, '7') + "x -1"),
                  ReadStatus::malformed,
                  a12_fault("real part", kReal, std::string("\"").append(40, '7') + "\"...")));
  c.push_back(bad("BadOrder", "2.0 0.5\n", ReadStatus::malformed,
                  "matrix.in:1: expected the order N (an integer), found \"2.0\""));
  c.push_back(bad("BadX", "2 x\n", ReadStatus::malformed,
                  "matrix.in:1: expected the real number X (a real number), found \"x\""));
  c.push_back(bad("OrderPast32Bits", "4294967296 0\n", ReadStatus::malformed,
                  "matrix.in:1: expected the order N (an integer), found \"4294967296\" "
                  "(outside the 32-bit range)"));

  // Orders above the capacity, refused right after record 1.
  c.push_back(bad("OrderAboveCapacity", "201 0\n", ReadStatus::too_large,
                  "matrix.in:1: the order N = 201 is above the limit 200"));
  c.push_back(bad("OrderLargest", "\n2147483647 0\n" + kA2Lines, ReadStatus::too_large,
                  "matrix.in:2: the order N = 2147483647 is above the limit 200"));

  // Early ends, at every stage.
  c.push_back(bad("EmptyFile", "", ReadStatus::early_end,
                  "matrix.in:1: expected the order N (an integer), found the end of the file"));
  c.push_back(bad("OnlyBlankLines", "\n \n\t\n", ReadStatus::early_end,
                  "matrix.in:4: expected the order N (an integer), found the end of the file"));
  c.push_back(bad("EndInsideRecord1", "2", ReadStatus::early_end,
                  "matrix.in:1: expected the real number X (a real number), found the end of "
                  "the file"));
  c.push_back(bad("EndBeforeHeadingOfA", "2 0.5\n", ReadStatus::early_end,
                  "matrix.in:2: expected the heading of A (a text), found the end of the file"));
  c.push_back(bad("EndInsideA", "2 0.5\nA\n1 1 3 0\n1 2 1", ReadStatus::early_end,
                  a12_fault("imaginary part", kReal, "the end of the file")));
  c.push_back(bad("EndInsideQuotedHeading", "2 0.5\n'Matrix A, comp", ReadStatus::early_end,
                  "matrix.in:2: expected the row index of A(1,1) (an integer), found the end of "
                  "the file"));
  c.push_back(bad("EndBeforeHeadingOfB", "2 0.5\nA\n" + kA2Lines, ReadStatus::early_end,
                  "matrix.in:7: expected the heading of B (a text), found the end of the file"));
  c.push_back(bad("EndInsideB", "2 0.5\nA\n" + kA2Lines + "B\n1 1 2 0\n1 2 0.5 0.25\n2 1\n",
                  ReadStatus::early_end,
                  "matrix.in:11: expected the real part of B(2,1) (a real number), found the "
                  "end of the file"));
  c.push_back(bad("OrderZeroWithoutHeadingOfB", "0 7\nA\n", ReadStatus::early_end,
                  "matrix.in:3: expected the heading of B (a text), found the end of the file"));
  return c;
}

const std::vector<ReadCase>& all_read_cases() {
  static const std::vector<ReadCase> cases = read_cases();
  return cases;
}

class ReadMatrices
    : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {};

TEST_P(ReadMatrices, ReadsAsExpected) {
  const ReadCase& c = all_read_cases()[std::get<0>(GetParam())];
  int N = -99;
  double X = -99;
  geneig::ReadReport report;
  const ReadStatus status = read_text(c.text, std::get<1>(GetParam()), N, X, report);
  ASSERT_EQ(status, c.status) << report.message();
  EXPECT_EQ(report.status, c.status);
  EXPECT_EQ(report.message(), c.message);
  if (c.status == ReadStatus::ok || c.status == ReadStatus::mismatch) {
    EXPECT_EQ(N, c.N);
    EXPECT_EQ(X, c.X);
  }
  if (c.status != ReadStatus::ok) return;
  const int n = std::max(N, 0);
  const std::vector<cplx> A = rows_of(g_A, n), B = rows_of(g_B, n);
  ASSERT_EQ(A.size(), c.A.size());
  for (std::size_t k = 0; k < A.size(); ++k) {
    // Bit for bit, so that the sign of a zero counts.
    EXPECT_EQ(std::signbit(A[k].real()), std::signbit(c.A[k].real())) << "A element " << k;
    EXPECT_EQ(std::signbit(A[k].imag()), std::signbit(c.A[k].imag())) << "A element " << k;
    EXPECT_EQ(A[k], c.A[k]) << "A element " << k;
    EXPECT_EQ(B[k], c.B[k]) << "B element " << k;
  }
  // Nothing outside the leading N x N block is touched.
  const geneig::ColMajor<const cplx> a(g_A, NMAX);
  EXPECT_EQ(a(n + 1, 1), cplx(-7, -7));
  EXPECT_EQ(a(1, n + 1), cplx(-7, -7));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadMatrices,
    ::testing::Combine(::testing::Range<std::size_t>(0, all_read_cases().size()),
                       ::testing::Values<std::size_t>(SIZE_MAX, 1, 3, 7)),
    [](const auto& info) {
      const std::size_t chunk = std::get<1>(info.param);
      return all_read_cases()[std::get<0>(info.param)].name + "_Chunk" +
             (chunk == SIZE_MAX ? std::string("All") : std::to_string(chunk));
    });

// Element records in many layouts and number spellings, read once with the
// whole text at hand (most records in one pass over their bytes) and once a
// byte at a time (item by item): both give every value bit for bit as the
// reader's real item syntax reads the item on its own.
TEST(ReadMatricesLayouts, OnePassAndItemByItemAgree) {
  std::mt19937_64 gen(31);
  const auto pick = [&](std::initializer_list<const char*> options) {
    return std::string(options.begin()[gen() % options.size()]);
  };
  const auto any_double = [&] { return geneig::test::any_finite(gen); };
  // A real item in one of the spellings a file may hold.
  const auto real_text = [&] {
    char buf[512];  // room for any double with 24 digits after the point
    // Any double, or one of moderate size as most files hold.
    const double d =
        gen() % 4 == 0 ? any_double() : (static_cast<double>(gen() % 2000000) - 1e6) / 7;
    std::string t;
    switch (gen() % 6) {
      case 0: t.assign(buf, std::to_chars(buf, buf + sizeof buf, d).ptr); break;
      case 1: t.assign(buf, std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, 16).ptr); break;
      case 2: t.assign(buf, std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, 24).ptr); break;
      case 3: t = pick({"-0", "+0", ".5", "5.", "-.25D+1", "1e300", "4.9e-324", "0.000", "+7d0", "00012.5",
                        "2.2250738585072011e-308", "-1d-400", "1.7976931348623157D308", "9007199254740993",
                        "123456789012345678901234567890", "0.1000000000000000055511151231257827021181583404541015625"});
        break;
      default: t.assign(buf, std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 6).ptr); break;
    }
    const std::size_t e = t.find('e');
    if (e != std::string::npos && gen() % 3 == 0) t[e] = "EdD"[gen() % 3];
    return t;
  };
  constexpr int n = 12;
  std::string text = std::to_string(n) + " 0.5\nA\n";
  std::vector<cplx> A, B;
  for (int m = 0; m < 2; ++m) {
    if (m == 1) text += "B\n";
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) {
        std::string items[4] = {std::to_string(i), std::to_string(j), real_text(), real_text()};
        if (gen() % 10 == 0) items[0] = "+" + items[0];
        if (gen() % 10 == 0) items[1] = "00" + items[1];
        text += pick({"", " ", "\t", "  "});
        for (int k = 0; k < 4; ++k) {
          text += items[k];
          if (k < 3) text += gen() % 12 == 0 ? "\n" : pick({" ", "  ", "\t", ", ", " ,", ",", " , "});
        }
        text += pick({"\n", "\n", "\n", "\r\n", " \n", " trailing words\n", ",x\n", "/\n", "\t\r\n"});
        double re, im;
        EXPECT_EQ(geneig::parse_real(items[2], re), geneig::NumberStatus::ok) << items[2];
        EXPECT_EQ(geneig::parse_real(items[3], im), geneig::NumberStatus::ok) << items[3];
        (m == 0 ? A : B).push_back({re, im});
      }
  }
  const auto bits = [](const std::vector<cplx>& v) {
    std::vector<std::uint64_t> b;
    for (const cplx& z : v)
      for (const double d : {z.real(), z.imag()}) {
        std::uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        b.push_back(u);
      }
    return b;
  };
  for (const std::size_t chunk : {SIZE_MAX, std::size_t{1}}) {
    int N;
    double X;
    geneig::ReadReport r;
    ASSERT_EQ(read_text(text, chunk, N, X, r), ReadStatus::ok) << r.message();
    EXPECT_EQ(N, n);
    EXPECT_EQ(bits(rows_of(g_A, n)), bits(A)) << "chunk " << chunk;
    EXPECT_EQ(bits(rows_of(g_B, n)), bits(B)) << "chunk " << chunk;
  }
}

// The mismatch keeps the six items it reports.
TEST(ReadMatricesMismatch, KeepsTheItemsRead) {
  int N;
  double X;
  geneig::ReadReport r;
  ASSERT_EQ(read_text(with_a12("1 3 1.5 -2.5"), SIZE_MAX, N, X, r), ReadStatus::mismatch);
  EXPECT_EQ(r.line, 4);
  EXPECT_EQ(r.expected_row, 1);
  EXPECT_EQ(r.expected_col, 2);
  EXPECT_EQ(r.row_read, 1);
  EXPECT_EQ(r.col_read, 3);
  EXPECT_EQ(r.value_read, cplx(1.5, -2.5));
}

// Items and lines far longer than the buffer.
TEST(ReadMatricesLong, TenMegabyteLinesOfBlanksAndLongItems) {
  const std::string blanks(10'000'000, ' ');
  const std::string zeros(60'000, '0');
  const std::string text = "2 0.5" + blanks + "\n" + blanks + "\nMatrix A" + blanks + "\n" +
                           "1 1 3.0 0." + zeros + "1\n1 2 1." + zeros + "1 -1\n" + blanks +
                           "2 1 1 1\n2 2 1 0\nB\n" + kB2Lines;
  int N;
  double X;
  geneig::ReadReport r;
  ASSERT_EQ(read_text(text, SIZE_MAX, N, X, r), ReadStatus::ok) << r.message();
  EXPECT_EQ(rows_of(g_A, 2), kA2);
  EXPECT_EQ(rows_of(g_B, 2), kB2);
}

TEST(ReadMatricesLong, ItemLongerThanTheBufferIsRefused) {
  const std::string text = "2 0.5\nA\n1 1 3 " + std::string(geneig::kMaxItemChars + 1, '1');
  int N;
  double X;
  geneig::ReadReport r;
  ASSERT_EQ(read_text(text, SIZE_MAX, N, X, r), ReadStatus::malformed);
  EXPECT_EQ(r.message(),
            "matrix.in:3: expected the imaginary part of A(1,1) (a real number), found an item "
            "longer than 65536 characters");
  // The longest item that fits is read.
  const std::string fits = "2 0.5\nA\n1 1 3 " + std::string(geneig::kMaxItemChars, '0');
  ASSERT_EQ(read_text(fits, SIZE_MAX, N, X, r), ReadStatus::early_end) << r.message();
}

// A source that fails after some bytes, as a disk does.
class FailingSource final : public geneig::ByteSource {
 public:
  explicit FailingSource(std::string_view text) : text_(text) {}
  std::ptrdiff_t read(char* dst, std::size_t cap) override {
    if (text_.empty()) return -1;
    const std::size_t n = std::min(cap, text_.size());
    std::memcpy(dst, text_.data(), n);
    text_.remove_prefix(n);
    return static_cast<std::ptrdiff_t>(n);
  }
  int error() const override { return EIO; }

 private:
  std::string_view text_;
};

TEST(ReadMatricesFailures, ReadErrorIsReported) {
  for (const std::string& text : {std::string("2 0.5\nA\n1 1 3"), std::string("2 0.5\n"),
                                  std::string("2 0.5 and the rest of the line")}) {
    FailingSource source(text);
    int N;
    double X;
    geneig::ReadReport r;
    EXPECT_EQ(geneig::read_matrices(source, "m.in", g_A, g_B, N, X, r), ReadStatus::read_error);
    EXPECT_NE(r.message().find("cannot read: "), std::string_view::npos) << r.message();
    EXPECT_EQ(r.message().substr(0, 5), "m.in:") << r.message();
  }
}

// ---------------------------------------------------------------------------
// Files by name.

using ReadMatrixFile = ScratchDir;

TEST_F(ReadMatrixFile, NameIsTheFieldWithoutTrailingBlanks) {
  put(path("matrix.in"), kPlain);
  const std::string field = path("matrix.in") + std::string(40, ' ');
  int N;
  double X;
  geneig::ReadReport r;
  ASSERT_EQ(geneig::read_matrix_file(field, g_A, g_B, N, X, r), ReadStatus::ok) << r.message();
  EXPECT_EQ(rows_of(g_B, 2), kB2);
}

TEST_F(ReadMatrixFile, MissingFileOrDirectory) {
  int N;
  double X;
  geneig::ReadReport r;
  EXPECT_EQ(geneig::read_matrix_file(path("none.in"), g_A, g_B, N, X, r),
            ReadStatus::cannot_open);
  EXPECT_EQ(r.message(), path("none.in") + ": cannot open: No such file or directory");
  EXPECT_EQ(geneig::read_matrix_file(dir_.string() + "   ", g_A, g_B, N, X, r),
            ReadStatus::read_error);
  EXPECT_EQ(r.message(), dir_.string() + ":1: cannot read: Is a directory");
  EXPECT_EQ(geneig::read_matrix_file(std::string(80, ' '), g_A, g_B, N, X, r),
            ReadStatus::cannot_open);
  EXPECT_EQ(r.message(), ": cannot open: not a file name");
}

// ---------------------------------------------------------------------------
// Writing.

// Collects the pieces of a text.
class StringSink final : public geneig::TextSink {
 public:
  bool put(std::string_view piece) override {
    text.append(piece);
    pieces.push_back(piece.size());
    return true;
  }
  std::string text;
  std::vector<std::size_t> pieces;
};

// The whole text of a result file.
std::string formatted(const double* E, const cplx* V, int N) {
  StringSink sink;
  EXPECT_TRUE(geneig::format_result(E, V, N, sink));
  return sink.text;
}

// Records in order, the component index outermost; negative zero signed.
TEST(FormatResult, RecordsInOrder) {
  const geneig::ColMajor<cplx> v(g_V, NMAX);
  g_E[0] = 3.7320508075688772;
  g_E[1] = -0.0;
  v(1, 1) = {0.5, -0.0};
  v(1, 2) = {1e-300, 2};
  v(2, 1) = {-1.5, 1e21};
  v(2, 2) = {0.1, -123456.75};
  EXPECT_EQ(formatted(g_E, g_V, 2),
            "2\nEigen values\n1 3.732050807568877\n2 -0\nEigen vectors\n"
            "1 1 0.5 -0\n1 2 1e-300 2\n2 1 -1.5 1e+21\n2 2 0.1 -123456.75\n");
  EXPECT_EQ(formatted(g_E, g_V, 0), "0\nEigen values\nEigen vectors\n");
  EXPECT_EQ(formatted(g_E, g_V, -5), "-5\nEigen values\nEigen vectors\n");
}

// The longest possible file, every real of 24 characters, comes whole.
TEST(FormatResult, LongestFileFits) {
  const double widest = -2.2250738585072014e-308;
  std::fill(g_E, g_E + NMAX, widest);
  std::fill(std::begin(g_V), std::end(g_V), cplx(widest, widest));
  const std::string text = formatted(g_E, g_V, NMAX);
  const std::size_t value_line = 3 + 1 + 24 + 1, vector_line = 2 * (3 + 1) + 2 * (24 + 1);
  const std::size_t shortest_indices = 9 * 2 + 90 * 1;  // digits saved by indices 1..99
  EXPECT_EQ(text.size(), 4 + 13 + 14 + NMAX * value_line + NMAX * NMAX * vector_line -
                             shortest_indices - shortest_indices * 2 * NMAX);
}

// Doubles of every magnitude and kind, from random bits with the special
// values written into the first elements of E and V.
void fill_with_any_doubles(std::uint64_t seed) {
  std::mt19937_64 bits(seed);
  const auto any_double = [&] { return geneig::test::any_finite(bits); };
  for (double& e : g_E) e = any_double();
  for (cplx& v : g_V) v = {any_double(), any_double()};
  const double special[] = {0.0, -0.0, 1.0, -1.0, 1e21, 1e22, 0x1p53, 0x1p60, 5e-324,
                            2.2250738585072014e-308, 1.7976931348623157e308, 1e-5, 1.5e-5};
  for (std::size_t k = 0; k < std::size(special); ++k) {
    g_E[k] = special[k];
    g_V[k] = {special[k], -special[k]};
  }
}

// The text is exactly what converting each item on its own gives, record by
// record (std::to_chars: the shortest form that reads back as the same
// double, bit for bit), and it comes in whole records, no piece longer than
// the buffer.
TEST(FormatResult, SameTextAsItemByItemConversion) {
  fill_with_any_doubles(77);
  const int N = NMAX;
  std::string expected;
  char item[64];
  const auto add = [&](auto value, char after) {
    expected.append(item, std::to_chars(item, item + sizeof item, value).ptr);
    expected.push_back(after);
  };
  add(N, '\n');
  expected += "Eigen values\n";
  for (int i = 1; i <= N; ++i) {
    add(i, ' ');
    add(g_E[i - 1], '\n');
  }
  expected += "Eigen vectors\n";
  const geneig::ColMajor<const cplx> v(g_V, NMAX);
  for (int i = 1; i <= N; ++i)
    for (int j = 1; j <= N; ++j) {
      add(i, ' ');
      add(j, ' ');
      add(v(i, j).real(), ' ');
      add(v(i, j).imag(), '\n');
    }
  StringSink sink;
  ASSERT_TRUE(geneig::format_result(g_E, g_V, N, sink));
  EXPECT_TRUE(sink.text == expected);  // not printed: megabytes
  ASSERT_GT(sink.pieces.size(), 1u);
  std::size_t at = 0;
  for (const std::size_t n : sink.pieces) {
    EXPECT_LE(n, geneig::kResultPieceBytes);
    at += n;
    EXPECT_EQ(sink.text[at - 1], '\n') << "piece ending at " << at;
  }
}

// A sink that takes the first piece and refuses the next.
class RefusingSink final : public geneig::TextSink {
 public:
  bool put(std::string_view) override { return ++calls == 1; }
  int calls = 0;
};

TEST(FormatResult, StopsWhenTheSinkRefuses) {
  fill_with_any_doubles(78);
  RefusingSink sink;
  EXPECT_FALSE(geneig::format_result(g_E, g_V, NMAX, sink));
  EXPECT_EQ(sink.calls, 2);
}

using WriteResultFile = ScratchDir;

TEST_F(WriteResultFile, ReplacesALongerFileWhole) {
  std::string old;
  for (int k = 0; k < 1000; ++k) old += "old line " + std::to_string(k) + "\n";
  put(path("matrix.out"), old);
  g_E[0] = 1;
  g_E[1] = 2;
  geneig::WriteReport r;
  ASSERT_TRUE(geneig::write_result_file(path("matrix.out") + "      ", g_E, g_V, 2, r))
      << r.message();
  EXPECT_EQ(slurp(path("matrix.out")), formatted(g_E, g_V, 2));
  EXPECT_EQ(listing(), std::vector<std::string>{"matrix.out"});
}

TEST_F(WriteResultFile, TargetIsADirectory) {
  fs::create_directory(path("matrix.out"));
  put(path("matrix.out") + "/inside", "kept");
  geneig::WriteReport r;
  EXPECT_FALSE(geneig::write_result_file(path("matrix.out"), g_E, g_V, 2, r));
  EXPECT_EQ(r.message(), path("matrix.out") + ": cannot replace it by " + path("matrix.out") +
                             ".tmp: Is a directory");
  EXPECT_EQ(slurp(path("matrix.out") + "/inside"), "kept");
  EXPECT_EQ(listing(), std::vector<std::string>{"matrix.out"});
}

TEST_F(WriteResultFile, MissingDirectoryOrBadOrder) {
  geneig::WriteReport r;
  EXPECT_FALSE(geneig::write_result_file(path("none/matrix.out"), g_E, g_V, 2, r));
  EXPECT_EQ(r.message(), path("none/matrix.out") +
                             ": cannot create a temporary file beside it: No such file or "
                             "directory");
  EXPECT_FALSE(geneig::write_result_file(path("matrix.out"), g_E, g_V, NMAX + 1, r));
  EXPECT_EQ(r.message(), path("matrix.out") + ": cannot write: the order N = 201 is above the "
                                              "limit 200");
  EXPECT_TRUE(listing().empty());
}

// ---------------------------------------------------------------------------
// Reading back what the writers write: the matrix input file and the result
// file, for finite doubles of every kind (random bit patterns: subnormals,
// signed zeros, the extremes), to the bit.

using WrittenFilesReadBack = ScratchDir;

TEST_F(WrittenFilesReadBack, SameBits) {
  std::mt19937_64 bits(21);
  const auto finite = [&bits] {
    for (;;) {
      const std::uint64_t u = bits();
      double d;
      std::memcpy(&d, &u, sizeof d);
      if (std::isfinite(d)) return d;
    }
  };
  static cplx A[NMAX * NMAX], B[NMAX * NMAX], V[NMAX * NMAX];
  static double E[NMAX];
  for (const int n : {0, 1, 7, NMAX}) {
    SCOPED_TRACE(n);
    for (int k = 0; k < n * NMAX; ++k) {
      A[k] = {finite(), finite()};
      B[k] = {finite(), -0.0};
      V[k] = {finite(), finite()};
    }
    for (int k = 0; k < n; ++k) E[k] = finite();
    geneig::WriteReport w;
    ASSERT_TRUE(geneig::write_input_file(path("m.in"), A, B, n, -0.5, w)) << w.message();
    ASSERT_TRUE(geneig::write_result_file(path("m.out"), E, V, n, w)) << w.message();
    int N = -1;
    double X = 0;
    geneig::ReadReport r;
    ASSERT_EQ(geneig::read_matrix_file(path("m.in"), g_A, g_B, N, X, r), ReadStatus::ok)
        << r.message();
    EXPECT_EQ(N, n);
    EXPECT_EQ(X, -0.5);
    for (int j = 0; j < n; ++j)
      EXPECT_EQ(std::memcmp(g_A + j * NMAX, A + j * NMAX, n * sizeof(cplx)), 0);
    for (int j = 0; j < n; ++j)
      EXPECT_EQ(std::memcmp(g_B + j * NMAX, B + j * NMAX, n * sizeof(cplx)), 0);
    ASSERT_EQ(geneig::read_result_file(path("m.out"), g_E, g_V, N, r), ReadStatus::ok)
        << r.message();
    EXPECT_EQ(N, n);
    EXPECT_EQ(std::memcmp(g_E, E, n * sizeof(double)), 0);
    for (int j = 0; j < n; ++j)
      EXPECT_EQ(std::memcmp(g_V + j * NMAX, V + j * NMAX, n * sizeof(cplx)), 0);
  }
}

}  // namespace
