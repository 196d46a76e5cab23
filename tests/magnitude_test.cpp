// The whole range of magnitudes: pencils scaled by 10^k for k from -300 to
// 300, A and B independently. Wherever the pencil's eigenvalues are
// representable doubles the solve must be as accurate as for an ordinary
// pencil; where they are not, the solve must say so (ILL = 6).
//
// The oracle forms its test ratios in long double, whose range holds the
// products of such matrices without overflow.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using geneig::test::cplx;
namespace oracle = geneig::oracle;
using geneig::test::Solution;
using geneig::test::solve;

using geneig::test::kEps;
using geneig::test::kRatioLimit;

// The measures of the oracle on a solution's first n vectors.
double residual_ratio(const oracle::ZMatrix& A, const oracle::ZMatrix& B, const Solution& s) {
  return oracle::residual_ratio(A, B, s.E, s.V);
}
double orthonormality_ratio(const oracle::ZMatrix& B, const Solution& s) {
  return oracle::orthonormality_ratio(B, s.V, B.rows);
}

// Finite eigenvectors, and residual and B-orthonormality ratios below 30.
void expect_accurate(const oracle::ZMatrix& A, const oracle::ZMatrix& B, const Solution& s) {
  for (int j = 1; j <= A.rows; ++j)
    for (int i = 1; i <= A.rows; ++i)
      ASSERT_TRUE(std::isfinite(std::abs(s.V(i, j)))) << "V(" << i << "," << j << ")";
  EXPECT_LT(residual_ratio(A, B, s), kRatioLimit);
  EXPECT_LT(orthonormality_ratio(B, s), kRatioLimit);
}

oracle::ZMatrix times(oracle::ZMatrix X, double f) {
  for (cplx& z : X.a) z *= f;
  return X;
}

struct Exponents {
  int a, b;
};

void PrintTo(const Exponents& k, std::ostream* os) {
  *os << "A times 10^" << k.a << ", B times 10^" << k.b;
}

class Magnitudes : public testing::TestWithParam<Exponents> {};

TEST_P(Magnitudes, AccurateWhereRepresentableReportedWhereNot) {
  const Exponents k = GetParam();
  const int n = 8;
  oracle::Rng rng(oracle::kSeed + 17);
  const oracle::ZMatrix A0 = oracle::random_hermitian(n, rng);
  const oracle::ZMatrix B0 = oracle::random_hpd(n, rng);
  const oracle::ZMatrix A = times(A0, std::pow(10.0, k.a));
  const oracle::ZMatrix B = times(B0, std::pow(10.0, k.b));
  const Solution s = solve(A, B);

  const std::vector<double> lambda0 = oracle::zhegv(A0, B0).values;
  bool representable = true;
  for (double l : lambda0) {
    const long double l_scaled = l * std::pow(10.0L, k.a - k.b);
    if (std::fabs(l_scaled) > DBL_MAX / 16 || std::fabs(l_scaled) < DBL_MIN * 16)
      representable = false;
  }
  if (!representable) {
    EXPECT_EQ(s.ILL, GENEIG_ILL_OUT_OF_RANGE);
    return;
  }
  ASSERT_EQ(s.ILL, 0);
  long double lmax = 0;
  for (double l : lambda0) lmax = std::max(lmax, std::fabs(l * std::pow(10.0L, k.a - k.b)));
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(std::isfinite(s.E[i]));
    const long double expect = lambda0[i] * std::pow(10.0L, k.a - k.b);
    EXPECT_LE(std::fabs(s.E[i] - expect), 100 * n * kEps * lmax) << i;
  }
  expect_accurate(A, B, s);
}

std::vector<Exponents> all_pairs() {
  const int ks[] = {-300, -200, -100, -40, 0, 40, 100, 200, 300};
  std::vector<Exponents> v;
  for (int a : ks)
    for (int b : ks) v.push_back({a, b});
  return v;
}

