// What the reader says beside what it reads: the warnings about an input that
// reads but is likely not what its writer meant, and the line on standard
// error that explains an element out of order. Neither changes what is read.
#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <vector>

#include "eigcab.hpp"
#include "read_matrices.hpp"
#include "run_program.hpp"

namespace {

using cplx = std::complex<double>;
using geneig::NMAX;
using geneig::ReadStatus;

cplx g_A[NMAX * NMAX], g_B[NMAX * NMAX];

const std::string kB = "Matrix B\n1 1 2 0\n1 2 0.5 0.25\n2 1 0.5 -0.25\n2 2 4 0\n";

// An order-2 file whose A has the element lines given.
std::string with_a(const std::string& a_lines) { return "2 0.5\nMatrix A\n" + a_lines + kB; }

struct WarningCase {
  std::string name;
  std::string text;
  std::vector<std::string> warnings;  // exactly, in order
  std::string companion = "";         // the line beside a mismatch
};

void PrintTo(const WarningCase& c, std::ostream* os) { *os << c.name; }

const std::string kW = "matrix.in:";

const std::vector<WarningCase> kCases{
    {"ExactlyHermitian", with_a("1 1 3 0\n1 2 0.5 -0.25\n2 1 0.5 0.25\n2 2 1 0\n"), {}},
    {"TrailingCommentIsSilent",
     with_a("1 1 3 0 ! diagonal\n1 2 0.5 -0.25 upper\n2 1 0.5 0.25, (lower)\n2 2 1 0\n"), {}},
    {"RoundOffIsSilent",
     with_a("1 1 3 1e-16\n1 2 0.5 -0.25000000000000006\n2 1 0.5 0.25\n2 2 1 0\n"), {}},
    {"DecimalCommas",
     with_a("1 1 3,5 0,0\n1 2 1,0 -1,0\n2 1 1,0 1,0\n2 2 1 0 ! diagonal\n"),
     {kW + "3: warning: the record of A(1,1) goes on after its fourth item with \"0,0\": a "
           "decimal comma, or a second record on one line? The rest of the line is skipped (2 "
           "more records of A like it)",
      kW + "3: warning: A(1,1) = (3, 5) has an imaginary part, the largest on the diagonal of A, "
           "where a Hermitian matrix is real; the imaginary parts of the diagonal of A are "
           "ignored"}},
    {"NumberAfterACommaAndOnTheNextLineOfASplitRecord",
     with_a("1 1 3 0, -1.5\n1 2\n0.5 -0.25 .5\n2 1 0.5 0.25\n2 2 1 0\n"),
     {kW + "3: warning: the record of A(1,1) goes on after its fourth item with \"-1.5\": a "
           "decimal comma, or a second record on one line? The rest of the line is skipped (1 "
           "more record of A like it)"}},
    {"NotHermitianLargestDifferenceNamed",
     "3 0\nA\n1 1 1 0\n1 2 2 0\n1 3 3 0.5\n2 1 2 0\n2 2 1 0\n2 3 5 0\n3 1 3 0.25\n3 2 5 1e-9\n"
     "3 3 1 0\n" + std::string("B\n1 1 1 0\n1 2 0 0\n1 3 0 0\n2 1 0 0\n2 2 1 0\n2 3 0 0\n") +
         "3 1 0 0\n3 2 0 0\n3 3 1 0\n",
     {kW + "5: warning: A is not Hermitian: A(1,3) = (3, 0.5) is not the conjugate of A(3,1) = "
           "(3, 0.25) on line 9, the largest such difference; the lower triangle is used"}},
    {"ImaginaryDiagonalOfBEntersThePivots",
     "2 0.5\nMatrix A\n1 1 3 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\n"
     "Matrix B\n1 1 2 0.001\n1 2 0 0\n2 1 0 0\n2 2 4 -0.25\n",
     {kW + "11: warning: B(2,2) = (4, -0.25) has an imaginary part, the largest on the diagonal "
           "of B, where a Hermitian matrix is real; the imaginary parts of the diagonal of B "
           "enter the pivots of its factorization"}},
    {"UpperOfBNotTheConjugate",
     "2 0.5\nMatrix A\n1 1 3 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\n"
     "Matrix B\n1 1 2 0\n1 2 0.5 0.25\n2 1 0.5 0.25\n2 2 4 0\n",
     {kW + "9: warning: B is not Hermitian: B(1,2) = (0.5, 0.25) is not the conjugate of B(2,1) "
           "= (0.5, 0.25) on line 10, the largest such difference; the lower triangle is used"}},
    {"Utf8ByteOrderMarkIsSkipped",
     "\xEF\xBB\xBF" + with_a("1 1 3 0\n1 2 0.5 -0.25\n2 1 0.5 0.25\n2 2 1 0\n"), {}},
    {"ColumnMajor", with_a("1 1 3 0\n2 1 0.5 0.25\n1 2 0.5 -0.25\n2 2 1 0\n"), {},
     kW + "4: expected A(1,2), found A(2,1): elements go row by row, the column index running "
          "fastest; column-major order?"},
    {"LowerTriangleOnly", with_a("1 1 3 0\n2 1 0.5 0.25\n2 2 1 0\n"), {},
     kW + "4: expected A(1,2), found A(2,1): elements go row by row, the column index running "
          "fastest; the lower triangle only? Every element of both triangles is needed"},
    {"UpperTriangleOnly", with_a("1 1 3 0\n1 2 0.5 -0.25\n2 2 1 0\n"), {},
     kW + "5: expected A(2,1), found A(2,2): elements go row by row, the column index running "
          "fastest; the upper triangle only? Every element of both triangles is needed"},
    {"ZeroBasedIndices", with_a("0 0 3 0\n"), {},
     kW + "3: expected A(1,1), found A(0,0): elements go row by row, the column index running "
          "fastest; indices start at 1"},
    {"NoHeadings", "2 0.5\n1 1 3 0\n1 2 0.5 -0.25\n", {},
     kW + "3: expected A(1,1), found A(1,2): elements go row by row, the column index running "
          "fastest; the heading of A was taken from line 2: is the heading line missing?"},
    {"ItemMissing", with_a("1 1 3 0\n1 2 0.5\n2 1 0.5 0.25\n2 2 1 0\n"),
     {kW + "5: warning: the record of A(1,2) goes on after its fourth item with \"1 0.5 0.25\": "
           "a decimal comma, or a second record on one line? The rest of the line is skipped"},
     kW + "6: expected A(2,1), found A(2,2): elements go row by row, the column index running "
          "fastest; the record of A(1,2) on line 4 took its last item from line 5: is an item "
          "missing?"},
    {"TwoRecordsOnALine", with_a("1 1 3 0 1 2 0.5 -0.25\n2 1 0.5 0.25\n2 2 1 0\n"),
     {kW + "3: warning: the record of A(1,1) goes on after its fourth item with \"1 2 0.5 "
           "-0.25\": a decimal comma, or a second record on one line? The rest of the line is "
           "skipped"},
     kW + "4: expected A(1,2), found A(2,1): elements go row by row, the column index running "
          "fastest; the line of A(1,1), line 3, goes on with a number: a second record on one "
          "line is never read"},
    {"OutOfOrderInB",
     "2 0.5\nMatrix A\n1 1 3 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\nMatrix B\n1 1 2 0\n2 1 0 0\n", {},
     kW + "9: expected B(1,2), found B(2,1): elements go row by row, the column index running "
          "fastest; column-major order?"},
};

class Warnings : public ::testing::TestWithParam<WarningCase> {};

// The same words whether the text comes whole or a byte at a time.
TEST_P(Warnings, SayExactlyWhatTheyShould) {
  const WarningCase& c = GetParam();
  for (const std::size_t chunk : {SIZE_MAX, std::size_t{1}, std::size_t{5}}) {
    SCOPED_TRACE(chunk);
    geneig::TextSource source(c.text, chunk);
    geneig::ReadReport report;
    int N = 0;
    double X = 0;
    const ReadStatus status = geneig::read_matrices(source, "matrix.in", g_A, g_B, N, X, report);
    EXPECT_EQ(status, c.companion.empty() ? ReadStatus::ok : ReadStatus::mismatch)
        << report.message();
    std::vector<std::string> warnings;
    for (int k = 0; k < report.warning_count; ++k)
      warnings.emplace_back(report.warnings[k].view());
    EXPECT_EQ(warnings, c.warnings);
    EXPECT_EQ(report.companion.view(), c.companion);
  }
}

INSTANTIATE_TEST_SUITE_P(Reader, Warnings, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

using geneig::run::Program;

// The program writes the warnings on standard error and nothing else
// changes: the result is that of the file without the offending text.
TEST_F(Program, WarningsChangeNothingElse) {
  input(with_a("1 1 3 0\n1 2 0.5 -0.25\n2 1 0.5 0.25\n2 2 1 0\n"));
  const geneig::run::Outcome clean = run();
  const std::string expected = result();
  input(with_a("1 1 3 0 7\n1 2 9 9\n2 1 0.5 0.25\n2 2 1 0\n"));
  const geneig::run::Outcome warned = run();
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.err, "");
  EXPECT_EQ(warned.status, 0);
  EXPECT_EQ(warned.out, "");
  EXPECT_EQ(result(), expected);
  EXPECT_EQ(warned.err,
            kW + "3: warning: the record of A(1,1) goes on after its fourth item with \"7\": a "
                 "decimal comma, or a second record on one line? The rest of the line is "
                 "skipped\n" +
                kW + "4: warning: A is not Hermitian: A(1,2) = (9, 9) is not the conjugate of "
                     "A(2,1) = (0.5, 0.25) on line 5, the largest such difference; the lower "
                     "triangle is used\n");
}

// The documented line stays on standard output, to the character; the
// explanation goes beside it on standard error.
TEST_F(Program, MismatchLineKeepsItsStreamAndGainsItsExplanation) {
  input(with_a("1 1 3 0\n2 1 0.5 0.25\n1 2 0.5 -0.25\n2 2 1 0\n"));
  const geneig::run::Outcome o = run();
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "Error: Inconsistent (i,j):  1 2 2 1 0.5 0.25\n");
  EXPECT_EQ(o.err, kW + "4: expected A(1,2), found A(2,1): elements go row by row, the column "
                        "index running fastest; column-major order?\n");
}

// Text in UTF-16 is refused by its name, with or without a byte-order mark.
TEST_F(Program, Utf16IsNamed) {
  const std::string little("\xFF\xFE" "2\0 \0", 6), big("\0" "2\0 ", 4);
  for (const auto& [text, order] : {std::pair{little, "little"}, std::pair{big, "big"}}) {
    input(text);
    const geneig::run::Outcome o = run();
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, kW + "1: expected the order N (an integer), found text in UTF-16 (" +
                         order + "-endian): save the file as ASCII or UTF-8\n");
  }
}

}  // namespace
