// The oracle checks itself: reference solvers on problems with known
// answers, generators against the properties they promise, and measures
// that are small on good answers and large on faulty ones.
#include "oracle.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "test_support.hpp"

namespace {

using namespace geneig::oracle;

using geneig::test::kRatioLimit;

// ---- Reference solvers -----------------------------------------------------

// A diagonal pencil has eigenvalues a_i / b_i with eigenvectors
// e_i / sqrt(b_i). Powers of 4 in B keep every step exact.
TEST(OracleSolvers, DiagonalPencilGivesKnownEigenvaluesDescending) {
  const double a[] = {3.0, -8.0, 0.5, 2.0}, b[] = {4.0, 1.0, 16.0, 0.25};
  const std::vector<double> expected = {8.0, 0.75, 0.03125, -8.0};
  const int row_of[] = {4, 1, 3, 2};  // row of the nonzero in each eigenvector
  DMatrix A(4, 4), B(4, 4);
  for (int i = 1; i <= 4; ++i) A(i, i) = a[i - 1], B(i, i) = b[i - 1];

  const ZEigen z = zhegv(to_complex(A), to_complex(B));
  const DEigen d = dsygv(A, B);
  ASSERT_EQ(z.info, 0);
  ASSERT_EQ(d.info, 0);
  EXPECT_LE(eigenvalue_ratio(z.values, expected), 1.0);
  EXPECT_LE(eigenvalue_ratio(d.values, expected), 1.0);
  for (int j = 1; j <= 4; ++j) {
    const int r = row_of[j - 1];
    const double length = 1.0 / std::sqrt(b[r - 1]);
    EXPECT_NEAR(std::abs(z.vectors(r, j)), length, 4 * kEps * length) << "column " << j;
    EXPECT_NEAR(std::abs(d.vectors(r, j)), length, 4 * kEps * length) << "column " << j;
  }
}

TEST(OracleSolvers, DsyevOfDiagonalMatrixSortsDescending) {
  DMatrix A(3, 3);
  A(1, 1) = -1.0, A(2, 2) = 5.0, A(3, 3) = 2.0;
  const DEigen e = dsyev(A);
  ASSERT_EQ(e.info, 0);
  EXPECT_EQ(e.values, (std::vector<double>{5.0, 2.0, -1.0}));
  EXPECT_EQ(std::abs(e.vectors(2, 1)), 1.0);
  EXPECT_EQ(std::abs(e.vectors(3, 2)), 1.0);
  EXPECT_EQ(std::abs(e.vectors(1, 3)), 1.0);
}

// zhegv reports a B that is not positive definite through info > n and
// returns no eigenpairs.
TEST(OracleSolvers, IndefiniteBIsReportedThroughInfo) {
  ZMatrix B = identity(3);
  B(2, 2) = -1.0;
  const ZEigen z = zhegv(identity(3), B);
  EXPECT_GT(z.info, 3);
  EXPECT_TRUE(z.values.empty());
}

// W21+ has its two largest eigenvalues 10.746194182903393... and
// 10.746194182903322..., a pair that agrees to 14 digits (values from a
// 60-digit Sturm bisection).
TEST(OracleGenerators, WilkinsonPlusHasItsCloseLargestPair) {
  const DMatrix W = wilkinson_plus(21);
  for (int i = 1; i <= 21; ++i) {
    EXPECT_EQ(W(i, i), std::abs(11 - i));
    if (i < 21) {
      EXPECT_EQ(W(i + 1, i), 1.0);
      EXPECT_EQ(W(i, i + 1), 1.0);
    }
    if (i < 20) {
      EXPECT_EQ(W(i + 2, i), 0.0);
    }
  }
  const DEigen e = dsyev(W);
  ASSERT_EQ(e.info, 0);
  const double tol = kRatioLimit * 21 * kEps * e.values[0];
  EXPECT_NEAR(e.values[0], 10.746194182903393, tol);
  EXPECT_NEAR(e.values[1], 10.746194182903322, tol);
  EXPECT_NEAR(e.values[20], -1.1254415221199842, tol);
}

// ---- Generators ------------------------------------------------------------

class OracleGeneratorsBySize : public testing::TestWithParam<int> {};

TEST_P(OracleGeneratorsBySize, HermitianMatricesAreExactlyHermitian) {
  const int n = GetParam();
  Rng rng(kSeed);
  EXPECT_EQ(hermitian_defect(random_hermitian(n, rng)), 0.0);
  EXPECT_EQ(hermitian_defect(random_hpd(n, rng)), 0.0);
  EXPECT_EQ(hermitian_defect(with_spectrum(std::vector<double>(n, 1.5), rng)), 0.0);
  EXPECT_EQ(hermitian_defect(hpd_with_condition(n, 1e4, rng)), 0.0);
  EXPECT_EQ(hermitian_defect(to_complex(random_symmetric(n, rng))), 0.0);
  EXPECT_EQ(hermitian_defect(to_complex(random_spd(n, rng))), 0.0);
}

// C C^H + n I has every eigenvalue at least n.
TEST_P(OracleGeneratorsBySize, PositiveDefiniteMatricesHaveEigenvaluesAtLeastN) {
  const int n = GetParam();
  Rng rng(kSeed);
  const ZMatrix B = random_hpd(n, rng);
  const DMatrix Br = random_spd(n, rng);
  const ZEigen z = zhegv(B, identity(n));
  const DEigen d = dsyev(Br);
  ASSERT_EQ(z.info, 0);
  ASSERT_EQ(d.info, 0);
  EXPECT_GE(z.values.back(), n - kRatioLimit * n * kEps * norm1(B));
  EXPECT_GE(d.values.back(), n - kRatioLimit * n * kEps * norm1(to_complex(Br)));
}

TEST_P(OracleGeneratorsBySize, UnitaryIsOrthonormalToRounding) {
  const int n = GetParam();
  Rng rng(kSeed);
  const ZMatrix Q = random_unitary(n, rng);
  EXPECT_LE(orthonormality_ratio(identity(n), Q, n), kRatioLimit);
}

// Exact repeats and tight clusters come back as prescribed.
TEST_P(OracleGeneratorsBySize, PrescribedSpectrumIsReproduced) {
  const int n = GetParam();
  Rng rng(kSeed);
  const std::vector<std::vector<double>> spectra = {
      spectrum_with_multiplicities({{2.0, (n + 1) / 2}, {-1.0, n / 2}}),
      clustered_spectrum(n, 3, 1e-9),
  };
  for (const auto& lambda : spectra) {
    const ZEigen z = zhegv(with_spectrum(lambda, rng), identity(n));
    ASSERT_EQ(z.info, 0);
    EXPECT_LE(eigenvalue_ratio(z.values, lambda), kRatioLimit);
  }
}

INSTANTIATE_TEST_SUITE_P(Orders, OracleGeneratorsBySize, testing::Values(1, 3, 50));

// sigma_i = cond^((i-1)/(n-1)): extreme eigenvalues 1 and cond. The small
// one carries an absolute error of order n eps cond.
TEST(OracleGenerators, ConditionNumberIsAsPrescribed) {
  const double cond = 1e6;
  for (const int n : {2, 3, 50}) {
    Rng rng(kSeed);
    const ZEigen z = zhegv(hpd_with_condition(n, cond, rng), identity(n));
    ASSERT_EQ(z.info, 0);
    EXPECT_NEAR(z.values.front(), cond, kRatioLimit * n * kEps * cond) << "n = " << n;
    EXPECT_NEAR(z.values.back(), 1.0, kRatioLimit * n * kEps * cond) << "n = " << n;
  }
}

TEST(OracleGenerators, SameSeedSameMatricesOtherSeedOthers) {
  Rng r1(kSeed), r2(kSeed), r3(kSeed + 1);
  const ZMatrix a = random_hermitian(5, r1), b = random_hermitian(5, r2),
                c = random_hermitian(5, r3);
  EXPECT_EQ(a.a, b.a);
  EXPECT_NE(a.a, c.a);
}

TEST(OracleGenerators, UniformStaysInHalfOpenInterval) {
  Rng rng(kSeed);
  double lo = 1.0, hi = -1.0;
  for (int k = 0; k < 10000; ++k) {
    const double u = uniform(rng);
    lo = std::min(lo, u), hi = std::max(hi, u);
  }
  EXPECT_GE(lo, -1.0);
  EXPECT_LT(hi, 1.0);
  EXPECT_LT(lo, -0.99);
  EXPECT_GT(hi, 0.99);
}

TEST(OracleGenerators, SpectraHelpersListValuesDescending) {
  EXPECT_EQ(spectrum_with_multiplicities({{-1.0, 2}, {2.0, 3}}),
            (std::vector<double>{2, 2, 2, -1, -1}));
  const double h = 0.5;  // a power of two keeps the values exact
  EXPECT_EQ(clustered_spectrum(5, 2, h), (std::vector<double>{3, 3, 2, 1.5, 1}));
}

TEST(OracleGenerators, EmbedCopiesIntoLeadingBlockOfSquareBuffer) {
  Rng rng(kSeed);
  const ZMatrix m = random_hermitian(3, rng);
  const ZMatrix e = embed(m, 7);
  EXPECT_EQ(e.rows, 3);
  EXPECT_EQ(e.cols, 3);
  EXPECT_EQ(e.ld, 7);
  ASSERT_EQ(e.a.size(), 49u);
  for (int j = 1; j <= 7; ++j)
    for (int i = 1; i <= 7; ++i)
      EXPECT_EQ(e.a[(i - 1) + (j - 1) * 7], i <= 3 && j <= 3 ? m(i, j) : cplx(0.0));
}

// ---- Measures --------------------------------------------------------------

class OracleMeasures : public testing::Test {
 protected:
  static constexpr int n = 50;
  void SetUp() override {
    Rng rng(kSeed);
    A = random_hermitian(n, rng);
    B = random_hpd(n, rng);
    ref = zhegv(A, B);
    ASSERT_EQ(ref.info, 0);
  }
  ZMatrix A, B;
  ZEigen ref;
};

TEST_F(OracleMeasures, ReferenceOutputScoresSmall) {
  EXPECT_LE(residual_ratio(A, B, ref.values, ref.vectors), kRatioLimit);
  EXPECT_LE(orthonormality_ratio(B, ref.vectors, n), kRatioLimit);
  EXPECT_EQ(eigenvalue_ratio(ref.values, ref.values), 0.0);
}

TEST_F(OracleMeasures, RealPencilReferenceOutputScoresSmall) {
  Rng rng(kSeed);
  const DMatrix Ar = random_symmetric(n, rng), Br = random_spd(n, rng);
  const DEigen d = dsygv(Ar, Br);
  ASSERT_EQ(d.info, 0);
  const ZMatrix Az = to_complex(Ar), Bz = to_complex(Br), V = to_complex(d.vectors);
  EXPECT_LE(residual_ratio(Az, Bz, d.values, V), kRatioLimit);
  EXPECT_LE(orthonormality_ratio(Bz, V, n), kRatioLimit);
  EXPECT_LE(eigenvalue_ratio(d.values, zhegv(Az, Bz).values), kRatioLimit);
}

// The measures read vectors through their leading dimension.
TEST_F(OracleMeasures, VectorsInLargerBufferScoreTheSame) {
  const ZMatrix big = embed(ref.vectors, 200);
  EXPECT_EQ(residual_ratio(A, B, ref.values, big), residual_ratio(A, B, ref.values, ref.vectors));
  EXPECT_EQ(orthonormality_ratio(B, big, n), orthonormality_ratio(B, ref.vectors, n));
}

// Faults a solver could make must push the ratios far past the limit.
TEST_F(OracleMeasures, FaultyAnswersScoreLarge) {
  std::vector<double> shifted = ref.values;
  shifted[n / 2] += 1e-8 * std::abs(ref.values[0]);
  EXPECT_GT(residual_ratio(A, B, shifted, ref.vectors), 1000 * kRatioLimit);
  EXPECT_GT(eigenvalue_ratio(shifted, ref.values), 1000 * kRatioLimit);

  ZMatrix swapped = ref.vectors;
  for (int i = 1; i <= n; ++i) std::swap(swapped(i, 1), swapped(i, 2));
  EXPECT_GT(residual_ratio(A, B, ref.values, swapped), 1000 * kRatioLimit);

  ZMatrix parallel = ref.vectors;
  for (int i = 1; i <= n; ++i) parallel(i, 2) = parallel(i, 1);
  EXPECT_GT(orthonormality_ratio(B, parallel, n), 1000 * kRatioLimit);
}

// An exact answer scores 0 even on a zero scale; an error on a zero scale
// scores infinity rather than NaN.
TEST(OracleMeasuresScale, ZeroScaleGivesZeroOrInfinityNeverNaN) {
  const ZMatrix zero(3, 3), id = identity(3);
  EXPECT_EQ(residual_ratio(zero, id, {0.0, 0.0, 0.0}, id), 0.0);
  EXPECT_EQ(eigenvalue_ratio({0.0, 0.0}, {0.0, 0.0}), 0.0);
  EXPECT_EQ(eigenvalue_ratio({1e-300, 0.0}, {0.0, 0.0}), std::numeric_limits<double>::infinity());
  EXPECT_THROW(eigenvalue_ratio({1.0}, {1.0, 2.0}), std::invalid_argument);
}

}  // namespace
