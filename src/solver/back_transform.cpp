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

// s_c = sum_{i=lo..hi} conj(u_i) x_c(i) for the four vectors x_c of the
// block, each sum in increasing i; the sums are kept with their parts
// swapped (swap_parts gives them back).
template <int R>
[[gnu::always_inline]] inline Quad<R> block_dots(const Quad<R>* block, const cplx* u, int lo, int hi) {
  Quad<R> s = {};
  for (int i = lo; i <= hi; ++i) s += conj_times_swapped(u[i], block[i]);
  return s;
}

// Applies the reflections in turn to the four vectors of the block:
// x := x - u f with f = r (u^H x). The update by one reflection and the
// dot products of the next go in one pass: the next dot products' terms
// for rows i <= k are not touched by reflection k and come first, then
// each row is updated and its term added at once, so every sum keeps its
// order.
template <int R>
void reflect_block(Quad<R>* block, const CView& A, const Reflection* refl, int count, int n) {
  if (count == 0) return;
  Quad<R> d = block_dots(block, A.col(refl[0].k), refl[0].k + 1, n);
  for (int t = 0; t < count; ++t) {
    const int k = refl[t].k;
    const cplx* u = A.col(k);
    // f = cmul(r, u^H x), from the swapped sums d.
    const Quad<R> f = times(refl[t].r, swap_parts(d), negate_real_parts(d));
    const Quad<R> gs = negate_real_parts(swap_parts(f));
    if (t + 1 == count) {
      for (int i = k + 1; i <= n; ++i) block[i] = block[i] - times(u[i], f, gs);
      return;
    }
    const int next = refl[t + 1].k;
    const cplx* w = A.col(next);
    d = block_dots(block, w, next + 1, k);
    for (int i = k + 1; i <= n; ++i) {
      const Quad<R> x = block[i] - times(u[i], f, gs);
      block[i] = x;
      d += conj_times_swapped(w[i], x);
    }
  }
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
template <int R>
bool back_transform_kernel(const cplx* Ap, const double* Wp, int n, int na, const double* E, int mv,
                           double eps, double beta, cplx* Vp, Workspace& work) {
  const CView A(Ap, na);
  const RView W(Wp, na);
  const CMat V(Vp, na);
  const int nv = std::abs(mv);

  // pi_k = phi_{k-1} pi_{k-1}, then row k of every vector times pi_k.
  cplx* pi = work.weights;
  Reflection* reflections = work.reflections;
  Quad<R>* block = quad_rows<R>(work.block);
  pi[1] = cplx(1.0, 0.0);
  for (int k = 2; k <= n; ++k) pi[k] = cmul(A(k - 1, k - 1), pi[k - 1]);
  for (int j = 1; j <= nv; ++j)
    for (int k = 2; k <= n; ++k) V(k, j) = cmul(V(k, j), pi[k]);

  // The reflections that are not the identity (gamma_k = 0), from k = n-2
  // down, with r_k = 1/gamma_k.
  int count = 0;
  for (int k = n - 2; k >= 1; --k) {
    const cplx t = cmul(A(k + 1, k), std::conj(A(k, k)));
    const cplx gamma = -cscale(t, W(k, 2));
    if (gamma.real() == 0.0 && gamma.imag() == 0.0) continue;
    reflections[count++] = {k, crecip(gamma)};
  }

  // The vectors do not interact, so they go through all the reflections
  // four at a time, each seeing the same operations in the same order as
  // if it were transformed alone: x := x - u (r (u^H x)).
  for (int j = 1; j <= nv; j += 4) {
    const int width = std::min(4, nv - j + 1);
    load_block(block, CView(Vp, na), j, width, n);
    reflect_block(block, A, reflections, count, n);
    store_block(block, V, j, width, n);
  }

  for (int j = 1; j <= nv; ++j) {
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
  bool separated = true;
  int first = 1;
  for (int j = 1; j <= nv; ++j) {
    if (j == 1 || std::fabs(E[j - 1] - E[j - 2]) > cluster) {
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

GENEIG_KERNEL(bool, back_transform,
              (const cplx* Ap, const double* Wp, int n, int na, const double* E, int mv, double eps,
               double beta, cplx* Vp, Workspace& work),
              (Ap, Wp, n, na, E, mv, eps, beta, Vp, work))

}  // namespace geneig::detail
