// The randomized residual check (result_check.hpp): does a solve's result
// look like what a backward-stable solve gives?
//
// The bound. A backward-stable solve of the Hermitian-definite pencil by
// factoring B (B = L^H D L, R = D^-1/2 L^-H A L^-1 D^-1/2, the Hermitian
// eigensolver on R, v = L^-1 D^-1/2 y) returns eigenpairs whose residuals,
// one pair at a time, satisfy
//
//   |A v_j - lambda_j B v_j|_2 <= c N eps (|A|_2 + max|lambda| |B|_2) |v_j|_2
//
// with c a modest constant: each stage is backward stable (the
// factorization, with a perturbation of B of order N eps |B|; the
// reduction, with one of A of order N eps |L|^2 |R| <= N eps |B| max|lambda|,
// |R| being max|lambda|; the eigensolver, with a residual of order
// N eps |R| in R; the back-substitution, with one of L of order eps |L|),
// and each term is at most that size. It is max|lambda| that appears, not
// |lambda_j|: the errors of the reduction and of the eigensolver are of
// the size of the largest eigenvalue for every pair. For a combination
// V r of the eigenvectors the residual is the same combination of theirs,
// so
//
//   |A (V r) - B (V (Lambda r))|_2 <= c N eps (|A|_2 + max|lambda| |B|_2) sum_j |r_j| |v_j|_2,
//
// and with |X|_2 <= |X|_1 for a Hermitian X (|z| taken as |Re z| + |Im z|
// in the 1-norms, which only makes them larger)
//
//   ratio = |A (V r) - B (V (Lambda r))|_2 / ((|A|_1 + max|lambda| |B|_1) |V r|_2)
//        <= c N eps sum_j |r_j| |v_j|_2 / |V r|_2.
//
// The factor sum_j |r_j| |v_j|_2 / |V r|_2 >= 1 allows for a combination in
// which the vectors cancel; for random signs it stays near 1 and at most
// about sqrt(M). With c = 30, LAPACK's acceptance limit for its own test
// ratios in units of N eps, this is the bound. A result that exceeds it
// cannot have come from a stable solve: some stage went wrong. Correct
// solves stay some four orders of magnitude below it
// (tests/structured_test.cpp and tests/residual_check_test.cpp measure the
// margin on every family of pencils): errors of rounding add up like
// random ones, not like the worst case that the bound allows.
//
// The pencil is measured equilibrated, as (S A S, S B S) with the vectors
// S^-1 v, S = diag(2^-e_k), 4^e_k about B(k, k): each row at its own scale,
// so that the check sees the small rows of a graded pencil, which in the
// norms of A and B would be rounding error of the large ones. The bound
// holds there as well: every operation of the solve commutes with a
// diagonal scaling by powers of two (L becomes S^-1 L S, D becomes S^2 D,
// R stays R), so a solve of (A, B) makes the rounding errors of a solve of
// (S A S, S B S), and the backward error of the one is that of the other.
//
// Why random r and not each pair: the check costs O(N M), two passes over
// V and two products with A and B for two vectors, against the O(N^3) of
// the solve; a fault large enough to matter shows in any combination but
// for a set of vectors of measure zero. The r are fixed, drawn from a
// 64-bit linear congruential generator with a fixed seed, so the check
// decides the same way on every CPU.
//
// Scaling. S A S, S B S, S^-1 V and E are each scaled by a power of two to
// bring their largest entry into [1, 2), exactly (two multiplications by
// powers of two for each entry, found from the entries' exponents, so that
// nothing overflows on the way); the two parts of the residual are brought
// to a common exponent, the larger one's. What underflows lies more than
// 2^1000 below the norms it is measured against. Every sum is formed in a
// fixed order.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>

#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "eigcab.hpp"
#include "result_check.hpp"

