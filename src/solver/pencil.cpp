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

#include "eigch_phases.hpp"
#include "geneig_ill.h"
#include "free_output.hpp"
#include "simd.hpp"
#include "workspace.hpp"

namespace geneig::detail {
namespace {

using namespace simd;

// out[j] = sum_{i=lo..hi} w[i] * X(i, j) for j = j0..j1 (w 1-based), each
// sum starting at 0 and adding its terms in increasing i. Four columns go
// side by side, two to a vector, so that their additions overlap; each sum
// keeps its own order.
void column_dots(const cplx* w, const CView& X, int lo, int hi, int j0, int j1, cplx* out) {
  int j = j0;
  for (; j + 3 <= j1; j += 4) {
    const cplx *c0 = X.col(j), *c1 = X.col(j + 1), *c2 = X.col(j + 2), *c3 = X.col(j + 3);
    Pair s01 = {}, s23 = {};
    for (int i = lo; i <= hi; ++i) {
      s01 += cmul_pair(w[i], load_pair(c0 + i, c1 + i));
      s23 += cmul_pair(w[i], load_pair(c2 + i, c3 + i));
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

// Sign bits that conjugate number at - 1 of a vector of four (at = 1..4).
constexpr Mask8 kDiagonalConjugate[5] = {{},
                                         {0, kSignBit, 0, 0, 0, 0, 0, 0},
                                         {0, 0, 0, kSignBit, 0, 0, 0, 0},
                                         {0, 0, 0, 0, 0, kSignBit, 0, 0},
                                         {0, 0, 0, 0, 0, 0, 0, kSignBit}};

// One column i of a reduction step (weights w = conj(L(., k)), li =
// L(i, k)), rows l = k+1..n in increasing order:
//   sums(l) += li A(l,i)  (li conj(A(i,i)) on the diagonal),
//   s3 += (w_l li) A(l,i),
// and, when Fused, the sums t_c += w_l A(l, c0 + c) of four columns
// c0..c0+3 left of k. The running sum s3 is a chain of dependent
// additions; the other sums, independent of it, fill the time its
// additions take.
template <bool Fused>
void reduction_column(const CView& A, const cplx* w, const cplx* w_turned, int k, int n, int i,
                      cplx li, cplx* sums, Half& s3, int c0, Quad& t) {
  const cplx* a = A.col(i);
  const cplx* c[4] = {a, a, a, a};
  if constexpr (Fused) c[0] = A.col(c0), c[1] = A.col(c0 + 1), c[2] = A.col(c0 + 2), c[3] = A.col(c0 + 3);
  auto left = [&](int l) {
    if constexpr (Fused) {
      const Quad x = gather4(c[0] + l, c[1] + l, c[2] + l, c[3] + l);
      t += times(w[l], x, negate_real_parts(swap_parts(x)));
    }
  };
  auto row = [&](int l) {
    sums[l] += cmul(li, l == i ? std::conj(a[l]) : a[l]);
    const cplx q = cmul(cmul(w[l], li), a[l]);
    s3 += Half{q.real(), q.imag()};
    left(l);
  };
  // Rows l..l+3. w_l li is formed as li w_l: the same products, and the
  // same sum with its terms swapped; w_turned holds (-Im, Re) of each w_l,
  // formed once for the step rather than once for every column. When the
  // diagonal is among the rows, the new column's sums take it conjugated
  // (its imaginary part negated through the sign bit, exactly), the running
  // sum s3 as it is.
  auto rows4 = [&](int l) {
    const Quad x = load4(a + l), xs = negate_real_parts(swap_parts(x));
    Quad xd = x, xds = xs;
    if (l <= i && i <= l + 3) {
      xd = reinterpret_cast<Quad>(reinterpret_cast<Mask8>(x) ^ kDiagonalConjugate[i - l + 1]);
      xds = negate_real_parts(swap_parts(xd));
    }
    store4(sums + l, load4(sums + l) + times(li, xd, xds));
    const Quad p = times(li, load4(w + l), load4(w_turned + l));
    const Quad q = real_parts_twice(p) * x + imag_parts_twice(p) * xs;
    for (int r = 0; r < 4; ++r) s3 += part(q, r);
    for (int r = 0; r < 4; ++r) left(l + r);
  };
  int l = k + 1;
  for (; l + 3 <= n; l += 4) rows4(l);
  for (; l <= n; ++l) row(l);
}

// The sums of reduction step k in one pass over the trailing block:
// sums(j), j < k, of the new row, sums(j), j > k, of the new column, and
// the diagonal's s3 (returned). Columns of the new row's sums go four at a
// time into the passes down the trailing block's columns, as long as they
// last; any left over are formed afterwards.
cplx reduction_step_sums(const CView& A, const CView& L, int k, int n, const cplx* weights,
                         cplx* weights_turned, cplx* sums) {
  for (int l = k + 1; l <= n; ++l) weights_turned[l] = cplx(-weights[l].imag(), weights[l].real());
  for (int j = k + 1; j <= n; ++j) sums[j] = 0.0;
  const int groups = (k - 1) / 4;
  int g = 0;
  Half s3 = {};
  for (int i = k + 1; i <= n; ++i) {
    Quad t = {};
    if (g < groups) {
      const int c0 = 4 * g + 1;
      reduction_column<true>(A, weights, weights_turned, k, n, i, L(i, k), sums, s3, c0, t);
      for (int c = 0; c < 4; ++c) sums[c0 + c] = cplx(t[2 * c], t[2 * c + 1]);
      ++g;
    } else {
      reduction_column<false>(A, weights, weights_turned, k, n, i, L(i, k), sums, s3, 0, t);
    }
  }
  column_dots(weights, A, k + 1, n, 4 * g + 1, k - 1, sums);
  return cplx(s3[0], s3[1]);
}

}  // namespace

// Stage 1 of eigcab. For k = n..1:
//   p = B(k,k) - sum_{i>k} (D(i) L(i,k)) conj(L(i,k)),  D(k) = p,
//   u = 1/p,  B(k,k) = sqrt(u),
//   L(k,j) = (B(k,j) - sum_{i>k} (D(i) conj(L(i,k))) L(i,j)) u,  j < k.
GENEIG_WIDE bool factor_b(cplx* Bp, int n, int na, cplx* D, int& ILL, Workspace& work) {
  cplx* weights = work.weights;
  cplx* sums = work.sums;
  const CMat B(Bp, na);
  bool regular = true;
  for (int k = n; k >= 1; --k) {
    cplx s = 0.0;
    for (int i = k + 1; i <= n; ++i) s += cmul(cmul(D[i - 1], B(i, k)), std::conj(B(i, k)));
    const cplx p = B(k, k) - s;
    const bool zero = p.real() == 0.0 && p.imag() == 0.0;
    if (p.real() < 0.0 || zero) {
      FreeRecord().text("\"D\" became imaginary number !!").print();
      std::fprintf(stderr,
                   "geneig: B is not positive definite: the pivot of row %d (the factorization "
                   "runs from the last row up) %s\n",
                   k, zero ? "is zero" : "has a negative real part");
      ILL = GENEIG_ILL_INDEFINITE_B;
    }
    D[k - 1] = p;
    // A zero pivot has no reciprocal; taking it as 0 zeroes row k of L
    // instead of filling it with infinities.
    const cplx u = zero ? cplx(0.0, 0.0) : crecip(p);
    if (zero) regular = false;
    B(k, k) = csqrt(u);
    // Row k of L: L(k,j) = (B(k,j) - sum_i (D(i) conj(L(i,k))) L(i,j)) u.
    for (int i = k + 1; i <= n; ++i) weights[i] = cmul(D[i - 1], std::conj(B(i, k)));
    column_dots(weights, CView(Bp, na), k + 1, n, 1, k - 1, sums);
    for (int j = 1; j <= k - 1; ++j) B(k, j) = cmul(B(k, j) - sums[j], u);
  }
  return regular;
}

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
GENEIG_WIDEST void reduce_a(cplx* Ap, const cplx* Bp, int n, int na, Workspace& work) {
  if (n < 2) return;
  const CMat A(Ap, na);
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
    // New column k: t2(j,k) = A(j,k) - sum_i L(i,k) A(j,i), j > k, where
    // the diagonal term (j = i) enters conjugated.
    // New diagonal entry: ((A(k,k) - s1) - s2) + s3 with
    // s1 = sum conj(L(i,k)) A(i,k), s2 = sum L(i,k) conj(A(i,k)) and
    // s3 = sum_i sum_l (conj(L(l,k)) L(i,k)) A(l,i), one running sum.
    for (int i = k + 1; i <= n; ++i) weights[i] = std::conj(L(i, k));
    const cplx s3 = reduction_step_sums(Av, L, k, n, weights, work.u_turned, sums);
    for (int j = 1; j <= k - 1; ++j) t1(k, j) = A(k, j) - sums[j];
    for (int j = k + 1; j <= n; ++j) t2(j, k) = A(j, k) - sums[j];
    cplx s1 = 0.0, s2 = 0.0;
    for (int i = k + 1; i <= n; ++i) s1 += cmul(weights[i], A(i, k));
    for (int i = k + 1; i <= n; ++i) s2 += cmul(L(i, k), std::conj(A(i, k)));
    A(k, k) = ((A(k, k) - s1) - s2) + s3;
    for (int j = 1; j <= k - 1; ++j) A(k, j) = t1(k, j);
    for (int j = k + 1; j <= n; ++j) A(j, k) = t2(j, k);
  }
}

// Stage 3 of eigcab: R(j,j) = A(j,j)/D(j), R(j,i) = (A(j,i) B(i,i)) B(j,j)
// for i < j, with B(k,k) = D(k)^-1/2.
GENEIG_WIDE void scale_a(cplx* Ap, const cplx* Bp, const cplx* D, int n, int na) {
  const CMat A(Ap, na);
  const CView B(Bp, na);
  // Each entry is scaled on its own; going down the columns keeps the
  // accesses contiguous.
  for (int i = 1; i <= n; ++i) {
    A(i, i) = cdiv(A(i, i), D[i - 1]);
    const cplx bi = B(i, i);
    cplx* a = A.col(i);
    for (int j = i + 1; j <= n; ++j) a[j] = cmul(cmul(a[j], bi), B(j, j));
  }
}

// Stage 5 of eigcab: v = L^-1 D^-1/2 y, by scaling with B(i,i) and forward
// substitution with the unit lower factor L, column by column.
GENEIG_WIDEST void back_transform_pencil(cplx* Vp, const cplx* Bp, int n, int na, int ncols,
                                         Workspace& work) {
  Quad* block = work.block;
  const CMat V(Vp, na);
  const CView B(Bp, na);
  for (int m = 1; m <= ncols; ++m)
    for (int i = 1; i <= n; ++i) V(i, m) = cmul(V(i, m), B(i, i));
  // Four vectors' substitutions go side by side, a row of all four in one
  // register, sharing each column of L; every vector sees its own
  // operations in order: v(i) := v(i) - cmul(L(i,l), v(l)).
  for (int j = 1; j <= ncols; j += 4) {
    const int width = std::min(4, ncols - j + 1);
    load_block(block, CView(Vp, na), j, width, n);
    for (int l = 1; l <= n - 1; ++l) {
      const Quad z = block[l], zs = negate_real_parts(swap_parts(z));
      const cplx* b = B.col(l);
      for (int i = l + 1; i <= n; ++i) block[i] = block[i] - times(b[i], z, zs);
    }
    store_block(block, V, j, width, n);
  }
}

}  // namespace geneig::detail
