// Pencils with an eigenvalue beyond the double range: that one is written as
// the largest finite double of its sign and reported, and the eigenpairs
// within the range come out as they would without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "oracle.hpp"
#include "test_support.hpp"
#include "run_program.hpp"

namespace {

using geneig::test::kEps;
using geneig::oracle::ZMatrix;
using cplx = std::complex<double>;

struct Diagonal {
  std::string name;
  std::vector<double> a, b;      // the diagonals of A and B
  std::vector<double> expected;  // the eigenvalues, largest first
};

const std::vector<Diagonal> kCases{
    {"HugeOverTiny", {1e300, 1}, {1e-300, 1}, {DBL_MAX, 1}},
    {"NegativeHugeOverTiny", {-1e300, 1}, {1e-300, 1}, {1, -DBL_MAX}},
    {"TwoInRange", {1e300, 2, 1}, {1e-300, 1, 1}, {DBL_MAX, 2, 1}},
    {"BothEnds", {1e300, 3, -1e300, 0.5}, {1e-300, 1, 1e-300, 2}, {DBL_MAX, 3, 0.25, -DBL_MAX}},
};

void PrintTo(const Diagonal& c, std::ostream* os) { *os << c.name; }

class OutOfRange : public ::testing::TestWithParam<Diagonal> {};

TEST_P(OutOfRange, SpoilsNoOtherEigenpair) {
  const Diagonal& c = GetParam();
  const int n = static_cast<int>(c.a.size());
  ZMatrix A(n, n), B(n, n);
  for (int k = 1; k <= n; ++k) {
    A(k, k) = c.a[k - 1];
    B(k, k) = c.b[k - 1];
  }
  const auto [E, V, ILL, EPS, out] = geneig::test::solve(A, B);
  EXPECT_EQ(ILL, GENEIG_ILL_OUT_OF_RANGE);
  for (int j = 1; j <= n; ++j) {
    SCOPED_TRACE(j);
    const double want = c.expected[j - 1];
    EXPECT_NEAR(E[j - 1], want, 2 * n * kEps * std::fabs(want));
    // The eigenvector of a diagonal pencil is a unit vector, scaled so that
    // v^H B v = 1: one component of modulus 1/sqrt(b), the others 0.
    // Measured in B's metric: |v_i| sqrt(b_i).
    std::vector<double> w(n);
    for (int i = 1; i <= n; ++i) w[i - 1] = std::abs(V(i, j)) * std::sqrt(c.b[i - 1]);
    const auto largest = std::max_element(w.begin(), w.end());
    EXPECT_NEAR(*largest, 1.0, 2 * n * kEps);
    for (auto it = w.begin(); it != w.end(); ++it) {
      if (it != largest) {
        EXPECT_LE(*it, n * kEps);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Diagonals, OutOfRange, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

using geneig::run::Program;

// The whole program on the same pencil: status 3, the line on standard
// error, the eigenvalue 1 and its eigenvector as they are.
TEST_F(Program, OutOfRangeEigenvalueIsWrittenAsTheLargestDouble) {
  input("2 0\nA\n1 1 1e300 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\nB\n1 1 1e-300 0\n1 2 0 0\n2 1 0 0\n"
        "2 2 1 0\n");
  const geneig::run::Outcome o = run();
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.err,
            "geneig: an eigenvalue of the pencil lies outside the range of double precision; "
            "matrix.out holds the nearest finite double of its sign in its place\n");
  const auto r = geneig::run::records(result());
  ASSERT_EQ(r.size(), 9u);
  EXPECT_EQ(r[2], (std::vector<std::string>{"1", "1.7976931348623157e+308"}));
  EXPECT_EQ(r[3], (std::vector<std::string>{"2", "1"}));
  EXPECT_LE(std::fabs(std::stod(r[6][2])), kEps);
  EXPECT_EQ(r[8], (std::vector<std::string>{"2", "2", "1", "0"}));
}

// Beside the documented warning on standard output, the line that says what
// it means on standard error.
TEST_F(Program, IndefiniteBIsNamedOnStandardError) {
  input("3 0\nA\n1 1 1 0\n1 2 0 0\n1 3 0 0\n2 1 0 0\n2 2 2 0\n2 3 0 0\n3 1 0 0\n3 2 0 0\n"
        "3 3 3 0\nB\n1 1 1 0\n1 2 0 0\n1 3 0 0\n2 1 0 0\n2 2 -1 0\n2 3 0 0\n3 1 0 0\n3 2 0 0\n"
        "3 3 1 0\n");
  const geneig::run::Outcome o = run();
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.out, "\"D\" became imaginary number !!\n");
  EXPECT_EQ(o.err,
            "geneig: B is not positive definite: the pivot of row 2 (the factorization runs "
            "from the last row up) has a negative real part\n");
}

}  // namespace