INSTANTIATE_TEST_SUITE_P(TenToThe, Magnitudes, testing::ValuesIn(all_pairs()),
                         [](const testing::TestParamInfo<Exponents>& info) {
                           std::string name;
                           for (const int k : {info.param.a, info.param.b})
                             name.append(name.empty() ? "A" : "_B")
                                 .append(k < 0 ? "m" : "p")
                                 .append(std::to_string(std::abs(k)));
                           return name;
                         });

// The absolute pivot replacement 1e-30 of inverse iteration lies above the
// entries of such a matrix; without scaling its eigenvectors come out wrong.
TEST(Magnitudes, TinyMatrixBelowThePivotReplacement) {
  oracle::ZMatrix A(2, 2), B = oracle::identity(2);
  A(1, 1) = A(2, 2) = 2e-40;
  A(1, 2) = A(2, 1) = 1e-40;
  const Solution s = solve(A, B);
  EXPECT_EQ(s.ILL, 0);
  expect_accurate(A, B, s);
}

// Inside the window of ordinary magnitudes nothing is scaled: results are
// bit for bit those of the unscaled algorithm (the digests pin that); at its
// edge, powers of two leave the eigenvalues exactly scaled.
TEST(Magnitudes, PowerOfTwoScalingIsExact) {
  const int n = 6;
  oracle::Rng rng(oracle::kSeed + 5);
  const oracle::ZMatrix A = oracle::random_hermitian(n, rng), B = oracle::random_hpd(n, rng);
  const Solution base = solve(A, B);
  const Solution big = solve(times(A, 0x1p600), times(B, 0x1p200));
  ASSERT_EQ(big.ILL, 0);
  for (int i = 0; i < n; ++i) EXPECT_EQ(big.E[i], std::ldexp(base.E[i], 400));
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) EXPECT_EQ(big.V(i, j), base.V(i, j) * 0x1p-100);
}

// B's pivots can lie far below its largest entry: then the reduced matrix
// D^-1/2 L^-H A L^-1 D^-1/2, whose norm is the largest |lambda|, leaves the
// eigensolver's range although A and B are ordinary. The pencil
// (A0, S B0 S) with S = diag(1, ..., 1, 2^-k) has the eigenvalues of the
// well-scaled (A1, B0), A1 = S^-1 A0 S^-1, and eigenvectors v = S^-1 w for
// those w of (A1, B0): the results are judged there. The largest |lambda|
// lies near 2^2k.
struct GradedPencil {
  oracle::ZMatrix A0, B, A1, B0;
};

// X := S^e X S^e, S = diag(1, ..., 1, 2^-k), exactly.
oracle::ZMatrix grade_last(oracle::ZMatrix X, int k, int e) {
  const int n = X.rows;
  for (int i = 1; i <= n; ++i) {
    const int shift = -k * e * (i == n ? 2 : 1);
    X(i, n) = {std::ldexp(X(i, n).real(), shift), std::ldexp(X(i, n).imag(), shift)};
    if (i != n) X(n, i) = std::conj(X(i, n));
  }
  return X;
}

GradedPencil graded_pencil(int n, int k) {
  oracle::Rng rng(oracle::kSeed + 29);
  GradedPencil p;
  p.A0 = oracle::random_hermitian(n, rng);
  p.B0 = oracle::random_hpd(n, rng);
  p.B = grade_last(p.B0, k, 1);
  p.A1 = grade_last(p.A0, k, -1);
  return p;
}

class GradedB : public testing::TestWithParam<int> {};

