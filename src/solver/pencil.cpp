// The generalized problem's own stages. With B = L^H D L (L unit lower
// triangular, D diagonal), A v = lambda B v becomes R y = lambda y for
// R = D^-1/2 L^-H A L^-1 D^-1/2, and its eigenvectors go back as
// v = L^-1 D^-1/2 y:
//
//   factor_b               B = L^H D L, from the last row up
//   reduce_a               A := L^-H A L^-1
//   scale_a                R := D^-1/2 A D^-1/2
//   back_transform_pencil  v := L^-1 D^-1/2 y
//
// Arguments (n the order, na >= n the leading dimension, 1-based indices):
//   B  (in/out) complex, na x n. In: B, lower triangle and diagonal.
//              Out: L(i, j), i > j, below the diagonal, sqrt(1/D(k)) on it.
//   D  (out)    complex, n: the pivots D(k).
//   A  (in/out) complex, na x n. In: A, lower triangle and diagonal.
//              Out of reduce_a: L^-H A L^-1, the whole matrix (the upper
//              triangle the conjugates of the lower); of scale_a: R in the
//              lower triangle and diagonal.
//   V  (in/out) complex, na x ncols. In: eigenvectors y of R. Out: v.
//   ILL (out)   5 for a pivot with negative real part or an exactly zero one.
//   work        t1, t2, weights and sums of the reduction; block.
//
// Storage after factor_b and scale_a, n = 4, s_k = sqrt(1/D(k)):
//
//   B:  | s_1                |      A:  | R11                |
//       | L21  s_2           |          | R21  R22           |
//       | L31  L32  s_3      |          | R31  R32  R33      |
//       | L41  L42  L43  s_4 |          | R41  R42  R43  R44 |
//
// Every sum starts at zero and adds its terms one at a time in increasing
// index order; a product of three factors is formed left to right.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "block_transform.hpp"
#include "eigch_phases.hpp"
#include "free_output.hpp"
#include "geneig_ill.h"
#include "result_check.hpp"
#include "simd.hpp"
#include "workspace.hpp"

namespace geneig::detail {
namespace {

using namespace simd;

// out[j] = sum_{i=lo..hi} w[i] * X(i, j) for j = j0..j1 (w 1-based), each
// sum starting at 0 and adding its terms in increasing i. Four columns go
// side by side, two to a vector, so that their additions overlap; each sum
// keeps its own order.
template <int R>
void column_dots(const cplx* w, const CView& X, int lo, int hi, int j0, int j1, cplx* out) {
  int j = j0;
  for (; j + 3 <= j1; j += 4) {
    const cplx *c0 = X.col(j), *c1 = X.col(j + 1), *c2 = X.col(j + 2), *c3 = X.col(j + 3);
    Pair<R> s01 = {}, s23 = {};
    for (int i = lo; i <= hi; ++i) {
      s01 += cmul_pair(w[i], load_pair<R>(c0 + i, c1 + i));
      s23 += cmul_pair(w[i], load_pair<R>(c2 + i, c3 + i));
    }
    out[j] = cplx(s01[0], s01[1]);
    out[j + 1] = cplx(s01[2], s01[3]);
    out[j + 2] = cplx(s23[0], s23[1]);
    out[j + 3] = cplx(s23[2], s23[3]);
  }
  for (; j <= j1; ++j) {
    const cplx* c = X.col(j);
    cplx sum = 0.0;
    for (int i = lo; i <= hi; ++i) sum += cmul(w[i], c[i]);
    out[j] = sum;
  }
}

// One column i of a reduction step (weights w = conj(L(., k)), li =
// L(i, k)), rows l = k+1..n in increasing order:
//   sums(l) += li A(l,i),
//   t_i += Re((w_l li) A(l,i))   for l > i only,
// and, when Fused, the sums t_c += w_l A(l, c0 + c) of four columns
// c0..c0+3 left of k. share() is then the column's share of the diagonal
// entry's double sum, |li|^2 A(i,i) + 2 t_i. Each column's t_i is a chain
// of additions of its own, independent of the other columns' and of the
// other sums.
template <int R, bool Fused>
struct ReductionColumn {
  const cplx* a;
  const cplx* c[4];
  const cplx* w;
  const cplx* w_turned;
  int i;
  cplx li;
  cplx* sums;
  Quad<R>& t;
  double below = 0.0;

