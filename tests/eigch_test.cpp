// The Hermitian eigensolver on hand-checkable matrices: argument checks and
// their lines, the order-2 closed form, each phase on its own.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
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

// Caller-side storage of one eigch call; EPS = -1 (the default tolerance)
// unless a test sets it.
struct Problem : geneig::test::Arrays {
  Problem() { EPS = -1.0; }
  std::string solve(int n, int m, int mv, int na = NMAX) { return eigch(n, m, mv, na); }
};

// A = [[3, 1 - i], [1 + i, 1]], given by its lower triangle.
void set_order2_example(Problem& p) {
  p.a()(1, 1) = 3.0;
  p.a()(2, 1) = cplx(1.0, 1.0);
  p.a()(2, 2) = 1.0;
  p.a()(1, 2) = cplx(99.0, 99.0);  // upper triangle: never read
}

// ---------------------------------------------------------------------------
// Argument checks: each invalid call writes one line, sets ILL = 2 and
// leaves every other argument alone, EPS included.
struct BadArguments {
  const char* name;
  int n, na, m, mv;
  const char* line;
};

void PrintTo(const BadArguments& c, std::ostream* os) {
  *os << "N = " << c.n << ", NA = " << c.na << ", M = " << c.m << ", MV = " << c.mv;
}

class EigchArgumentCheck : public testing::TestWithParam<BadArguments> {};

TEST_P(EigchArgumentCheck, RefusesWithItsLineAndTouchesNothing) {
  const BadArguments c = GetParam();
  Problem p;
  p.E.assign(NMAX, 7.0);
  p.W.assign(NMAX * 7, 8.0);
  p.V.assign(NMAX * NMAX, cplx(9.0, 9.0));
  p.A.assign(NMAX * NMAX, cplx(1.0, 2.0));
  p.EPS = -1.0;
  EXPECT_EQ(p.solve(c.n, c.m, c.mv, c.na), std::string(c.line) + "\n");
  EXPECT_EQ(p.ILL, GENEIG_ILL_INVALID_ARGUMENT);
  EXPECT_EQ(p.EPS, -1.0);
  for (double e : p.E) ASSERT_EQ(e, 7.0);
  for (double w : p.W) ASSERT_EQ(w, 8.0);
  for (cplx v : p.V) ASSERT_EQ(v, cplx(9.0, 9.0));
  for (cplx a : p.A) ASSERT_EQ(a, cplx(1.0, 2.0));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, EigchArgumentCheck,
    testing::Values(
        BadArguments{"OrderOne", 1, NMAX, 1, 1, "(SUBR. EIGCH) INVALID ARGUMENT. 1 1"},
        BadArguments{"OrderZero", 0, NMAX, 3, 3, "(SUBR. EIGCH) INVALID ARGUMENT. 0 3"},
        BadArguments{"NegativeOrder", -4, NMAX, -4, 0, "(SUBR. EIGCH) INVALID ARGUMENT. -4 -4"},
        BadArguments{"NoEigenvalue", 5, NMAX, 0, 0, "(SUBR. EIGCH) INVALID ARGUMENT. 5 0"},
        BadArguments{"MoreVectorsThanValues", 5, NMAX, -3, 4,
                     "(SUBR. EIGCH) INVALID ARGUMENT. 200 5 3 4"},
        BadArguments{"MoreValuesThanTheOrder", 5, NMAX, 6, 6,
                     "(SUBR. EIGCH) INVALID ARGUMENT. 200 5 6 6"},
        BadArguments{"LeadingDimensionBelowTheOrder", 5, 4, 5, -5,
                     "(SUBR. EIGCH) INVALID ARGUMENT. 4 5 5 5"},
        BadArguments{"MostNegativeM", 3, NMAX, std::numeric_limits<int>::min(), 0,
                     "(SUBR. EIGCH) INVALID ARGUMENT. 200 3 2147483648 0"}),
    [](const testing::TestParamInfo<BadArguments>& info) { return std::string(info.param.name); });

TEST(EigchTolerance, NegativeEpsBecomesDefaultZeroStaysAndIllIsKept) {
  for (double eps : {-1.0, 0.0, 1e-10}) {
    Problem p;
    set_order2_example(p);
    p.EPS = eps;
    p.ILL = 17;
    EXPECT_EQ(p.solve(2, 2, 2), "");
    EXPECT_EQ(p.EPS, eps < 0 ? 1e-14 : eps);
    EXPECT_EQ(p.ILL, 17);
  }
}

// ---------------------------------------------------------------------------
// Order 2 in closed form.