namespace geneig {
namespace {

// The bound's constant c.
constexpr double kBoundConstant = 30.0;

// 2^t for t in [-1022, 1023], from its bits.
double two_to(int t) { return std::bit_cast<double>(static_cast<std::uint64_t>(t + 1023) << 52); }

// x 2^t by two multiplications by powers of two: exact whenever the result
// is a normal number. Used only where x 2^t is at most 2; for t below
// -2044 it lies below 2^-1020, negligible where it is used, and is 0.
double times_two_to(double x, int t) {
  const int t1 = t >> 1, t2 = t - t1;
  return t1 < -1022 ? 0.0 : x * two_to(t1) * two_to(t2);
}
cplx times_two_to(cplx z, int t) { return {times_two_to(z.real(), t), times_two_to(z.imag(), t)}; }

// The binary exponent of a nonzero finite x, from its bits where it is
// normal.
int exponent_of(double x) {
  const int biased = static_cast<int>((std::bit_cast<std::uint64_t>(x) >> 52) & 0x7ff);
  return biased != 0 ? biased - 1023 : std::ilogb(x);
}

// The largest binary exponent of the parts given, each less a shift; INT_MIN
// while all are zero; false once one is not a finite number.
struct Largest {
  int top = INT_MIN;
  bool finite = true;
  void add(double x, int shift) {
    if (x == 0.0) return;
    if (!std::isfinite(x)) finite = false;
    else top = std::max(top, exponent_of(x) - shift);
  }
  int exponent() const { return top == INT_MIN ? 0 : top; }
};

// Entries in [-1, 1) from a 64-bit linear congruential generator (Knuth's
// multiplier and increment), 53 bits of each draw.
struct Draws {
  std::uint64_t s = 0x9e3779b97f4a7c15ull;
  double operator()() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(s >> 11) * 0x1p-52 - 1.0;
  }
};

// y(p) := X x(p) for p = 0, 1, X Hermitian given by its lower triangle and
// the real parts of its diagonal, each entry X(i, j) taken times
// 2^-(s + e_i + e_j) on the fly; returns the 1-norm of that scaled X (|z|
// as |Re| + |Im|). y(p)(i) sums its terms of columns j < i, then the
// diagonal, then those of rows below i, each in increasing index order.
double hermitian_products(const ColMajor<const cplx>& X, int n, int s, const int* e,
                          const cplx* const x[2], cplx* const y[2], double* column) {
  for (int i = 1; i <= n; ++i) y[0][i] = y[1][i] = 0.0, column[i] = 0.0;
  for (int k = 1; k <= n; ++k) {
    const double d = times_two_to(X(k, k).real(), -(s + 2 * e[k]));
    cplx t0 = cscale(x[0][k], d), t1 = cscale(x[1][k], d);
    column[k] += std::fabs(d);
    const cplx* c = X.col(k);
    for (int i = k + 1; i <= n; ++i) {
      const cplx a = times_two_to(c[i], -(s + e[i] + e[k]));
      y[0][i] += cmul(a, x[0][k]);
      y[1][i] += cmul(a, x[1][k]);
      t0 += cmul(std::conj(a), x[0][i]);
      t1 += cmul(std::conj(a), x[1][i]);
      const double size = std::fabs(a.real()) + std::fabs(a.imag());
      column[k] += size;
      column[i] += size;
    }
    y[0][k] += t0;
    y[1][k] += t1;
  }
  double norm = 0.0;
  for (int i = 1; i <= n; ++i) norm = std::max(norm, column[i]);
  return norm;
}

double norm2(const cplx* x, int n) {
  double t = 0.0;
  for (int i = 1; i <= n; ++i) t += cnorm2(x[i]);
  return std::sqrt(t);
}

}  // namespace

