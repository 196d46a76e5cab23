// The generalized solver's own stages: factorization of B with its warning,
// the reduction of A, refusals, and the back-transformation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "colmajor.hpp"
#include "eigcab.hpp"
#include "eigch_phases.hpp"
#include "test_support.hpp"

namespace {

using geneig::cplx;
using geneig::NMAX;
namespace detail = geneig::detail;

using geneig::test::kEps;
const std::string kWarning = "\"D\" became imaginary number !!\n";

struct Pencil : geneig::test::Arrays {
  std::string solve(int n, int m, int mv, int na = NMAX) { return eigcab(n, m, mv, na); }
};

// A random Hermitian A (lower triangle and diagonal, with imaginary parts on
// the diagonal that must be ignored) and the identity B.
Pencil random_pencil_identity_b(int n, unsigned seed) {
  Pencil p;
  geneig::test::Draw u(seed);
  for (int j = 1; j <= n; ++j) {
    p.b()(j, j) = 1.0;
    for (int i = j; i <= n; ++i) p.a()(i, j) = i == j ? cplx(u()) : u.complex();
  }
  return p;
}

// With B = I every pivot and every B(k,k) is 1, the multipliers are 0, and
// the standard matrix R is A itself.
TEST(Reduction, IdentityBLeavesALowerTriangleUnchanged) {
  const int n = 7;
  Pencil p = random_pencil_identity_b(n, 3);
  const std::vector<cplx> a0 = p.A;
  int ill = 0;
  ASSERT_TRUE(detail::factor_b(p.B.data(), n, NMAX, p.D.data(), ill));
  detail::reduce_a(p.A.data(), p.B.data(), n, NMAX);
  detail::scale_a(p.A.data(), p.B.data(), p.D.data(), n, NMAX);
  const geneig::ColMajor<const cplx> A0(a0.data(), NMAX);
  for (int j = 1; j <= n; ++j) {
    EXPECT_EQ(p.D[j - 1], cplx(1.0, 0.0));
    EXPECT_EQ(p.b()(j, j), cplx(1.0, 0.0));
    for (int i = j; i <= n; ++i) EXPECT_EQ(p.a()(i, j), A0(i, j)) << i << "," << j;
  }
  EXPECT_EQ(ill, 0);
}

// Only the lower triangles and diagonals are inputs: garbage in the upper
// triangles of A and B must not change a single bit of the results.
TEST(Reduction, UpperTrianglesChangeNothing) {
  const int n = 9;
  Pencil p = random_pencil_identity_b(n, 5);
  for (int j = 1; j <= n; ++j)
    for (int i = j + 1; i <= n; ++i) p.b()(i, j) = cplx(0.1 * i, -0.05 * j);
  for (int j = 1; j <= n; ++j) p.b()(j, j) = 2.0 + j;
  Pencil q = p;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i < j; ++i) {
      q.a()(i, j) = cplx(1e3, -1e3);
      q.b()(i, j) = cplx(-7.0, 7.0);
    }
  p.solve(n, n, n);
  q.solve(n, n, n);
  for (int j = 1; j <= n; ++j) {
    EXPECT_EQ(p.E[j - 1], q.E[j - 1]);
    for (int i = 1; i <= n; ++i) EXPECT_EQ(p.v()(i, j), q.v()(i, j));
  }
}

TEST(Factorization, ImaginaryDiagonalOfBEntersThePivot) {
  Pencil p;
  p.b()(1, 1) = cplx(4.0, 1.0);
  int ill = 0;
  detail::factor_b(p.B.data(), 1, NMAX, p.D.data(), ill);
  EXPECT_EQ(p.D[0], cplx(4.0, 1.0));
  EXPECT_EQ(p.b()(1, 1), std::sqrt(1.0 / cplx(4.0, 1.0)));
}

// B = L^H D L reproduces B's lower triangle.
TEST(Factorization, ReproducesB) {
  const int n = 6;
  Pencil p;
  geneig::test::Draw u(11);
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) p.b()(i, j) = i == j ? cplx(2.0 + j, 0.0) : 0.3 * u.complex();
  const std::vector<cplx> b0 = p.B;
  int ill = 0;
  ASSERT_TRUE(detail::factor_b(p.B.data(), n, NMAX, p.D.data(), ill));
  auto L = [&](int i, int k) { return i == k ? cplx(1.0) : i > k ? p.b()(i, k) : cplx(0.0); };
  const geneig::ColMajor<const cplx> B0(b0.data(), NMAX);
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      cplx s = 0.0;
      for (int k = 1; k <= n; ++k) s += std::conj(L(k, i)) * p.D[k - 1] * L(k, j);
      EXPECT_NEAR(std::abs(s - B0(i, j)), 0.0, 16 * n * kEps * 5.0) << i << "," << j;
    }
}

