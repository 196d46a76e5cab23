// Order 2, solved in closed form, against reference LAPACK's zhegv: pencils
// with eigenvalue gaps from 1e-2 down to one unit of rounding, rotated by
// random unitary matrices, with B = I or a random Hermitian positive
// definite B. Nearly equal eigenvalues are where a closed form loses digits
// to cancellation.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "oracle.hpp"
#include "test_support.hpp"

namespace {

using geneig::test::kEps;
using geneig::oracle::ZMatrix;
using cplx = std::complex<double>;

struct Gap {
  std::string name;
  double gap;      // relative distance of the two eigenvalues
  bool metric_b;   // a random B rather than the identity
};

std::vector<Gap> gaps() {
  std::vector<Gap> rows;
  for (const bool metric : {false, true}) {
    const std::string b = metric ? "RandomB" : "IdentityB";
    for (int e = 2; e <= 15; ++e)
      rows.push_back({b + "Gap1em" + std::to_string(e), std::pow(10.0, -e), metric});
    rows.push_back({b + "GapOneUlp", kEps, metric});
  }
  return rows;
}

void PrintTo(const Gap& g, std::ostream* os) { *os << g.name; }

class Order2 : public ::testing::TestWithParam<Gap> {};

// The pencil (C diag(1 + gap, 1) C^H, C C^H) has the eigenvalues 1 + gap
// and 1 whatever C is; C = Q with Q unitary gives B = I.
TEST_P(Order2, AgreesWithZhegvToAFewUnitsOfRounding) {
  const Gap& g = GetParam();
  geneig::oracle::Rng rng(geneig::oracle::kSeed);
  for (int trial = 0; trial < 4; ++trial) {
    SCOPED_TRACE(trial);
    ZMatrix C = geneig::oracle::random_unitary(2, rng);
    if (g.metric_b)
      for (int i = 1; i <= 2; ++i) C(i, 2) *= 1.0 + geneig::oracle::uniform(rng) * 0.5;
    const double lambda[2] = {1.0 + g.gap, 1.0};
    ZMatrix A(2, 2), B(2, 2);
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= i; ++j) {
        cplx a = 0, b = 0;
        for (int k = 1; k <= 2; ++k) {
          a += C(i, k) * lambda[k - 1] * std::conj(C(j, k));
          b += C(i, k) * std::conj(C(j, k));
        }
        if (i == j) {
          a.imag(0);
          b.imag(0);
        }
        A(i, j) = a;
        B(i, j) = b;
        A(j, i) = std::conj(a);
        B(j, i) = std::conj(b);
      }
    const geneig::oracle::ZEigen ref = geneig::oracle::zhegv(A, B);
    ASSERT_EQ(ref.info, 0);

    const auto [E, V, ILL, EPS, out] = geneig::test::solve(A, B);
    ASSERT_EQ(ILL, 0);
    // A few units of rounding of the largest eigenvalue: n eps each.
    EXPECT_LT(geneig::oracle::eigenvalue_ratio(E, ref.values), 4);
    EXPECT_LT(geneig::oracle::residual_ratio(A, B, E, V), 20);
    EXPECT_LT(geneig::oracle::orthonormality_ratio(B, V, 2), 20);
  }
}

INSTANTIATE_TEST_SUITE_P(Gaps, Order2, ::testing::ValuesIn(gaps()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
