// Cluster refinement: a vector of a cluster of nearly equal eigenvalues
// that inverse iteration leaves almost inside the span of the cluster's
// earlier vectors is orthogonalized against them and put through further
// solves with T - shift I until it is an eigenvector of its own, or
// reported as one that cannot be told apart.
//
//   W, IW   as in inverse_iteration.cpp: d and e in columns 1 and 2; the
//           factorization of T - shift I and the iterate in columns 3..7.
//   work    cluster_basis: the cluster's orthonormal basis so far (column
//           l, rows 1..n); original: the vector as the two solves gave it.
#include <algorithm>
#include <cmath>
#include <limits>

#include "inverse_iteration.hpp"

namespace geneig::detail {
namespace {

// A cluster vector whose orthogonalization keeps less than this fraction
// of it is refined by further solves, at most kRefinements times.
constexpr double kKeptFraction = 0.9;
constexpr int kRefinements = 5;
// When the refinement fails, it starts again from each of this many fixed
// vectors in turn (restart_entry below) before it gives up. A T that
// splits into blocks joined by couplings far below its norm (2^-40 and
// less) gives a vector exact zeros, or entries that underflow, in the
// blocks away from its eigenvalue's; solves with T - shift I cannot grow
// what is not there, so a missing eigenvector of the cluster that lives in
// such a block is out of reach of further solves from that vector.
constexpr int kRestarts = 3;
// A refined vector is accepted when its residual with its shift is at most
// this many times what a converged iterate leaves (see refine_in_cluster).
constexpr double kResidualSlack = 2.0;

// Entry i of restart vector r (1..kRestarts): every entry nonzero, in three
// patterns of sign and size, so that an orthogonalized restart has a part
// in every block of a T that splits into nearly independent blocks.
double restart_entry(int r, int i) {
  if (r == 1) return 1.0;
  if (r == 2) return i % 2 != 0 ? 1.0 : -1.0;
  return 1.0 / i;
}

}  // namespace

// Modified Gram-Schmidt, twice: the second pass removes what rounding left
// of the first, which is about eps ||x before|| and may be most of what is
// left when the basis takes nearly all of x. Q holds an orthonormal basis
// of the cluster's vectors so far, in the basis of T.
double orthogonalize_in_cluster(const RMat& Q, double* x, int n, int m) {
  double big = 0.0;
  for (int i = 1; i <= n; ++i) big = std::max(big, std::fabs(x[i]));
  if (!(big > 0.0) || !std::isfinite(big)) return 1.0;
  for (int i = 1; i <= n; ++i) x[i] /= big;
  auto norm = [&] {
    double t = 0.0;
    for (int i = 1; i <= n; ++i) t += x[i] * x[i];
    return std::sqrt(t);
  };
  const double before = norm();
  for (int pass = 0; pass < 2; ++pass)
    for (int l = 1; l <= m; ++l) {
      const double* q = Q.col(l);
      double f = 0.0;
      for (int i = 1; i <= n; ++i) f += q[i] * x[i];
      for (int i = 1; i <= n; ++i) x[i] -= f * q[i];
    }
  return norm() / before;
}

namespace {

// ||(T - shift I) x||_2 / ||x||_2, the rows of T - shift I scaled by the
// power of two 2^-e first (and the result back) so that the squares stay
// in range whatever the size of T.
double shifted_residual(const RMat& W, const double* x, int n, double shift, int e) {
  double r2 = 0.0, x2 = 0.0;
  for (int i = 1; i <= n; ++i) {
    double r = (W(i, 1) - shift) * x[i];
    if (i > 1) r = r + W(i - 1, 2) * x[i - 1];
    if (i < n) r = r + W(i, 2) * x[i + 1];
    r = std::ldexp(r, -e);
    r2 += r * r;
    x2 += x[i] * x[i];
  }
  return std::ldexp(std::sqrt(r2 / x2), e);
}

}  // namespace

// A vector of a cluster of nearly equal eigenvalues can come out of the two
// solves lying almost in the span of the cluster's earlier vectors: what
// is left after orthogonalizing against them is then mostly rounding
// error, and no later orthogonalization can make it accurate. Such a
// vector is orthogonalized in the basis of T and put through further
// solves with T - shift I, each followed by orthogonalization. The shift is
// its eigenvalue moved, if need be, a little past the previous member's
// shift: with the eigenvalue itself, an earlier vector whose eigenvalue it
// equals would be amplified without bound (the pivot replacement) and
// crowd out the new direction again. A vector that passes at once is left
// exactly as it was. Either way its orthogonalized direction joins the
// cluster's basis as q_{m+1}.
//
// When to stop. The rounding error left after orthogonalization holds
// components of every eigenvector of T, those of eigenvalues far outside
// the cluster too, and may hold them far above the wanted one. A solve
// with T - shift I multiplies each component by 1 / (mu - shift) for its
// eigenvalue mu: the wanted one gains only about 1 / (rho + n eps beta) on
// a far one, with rho the distance of the shift to the wanted eigenvalue.
// So one solve whose result orthogonalization leaves nearly whole may still
// be mostly a far eigenvector (one of another cluster): orthogonality to
// the cluster proves nothing about that. The residual does: a vector in
// which an eigenvector of eigenvalue mu has the share c has a residual
// ||(T - shift I) x|| / ||x|| of at least |c| |mu - shift|, while the
// converged vector's is about rho <= |shift - lambda| + tol (lambda
// computed to within the bisection tolerance). So the rounds go on until,
// besides being kept nearly whole, the orthogonalized vector has a
// residual within kResidualSlack of |shift - lambda| + tol + n eps beta;
// every far component is then below that over its distance. For ordinary
// clusters the first solve already does it. The residual is that of the
// orthogonalized vector itself, so it proves the vector an eigenvector
// however much orthogonalization took away. Should the rounds end with
// the residual above that, they run again from each restart vector in
// turn, orthogonalized first. Returns false when the last round of the
// last restart leaves the residual above that: the vector cannot be told
// from the others.
bool refine_in_cluster(const RMat& W, int* IW, int n, int m, double lambda, double shift,
                       const SpectrumScale& scale, Workspace& work) {
  const RMat Q(work.cluster_basis, NMAX);
  double* x = Q.col(m + 1);
  double* original = work.original;
  for (int i = 1; i <= n; ++i) x[i] = original[i] = W(i, 7);
  double kept = m == 0 ? 1.0 : orthogonalize_in_cluster(Q, x, n, m);
  bool accepted = kept >= kKeptFraction;
  if (!accepted) {
    factor_shifted_tridiagonal(W, IW, n, shift);
    const double converged =
        kResidualSlack * (std::fabs(shift - lambda) + scale.tol +
                          n * std::numeric_limits<double>::epsilon() * scale.beta);
    const int e = scale.beta > 0.0 && std::isfinite(scale.beta) ? std::ilogb(scale.beta) : 0;
    for (int attempt = 0; attempt == 0 || (attempt <= kRestarts && !accepted); ++attempt) {
      if (attempt > 0) {
        for (int i = 1; i <= n; ++i) x[i] = restart_entry(attempt, i);
        kept = orthogonalize_in_cluster(Q, x, n, m);
      }
      for (int round = 0; round < kRefinements && !(accepted && kept >= kKeptFraction); ++round) {
        for (int i = 1; i <= n; ++i) W(i, 7) = x[i];
        apply_elimination(W, IW, n);
        solve_upper(W, n);
        for (int i = 1; i <= n; ++i) x[i] = W(i, 7);
        kept = orthogonalize_in_cluster(Q, x, n, m);
        for (int i = 1; i <= n; ++i) W(i, 7) = x[i];
        accepted = shifted_residual(W, x, n, shift, e) <= converged;
      }
    }
  }
  double t = 0.0;
  for (int i = 1; i <= n; ++i) t += x[i] * x[i];
  const double g = 1.0 / std::sqrt(t);
  if (!(t > 0.0) || !std::isfinite(g)) {
    // Nothing usable is left: the vector stays as the two solves gave it,
    // and adds nothing to the basis.
    for (int i = 1; i <= n; ++i) W(i, 7) = original[i], x[i] = 0.0;
    return accepted;
  }
  for (int i = 1; i <= n; ++i) x[i] *= g;
  return accepted;
}

}  // namespace geneig::detail