// B = diag(-1, 2, -3): two pivots of negative real part, two warnings, ILL
// = 5, and the solve goes on to the end.
TEST(Factorization, NegativePivotsWarnOnceEachAndTheSolveGoesOn) {
  Pencil p;
  const double d[3] = {-1.0, 2.0, -3.0};
  for (int i = 1; i <= 3; ++i) {
    p.b()(i, i) = d[i - 1];
    p.a()(i, i) = i;
  }
  EXPECT_EQ(p.solve(3, 3, 3), kWarning + kWarning);
  EXPECT_EQ(p.ILL, GENEIG_ILL_INDEFINITE_B);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(p.E[i]));
}

// An exactly zero pivot has no reciprocal: warned about like a negative one,
// and nothing non-finite is computed from it; E and V are left alone.
TEST(Factorization, ZeroPivotIsReportedAndStopsBeforeTheSolve) {
  for (int zero_row : {1, 2, 3}) {
    Pencil p;
    for (int i = 1; i <= 3; ++i) {
      p.b()(i, i) = i == zero_row ? 0.0 : 1.0;
      p.a()(i, i) = i;
    }
    p.E.assign(NMAX, 42.0);
    EXPECT_EQ(p.solve(3, 3, 3), kWarning) << zero_row;
    EXPECT_EQ(p.ILL, GENEIG_ILL_INDEFINITE_B);
    EXPECT_EQ(p.E[0], 42.0);
    EXPECT_EQ(p.v()(1, 1), cplx(0.0));
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(std::isfinite(std::abs(p.b()(i, i))));
  }
}

// Orders the work arrays cannot hold, or a leading dimension below the
// order, are refused before anything is touched.
TEST(Refusal, OrderAboveCapacityOrShortLeadingDimension) {
  struct Case {
    int n, na, m, mv;
    const char* line;
  };
  for (Case c : {Case{201, 201, 201, 201, "(SUBR. EIGCH) INVALID ARGUMENT. 201 201 201 201"},
                 Case{5, 4, -5, 5, "(SUBR. EIGCH) INVALID ARGUMENT. 4 5 5 5"}}) {
    Pencil p;
    p.B.assign(NMAX * NMAX, cplx(3.0, 0.0));
    EXPECT_EQ(p.solve(c.n, c.m, c.mv, c.na), std::string(c.line) + "\n");
    EXPECT_EQ(p.ILL, GENEIG_ILL_INVALID_ARGUMENT);
    for (cplx b : p.B) ASSERT_EQ(b, cplx(3.0, 0.0));
    for (cplx d : p.D) ASSERT_EQ(d, cplx(0.0, 0.0));
  }
}

// N = 1: B is factored, A scaled, eigch refuses the order, and the lone
// vector component is still multiplied by B(1,1).
TEST(Refusal, OrderOneFactorsThenEigchRefuses) {
  Pencil p;
  p.a()(1, 1) = 8.0;
  p.b()(1, 1) = 4.0;
  p.v()(1, 1) = 3.0;
  EXPECT_EQ(p.solve(1, 1, 1), "(SUBR. EIGCH) INVALID ARGUMENT. 1 1\n");
  EXPECT_EQ(p.ILL, GENEIG_ILL_INVALID_ARGUMENT);
  EXPECT_EQ(p.D[0], cplx(4.0));
  EXPECT_EQ(p.a()(1, 1), cplx(2.0));
  EXPECT_EQ(p.v()(1, 1), cplx(1.5));
}

// With MV < 0 the vectors are still those of the pencil: transformed back,
// each a multiple of its MV > 0 counterpart.
TEST(BackTransform, NegativeMvTransformsTheColumnsToo) {
  const int n = 6;
  Pencil p = random_pencil_identity_b(n, 9);
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) p.b()(i, j) = i == j ? cplx(3.0, 0.0) : cplx(0.2, 0.1 * i);
  Pencil q = p;
  p.solve(n, n, n);
  q.solve(n, n, -n);
  for (int j = 1; j <= n; ++j) {
    // q's column j = c * p's column j for one complex c.
    const cplx c = q.v()(1, j) / p.v()(1, j);
    for (int i = 1; i <= n; ++i)
      EXPECT_NEAR(std::abs(q.v()(i, j) - c * p.v()(i, j)), 0.0, 64 * n * kEps * std::abs(c));
  }
}

}  // namespace