TEST_P(GradedB, AccurateThoughTheReducedMatrixLeavesTheWindow) {
  const int k = GetParam();
  const int n = 6;
  const GradedPencil p = graded_pencil(n, k);
  const Solution s = solve(p.A0, p.B);
  ASSERT_EQ(s.ILL, 0);
  const std::vector<double> lambda = oracle::zhegv(p.A1, p.B0).values;
  long double lmax = 0;
  for (double l : lambda) lmax = std::max(lmax, static_cast<long double>(std::fabs(l)));
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(std::isfinite(s.E[i]));
    EXPECT_LE(std::fabs(s.E[i] - lambda[i]), 100 * n * kEps * lmax) << i;
  }
  Solution w = s;
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= n; ++i) ASSERT_TRUE(std::isfinite(std::abs(s.V(i, j))));
    w.V(n, j) = {std::ldexp(s.V(n, j).real(), -k), std::ldexp(s.V(n, j).imag(), -k)};
  }
  EXPECT_LT(residual_ratio(p.A1, p.B0, w), kRatioLimit);
  EXPECT_LT(orthonormality_ratio(p.B0, w), kRatioLimit);
}

INSTANTIATE_TEST_SUITE_P(TwoToTheMinus, GradedB, testing::Values(16, 100, 200, 300, 400, 500),
                         testing::PrintToStringParamName());

// With k = 520 the largest |lambda| lies near 2^1040: reported, and the
// code says what came back: finite values, one beyond the range clamped
// (6), or values that are not numbers (9).
TEST(GradedB, EigenvalueBeyondTheRangeIsReported) {
  const GradedPencil p = graded_pencil(6, 520);
  const Solution s = solve(p.A0, p.B);
  bool finite = true;
  for (int j = 1; j <= 6; ++j) {
    finite = finite && std::isfinite(s.E[j - 1]);
    for (int i = 1; i <= 6; ++i) finite = finite && std::isfinite(std::abs(s.V(i, j)));
  }
  EXPECT_EQ(s.ILL, finite ? GENEIG_ILL_OUT_OF_RANGE : GENEIG_ILL_NOT_FINITE_RESULT);
}

// Eigenvalues far below the norm: inverse iteration grows its iterate by
// about 1/ulp(lambda) per solve, and the reflections of the tridiagonal
// reduction divide by the squares of tiny columns; the eigenvectors must
// stay finite and accurate all the same.
TEST(Magnitudes, GradedMatrixWithEigenvaluesFarBelowItsNorm) {
  for (const int k : {100, 200, 300, 400, 500}) {
    SCOPED_TRACE(k);
    const double t = std::ldexp(1.0, -k);
    oracle::ZMatrix A(4, 4), B = oracle::identity(4);
    A(1, 1) = 1;
    A(2, 2) = -0.5;
    A(3, 2) = A(2, 3) = 0.25;
    A(4, 3) = cplx(t, t);
    A(3, 4) = std::conj(A(4, 3));
    A(4, 4) = t;
    const Solution s = solve(A, B);
    ASSERT_EQ(s.ILL, 0);
    expect_accurate(A, B, s);
  }
}

// A column below the diagonal whose squares sum below the smallest normal
// double: its reflection cannot be formed, and it is far below the
// rounding errors of the matrix. The solve must go on as for a zero column.
TEST(Magnitudes, ColumnTooSmallForItsReflection) {
  for (const int k : {511, 515, 520, 537, 600}) {
    SCOPED_TRACE(k);
    const double t = std::ldexp(1.0, -k);
    oracle::ZMatrix A(4, 4), B = oracle::identity(4);
    A(1, 1) = 0.75;
    A(2, 1) = cplx(t, -t);
    A(3, 1) = t;
    A(2, 2) = -0.5;
    A(3, 2) = 0.25;
    A(4, 3) = cplx(0.5, 0.125);
    A(4, 4) = 1;
    for (int j = 1; j <= 4; ++j)
      for (int i = j + 1; i <= 4; ++i) A(j, i) = std::conj(A(i, j));
    const Solution s = solve(A, B);
    ASSERT_EQ(s.ILL, 0);
    expect_accurate(A, B, s);
  }
}