TEST(EigchOrder2, WorkedExampleEigenvaluesPhaseAndVectors) {
  Problem p;
  set_order2_example(p);
  p.solve(2, 2, 2);
  const double r3 = std::sqrt(3.0);
  EXPECT_EQ(p.w()(1, 1), 3.0);
  EXPECT_EQ(p.w()(2, 1), 1.0);
  EXPECT_NEAR(p.w()(1, 2), std::sqrt(2.0), 4 * kEps);
  EXPECT_NEAR(std::abs(p.a()(1, 1) - cplx(1.0, 1.0) / std::sqrt(2.0)), 0.0, 4 * kEps);
  EXPECT_NEAR(p.E[0], 2.0 + r3, 8 * kEps);
  EXPECT_NEAR(p.E[1], 2.0 - r3, 8 * kEps);
  const double c = 1.0 / std::sqrt(3.0 - r3);
  const cplx v1[2] = {c, (r3 - 1.0) * cplx(1.0, 1.0) / 2.0 * c};
  const cplx v2[2] = {cplx(-1.0, 1.0) / (1.0 + r3) * c, c};
  for (int i = 1; i <= 2; ++i) {
    EXPECT_NEAR(std::abs(p.v()(i, 1) - v1[i - 1]), 0.0, 16 * kEps) << i;
    EXPECT_NEAR(std::abs(p.v()(i, 2) - v2[i - 1]), 0.0, 16 * kEps) << i;
  }
}

TEST(EigchOrder2, SignOfMChoosesOrderAndCount) {
  const double hi = 2.0 + std::sqrt(3.0), lo = 2.0 - std::sqrt(3.0);
  struct Case {
    int m;
    double e1, e2;
  };
  for (Case c : {Case{2, hi, lo}, Case{-2, lo, hi}, Case{1, hi, -5.0}, Case{-1, lo, -5.0}}) {
    Problem p;
    set_order2_example(p);
    p.E.assign(NMAX, -5.0);
    p.solve(2, c.m, 0);
    EXPECT_NEAR(p.E[0], c.e1, 8 * kEps) << c.m;
    EXPECT_NEAR(p.E[1], c.e2, 8 * kEps) << c.m;
  }
}

// Rounding can make t*t - p negative for nearly equal eigenvalues, the
// half-trace can be zero, and the zero matrix has no quotient p/s: none of
// these may give NaN or the wrong order.
TEST(EigchOrder2, DegenerateClosedFormsStayFiniteAndOrdered) {
  struct Case {
    double d1, d2;
    cplx e;
  };
  const double tiny = std::ldexp(1.0, -52);
  for (Case c : {Case{1.0, 1.0 + tiny, 0.0}, Case{1.0 + tiny, 1.0, 0.0}, Case{0.1, 0.1, 1e-9},
                 Case{1.0, -1.0, cplx(0.5, 0.5)}, Case{-3.0, 3.0, 0.0}, Case{0.0, 0.0, 0.0}}) {
    for (int m : {2, -2}) {
      Problem p;
      p.a()(1, 1) = c.d1;
      p.a()(2, 2) = c.d2;
      p.a()(2, 1) = c.e;
      p.solve(2, m, m);
      ASSERT_TRUE(std::isfinite(p.E[0]) && std::isfinite(p.E[1])) << c.d1 << " " << m;
      if (m > 0) {
        EXPECT_GE(p.E[0], p.E[1]);
      } else {
        EXPECT_LE(p.E[0], p.E[1]);
      }
      const double sum = c.d1 + c.d2;
      EXPECT_NEAR(p.E[0] + p.E[1], sum, 8 * kEps * (std::abs(c.d1) + std::abs(c.d2) + 1));
      for (int j = 1; j <= 2; ++j)
        for (int i = 1; i <= 2; ++i) ASSERT_TRUE(std::isfinite(std::abs(p.v()(i, j))));
    }
  }
}

// ---------------------------------------------------------------------------
// Householder reduction.

TEST(Tridiagonalization, OrderThreeAllOnesOffDiagonal) {
  Problem p;
  for (int j = 1; j <= 3; ++j)
    for (int i = j; i <= 3; ++i) p.a()(i, j) = i == j ? 2.0 : 1.0;
  detail::reduce_to_tridiagonal(p.A.data(), 3, NMAX, p.W.data());
  const double tol = 8 * 3 * kEps * 4.0;  // 8 n eps ||A||
  EXPECT_NEAR(p.w()(1, 1), 2.0, tol);
  EXPECT_NEAR(p.w()(2, 1), 3.0, tol);
  EXPECT_NEAR(p.w()(3, 1), 1.0, tol);
  EXPECT_NEAR(p.w()(1, 2), -std::sqrt(2.0), tol);
  EXPECT_NEAR(p.w()(2, 2), 0.0, tol);
  EXPECT_EQ(p.a()(1, 1), cplx(1.0, 0.0));
}

TEST(Tridiagonalization, DiagonalInputHasNegativeZeroCouplingsAndUnitPhases) {
  Problem p;
  const int n = 5;
  for (int i = 1; i <= n; ++i) p.a()(i, i) = cplx(i * 1.5, 3.0);  // Im ignored
  detail::reduce_to_tridiagonal(p.A.data(), n, NMAX, p.W.data());
  for (int k = 1; k <= n; ++k) EXPECT_EQ(p.w()(k, 1), k * 1.5);
  for (int k = 1; k <= n - 2; ++k) {
    EXPECT_EQ(p.w()(k, 2), 0.0);
    EXPECT_TRUE(std::signbit(p.w()(k, 2))) << k;
  }
  EXPECT_FALSE(std::signbit(p.w()(n - 1, 2)));
  for (int k = 1; k <= n - 1; ++k) EXPECT_EQ(p.a()(k, k), cplx(1.0, 0.0));
}