ResidualCheck residual_check(const cplx* Ap, const cplx* Bp, const int& N, const int& NA,
                             const double* E, const cplx* Vp, const int& M) {
  const int n = N, m = M;
  const double bound_unit = kBoundConstant * n * DBL_EPSILON;
  if (n < 1 || m < 1) return {0.0, bound_unit};
  const ColMajor<const cplx> A(Ap, NA), B(Bp, NA), V(Vp, NA);
  // The equilibration S = diag(2^-e_k), 4^e_k about B(k, k).
  int e[NMAX + 1];
  for (int k = 1; k <= n; ++k) {
    const double d = B(k, k).real();
    e[k] = d > 0.0 && d <= DBL_MAX ? exponent_of(d) >> 1 : 0;
  }
  Largest la, lb, lv, le;
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      la.add(A(i, j).real(), e[i] + e[j]), lb.add(B(i, j).real(), e[i] + e[j]);
      if (i != j) la.add(A(i, j).imag(), e[i] + e[j]), lb.add(B(i, j).imag(), e[i] + e[j]);
    }
  for (int j = 1; j <= m; ++j) {
    le.add(E[j - 1], 0);
    for (int i = 1; i <= n; ++i) lv.add(V(i, j).real(), -e[i]), lv.add(V(i, j).imag(), -e[i]);
  }
  if (!(la.finite && lb.finite && lv.finite && le.finite)) return {HUGE_VAL, bound_unit};
  const int ea = la.exponent(), eb = lb.exponent(), ev = lv.exponent(), el = le.exponent();

  // Entries 1..n (1..m for r and the norms of V's columns), on the stack
  // (some 30 KB): x = S^-1 V r and y = S^-1 V Lambda r for both r, then
  // S A S x and S B S y, all scaled.
  cplx x[2][NMAX + 1], y[2][NMAX + 1], ax[2][NMAX + 1], by[2][NMAX + 1];
  double r[2][NMAX + 1], vnorm[NMAX + 1], column[NMAX + 1];
  Draws draw;
  for (int p = 0; p < 2; ++p)
    for (int j = 1; j <= m; ++j) r[p][j] = draw();

  for (int p = 0; p < 2; ++p)
    for (int i = 1; i <= n; ++i) x[p][i] = y[p][i] = 0.0;
  double largest_lambda = 0.0;
  for (int j = 1; j <= m; ++j) {
    const double lambda = times_two_to(E[j - 1], -el);
    largest_lambda = std::max(largest_lambda, std::fabs(lambda));
    const double c0 = r[0][j], c1 = r[1][j], d0 = lambda * c0, d1 = lambda * c1;
    const cplx* v = V.col(j);
    double t = 0.0;
    for (int i = 1; i <= n; ++i) {
      const cplx w = times_two_to(v[i], e[i] - ev);
      x[0][i] += cscale(w, c0);
      x[1][i] += cscale(w, c1);
      y[0][i] += cscale(w, d0);
      y[1][i] += cscale(w, d1);
      t += cnorm2(w);
    }
    vnorm[j] = std::sqrt(t);
    // A zero column is no eigenvector, though its residual vanishes.
    if (!(t > 0.0)) return {HUGE_VAL, bound_unit};
  }

  const cplx* const xs[2] = {x[0], x[1]};
  const cplx* const ys[2] = {y[0], y[1]};
  cplx* const axs[2] = {ax[0], ax[1]};
  cplx* const bys[2] = {by[0], by[1]};
  const double na = hermitian_products(A, n, ea, e, xs, axs, column);
  const double nb = hermitian_products(B, n, eb, e, ys, bys, column);

  // A x and B y at the common exponent max(ea, eb + el): the residual is
  // ca A x - cb B y in units of 2^(c + ev).
  const int c = std::max(ea, eb + el);
  const double ca = std::ldexp(1.0, ea - c), cb = std::ldexp(1.0, eb + el - c);
  const double scale = ca * na + cb * largest_lambda * nb;
  ResidualCheck worst{0.0, bound_unit};
  double worst_share = -1.0;
  for (int p = 0; p < 2; ++p) {
    double res = 0.0;
    for (int i = 1; i <= n; ++i) res += cnorm2(cscale(ax[p][i], ca) - cscale(by[p][i], cb));
    res = std::sqrt(res);
    // No combination of eigenvectors vanishes: V r = 0 is no result.
    const double size = norm2(x[p], n);
    if (!(size > 0.0)) return {HUGE_VAL, bound_unit};
    double spread = 0.0;
    for (int j = 1; j <= m; ++j) spread += std::fabs(r[p][j]) * vnorm[j];
    const ResidualCheck check{res == 0.0 ? 0.0 : res / (scale * size), bound_unit * (spread / size)};
    const double share = check.ratio / check.bound;
    if (!(share <= worst_share)) worst = check, worst_share = share;
  }
  return worst;
}

}  // namespace geneig