// The same tiny column beside a trailing block of 2^28: its squares sum
// above the smallest normal double, but the reflection's K' = (h/2) u^H p,
// about |A'| / ||x||^2, overflows. Relative to the largest entry the column
// is negligible.
TEST(Magnitudes, TinyColumnBesideALargeBlock) {
  for (const int k : {400, 450, 505}) {
    SCOPED_TRACE(k);
    const double t = std::ldexp(1.0, -k);
    oracle::ZMatrix A(4, 4), B = oracle::identity(4);
    A(1, 1) = 0.75;
    A(2, 1) = cplx(t, -t);
    A(3, 1) = A(4, 1) = t;
    A(2, 2) = 0x1p28;
    A(3, 2) = cplx(0x1p27, 0x1p26);
    A(4, 3) = -0x1p28;
    A(4, 4) = 0x1p26;
    for (int j = 1; j <= 4; ++j)
      for (int i = j + 1; i <= 4; ++i) A(j, i) = std::conj(A(i, j));
    const Solution s = solve(A, B);
    ASSERT_EQ(s.ILL, 0);
    expect_accurate(A, B, s);
  }
}

// An eigenvalue -t^2 below the normal range: the pivot of inverse
// iteration at it is subnormal or zero, and one division by it would
// overflow the iterate within a single solve.
TEST(Magnitudes, EigenvalueBelowTheNormalRangeKeepsItsVector) {
  for (const int n : {2, 3})
    for (const int k : {514, 520, 540, 600, 1000}) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", k = " << k);
      const double t = std::ldexp(1.0, -k);
      oracle::ZMatrix A(n, n), B = oracle::identity(n);
      A(2, 1) = A(1, 2) = t;
      A(2, 2) = 1;
      if (n == 3) {
        A(3, 2) = A(2, 3) = 0.5;
        A(3, 3) = -0.75;
      }
      const Solution s = solve(A, B);
      ASSERT_EQ(s.ILL, 0);
      expect_accurate(A, B, s);
    }
}

// A threefold eigenvalue 0 where one diagonal entry is not quite 0: its
// pivot must weigh no more than the replaced zero pivots of the others, or
// all three iterates come out as one vector and their orthogonalization
// leaves nothing (a norm that underflows to 0, then NaN).
TEST(Magnitudes, ClusterWithATinyNonzeroPivotStaysOrthonormal) {
  for (const int k : {110, 600, 1030, 1074}) {
    SCOPED_TRACE(k);
    oracle::ZMatrix A(4, 4), B = oracle::identity(4);
    A(1, 1) = std::ldexp(1.0, -k);
    A(4, 4) = 1;
    const Solution s = solve(A, B);
    ASSERT_EQ(s.ILL, 0);
    expect_accurate(A, B, s);
  }
}

// Seven eigenvalues within 1e-30 of 0 (five exact zeros, 2^-455, and
// -e^2 of a block [[0, e], [e, 1]] with e = 2^-300): far closer together
// than the norm, so inverse iteration gives nearly dependent iterates, and
// the block's eigenvector outgrows the others in each of them. Refined
// with spread shifts, they come out orthonormal and accurate.
TEST(Magnitudes, ClusterFarBelowTheNormIsSeparated) {
  const int n = 8;
  oracle::ZMatrix A(n, n), B = oracle::identity(n);
  A(1, 1) = std::ldexp(1.0, -455);
  A(3, 2) = A(2, 3) = std::ldexp(1.0, -300);
  A(3, 3) = 1;
  const Solution s = solve(A, B);
  EXPECT_EQ(s.ILL, 0);
  expect_accurate(A, B, s);
}

// B = diag(1, 1, 2^-400): one eigenvalue near 2^400, and two of size 1
// that no method resolving eigenvalues to eps times the norm can tell from
// each other or from 0. Judged as every ill-conditioned B is: a residual no
// larger than reference LAPACK's, and finite B-orthonormal vectors.
TEST(Magnitudes, GradedBWithTwoEigenvaluesFarBelowTheLargest) {
  oracle::ZMatrix A(3, 3), B = oracle::identity(3);
  A(1, 1) = 2;
  A(2, 1) = cplx(1, 0.5), A(1, 2) = cplx(1, -0.5);
  A(3, 1) = A(1, 3) = 0.5;
  A(3, 2) = A(2, 3) = 0.25;
  A(3, 3) = 1;
  B(3, 3) = std::ldexp(1.0, -400);
  const Solution s = solve(A, B);
  const oracle::ZEigen z = oracle::zhegv(A, B);
  EXPECT_EQ(s.ILL, 0);
  EXPECT_LE(residual_ratio(A, B, s), oracle::residual_ratio(A, B, z.values, z.vectors));
  EXPECT_LT(orthonormality_ratio(B, s), kRatioLimit);
}