TEST(Tridiagonalization, TridiagonalInputIsNegatedRowByRow) {
  Problem p;
  const int n = 6;
  for (int i = 1; i <= n; ++i) p.a()(i, i) = i;
  for (int i = 1; i < n; ++i) p.a()(i + 1, i) = 0.5 * i;
  detail::reduce_to_tridiagonal(p.A.data(), n, NMAX, p.W.data());
  for (int k = 1; k <= n; ++k) EXPECT_NEAR(p.w()(k, 1), k, 8 * n * kEps);
  for (int k = 1; k <= n - 2; ++k) EXPECT_NEAR(p.w()(k, 2), -0.5 * k, 8 * n * kEps);
  EXPECT_NEAR(p.w()(n - 1, 2), 0.5 * (n - 1), 8 * n * kEps);
}

// ---------------------------------------------------------------------------
// Bisection on a tridiagonal T given directly in W.

std::vector<double> bisect(const std::vector<double>& d, const std::vector<double>& e, int m,
                           double eps) {
  Problem p;
  const int n = static_cast<int>(d.size());
  for (int k = 1; k <= n; ++k) p.w()(k, 1) = d[k - 1];
  for (int k = 1; k < n; ++k) p.w()(k, 2) = e[k - 1];
  detail::bisect_eigenvalues(p.W.data(), n, NMAX, m, eps, p.E.data());
  return {p.E.begin(), p.E.begin() + std::abs(m)};
}

TEST(Bisection, RepeatedEigenvalueComesOutAsTheIdenticalDouble) {
  const std::vector<double> E = bisect({1, 1, 0}, {0, 0}, 3, 1e-14);
  EXPECT_NEAR(E[0], 1.0, 1e-14);
  EXPECT_NEAR(E[2], 0.0, 1e-14);
  EXPECT_EQ(E[0], E[1]);
}

TEST(Bisection, ZeroPivotsAtTheFirstTrialValue) {
  const std::vector<double> down = bisect({0, 0, 0}, {1, 1}, 3, 1e-14);
  const std::vector<double> up = bisect({0, 0, 0}, {1, 1}, -3, 1e-14);
  const double expect[3] = {std::sqrt(2.0), 0.0, -std::sqrt(2.0)};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(down[i], expect[i], 4e-14);
    EXPECT_NEAR(up[i], expect[2 - i], 4e-14);
  }
}

TEST(Bisection, EndsOfTheSpectrumAndFullResolution) {
  const std::vector<double> d = {4, -1, 2.5, 0.5, 3};
  const std::vector<double> e = {1, 0.5, -2, 0.25};
  const std::vector<double> all = bisect(d, e, 5, 0.0);
  for (int i = 1; i < 5; ++i) EXPECT_GT(all[i - 1], all[i]);
  EXPECT_EQ(bisect(d, e, 1, 0.0)[0], all[0]);
  EXPECT_EQ(bisect(d, e, -1, 0.0)[0], all[4]);
  const std::vector<double> asc = bisect(d, e, -5, 0.0);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(asc[i], all[4 - i], 4 * kEps * 8);
  // Sum of eigenvalues is the trace.
  double sum = 0;
  for (double x : all) sum += x;
  EXPECT_NEAR(sum, 9.0, 64 * kEps);
}

TEST(Bisection, ZeroMatrixGivesZeros) {
  for (double x : bisect({0, 0, 0, 0}, {0, 0, 0}, 4, 1e-14)) EXPECT_EQ(x, 0.0);
}

// A NaN or an infinity in T, or a NaN tolerance, must not keep the search
// going for ever (the CTest timeout catches a hang): each search ends and
// writes its eigenvalue, all |M| of them, and nothing past them.
TEST(Bisection, NonFiniteInputEnds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::vector<double> d, e;
    int m;
    double eps;
  };
  for (const Case& c : {Case{{1, nan, 2}, {1, 1}, 3, 0.0}, Case{{1, 2, 3}, {inf, 1}, -3, 0.0},
                        Case{{1, 2, 3}, {1, 1}, 2, nan}}) {
    Problem p;
    const double unwritten = 1e300;
    p.E.assign(NMAX, unwritten);
    const int n = static_cast<int>(c.d.size());
    for (int k = 1; k <= n; ++k) p.w()(k, 1) = c.d[k - 1];
    for (int k = 1; k < n; ++k) p.w()(k, 2) = c.e[k - 1];
    detail::bisect_eigenvalues(p.W.data(), n, NMAX, c.m, c.eps, p.E.data());
    for (int i = 1; i <= NMAX; ++i)
      EXPECT_EQ(p.E[i - 1] == unwritten, i > std::abs(c.m)) << "E(" << i << "), M = " << c.m;
  }
}

