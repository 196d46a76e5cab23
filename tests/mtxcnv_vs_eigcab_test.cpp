// The real reduction mtxcnv and the first three stages of eigcab (factor
// B, reduce A, scale) compute the same standard matrix
// R = D^(-1/2) L^(-T) A L^(-1) D^(-1/2) of a real pencil by different
// operation orders: on a complex copy with zero imaginary parts, eigcab's R
// must equal mtxcnv's to rounding, and stay exactly real.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "eigcab.hpp"
#include "eigch_phases.hpp"
#include "mtxcnv.hpp"
#include "oracle.hpp"

namespace {

using geneig::NMAX;
using namespace geneig::oracle;
namespace detail = geneig::detail;

// Both routines form every entry from sums of at most n products of the
// same quantities, only in other orders, and B is well conditioned: the
// two results differ by a few n eps times the size of what they hold.
constexpr double kRoundingFactor = 4.0;

// The largest |M(i, j)|, i >= j, of the leading n x n block.
double max_lower(const DMatrix& M, int n) {
  double m = 0.0;
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) m = std::max(m, std::abs(M(i, j)));
  return m;
}

class MtxcnvAgreesWithEigcab : public testing::TestWithParam<int> {};

// Lower triangles and diagonals: R, the multipliers with the reciprocal
// roots (both held in B), and the pivots D.
TEST_P(MtxcnvAgreesWithEigcab, SameStandardMatrixAndFactors) {
  const int n = GetParam();
  Rng rng(kSeed + static_cast<unsigned>(n));
  const DMatrix A = random_symmetric(n, rng), B = random_spd(n, rng);

  // mtxcnv on the real pencil, in buffers of the driver's shape.
  DMatrix Ar = embed(A, NMAX), Br = embed(B, NMAX);
  std::vector<double> Dr(NMAX);
  int ill_r = 0;
  testing::internal::CaptureStdout();
  geneig::mtxcnv(Ar.data(), Br.data(), n, NMAX, Dr.data(), ill_r);
  ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(ill_r, 0);

  // eigcab's stages on the same pencil as complex matrices.
  ZMatrix Ac = embed(to_complex(A), NMAX), Bc = embed(to_complex(B), NMAX);
  std::vector<cplx> Dc(NMAX);
  int ill_c = 0;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(detail::factor_b(Bc.data(), n, NMAX, Dc.data(), ill_c));
  ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(ill_c, 0);
  detail::reduce_a(Ac.data(), Bc.data(), n, NMAX);
  detail::scale_a(Ac.data(), Bc.data(), Dc.data(), n, NMAX);

  // Every sum, product, quotient and square root of numbers with zero
  // imaginary parts has a zero imaginary part: eigcab's results must be
  // exactly real, not merely nearly so.
  double r_diff = 0.0, l_diff = 0.0, d_diff = 0.0, d_max = 0.0;
  for (int j = 1; j <= n; ++j) {
    ASSERT_EQ(Dc[j - 1].imag(), 0.0) << "D(" << j << ")";
    d_diff = std::max(d_diff, std::abs(Dc[j - 1].real() - Dr[j - 1]));
    d_max = std::max(d_max, std::abs(Dr[j - 1]));
    for (int i = j; i <= n; ++i) {
      ASSERT_EQ(Ac(i, j).imag(), 0.0) << "R(" << i << ", " << j << ")";
      ASSERT_EQ(Bc(i, j).imag(), 0.0) << "B(" << i << ", " << j << ")";
      r_diff = std::max(r_diff, std::abs(Ac(i, j).real() - Ar(i, j)));
      l_diff = std::max(l_diff, std::abs(Bc(i, j).real() - Br(i, j)));
    }
  }
  DMatrix R(n, n);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) R(i, j) = Ar(i, j);
  const double r_norm = norm1(to_complex(R));
  RecordProperty("R_difference_over_n_eps_norm", std::to_string(r_diff / (n * kEps * r_norm)));
  EXPECT_LE(r_diff, kRoundingFactor * n * kEps * r_norm);
  EXPECT_LE(l_diff, kRoundingFactor * n * kEps * max_lower(Br, n));
  EXPECT_LE(d_diff, kRoundingFactor * n * kEps * d_max);
}

INSTANTIATE_TEST_SUITE_P(Orders, MtxcnvAgreesWithEigcab, testing::Values(2, 5, 50, 200),
                         testing::PrintToStringParamName());

}  // namespace
