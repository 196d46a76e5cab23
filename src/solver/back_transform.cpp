// Eigenvectors of T back to eigenvectors of the Hermitian matrix A:
// x = Q Phi y, Q = H_1 ... H_{n-2} the reduction's reflections and
// Phi = diag(pi_k) its phases, each x then divided by its largest component;
// for mv > 0, re-orthogonalized within clusters and of unit 2-norm.
//
//   A   (in)     complex, na x n: the reflection vectors and phase factors
//               of the reduction (picture in tridiagonal.cpp).
//   W   (in)     double, na x 7: e_k in column 2, from which gamma_k.
//   E   (in)     double, |mv|: the eigenvalues (clusters).
//   mv  (in)     signed number of vectors; mv < 0 stops after the division
//               by the largest component.
//   eps, beta (in) the cluster distance max(eps, 1e-3 beta).
//   V   (in/out) complex, na x |mv|. In: y (real parts). Out: x.
//   work         weights (pi_k), reflections, block.
//   returns      false when a cluster's vectors could not be told apart.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "block_transform.hpp"
#include "eigch_phases.hpp"
#include "simd.hpp"
#include "workspace.hpp"

namespace geneig::detail {
namespace {

using namespace simd;

// A vector of largest component 1 (squared norm at least 1/2) of which the
// re-orthogonalization leaves a squared norm below this has lost more than
// half its digits: it is no eigenvector any more.
constexpr double kLostVector = DBL_EPSILON;

// Row k of vectors j0..j1 times pi_k.
template <int R>
void multiply_phases_kernel(cplx* Vp, int n, int na, int j0, int j1, const cplx* pi) {
  const CMat V(Vp, na);
  for (int j = j0; j <= j1; ++j)
    for (int k = 2; k <= n; ++k) V(k, j) = cmul(V(k, j), pi[k]);
}

// The vectors do not interact, so they go through all the reflections
// four at a time, each seeing the same operations in the same order as
// if it were transformed alone: x := x - u (r (u^H x)).
template <int R>
void reflect_vectors_kernel(const cplx* Ap, int n, int na, int count, cplx* Vp, int j0, int j1,
                            Workspace& work) {
  const CMat V(Vp, na);
  for (int j = j0; j <= j1; j += 4) {
    const int width = std::min(4, j1 - j + 1);
    load_block(quad_rows<R>(work.block), CView(Vp, na), j, width, n);
    BlockProgress progress;
    progress.start_reflections(work.block, Ap, na, n, work.reflections, count);
    BlockSteps<R>(progress).finish();
    store_block(quad_rows<R>(work.block), V, j, width, n);
  }
}

// Vectors j0..j1, the vectors before them done: each divided by its
// largest component; for mv > 0 orthogonalized against the earlier
// members of its cluster and of unit 2-norm.
template <int R>
bool normalize_vectors_kernel(const double* E, int n, int na, int mv, double eps, double beta,
                              cplx* Vp, int j0, int j1) {
  const CMat V(Vp, na);
  for (int j = j0; j <= j1; ++j) {
    int big = 1;
    double size = std::fabs(V(1, j).real()) + std::fabs(V(1, j).imag());
    for (int i = 2; i <= n; ++i) {
      const double si = std::fabs(V(i, j).real()) + std::fabs(V(i, j).imag());
      if (si > size) {
        size = si;
        big = i;
      }
    }
    const cplx r = crecip(V(big, j));
    for (int i = 1; i <= n; ++i) V(i, j) = cmul(V(i, j), r);
  }
  if (mv < 0) return true;

  const double cluster = cluster_distance(eps, beta);
  auto starts_cluster = [&](int j) { return j == 1 || std::fabs(E[j - 1] - E[j - 2]) > cluster; };
  bool separated = true;
  int first = j0;
  while (!starts_cluster(first)) --first;
  for (int j = j0; j <= j1; ++j) {
    if (starts_cluster(j)) {
      first = j;
    } else {
      for (int l = first; l <= j - 1; ++l) {
        cplx s = 0.0;
        for (int i = 1; i <= n; ++i) s += cmul(std::conj(V(i, l)), V(i, j));
        for (int i = 1; i <= n; ++i) V(i, j) = V(i, j) - cmul(V(i, l), s);
      }
    }
    double s2 = 0.0;
    for (int i = 1; i <= n; ++i) {
      s2 += V(i, j).real() * V(i, j).real();
      s2 += V(i, j).imag() * V(i, j).imag();
    }
    if (j != first && s2 < kLostVector) separated = false;
    const double g = std::sqrt(1.0 / s2);
    for (int i = 1; i <= n; ++i) V(i, j) = cscale(V(i, j), g);
  }
  return separated;
}

}  // namespace

GENEIG_KERNEL(void, multiply_phases, (cplx* Vp, int n, int na, int j0, int j1, const cplx* pi),
              (Vp, n, na, j0, j1, pi))
GENEIG_KERNEL(void, reflect_vectors,
              (const cplx* Ap, int n, int na, int count, cplx* Vp, int j0, int j1, Workspace& work),
              (Ap, n, na, count, Vp, j0, j1, work))
GENEIG_KERNEL(bool, normalize_vectors,
              (const double* E, int n, int na, int mv, double eps, double beta, cplx* Vp, int j0,
               int j1),
              (E, n, na, mv, eps, beta, Vp, j0, j1))

// pi_k = phi_{k-1} pi_{k-1} into work.weights; the reflections that are
// not the identity (gamma_k = 0), from k = n-2 down, with r_k = 1/gamma_k,
// into work.reflections.
int prepare_back_transform(const cplx* Ap, const double* Wp, int n, int na, Workspace& work) {
  const CView A(Ap, na);
  const RView W(Wp, na);
  cplx* pi = work.weights;
  pi[1] = cplx(1.0, 0.0);
  for (int k = 2; k <= n; ++k) pi[k] = cmul(A(k - 1, k - 1), pi[k - 1]);
  int count = 0;
  for (int k = n - 2; k >= 1; --k) {
    const cplx t = cmul(A(k + 1, k), std::conj(A(k, k)));
    const cplx gamma = -cscale(t, W(k, 2));
    if (gamma.real() == 0.0 && gamma.imag() == 0.0) continue;
    work.reflections[count++] = {k, crecip(gamma)};
  }
  return count;
}

// x = Q Phi y: row k is multiplied by pi_k = phi_1 ... phi_{k-1}, then the
// reflections H_k = I - u u^H / gamma, gamma = -e_k u_{k+1} conj(phi_k)
// = sigma_k (sigma_k + alpha_k), are applied for k = n-2..1. Each vector is
// divided by its largest component (in |Re| + |Im|); for mv > 0, vectors
// whose eigenvalues lie within max(EPS, 1e-3 beta) of the previous one are
// orthogonalized against their cluster by modified Gram-Schmidt, and every
// vector is scaled to unit 2-norm. Returns false when the orthogonalization
// leaves less than kLostVector of a vector's squared norm: inverse
// iteration could not tell its eigenvalue from the others of the cluster,
// and what is left is rounding error, not an eigenvector.
bool back_transform(const cplx* A, const double* W, int n, int na, const double* E, int mv,
                    double eps, double beta, cplx* V, Workspace& work) {
  const int nv = std::abs(mv);
  const int count = prepare_back_transform(A, W, n, na, work);
  multiply_phases(V, n, na, 1, nv, work.weights);
  reflect_vectors(A, n, na, count, V, 1, nv, work);
  return normalize_vectors(E, n, na, mv, eps, beta, V, 1, nv);
}

}  // namespace geneig::detail