  ReductionColumn(const CView& A, const cplx* w_, const cplx* w_turned_, int i_, cplx li_, cplx* sums_,
                  int c0, Quad<R>& t_)
      : a(A.col(i_)), c{a, a, a, a}, w(w_), w_turned(w_turned_), i(i_), li(li_), sums(sums_), t(t_) {
    if constexpr (Fused) c[0] = A.col(c0), c[1] = A.col(c0 + 1), c[2] = A.col(c0 + 2), c[3] = A.col(c0 + 3);
  }

  [[gnu::always_inline]] void left(int l) {
    if constexpr (Fused) {
      const Quad<R> x = gather4<R>(c[0] + l, c[1] + l, c[2] + l, c[3] + l);
      t += times(w[l], x, negate_real_parts(swap_parts(x)));
    }
  }
  // Rows l..l+3, and with Below their terms of t_i. w_l li is formed as
  // li w_l: the same products, and the same sum with its terms swapped;
  // w_turned holds (-Im, Re) of each w_l, formed once for the step rather
  // than once for every column. Re(p x) = Re p Re x - Im p Im x is the
  // real part of the complex product, its very operations.
  template <bool Below>
  [[gnu::always_inline]] void rows4(int l) {
    const Quad<R> x = load4<R>(a + l), xs = negate_real_parts(swap_parts(x));
    store4(sums + l, load4<R>(sums + l) + times(li, x, xs));
    if constexpr (Below) {
      const Quad<R> p = times(li, load4<R>(w + l), load4<R>(w_turned + l));
      const Quad<R> q = real_parts_twice(p) * x + imag_parts_twice(p) * xs;
      for (int r = 0; r < 4; ++r) below += q[2 * r];
    }
    for (int r = 0; r < 4; ++r) left(l + r);
  }
  template <bool Below>
  [[gnu::always_inline]] void row(int l) {
    sums[l] += cmul(li, a[l]);
    if constexpr (Below) below += cmul(cmul(w[l], li), a[l]).real();
    left(l);
  }
  // Rows l..to in increasing order.
  [[gnu::always_inline]] void run(int l, int to) {
    const int above = std::min(i, to);
    for (; l + 3 <= above; l += 4) rows4<false>(l);
    for (; l <= above; ++l) row<false>(l);
    for (; l + 3 <= to; l += 4) rows4<true>(l);
    for (; l <= to; ++l) row<true>(l);
  }
  double share() const { return cnorm2(li) * a[i].real() + 2.0 * below; }
};

// Columns i and i+1 of a reduction step in one pass below row i+1, so
// that their two chains t_i and t_{i+1} run side by side. Every sums(l)
// still takes column i's term before column i+1's, and every chain its
// terms in increasing l. Adds the two columns' shares to s3, in turn.
template <int R, bool FusedFirst, bool FusedSecond>
void reduction_column_pair(double& s3, const CView& A, const cplx* w, const cplx* w_turned, int k, int n, int i,
                             cplx li, cplx li1, cplx* sums, int c0, Quad<R>& t0, Quad<R>& t1) {
  ReductionColumn<R, FusedFirst> first(A, w, w_turned, i, li, sums, c0, t0);
  ReductionColumn<R, FusedSecond> second(A, w, w_turned, i + 1, li1, sums, c0 + 4, t1);
  first.run(k + 1, i + 1);
  second.run(k + 1, i + 1);
  int l = i + 2;
  for (; l + 3 <= n; l += 4) {
    first.template rows4<true>(l);
    second.template rows4<true>(l);
  }
  for (; l <= n; ++l) {
    first.template row<true>(l);
    second.template row<true>(l);
  }
  s3 += first.share();
  s3 += second.share();
}

// The sums of reduction step k in one pass over the trailing block:
// sums(j), j < k, of the new row, sums(j), j > k, of the new column, and
// the diagonal's double sum s3 = l^H A l (returned), l = L(k+1..n, k), as
//   s3 = sum_i (|L(i,k)|^2 A(i,i) + 2 sum_{l>i} Re((conj(L(l,k)) L(i,k)) A(l,i))),
// the outer sum over i and each inner one over l in increasing order.
// Columns of the new row's sums go four at a time into the passes down the
// trailing block's columns, as long as they last; any left over are formed
// afterwards.
template <int R>
double reduction_step_sums(const CView& A, const CView& L, int k, int n, const cplx* weights,
                           cplx* weights_turned, cplx* sums) {
  for (int l = k + 1; l <= n; ++l) weights_turned[l] = cplx(-weights[l].imag(), weights[l].real());
  for (int j = k + 1; j <= n; ++j) sums[j] = 0.0;
  const int groups = (k - 1) / 4;
  int g = 0;
  double s3 = 0.0;
  auto keep = [&](const Quad<R>& t, int c0) {
    for (int c = 0; c < 4; ++c) sums[c0 + c] = cplx(t[2 * c], t[2 * c + 1]);
  };
  int i = k + 1;
  for (; i + 1 <= n; i += 2) {
    Quad<R> t0 = {}, t1 = {};
    const int c0 = 4 * g + 1;
    const cplx li = L(i, k), li1 = L(i + 1, k);
    if (g + 1 < groups) {
      reduction_column_pair<R, true, true>(s3, A, weights, weights_turned, k, n, i, li, li1, sums, c0, t0, t1);
      keep(t0, c0), keep(t1, c0 + 4);
      g += 2;
    } else if (g < groups) {
      reduction_column_pair<R, true, false>(s3, A, weights, weights_turned, k, n, i, li, li1, sums, c0, t0, t1);
      keep(t0, c0);
      g += 1;
    } else {
      reduction_column_pair<R, false, false>(s3, A, weights, weights_turned, k, n, i, li, li1, sums, c0, t0, t1);
    }
  }
  for (; i <= n; ++i) {
    Quad<R> t = {};
    if (g < groups) {
      const int c0 = 4 * g + 1;
      ReductionColumn<R, true> column(A, weights, weights_turned, i, L(i, k), sums, c0, t);
      column.run(k + 1, n);
      s3 += column.share();
      keep(t, c0);
      ++g;
    } else {
      ReductionColumn<R, false> column(A, weights, weights_turned, i, L(i, k), sums, 0, t);
      column.run(k + 1, n);
      s3 += column.share();
    }
  }
  column_dots<R>(weights, A, k + 1, n, 4 * g + 1, k - 1, sums);
  return s3;
}

// A pivot that the factorization reports: negative, or exactly zero (a
// pivot that is not a number passes).
bool reported_pivot(double p) { return p <= 0.0; }

#ifdef GENEIG_FAULT_HOOK
// Test builds only: with GENEIG_FAULT_TERM set, each new diagonal entry of
// the reduction leaves out the last term of its sum r, a fault that the
// program's residual check must catch.
int dropped_terms() { return std::getenv("GENEIG_FAULT_TERM") != nullptr ? 1 : 0; }
#else
constexpr int dropped_terms() { return 0; }
#endif

// Stage 1 of eigcab. For k = n..1:
//   p = Re B(k,k) - sum_{i>k} D(i) |L(i,k)|^2,  D(k) = p,
//   u = 1/p,  B(k,k) = sqrt(u + 0i),
//   L(k,j) = (B(k,j) - sum_{i>k} (D(i) conj(L(i,k))) L(i,j)) u,  j < k.
// The pivots of a Hermitian B are real, and so are they here: |L(i,k)|^2 =
// Re^2 + Im^2 is formed as a real number, and B's diagonal enters only by
// its real part. Formed as the complex product (D(i) L(i,k)) conj(L(i,k)),
// each term would leave an imaginary part of rounding size, and with a
// pivot off the real axis the recurrences are no longer Hermitian: every
// later pivot multiplies that imaginary part by about sum_i |L(i,k)|^2,
// which for the overlap matrix of a Gaussian basis or a KMS matrix exceeds
// 1, and grows it geometrically into garbage within a few dozen rows.
template <int R>
bool factor_b_kernel(cplx* Bp, int n, int na, cplx* D, int& ILL, Workspace& work) {
  cplx* weights = work.weights;
  cplx* sums = work.sums;
  const CMat B(Bp, na);
  bool regular = true;
  for (int k = n; k >= 1; --k) {
    double s = 0.0;
    for (int i = k + 1; i <= n; ++i) s += D[i - 1].real() * cnorm2(B(i, k));
    const double p = B(k, k).real() - s;
    const bool zero = p == 0.0;
    if (reported_pivot(p)) {
      FreeRecord().text("\"D\" became imaginary number !!").print();
      ILL = GENEIG_ILL_INDEFINITE_B;
    }
    D[k - 1] = cplx(p, 0.0);
    // A zero pivot has no reciprocal; taking it as 0 zeroes row k of L
    // instead of filling it with infinities.
    const double u = zero ? 0.0 : 1.0 / p;
    if (zero) regular = false;
    // sqrt(u) for u > 0; for a negative pivot the principal root i sqrt(-u).
    B(k, k) = csqrt(cplx(u, 0.0));
    // Row k of L: L(k,j) = (B(k,j) - sum_i (D(i) conj(L(i,k))) L(i,j)) u.
    for (int i = k + 1; i <= n; ++i) weights[i] = cscale(std::conj(B(i, k)), D[i - 1].real());
    column_dots<R>(weights, CView(Bp, na), k + 1, n, 1, k - 1, sums);
    for (int j = 1; j <= k - 1; ++j) B(k, j) = cscale(B(k, j) - sums[j], u);
  }
  return regular;
}

}  // namespace

GENEIG_KERNEL_256(bool, factor_b, (cplx* Bp, int n, int na, cplx* D, int& ILL, Workspace& work),
                  (Bp, n, na, D, ILL, work))

namespace {

// Stage 2 of eigcab. Step k replaces A by (I - e_k l_k^H) A (I - l_k e_k^T),
// l_k the multipliers below the diagonal in column k of L: the new row k,
// column k and diagonal entry are all formed from A as it stood at the start
// of the step, then written back. Over k = n-1..1 this gives L^-H A L^-1.
//
// The step reads the trailing block (k+1..n) as a full Hermitian matrix,
// its upper triangle holding the conjugates of the lower one. Of that upper
// part only row k+1 is new since the previous step (step k+1 rewrote
// column k+1), so only that row is refreshed; the last step completes the
// whole upper triangle, which is how A is left.
//
// The diagonal of a Hermitian matrix is real, and so it stays here: A's
// imaginary parts there are ignored (set to 0 on entry), and each new
// diagonal entry A(k,k) - s1 - s2 + s3 is formed from real terms, s1 + s2
// = 2 Re s1 and s3 = l^H A l as its diagonal terms plus twice the real part
// of its strictly lower ones. Carried complex, rounding would leave it an
// imaginary part that the next steps read into the new columns and grow.
// Taking only the real part of the sums as a whole, in their one running
// order, is the other way to keep it real; against a long double
// computation of the same reduction on Gaussian-overlap, KMS and random
// pencils, the form from real terms had the smaller error on 22 of 24
// (about half as large), and its column sums are independent chains of
// additions where the running sum was one long chain.
template <int R>
void reduce_a_kernel(cplx* Ap, const cplx* Bp, int n, int na, Workspace& work) {
  const CMat A(Ap, na);
  for (int k = 1; k <= n; ++k) A(k, k) = A(k, k).real();
  if (n < 2) return;
  const CView Av(Ap, na);
  const CView L(Bp, na);
  const CMat t1(work.t1, NMAX);
  const CMat t2(work.t2, NMAX);
  cplx* weights = work.weights;
  cplx* sums = work.sums;
  for (int k = n - 1; k >= 1; --k) {
    if (k == 1) {
      for (int j = 2; j <= n; ++j)
        for (int i = 1; i <= j - 1; ++i) A(i, j) = std::conj(A(j, i));
    } else {
      for (int j = k + 2; j <= n; ++j) A(k + 1, j) = std::conj(A(j, k + 1));
    }

    // New row k: t1(k,j) = A(k,j) - sum_i conj(L(i,k)) A(i,j), j < k.
    // New column k: t2(j,k) = A(j,k) - sum_i L(i,k) A(j,i), j > k.
    // New diagonal entry, real: (A(k,k) - 2 r) + s3 with
    // r = sum_i Re(conj(L(i,k)) A(i,k)) and s3 = l^H A l as
    // reduction_step_sums forms it.
    for (int i = k + 1; i <= n; ++i) weights[i] = std::conj(L(i, k));
    const double s3 = reduction_step_sums<R>(Av, L, k, n, weights, work.u_turned, sums);
    for (int j = 1; j <= k - 1; ++j) t1(k, j) = A(k, j) - sums[j];
    for (int j = k + 1; j <= n; ++j) t2(j, k) = A(j, k) - sums[j];
    double r = 0.0;
    for (int i = k + 1; i <= n - dropped_terms(); ++i) r += cmul(weights[i], A(i, k)).real();
    A(k, k) = (A(k, k).real() - 2.0 * r) + s3;
    for (int j = 1; j <= k - 1; ++j) A(k, j) = t1(k, j);
    for (int j = k + 1; j <= n; ++j) A(j, k) = t2(j, k);
  }
}

}  // namespace

GENEIG_KERNEL(void, reduce_a, (cplx* Ap, const cplx* Bp, int n, int na, Workspace& work), (Ap, Bp, n, na, work))

namespace {

// Stage 3 of eigcab: R(j,j) = A(j,j)/D(j), R(j,i) = (A(j,i) B(i,i)) B(j,j)
// for i < j, with B(k,k) = D(k)^-1/2. The diagonal stays real: both A(j,j)
// and D(j) are.
template <int R>
void scale_a_kernel(cplx* Ap, const cplx* Bp, const cplx* D, int n, int na) {
  const CMat A(Ap, na);
  const CView B(Bp, na);
  // Each entry is scaled on its own; going down the columns keeps the
  // accesses contiguous.
  for (int i = 1; i <= n; ++i) {
    A(i, i) = A(i, i).real() / D[i - 1].real();
    const cplx bi = B(i, i);
    cplx* a = A.col(i);
    for (int j = i + 1; j <= n; ++j) a[j] = cmul(cmul(a[j], bi), B(j, j));
  }
}

}  // namespace

GENEIG_KERNEL_256(void, scale_a, (cplx* Ap, const cplx* Bp, const cplx* D, int n, int na), (Ap, Bp, D, n, na))

namespace {

template <int R>
void multiply_pivot_roots_kernel(cplx* Vp, const cplx* Bp, int n, int na, int ncols) {
  const CMat V(Vp, na);
  const CView B(Bp, na);
  for (int m = 1; m <= ncols; ++m)
    for (int i = 1; i <= n; ++i) V(i, m) = cmul(V(i, m), B(i, i));
}

// Stage 5 of eigcab: v = L^-1 D^-1/2 y, by scaling with B(i,i) and forward
// substitution with the unit lower factor L, column by column.
template <int R>
void back_transform_pencil_kernel(cplx* Vp, const cplx* Bp, int n, int na, int ncols, Workspace& work) {
  Quad<R>* block = quad_rows<R>(work.block);
  const CMat V(Vp, na);
  const CView B(Bp, na);
  multiply_pivot_roots_kernel<R>(Vp, Bp, n, na, ncols);
  // Four vectors' substitutions go side by side, a row of all four in one
  // register, sharing each column of L; every vector sees its own
  // operations in order: v(i) := v(i) - cmul(L(i,l), v(l)).
  for (int j = 1; j <= ncols; j += 4) {
    const int width = std::min(4, ncols - j + 1);
    load_block(block, CView(Vp, na), j, width, n);
    BlockProgress progress;
    progress.start_substitution(work.block, Bp, na, n);
    BlockSteps<R>(progress).finish();
    store_block(block, V, j, width, n);
  }
}

}  // namespace

GENEIG_KERNEL(void, multiply_pivot_roots, (cplx* Vp, const cplx* Bp, int n, int na, int ncols),
              (Vp, Bp, n, na, ncols))
GENEIG_KERNEL(void, back_transform_pencil, (cplx* Vp, const cplx* Bp, int n, int na, int ncols, Workspace& work),
              (Vp, Bp, n, na, ncols, work))

}  // namespace geneig::detail

namespace geneig {

bool pivot_line(const std::complex<double>* D, int k, char* line, std::size_t size) {
  const double p = D[k - 1].real();
  if (!detail::reported_pivot(p)) return false;
  std::snprintf(line, size,
                "geneig: B is not positive definite: the pivot of row %d (the factorization runs "
                "from the last row up) %s",
                k, p == 0.0 ? "is zero" : "has a negative real part");
  return true;
}

}  // namespace geneig