// Found by fuzzing: an imaginary part on A's diagonal, which the
// eigensolver ignores, far above everything it uses made the reduced matrix
// look ordinary while its real size was 2^-244, under the absolute pivot
// replacement: a NaN eigenvector with ILL = 0.
TEST(Magnitudes, IgnoredDiagonalImaginaryPartDoesNotHideTheSize) {
  const int n = 4;
  oracle::ZMatrix A(n, n), B(n, n);
  for (int i = 1; i <= n; ++i) B(i, i) = 0x1p-1022;
  A(3, 1) = A(1, 3) = 0x0.000000004ffffp-1022;
  A(2, 2) = cplx(0x0.1010004030001p-1022, 0x1p-782);
  const Solution s = solve(A, B);
  ASSERT_EQ(s.ILL, 0);
  oracle::ZMatrix Ah = A;
  Ah(2, 2) = A(2, 2).real();  // the matrix the solver works with
  expect_accurate(Ah, B, s);
}

// Found by the solver fuzzer's residual check: a full-significand coupling
// 2^-226 beside an entry 1 leaves, after the tridiagonal reduction, a
// cluster {2^-53, 0, 0} far below the norm. The last vector of the cluster,
// once orthogonalized, is rounding error in which the eigenvector of 1
// outweighs the wanted one; a single refining solve left it orthogonal to
// the cluster but still mostly that eigenvector (a B-orthonormality defect
// near 0.7 with ILL = 0). Refinement must go on until the residual, not
// only the orthogonality, says the vector has converged.
TEST(Magnitudes, ClusterBelowRoundingOfTheReductionStaysOrthonormal) {
  oracle::ZMatrix A(4, 4), B = oracle::identity(4);
  A(2, 2) = 1;
  A(3, 1) = A(1, 3) = 0x1.fffffffffffffp-227;
  const Solution s = solve(A, B);
  ASSERT_EQ(s.ILL, 0);
  expect_accurate(A, B, s);
}

// Found by fuzzing with a B-orthonormality check: entries of A at the
// smallest subnormals beside one of size 0.1 (and B = 2^-1022 I). The
// reduction's phase factors x_1 / |x_1|, for x_1 = (1 + i) 2^-1074, came
// out as 1 + i, of modulus far from 1: accurate eigenvectors of the
// tridiagonal matrix went back to vectors of A far from orthogonal (a
// defect near 0.35) with ILL = 0.
TEST(Magnitudes, SubnormalEntryGivesAPhaseOfModulusOne) {
  const int n = 8;
  const double t = 0x0.0000000000001p-1022;  // the smallest subnormal
  oracle::ZMatrix A(n, n), B = times(oracle::identity(n), 0x1p-1022);
  auto set = [&](int i, int j, cplx z) { A(i, j) = z, A(j, i) = std::conj(z); };
  A(1, 1) = 0x1.7p-1012;
  set(2, 1, cplx(t, t));
  set(3, 1, cplx(2 * t, 2 * t));
  set(3, 2, cplx(2 * t, 2 * t));
  A(3, 3) = 2 * t;
  set(4, 1, cplx(-0x1.dbbb9b7b5b3b1p-4, -t));
  set(4, 2, cplx(-t, -t));
  set(4, 3, cplx(-t, -t));
  A(4, 4) = -t;
  set(5, 1, 0x1.10f0d0b090705p-1022);
  const Solution s = solve(A, B);
  ASSERT_EQ(s.ILL, 0);
  expect_accurate(A, B, s);
}

}  // namespace