// The Sturm count of T at x by the recurrence as stated, one trial value at
// a time: a zero pivot counts as non-negative, the next row is skipped, the
// one after it starts afresh from d_k - x.
int sturm_count(const std::vector<double>& d, const std::vector<double>& e2, double x) {
  double q = d[0] - x;
  int count = q >= 0.0;
  bool zero = q == 0.0, skipped = false;
  for (std::size_t k = 1; k < d.size(); ++k) {
    const double dx = d[k] - x;
    const double next = dx - e2[k - 1] / q;
    const bool skip = zero;
    q = skipped ? dx : next;
    count += !skip && q >= 0.0;
    zero = !skip && q == 0.0;
    skipped = skip;
  }
  return count;
}

// Small integer matrices and trial values at their diagonal entries and
// between them: pivots come out exactly zero in some lanes, in the first
// row, in the middle and in the last, and the lanes without must not be
// disturbed by those with.
TEST(SturmCounts, ZeroPivotsInSomeLanesGiveTheStatedCounts) {
  const std::vector<std::vector<double>> diagonals = {
      {0, 0, 0}, {1, 2, 3, 4}, {2, 0, 2, 0, 2}, {1, 1, 1, 1, 1, 1}, {3, -1, 0, 2, -2, 1, 0}};
  for (const std::vector<double>& d : diagonals) {
    const int n = static_cast<int>(d.size());
    for (int pattern = 0; pattern < 3; ++pattern) {
      std::vector<double> e2(n - 1);
      for (int k = 0; k < n - 1; ++k) e2[k] = pattern == 0 ? 0.0 : pattern == 1 ? 1.0 : (k % 2) * 4.0;
      Problem p;
      for (int k = 1; k <= n; ++k) p.w()(k, 1) = d[k - 1];
      for (int k = 1; k < n; ++k) p.w()(k, 3) = e2[k - 1];
      double x[detail::kSturmLanes];
      for (int l = 0; l < detail::kSturmLanes; ++l) x[l] = 0.5 * (l % 9) - 1.0 + (l > 8 ? d[l % n] + 1.0 : 0.0);
      for (const int m : {n, -n}) {
        int counts[detail::kSturmLanes];
        detail::sturm_counts(p.W.data(), n, NMAX, m, x, counts);
        for (int l = 0; l < detail::kSturmLanes; ++l) {
          const int c = sturm_count(d, e2, x[l]);
          EXPECT_EQ(counts[l], m > 0 ? c : n - c) << "n " << n << ", pattern " << pattern << ", x " << x[l];
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Inverse iteration on a tridiagonal T given directly in W.

struct TridiagonalProblem : Problem {
  TridiagonalProblem(const std::vector<double>& d, const std::vector<double>& e) {
    n = static_cast<int>(d.size());
    for (int k = 1; k <= n; ++k) w()(k, 1) = d[k - 1];
    for (int k = 1; k < n; ++k) w()(k, 2) = e[k - 1];
  }
  void iterate(const std::vector<double>& lambda, double delta) {
    for (std::size_t j = 0; j < lambda.size(); ++j) E[j] = lambda[j];
    detail::inverse_iteration(W.data(), IW.data(), n, NMAX, E.data(),
                              static_cast<int>(lambda.size()), {0.0, 0.0, delta}, -1.0, V.data());
  }
  int n;
};

// For an exact eigenvalue of a diagonal T the pivot of its row is exactly
// zero: replaced, it must make the iterate that unit vector to working
// precision, without any interchange.
TEST(InverseIteration, ExactEigenvalueOfDiagonalGivesItsUnitVector) {
  TridiagonalProblem t({1, 2, 3}, {0, 0});
  t.iterate({3.0}, 3e-14);
  const double x3 = t.v()(3, 1).real();
  ASSERT_TRUE(std::isfinite(x3) && x3 > 0);
  EXPECT_LE(std::abs(t.v()(1, 1)), kEps * x3);
  EXPECT_LE(std::abs(t.v()(2, 1)), kEps * x3);
  for (int k = 1; k <= 2; ++k) EXPECT_EQ(t.IW[k - 1], 0);
}

// The part of column j of V that the columns before it do not span,
// relative to its length (Gram-Schmidt in long double).
double independent_part(const Problem& p, int n, int j) {
  std::vector<std::vector<long double>> q;
  long double rest = 0, whole = 0;
  for (int c = 1; c <= j; ++c) {
    std::vector<long double> x(n);
    for (int i = 0; i < n; ++i) x[i] = p.V[i + (c - 1) * NMAX].real();
    whole = 0;
    for (long double xi : x) whole += xi * xi;
    for (const auto& u : q) {
      long double f = 0;
      for (int i = 0; i < n; ++i) f += u[i] * x[i];
      for (int i = 0; i < n; ++i) x[i] -= f * u[i];
    }
    rest = 0;
    for (long double xi : x) rest += xi * xi;
    for (long double& xi : x) xi /= std::sqrt(rest);
    q.push_back(x);
  }
  return static_cast<double>(std::sqrt(rest / whole));
}

// For T = I every eigenvalue coincides with the one before it, and every
// pivot is replaced: each iterate is its start vector scaled. The start
// vectors must differ, so that the copies of the eigenvalue do not all
// converge to one vector: each iterate keeps a good part outside the span
// of those before it. And each call draws the same ones.
TEST(InverseIteration, CoincidingEigenvaluesGetIndependentStartVectors) {
  const int n = 4;
  TridiagonalProblem t({1, 1, 1, 1}, {0, 0, 0});
  t.iterate({1.0, 1.0, 1.0, 1.0}, 4e-14);
  for (int j = 2; j <= n; ++j) EXPECT_GE(independent_part(t, n, j), 1e-3) << "vector " << j;
  TridiagonalProblem again({1, 1, 1, 1}, {0, 0, 0});
  again.iterate({1.0, 1.0, 1.0, 1.0}, 4e-14);
  EXPECT_EQ(again.V, t.V);
}

// With beta = 0 (the zero matrix) the threshold is 0, and equal eigenvalues
// must still count as coinciding, or every vector would be the same.
TEST(InverseIteration, ZeroThresholdStillSeparatesEqualEigenvalues) {
  TridiagonalProblem t({0, 0, 0}, {0, 0});
  t.iterate({0.0, 0.0, 0.0}, 0.0);
  EXPECT_NE(t.v()(1, 1), t.v()(1, 2));
  EXPECT_NE(t.v()(1, 2), t.v()(1, 3));
}

TEST(InverseIteration, EqualMagnitudesDoNotInterchange) {
  TridiagonalProblem t({2, 2, 2}, {1, 1});
  t.iterate({1.0}, 0.0);  // |d_1 - 1| = |e_1| = 1
  EXPECT_EQ(t.IW[0], 0);
}

// ---------------------------------------------------------------------------
// Whole eigch calls on small matrices.

TEST(EigchVectors, DiagonalMatrixGivesUnitVectors) {
  Problem p;
  for (int i = 1; i <= 3; ++i) p.a()(i, i) = i;
  p.EPS = 0.0;
  p.solve(3, 3, 3);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_NEAR(p.E[j - 1], 4 - j, 8 * kEps);
    for (int i = 1; i <= 3; ++i)
      EXPECT_NEAR(std::abs(p.v()(i, j) - cplx(i == 4 - j ? 1.0 : 0.0)), 0.0, 8 * kEps);
  }
}

// max |V^H V - I| and max |A v_j - E_j v_j| over the n vectors of a solve
// with MV = n, A Hermitian as the lower triangle of `original` gives it
// (diagonal imaginary parts ignored); both within 30 n eps, the residual
// times the largest absolute row sum of A.
void expect_orthonormal_eigenvectors(Problem& original, Problem& p, int n) {
  double defect = 0, residual = 0, norm = 0;
  auto a = [&](int i, int k) {
    const cplx x = i >= k ? original.a()(i, k) : std::conj(original.a()(k, i));
    return i == k ? cplx(x.real()) : x;
  };
  for (int i = 1; i <= n; ++i) {
    double row = 0;
    for (int k = 1; k <= n; ++k) row += std::abs(a(i, k));
    norm = std::max(norm, row);
  }
  for (int j = 1; j <= n; ++j) {
    for (int l = 1; l <= n; ++l) {
      cplx s = 0.0;
      for (int i = 1; i <= n; ++i) s += std::conj(p.v()(i, j)) * p.v()(i, l);
      defect = std::max(defect, std::abs(s - (j == l ? 1.0 : 0.0)));
    }
    for (int i = 1; i <= n; ++i) {
      cplx s = -p.E[j - 1] * p.v()(i, j);
      for (int k = 1; k <= n; ++k) s += a(i, k) * p.v()(k, j);
      residual = std::max(residual, std::abs(s));
    }
  }
  EXPECT_LE(defect, 30 * n * kEps);
  EXPECT_LE(residual, 30 * n * kEps * norm);
}

// Repeated and nearly repeated eigenvalues, of T directly and hidden in a
// full matrix: the vectors for MV > 0 are orthonormal and belong to their
// eigenvalues.
TEST(EigchVectors, RepeatedEigenvaluesGiveOrthonormalVectors) {
  struct Case {
    std::vector<double> d;
    double coupling;  // every subdiagonal entry
  };
  for (const Case& c : {Case{{2, 2, 2, 2, 2}, 0.0}, Case{{1, 1, 1, -1, -1}, 0.0},
                        Case{{1, 1 + 1e-15, 1 - 1e-15, 0.5}, 0.0}, Case{{3, 3, 3, 3}, 1e-20},
                        Case{{0, 0, 0}, 0.0}}) {
    SCOPED_TRACE(c.d[0]);
    Problem p;
    const int n = static_cast<int>(c.d.size());
    for (int i = 1; i <= n; ++i) p.a()(i, i) = c.d[i - 1];
    for (int i = 2; i <= n; ++i) p.a()(i, 1) = cplx(c.coupling, c.coupling);
    Problem original = p;
    p.EPS = 0.0;
    p.solve(n, n, n);
    ASSERT_EQ(p.ILL, 0);
    expect_orthonormal_eigenvectors(original, p, n);
  }
}

// Tridiagonal matrices of norm about 1 that split into blocks: a dozen
// exact zero eigenvalues and a few of 1, tied by couplings from 2^-12 down
// to 2^-253 (found by a random search over such matrices). Each cluster's
// later vectors come out of inverse iteration almost inside the span of
// the earlier ones, with far less than eps of them left; the refinement
// must take the earlier vectors' part out of what is left to within
// rounding of it, or the vector comes out as an earlier one again, or as
// nothing. The vectors are orthonormal eigenvectors, with no report.
TEST(EigchVectors, SplitClustersFarBelowTheNormGiveOrthonormalVectors) {
  struct Case {
    int n;
    std::vector<std::pair<int, double>> d, e;  // the nonzero d_k and e_k = A(k+1, k)
  };
  const Case cases[] = {
      {10, {{3, 1}, {8, 1}}, {{1, 1}, {3, 0x1.2p-109}, {5, 1}, {6, 1}, {8, 0x1.32p-29}, {9, 1}}},
      {16, {}, {{1, 1}, {2, 1}, {3, 0x1p-37}, {4, 1}, {5, 1}, {6, 1}, {7, 0x1p-41}, {9, 0x1p-232},
                {10, 1}, {12, 1}, {14, 1}}},
      {15, {{4, 0x1.2f30434ce2afp-43}, {7, 1}}, {{3, 1}, {7, 0x1p-243}, {14, 1}}},
      {9, {{4, 1}, {6, 1}, {7, 1}, {8, 1}}, {{4, 0x1.8p-239}, {7, 0x1.5f9p-29}}},
      {12, {{5, 1}, {11, 1}}, {{2, 1}, {5, 0x1.cp-12}, {11, 0x1p-229}}},
      {12, {{4, 1}, {11, 1}}, {{1, 1}, {3, 0x1p-112}, {4, 0x1p-37}, {5, 1}, {7, 1}, {9, 0x1p-51},
                               {10, 1}, {11, 0x1p-169}}},
      {13, {{9, 1}, {10, 1}, {11, 1}, {13, 1}}, {{4, 1}, {9, 0x1p-253}, {10, 0x1.9f09287e608b6p-37},
                                                 {11, 0x1p-144}}},
      {12, {{4, 0x1p-200}, {10, 1}}, {{1, 0x1p-233}, {2, 1}, {8, 0x1p-160}, {9, 0x1p-48}}},
      // The refinement's vector has nothing left in the block of the
      // missing eigenvector; a restart from a full vector reaches it.
      {9, {{4, 0x1.24f2110f383bbp-126}, {6, 0x1.3839ddf372ac4p-484}},
       {{1, 0x1p-70}, {2, 1}, {6, 0x1.b7d6c05a6bbf3p-164}, {7, 0x1p-257}}},
      {9, {{2, 0x1.a9980e9d34831p-529}, {3, 1}, {4, 1}, {5, 1}},
       {{1, 0x1.b210dfe8012bep-217}, {2, 0x1p-160}, {3, 1}, {5, 0x1p-214}, {6, 0x1p-111}, {7, 0x1p-40},
        {8, 0x1.bc5d4df6b72p-103}}},
      {9, {{4, 1}}, {{1, 0x1.3479793ba4b0ap-238}, {2, 1}, {4, 0x1p-255}, {5, 1}, {6, 0x1p-109}, {7, 1}, {8, 0x1p-16}}},
      {9, {{2, 1}, {6, 1}},
       {{1, 0x1.a6081b3d08b0cp-87}, {2, 1}, {3, 0x1p-83}, {4, 0x1.0a02a0214cef2p-95}, {5, 0x1p-40}, {6, 0x1p-99},
        {7, 1}, {8, 0x1.5456498f7f913p-99}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("row of order " + std::to_string(c.n) + ", " + std::to_string(c.e.size()) + " couplings");
    Problem p;
    for (const auto& [k, x] : c.d) p.a()(k, k) = x;
    for (const auto& [k, x] : c.e) p.a()(k + 1, k) = x;
    Problem original = p;
    p.EPS = 0.0;
    p.solve(c.n, c.n, c.n);
    EXPECT_EQ(p.ILL, 0);
    expect_orthonormal_eigenvectors(original, p, c.n);
  }
}

// Orthogonalization against a cluster's basis q_1..q_m leaves x orthogonal
// to it to working precision however little of x survives: x = Q c + s y,
// y a unit vector orthogonal to the basis, for s from 1e-2 down to 1e-14.
// What one pass of Gram-Schmidt leaves is about eps of x as it was, which
// is eps / s of what survives.
TEST(ClusterOrthogonalization, LeavesXOrthogonalToTheBasisHoweverLittleSurvives) {
  struct Case {
    int n, m;
    double survives;
  };
  for (const Case& c : {Case{6, 1, 1e-2}, Case{6, 3, 1e-8}, Case{20, 5, 1e-12}, Case{50, 10, 1e-6},
                        Case{200, 40, 1e-14}, Case{200, 199, 1e-10}}) {
    SCOPED_TRACE("n = " + std::to_string(c.n) + ", m = " + std::to_string(c.m));
    geneig::test::Draw draw(7 * c.n + c.m);
    // Columns 1..m+1 of b: random, made orthonormal in long double; the
    // last one is y.
    std::vector<std::vector<long double>> b(c.m + 1, std::vector<long double>(c.n + 1));
    for (int l = 0; l <= c.m; ++l) {
      for (int i = 1; i <= c.n; ++i) b[l][i] = draw();
      for (int pass = 0; pass < 2; ++pass)
        for (int k = 0; k < l; ++k) {
          long double f = 0;
          for (int i = 1; i <= c.n; ++i) f += b[k][i] * b[l][i];
          for (int i = 1; i <= c.n; ++i) b[l][i] -= f * b[k][i];
        }
      long double t = 0;
      for (int i = 1; i <= c.n; ++i) t += b[l][i] * b[l][i];
      for (int i = 1; i <= c.n; ++i) b[l][i] /= std::sqrt(t);
    }
    std::vector<double> q(NMAX * NMAX), x(c.n + 1);
    const detail::RMat Q(q.data(), NMAX);
    for (int l = 1; l <= c.m; ++l)
      for (int i = 1; i <= c.n; ++i) Q(i, l) = static_cast<double>(b[l - 1][i]);
    for (int i = 1; i <= c.n; ++i) {
      long double xi = c.survives * b[c.m][i];
      for (int l = 0; l < c.m; ++l) xi += b[l][i] / (l + 1);
      x[i] = static_cast<double>(xi);
    }
    const double ratio = detail::orthogonalize_in_cluster(Q, x.data(), c.n, c.m);
    long double size = 0, worst = 0;
    for (int i = 1; i <= c.n; ++i) size += static_cast<long double>(x[i]) * x[i];
    for (int l = 1; l <= c.m; ++l) {
      long double f = 0;
      for (int i = 1; i <= c.n; ++i) f += static_cast<long double>(Q(i, l)) * x[i];
      worst = std::max(worst, std::fabs(f));
    }
    EXPECT_LE(static_cast<double>(worst / std::sqrt(size)), 4 * c.n * kEps);
    // ||x before||^2 = sum_l 1/l^2 + s^2; rounding x to doubles leaves
    // up to about eps of noise beside s y, hence the factor of two.
    long double before = c.survives * c.survives;
    for (int l = 1; l <= c.m; ++l) before += 1.0L / (l * l);
    const double expected = c.survives / static_cast<double>(std::sqrt(before));
    EXPECT_GT(ratio, expected / 2);
    EXPECT_LT(ratio, expected * 2);
  }
}

TEST(EigchVectors, NegativeMvScalesLargestComponentToOneOnly) {
  Problem p;
  const int n = 4;
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) p.a()(i, j) = i == j ? cplx(j, 0) : cplx(0.3 * i, -0.2 * j);
  p.solve(n, n, -n);
  for (int j = 1; j <= n; ++j) {
    double best = 0;
    int at = 0;
    for (int i = 1; i <= n; ++i) {
      const double size = std::abs(p.v()(i, j).real()) + std::abs(p.v()(i, j).imag());
      if (size > best) best = size, at = i;
    }
    EXPECT_NEAR(std::abs(p.v()(at, j) - 1.0), 0.0, 4 * kEps);
  }
}

// A NaN tolerance gives no eigenvalue and no cluster a distance: the
// vectors cannot be told apart (7), and what comes back is not numbers,
// which stands over it and over the caller's value (9). Matrices whose
// whole spectrum lies below the absolute pivot replacement 1e-30 are solved
// scaled into ordinary magnitudes, like the rows of EigchScaling below,
// without a report.
TEST(EigchVectors, ClusterThatCannotBeToldApartIsReported) {
  struct Case {
    std::vector<double> d;
    double eps;
    int ill_before, ill_after;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr int kSeparated = 0, kNotFinite = GENEIG_ILL_NOT_FINITE_RESULT;
  constexpr int kEarlier = GENEIG_ILL_INDEFINITE_B;  // as eigcab's factorization leaves it
  for (const Case& c : {Case{{1e-30, 1e-300}, 1e-3, 0, kSeparated},
                        Case{{4e-31, 2e-31, 1e-31}, 1e-20, 0, kSeparated},
                        Case{{1, 2, 3}, nan, 0, kNotFinite},
                        Case{{1, 2, 3}, nan, kEarlier, kNotFinite},
                        Case{{1e-20, 1e-290}, 1e-3, 0, kSeparated}}) {
    Problem p;
    const int n = static_cast<int>(c.d.size());
    for (int i = 1; i <= n; ++i) p.a()(i, i) = c.d[i - 1];
    p.EPS = c.eps;
    p.ILL = c.ill_before;
    EXPECT_EQ(p.solve(n, n, n), "");
    EXPECT_EQ(p.ILL, c.ill_after) << "A(1,1) = " << c.d[0] << ", EPS = " << c.eps;
  }
}

// A matrix whose largest entry lies outside [2^-32, 2^32] is solved as
// 2^-e A with that entry in [1, 2): scaled by 2^s, a matrix whose largest
// entry is 1.5 gives the same eigenvectors to the bit, its eigenvalues and
// reflection vectors times 2^s exactly. Taken as it is, a small matrix
// would have its vectors swamped by the absolute pivot replacement 1e-30.
// Where an eigenvalue leaves the double range on the way back, ILL = 6
// says so.
TEST(EigchScaling, OutsideTheWindowGivesTheVectorsOfTheMatrixInIt) {
  struct Case {
    int n, m, mv, s;
  };
  for (const Case& c : {Case{2, 2, 2, -900}, Case{3, 3, 3, -600}, Case{3, -2, -1, -40}, Case{7, 7, 7, -120},
                        Case{7, -7, 5, 33}, Case{20, 20, 20, -1000}, Case{20, 4, -4, 600},
                        Case{20, 20, 20, 1000}, Case{40, 40, 40, -200}}) {
    SCOPED_TRACE("n = " + std::to_string(c.n) + ", 2^" + std::to_string(c.s));
    geneig::test::Draw draw(1000 + c.n);
    Problem in_window;
    for (int j = 1; j <= c.n; ++j)
      for (int i = j; i <= c.n; ++i) in_window.a()(i, j) = i == j ? cplx(draw()) : draw.complex();
    in_window.a()(1, 1) = 1.5;
    Problem scaled = in_window;
    for (cplx& a : scaled.A) a = cplx(std::ldexp(a.real(), c.s), std::ldexp(a.imag(), c.s));
    in_window.solve(c.n, c.m, c.mv);
    scaled.solve(c.n, c.m, c.mv);
    ASSERT_EQ(in_window.ILL, 0);
    EXPECT_EQ(scaled.ILL, 0);
    for (int i = 0; i < std::abs(c.m); ++i) EXPECT_EQ(scaled.E[i], std::ldexp(in_window.E[i], c.s));
    EXPECT_EQ(scaled.V, in_window.V);
    for (int j = 1; j <= c.n - 1; ++j)
      for (int i = j + 1; i <= c.n; ++i)
        ASSERT_EQ(scaled.a()(i, j), cplx(std::ldexp(in_window.a()(i, j).real(), c.s),
                                         std::ldexp(in_window.a()(i, j).imag(), c.s)));
  }
}

// [[b, b], [b, b]] (b = 1.5 * 2^1023): the eigenvalue 2b lies beyond the
// range and comes back as the largest double, reported. An eigenvalue
// below the normal range is written as the subnormal it rounds to, and
// reported only when it is the largest: beside 2^-999 the subnormal 2^-1062
// has all the accuracy the solve gives it (an absolute error of about
// 2^-1051), which the subnormal numbers hold; with 2^-1030 as the largest,
// rounding to subnormals loses digits the solve had.
TEST(EigchScaling, EigenvalueLeavingTheRangeIsReported) {
  Problem huge;
  const double b = 0x1.8p1023;
  huge.a()(1, 1) = huge.a()(2, 1) = huge.a()(2, 2) = b;
  huge.solve(3, 1, 1);
  EXPECT_EQ(huge.ILL, GENEIG_ILL_OUT_OF_RANGE);
  EXPECT_EQ(huge.E[0], DBL_MAX);

  for (const auto& [largest, ill] : {std::pair{0x1p-999, 0}, std::pair{0x1p-1030, int{GENEIG_ILL_OUT_OF_RANGE}}}) {
    Problem tiny;
    tiny.a()(1, 1) = largest;
    tiny.a()(2, 2) = 0x1p-1062;
    tiny.EPS = 0.0;
    tiny.solve(3, 2, 2);
    EXPECT_EQ(tiny.ILL, ill) << largest;
    EXPECT_EQ(tiny.E[0], largest);
    EXPECT_EQ(tiny.E[1], 0x1p-1062);
  }
}

TEST(EigchVectors, MvZeroLeavesVUntouched) {
  Problem p;
  set_order2_example(p);
  p.V.assign(NMAX * NMAX, cplx(5.0, 5.0));
  p.solve(2, 2, 0);
  for (cplx v : p.V) ASSERT_EQ(v, cplx(5.0, 5.0));
}

}  // namespace
