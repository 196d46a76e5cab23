// mtxcnv: the real pencil (A, B) reduced to R = D^(-1/2) L^(-T) A L^(-1) D^(-1/2).
#include "mtxcnv.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "eigcab.hpp"
#include "oracle.hpp"
#include "test_support.hpp"

namespace {

using geneig::mtxcnv;
using geneig::NMAX;
using namespace geneig::oracle;

// Values no result of mtxcnv can take by chance: they mark storage that
// must come back untouched.
constexpr double kUnwritten = -7777.25;
constexpr int kPresetIll = 7;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr char kInvalidText[] = " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =";
constexpr char kNotPositiveLine[] = " (SUBR EIGAB) MATRIX B IS NOT POSITIVE DEFINITE.\n";

// The bit patterns of a matrix's whole buffer, so that NaNs and signed
// zeros compare exactly.
std::vector<std::uint64_t> bits(const DMatrix& m) {
  std::vector<std::uint64_t> b;
  for (const double x : m.a) b.push_back(std::bit_cast<std::uint64_t>(x));
  return b;
}

// One call of mtxcnv on copies of A and B, with D prefilled with kUnwritten,
// ILL preset, and standard output captured.
struct Call {
  DMatrix A, B;
  std::vector<double> D;
  int ILL = kPresetIll;
  std::string out;
};

Call call_mtxcnv(const DMatrix& A, const DMatrix& B, int N, int N1) {
  Call c;
  c.A = A;
  c.B = B;
  c.D.assign(std::max(N, 1), kUnwritten);
  testing::internal::CaptureStdout();
  mtxcnv(c.A.data(), c.B.data(), N, N1, c.D.data(), c.ILL);
  c.out = testing::internal::GetCapturedStdout();
  return c;
}

// m in an N1 x N1 buffer whose rows below m.rows hold kUnwritten, so that a
// write outside the leading block shows.
DMatrix padded(const DMatrix& m, int N1) {
  DMatrix p = embed(m, N1);
  for (int j = 1; j <= N1; ++j)
    for (int i = m.rows + 1; i <= N1; ++i) p(i, j) = kUnwritten;
  return p;
}

void expect_padding_untouched(const DMatrix& m, int N) {
  for (int j = 1; j <= m.ld; ++j)
    for (int i = N + 1; i <= m.ld; ++i) ASSERT_EQ(m(i, j), kUnwritten) << "(" << i << ", " << j << ")";
}

// ---- Invalid arguments -----------------------------------------------------

struct InvalidCase {
  int N, N1;
  const char* fields;  // the two 5-character fields that end the line
};

void PrintTo(const InvalidCase& c, std::ostream* os) { *os << "N = " << c.N << ", N1 = " << c.N1; }

class MtxcnvInvalidArgument : public testing::TestWithParam<InvalidCase> {};

TEST_P(MtxcnvInvalidArgument, WritesLineSetsTwoTouchesNothing) {
  const auto& [N, N1, fields] = GetParam();
  Rng rng(kSeed);
  const DMatrix A = random_symmetric(4, rng), B = random_spd(4, rng);
  const Call c = call_mtxcnv(A, B, N, N1);
  EXPECT_EQ(c.out, std::string(kInvalidText) + fields + "\n");
  EXPECT_EQ(c.ILL, GENEIG_ILL_INVALID_ARGUMENT);
  EXPECT_EQ(bits(c.A), bits(A));
  EXPECT_EQ(bits(c.B), bits(B));
  EXPECT_EQ(c.D, std::vector<double>(c.D.size(), kUnwritten));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MtxcnvInvalidArgument,
    testing::Values(InvalidCase{0, 200, "    0  200"},       // N = 0
                    InvalidCase{-3, 4, "   -3    4"},        // N < 0
                    InvalidCase{5, 3, "    5    3"},         // N > N1
                    InvalidCase{3, 0, "    3    0"},         // N1 = 0
                    InvalidCase{2, -4, "    2   -4"},        // N1 < 0
                    InvalidCase{-1234, 10, "-1234   10"},    // five characters fit
                    InvalidCase{99999, 4, "99999    4"},     // so do five digits
                    InvalidCase{123456, 200, "*****  200"},  // six digits do not
                    InvalidCase{-12345, 5, "*****    5"},    // nor a sign and five digits
                    InvalidCase{1, -100000, "    1*****"}),
    [](const testing::TestParamInfo<InvalidCase>& info) {
      using geneig::test::name_of;
      std::string name = "N";
      return name.append(name_of(info.param.N)).append("_N1_").append(name_of(info.param.N1));
    });

// ---- Pivots that are not positive ------------------------------------------

// B is the identity of order N except in rows k and k+1:
//     B(k, k) = b,  B(k+1, k) = c,  B(k+1, k+1) = 4,  B(k+1, j) = 1 (j < k),
// so row k+1 factors first (D(k+1) = 4, L(k+1, k) = c/4, L(k+1, j) = 1/4,
// B(k+1, k+1) = 1/2) and the pivot of row k is b - c^2/4. Rows 1..k also
// hold 0.5 left of the diagonal, which the failed step must leave alone.
struct PivotCase {
  const char* name;
  int N, k;
  double b, c;
};

void PrintTo(const PivotCase& p, std::ostream* os) {
  *os << "N = " << p.N << ", k = " << p.k << ", b = " << p.b << ", c = " << p.c;
}

DMatrix pivot_failure_matrix(const PivotCase& p) {
  DMatrix B(p.N, p.N);
  for (int i = 1; i <= p.N; ++i) {
    B(i, i) = 1.0;
    for (int j = 1; j < i && i <= p.k; ++j) B(i, j) = B(j, i) = 0.5;
  }
  B(p.k, p.k) = p.b;
  if (p.k < p.N) {
    B(p.k + 1, p.k + 1) = 4.0;
    B(p.k + 1, p.k) = B(p.k, p.k + 1) = p.c;
    for (int j = 1; j < p.k; ++j) B(p.k + 1, j) = B(j, p.k + 1) = 1.0;
  }
  return B;
}

class MtxcnvPivotFailure : public testing::TestWithParam<PivotCase> {};

TEST_P(MtxcnvPivotFailure, StopsAtFirstPivotLeavingAUntouched) {
  const auto& [name, N, k, b, c] = GetParam();
  const int N1 = N + 2;
  Rng rng(kSeed);
  const DMatrix A = padded(random_symmetric(N, rng), N1);
  const DMatrix B = padded(pivot_failure_matrix(GetParam()), N1);
  const Call r = call_mtxcnv(A, B, N, N1);

  EXPECT_EQ(r.out, kNotPositiveLine);
  EXPECT_EQ(r.ILL, GENEIG_ILL_NOT_POSITIVE_DEFINITE);
  EXPECT_EQ(bits(r.A), bits(A));
  // Rows k+1..N factored, row k and those above as given.
  DMatrix expected = B;
  if (k < N) {
    expected(k + 1, k + 1) = 0.5;
    expected(k + 1, k) = c / 4.0;
    for (int j = 1; j < k; ++j) expected(k + 1, j) = 0.25;
  }
  EXPECT_EQ(bits(r.B), bits(expected));
  for (int i = 1; i <= N; ++i) {
    const double d = i <= k ? kUnwritten : i == k + 1 ? 4.0 : 1.0;
    EXPECT_EQ(r.D[i - 1], d) << "D(" << i << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MtxcnvPivotFailure,
    testing::Values(PivotCase{"ZeroOnDiagonal", 6, 3, 0.0, 0.0},
                    PivotCase{"NegativeOnDiagonal", 6, 3, -2.0, 0.0},
                    PivotCase{"BecomesExactlyZero", 6, 3, 4.0, 4.0},  // 4 - 4^2/4
                    PivotCase{"BecomesNegative", 6, 3, 3.0, 4.0},     // 3 - 4^2/4
                    PivotCase{"FirstPivotLastRow", 6, 6, -1.0, 0.0},
                    PivotCase{"LastPivotFirstRow", 6, 1, 3.0, 4.0},
                    PivotCase{"OrderOneZero", 1, 1, 0.0, 0.0},
                    PivotCase{"OrderOneNegative", 1, 1, -1.0, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

// A pivot that is not a number passes the test "not positive" and runs on.
TEST(MtxcnvPivot, NaNPivotIsNotReportedAndPropagates) {
  DMatrix A(2, 2), B(2, 2);
  A(1, 1) = A(2, 2) = 1.0;
  B(1, 1) = kNaN;
  B(2, 2) = 1.0;
  const Call r = call_mtxcnv(A, B, 2, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.ILL, kPresetIll);
  EXPECT_TRUE(std::isnan(r.D[0]));
  EXPECT_TRUE(std::isnan(r.A(1, 1)));
  EXPECT_EQ(r.A(2, 2), 1.0);
}

// ---- Exact results ---------------------------------------------------------

// The reciprocal root is formed as sqrt(1/D(k)), one rounding of the
// quotient and one of the root; 1/sqrt(D(k)) differs in the last bit for
// D(k) = 3 (and 6), and results must not depend on the compiler's choice.
TEST(MtxcnvExact, ReciprocalRootIsRootOfReciprocal) {
  for (const double d : {3.0, 6.0}) {
    DMatrix A(1, 1), B(1, 1);
    B(1, 1) = d;
    const Call r = call_mtxcnv(A, B, 1, 1);
    EXPECT_EQ(r.B(1, 1), std::sqrt(1.0 / d)) << "D = " << d;
  }
}

// Order 1 is reduced like any other: D(1) = B(1, 1), B(1, 1) = 1/sqrt(D(1)),
// A(1, 1) = A(1, 1)/D(1).
TEST(MtxcnvExact, OrderOneIsReduced) {
  DMatrix A(1, 1), B(1, 1);
  A(1, 1) = 6.0;
  B(1, 1) = 4.0;
  const Call r = call_mtxcnv(padded(A, 3), padded(B, 3), 1, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.ILL, kPresetIll);
  EXPECT_EQ(r.D[0], 4.0);
  EXPECT_EQ(r.B(1, 1), 0.5);
  EXPECT_EQ(r.A(1, 1), 1.5);
  expect_padding_untouched(r.A, 1);
  expect_padding_untouched(r.B, 1);
}

// With B = I every pivot and multiplier is exact: A's lower triangle comes
// back bit for bit and is mirrored into the upper one, whatever stood there.
TEST(MtxcnvExact, IdentityBLeavesLowerTriangleAndMirrorsIt) {
  for (const int N : {2, 3, 7}) {
    Rng rng(kSeed);
    DMatrix A = random_symmetric(N, rng);
    const DMatrix B = padded(random_symmetric(N, rng), N + 1);  // upper ignored
    DMatrix Bi = B;
    for (int j = 1; j <= N; ++j)
      for (int i = j; i <= N; ++i) Bi(i, j) = i == j ? 1.0 : 0.0;
    for (int j = 2; j <= N; ++j)
      for (int i = 1; i < j; ++i) A(i, j) = kNaN;
    const Call r = call_mtxcnv(padded(A, N + 1), Bi, N, N + 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.D, std::vector<double>(N, 1.0));
    EXPECT_EQ(bits(r.B), bits(Bi));
    for (int j = 1; j <= N; ++j)
      for (int i = j; i <= N; ++i) {
        ASSERT_EQ(r.A(i, j), A(i, j)) << "N = " << N << ", (" << i << ", " << j << ")";
        ASSERT_EQ(r.A(j, i), A(i, j)) << "N = " << N << ", (" << j << ", " << i << ")";
      }
  }
}

// NaNs in the upper triangles of A and B would spread into every result
// that read them; the results must equal those from symmetric input, and
// B's upper triangle must keep its NaNs.
TEST(MtxcnvExact, UpperTrianglesOnInputChangeNothing) {
  const int N = 7, N1 = 9;
  Rng rng(kSeed);
  const DMatrix A = padded(random_symmetric(N, rng), N1), B = padded(random_spd(N, rng), N1);
  DMatrix Au = A, Bu = B;
  for (int j = 2; j <= N; ++j)
    for (int i = 1; i < j; ++i) Au(i, j) = Bu(i, j) = kNaN;

  const Call sym = call_mtxcnv(A, B, N, N1), upper = call_mtxcnv(Au, Bu, N, N1);
  EXPECT_EQ(upper.out, "");
  EXPECT_EQ(bits(upper.A), bits(sym.A));
  EXPECT_EQ(upper.D, sym.D);
  for (int j = 1; j <= N; ++j)
    for (int i = 1; i <= N; ++i) {
      const double expected = i >= j ? sym.B(i, j) : kNaN;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(upper.B(i, j)), std::bit_cast<std::uint64_t>(expected))
          << "B(" << i << ", " << j << ")";
    }
}

// ---- Random pencils against reference LAPACK -------------------------------

class MtxcnvRandomPencil : public testing::TestWithParam<int> {};

// The reduced matrix has the pencil's eigenvalues:
//     max |lambda(R) - lambda(A, B)| <= 100 N eps max |lambda(A, B)|,
// and the factors reproduce B: |L^T D L - B|_1 <= 30 N eps |B|_1, with
// 1/sqrt(D(k)) on the diagonal to within the rounding of the root.
TEST_P(MtxcnvRandomPencil, ReducedMatrixHasThePencilsEigenvalues) {
  const int N = GetParam(), N1 = NMAX;
  Rng rng(kSeed + N);
  const DMatrix A = random_symmetric(N, rng), B = random_spd(N, rng);
  const Call r = call_mtxcnv(padded(A, N1), padded(B, N1), N, N1);
  ASSERT_EQ(r.out, "");
  ASSERT_EQ(r.ILL, kPresetIll);
  expect_padding_untouched(r.A, N);
  expect_padding_untouched(r.B, N);

  DMatrix R(N, N);
  for (int j = 1; j <= N; ++j)
    for (int i = 1; i <= N; ++i) {
      R(i, j) = r.A(i, j);
      ASSERT_EQ(r.A(i, j), r.A(j, i)) << "R not symmetric at (" << i << ", " << j << ")";
    }
  const DEigen reduced = dsyev(R), pencil = dsygv(A, B);
  ASSERT_EQ(reduced.info, 0);
  ASSERT_EQ(pencil.info, 0);
  EXPECT_LE(eigenvalue_ratio(reduced.values, pencil.values), 100.0);

  const auto L = [&](int i, int j) { return i == j ? 1.0 : i > j ? r.B(i, j) : 0.0; };
  DMatrix defect(N, N);
  for (int j = 1; j <= N; ++j) {
    EXPECT_NEAR(r.B(j, j) * r.B(j, j) * r.D[j - 1], 1.0, 4 * kEps) << "k = " << j;
    for (int i = 1; i <= N; ++i) {
      double s = 0.0;
      for (int k = std::max(i, j); k <= N; ++k) s += L(k, i) * r.D[k - 1] * L(k, j);
      defect(i, j) = s - B(i, j);
    }
  }
  EXPECT_LE(norm1(to_complex(defect)), 30 * N * kEps * norm1(to_complex(B)));
}

INSTANTIATE_TEST_SUITE_P(Orders, MtxcnvRandomPencil, testing::Values(2, 5, 50, 200),
                         testing::PrintToStringParamName());

// ---- No shared state ---------------------------------------------------------

// Two calls running at once on different arrays give, bit for bit, what
// the same calls give one after the other.
TEST(MtxcnvConcurrency, TwoThreadsMatchSequentialCalls) {
  const int N = 120, N1 = NMAX;
  struct Job {
    DMatrix A, B;
    std::vector<double> D = std::vector<double>(NMAX);
    int ILL = kPresetIll;
    void run() { mtxcnv(A.data(), B.data(), A.rows, A.ld, D.data(), ILL); }
  };
  Rng rng(kSeed);
  std::vector<Job> inputs;
  for (int t = 0; t < 2; ++t) {
    const DMatrix A = random_symmetric(N, rng), B = random_spd(N, rng);
    inputs.push_back({embed(A, N1), embed(B, N1)});
  }
  std::vector<Job> sequential = inputs;
  for (Job& job : sequential) job.run();

  for (int round = 0; round < 4; ++round) {
    std::vector<Job> parallel = inputs;
    std::thread other([&] { parallel[1].run(); });
    parallel[0].run();
    other.join();
    for (int t = 0; t < 2; ++t) {
      EXPECT_EQ(bits(parallel[t].A), bits(sequential[t].A)) << "round " << round << ", job " << t;
      EXPECT_EQ(bits(parallel[t].B), bits(sequential[t].B)) << "round " << round << ", job " << t;
      EXPECT_EQ(parallel[t].D, sequential[t].D);
      EXPECT_EQ(parallel[t].ILL, kPresetIll);
    }
  }
}

}  // namespace
