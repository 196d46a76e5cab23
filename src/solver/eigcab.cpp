// The generalized Hermitian-definite eigensolver eigcab and the Hermitian
// eigensolver eigch, with their phases:
//
//   eigcab:  factor_b -> reduce_a -> scale_a -> eigch -> back_transform_pencil
//   eigch:   argument checks -> closed_form_order2 (n = 2)
//                             | reduce_to_tridiagonal -> bisect_eigenvalues
//            -> inverse_iteration -> back_transform
//
// Every sum starts at zero and adds its terms one at a time in increasing
// index order; a product of three factors is formed left to right. The
// results are therefore reproducible to the bit on every IEEE machine.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <utility>

#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "eigcab.hpp"
#include "eigch_phases.hpp"
#include "free_output.hpp"

// The heavy loops are compiled for the x86-64 baseline, for AVX2 and, most
// of them, for AVX-512, and the loader picks the widest the CPU has. Every
// clone performs the same IEEE operations in the same order, so all give
// the same bits. The AVX2 clones are built without FMA: the vectorizer
// rewrites complex products into fused multiply-add/subtract even when
// contraction is switched off, which would change the last bits of the
// results from one CPU to another. AVX-512 always has fused forms of its
// own, so its clones keep the vectorizer to 256 bits (see the build), where
// it has none without FMA, and are 512 bits wide only where the code spells
// out 512-bit vectors (Quad, Lanes8), whose operations it leaves as they are.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(GENEIG_NO_CLONES)
#define GENEIG_WIDE __attribute__((target_clones("avx2", "default"), flatten))
#define GENEIG_WIDEST __attribute__((target_clones("avx512f", "avx2", "default"), flatten))
#else
#define GENEIG_WIDE
#define GENEIG_WIDEST
#endif

namespace geneig {
namespace {

using CMat = ColMajor<cplx>;
using CView = ColMajor<const cplx>;
using RMat = ColMajor<double>;
using RView = ColMajor<const double>;

// Work storage of the reduction of A: t1(k, j), j < k, holds the new row k
// and t2(j, k), j > k, the new column k while step k still reads the old
// ones. Fixed leading dimension NMAX, whatever NA is.
cplx t1_store[NMAX * NMAX];
cplx t2_store[NMAX * NMAX];
// Vectors of one step (1-based, entries 1..NMAX): a column's multipliers or
// their conjugates, and the sums formed from them.
cplx weights[NMAX + 1];
cplx sums[NMAX + 1];
// (-Im, Re) of the reflection vector u and of q in a tridiagonalization step.
cplx u_turned[NMAX + 1];
cplx q_turned[NMAX + 1];

// Default relative tolerance, written back into a negative EPS.
constexpr double kDefaultEps = 1e-14;
// The close-eigenvalue threshold is this multiple of the norm bound beta.
constexpr double kDeltaFactor = 1e-14;
// Two computed copies of one eigenvalue may differ by a few bisection
// tolerances; eigenvalues within this many of max(tol, delta) get
// independent pseudo-random start vectors.
constexpr double kCoincideFactor = 10.0;
// Binary exponent, relative to the largest entry, below which a column's
// norm in the Householder reduction counts as zero.
constexpr int kNegligibleColumn = -400;
// Eigenvectors of eigenvalues closer than this fraction of beta are
// re-orthogonalized: inverse iteration alone does not keep them apart.
constexpr double kClusterFactor = 1e-3;
// A vector of largest component 1 (squared norm at least 1/2) of which the
// re-orthogonalization leaves a squared norm below this has lost more than
// half its digits: it is no eigenvector any more.
constexpr double kLostVector = DBL_EPSILON;
// Replaces an exactly zero pivot of T - lambda I so that the solve never
// divides by zero; the solution then grows large, and is rescaled later.
// Nonzero pivots below it in magnitude are raised to it, keeping their
// sign: left as they are, they would outweigh the replaced zeros of the
// same eigenvalue by far (a cluster's iterates would all come out as one
// vector), and dividing by one could leave the double range. For the
// reduced matrix, scaled into the window, either change lies far below
// the rounding errors of its entries.
constexpr double kZeroPivot = 1e-30;
// The start vectors' generator: s := (1229 s + 351750) mod 1664501, drawn as
// s * 4.656613e-10. A fixed seed makes every run draw the same vectors, so
// results are reproducible.
constexpr int kSeed = 584287;
constexpr int kMul = 1229;
constexpr int kInc = 351750;
constexpr int kMod = 1664501;
constexpr double kDraw = 4.656613e-10;
// Inverse iteration leaves iterates up to this size as they are; ordinary
// ones grow to about 2^110, and one of 2^256 still leaves room for the
// reflections that transform it back.
constexpr double kIterateLimit = 0x1p256;
// Bisection on doubles halves an interval at most about 2100 times before
// the midpoint meets an end; the cap only ends searches on non-finite input.
constexpr int kMaxBisections = 4096;
// A cluster vector whose orthogonalization keeps less than this fraction
// of it is refined by further solves, at most kRefinements times.
constexpr double kKeptFraction = 0.9;
constexpr int kRefinements = 5;
// Refinement shifts of one cluster lie at least this many units of
// rounding (of the norm bound) apart.
constexpr double kShiftSpread = 10.0;
// Magnitudes of A and B that the algorithm takes as they are. Outside, a
// matrix is scaled by a power of two to bring its largest entry near 1:
// the reduced matrix must stay far from the ends of the double range (its
// squares are formed) and far above the absolute pivot replacement 1e-30.
constexpr double kWindowLow = 0x1p-32;
constexpr double kWindowHigh = 0x1p32;
// A reduced matrix that stands for an eigenvalue beyond the double range
// has its huge parts set to 2^kClampExponent, the others below 2: then
// eigenvalues made of the others alone stay below 2n < 2^9 (n <= 200), and
// those above 2^kBeyondExponent are the ones beyond the range.
constexpr int kClampExponent = 400;
constexpr int kBeyondExponent = 200;
// Sturm counts are formed kLanes at a time: the trial values of the next
// kDepth bisection steps, a binary tree of kTreeNodes midpoints.
constexpr int kLanes = detail::kSturmLanes;
constexpr int kDepth = 4;
constexpr int kTreeNodes = (1 << kDepth) - 1;
static_assert(kTreeNodes <= kLanes);
constexpr int kVectors = kLanes / 8;
using Lanes8 = double __attribute__((vector_size(8 * sizeof(double))));
using Mask8 = long long __attribute__((vector_size(8 * sizeof(long long))));

void print_invalid_argument(std::initializer_list<long long> values) {
  FreeRecord line;
  line.text("(SUBR. EIGCH) INVALID ARGUMENT.");
  for (long long v : values) line.integer(v);
  line.print();
}

// Two complex numbers in one vector: (re, im) of one column, then of
// another. The helpers on such vectors are always inlined: a clone passes
// vectors in registers that a baseline function would take from memory, so
// a call between the two, as an unoptimized build would make, cannot be
// allowed.
using Pair = double __attribute__((vector_size(4 * sizeof(double))));

[[gnu::always_inline]] inline Pair load_pair(const cplx* a, const cplx* b) {
  return Pair{a->real(), a->imag(), b->real(), b->imag()};
}

// (im, re) of both numbers.
[[gnu::always_inline]] inline Pair swap_parts(Pair x) { return __builtin_shufflevector(x, x, 1, 0, 3, 2); }

// (a0 - b0, a1 + b1, a2 - b2, a3 + b3), one instruction where the machine
// has it.
[[gnu::always_inline]] inline Pair addsub(Pair a, Pair b) { return __builtin_shufflevector(a - b, a + b, 0, 5, 2, 7); }

// w * x for both numbers of x: (wr xr - wi xi, wr xi + wi xr), the very
// operations of cmul.
[[gnu::always_inline]] inline Pair cmul_pair(cplx w, Pair x) {
  return addsub(w.real() * x, w.imag() * swap_parts(x));
}

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

// Four complex numbers in one vector: row i of four vectors.
using Quad = double __attribute__((vector_size(8 * sizeof(double))));

// (im, re) of each number.
[[gnu::always_inline]] inline Quad swap_parts(Quad x) { return __builtin_shufflevector(x, x, 1, 0, 3, 2, 5, 4, 7, 6); }

// The sign bit of a double, as the bits of a mask lane.
constexpr long long kSignBit = static_cast<long long>(1ULL << 63);

// The real parts negated (exactly: only the sign bits change).
[[gnu::always_inline]] inline Quad negate_real_parts(Quad x) {
  return reinterpret_cast<Quad>(reinterpret_cast<Mask8>(x) ^
                                Mask8{kSignBit, 0, kSignBit, 0, kSignBit, 0, kSignBit, 0});
}

// Four vectors in one block, row by row: block[i] holds row i of all four,
// so that one load gives a whole row. A block of fewer vectors is padded
// with zeros.
Quad block[NMAX + 1];

void load_block(const CView& V, int j, int width, int n) {
  for (int i = 1; i <= n; ++i)
    for (int c = 0; c < 4; ++c) {
      const cplx z = c < width ? V(i, j + c) : cplx(0.0, 0.0);
      block[i][2 * c] = z.real();
      block[i][2 * c + 1] = z.imag();
    }
}

void store_block(const CMat& V, int j, int width, int n) {
  for (int i = 1; i <= n; ++i)
    for (int c = 0; c < width; ++c) V(i, j + c) = cplx(block[i][2 * c], block[i][2 * c + 1]);
}

// A reflection I - u u^H / gamma with u in column k of the reduced matrix
// and r = 1/gamma.
struct Reflection {
  int k;
  cplx r;
};
Reflection reflections[NMAX];

// The products with a block's rows, each two multiplications and one
// addition per register:
//   cmul(u, f) = ur f + ui gs with gs = negate_real_parts(swap_parts(f)),
//     that is (ur fr - ui fi, ur fi + ui fr), as ui (-fi) = -(ui fi);
//   conj(u) x, its parts swapped, = ur swap_parts(x) + ui negate_real_parts(x)
//     = (ur xi - ui xr, ur xr + ui xi): the operations of cmul(conj(u), x),
//     as (-ui) y = -(ui y) and a - (-b) = a + b.
[[gnu::always_inline]] inline Quad times(cplx u, Quad f, Quad gs) { return u.real() * f + u.imag() * gs; }
[[gnu::always_inline]] inline Quad conj_times_swapped(cplx u, Quad x) {
  return u.real() * swap_parts(x) + u.imag() * negate_real_parts(x);
}

// s_c = sum_{i=lo..hi} conj(u_i) x_c(i) for the four vectors x_c of the
// block, each sum in increasing i; the sums are kept with their parts
// swapped (swap_parts gives them back).
[[gnu::always_inline]] inline Quad block_dots(const cplx* u, int lo, int hi) {
  Quad s = {};
  for (int i = lo; i <= hi; ++i) s += conj_times_swapped(u[i], block[i]);
  return s;
}

// Applies the reflections in turn to the four vectors of the block:
// x := x - u f with f = r (u^H x). The update by one reflection and the
// dot products of the next go in one pass: the next dot products' terms
// for rows i <= k are not touched by reflection k and come first, then
// each row is updated and its term added at once, so every sum keeps its
// order.
void reflect_block(const CView& A, const Reflection* refl, int count, int n) {
  if (count == 0) return;
  Quad d = block_dots(A.col(refl[0].k), refl[0].k + 1, n);
  for (int t = 0; t < count; ++t) {
    const int k = refl[t].k;
    const cplx* u = A.col(k);
    // f = cmul(r, u^H x), from the swapped sums d.
    const Quad f = times(refl[t].r, swap_parts(d), negate_real_parts(d));
    const Quad gs = negate_real_parts(swap_parts(f));
    if (t + 1 == count) {
      for (int i = k + 1; i <= n; ++i) block[i] = block[i] - times(u[i], f, gs);
      return;
    }
    const int next = refl[t + 1].k;
    const cplx* w = A.col(next);
    d = block_dots(w, next + 1, k);
    for (int i = k + 1; i <= n; ++i) {
      const Quad x = block[i] - times(u[i], f, gs);
      block[i] = x;
      d += conj_times_swapped(w[i], x);
    }
  }
}

// One complex number as a vector, and back; with its parts swapped.
using Half = double __attribute__((vector_size(2 * sizeof(double))));
[[gnu::always_inline]] inline Half swapped(cplx z) { return Half{z.imag(), z.real()}; }
[[gnu::always_inline]] inline cplx unswapped(Half h) { return cplx(h[1], h[0]); }

// Four consecutive complex numbers as one vector, and back; four numbers
// from four places.
[[gnu::always_inline]] inline Quad load4(const cplx* p) {
  Quad x;
  std::memcpy(&x, p, sizeof x);
  return x;
}
[[gnu::always_inline]] inline void store4(cplx* p, Quad x) { std::memcpy(static_cast<void*>(p), &x, sizeof x); }
[[gnu::always_inline]] inline Quad gather4(const cplx* a, const cplx* b, const cplx* c, const cplx* d) {
  return Quad{a->real(), a->imag(), b->real(), b->imag(), c->real(), c->imag(), d->real(), d->imag()};
}

// (re, re) and (im, im) of each number.
[[gnu::always_inline]] inline Quad real_parts_twice(Quad x) { return __builtin_shufflevector(x, x, 0, 0, 2, 2, 4, 4, 6, 6); }
[[gnu::always_inline]] inline Quad imag_parts_twice(Quad x) { return __builtin_shufflevector(x, x, 1, 1, 3, 3, 5, 5, 7, 7); }

// Number c of a vector of four.
[[gnu::always_inline]] inline Half part(Quad x, int c) { return Half{x[2 * c], x[2 * c + 1]}; }

// conj(a) u for each number, a and u both varying, with the parts
// swapped: (ar ui - ai ur, ar ur + ai ui), given ur2 = (ur, ur) and
// ui2 = (ui, ui) of each number of u. These are the operations of
// cmul(conj(a), u): (-ai) y = -(ai y) and x - (-y) = x + y exactly.
[[gnu::always_inline]] inline Quad conj_product_swapped(Quad a, Quad ur2, Quad ui2) {
  return a * ui2 + negate_real_parts(swap_parts(a * ur2));
}

// Sign bits that conjugate number at - 1 of a vector of four (at = 1..4),
// or none (at = 0 or 5).
constexpr Mask8 kDiagonalConjugate[6] = {{},
                                         {0, kSignBit, 0, 0, 0, 0, 0, 0},
                                         {0, 0, 0, kSignBit, 0, 0, 0, 0},
                                         {0, 0, 0, 0, 0, kSignBit, 0, 0},
                                         {0, 0, 0, 0, 0, 0, 0, kSignBit},
                                         {}};

// One column i of a reduction step (weights w = conj(L(., k)), li =
// L(i, k)), rows l = k+1..n in increasing order:
//   sums(l) += li A(l,i)  (li conj(A(i,i)) on the diagonal),
//   s3 += (w_l li) A(l,i),
// and, when Fused, the sums t_c += w_l A(l, c0 + c) of four columns
// c0..c0+3 left of k. The running sum s3 is a chain of dependent
// additions; the other sums, independent of it, fill the time its
// additions take.
template <bool Fused>
void reduction_column(const CView& A, const cplx* w, int k, int n, int i, cplx li, cplx* sums,
                      Half& s3, int c0, Quad& t) {
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
  // same sum with its terms swapped. When the diagonal is among the rows,
  // the new column's sums take it conjugated (its imaginary part negated
  // through the sign bit, exactly), the running sum s3 as it is.
  auto rows4 = [&](int l) {
    const Quad x = load4(a + l), xs = negate_real_parts(swap_parts(x));
    const int at = std::clamp(i - l + 1, 0, 5);  // 1..4: the diagonal in row l + at - 1
    const Quad xd = reinterpret_cast<Quad>(reinterpret_cast<Mask8>(x) ^ kDiagonalConjugate[at]);
    store4(sums + l, load4(sums + l) + times(li, xd, negate_real_parts(swap_parts(xd))));
    const Quad wl = load4(w + l);
    const Quad p = times(li, wl, negate_real_parts(swap_parts(wl)));
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
cplx reduction_step_sums(const CView& A, const CView& L, int k, int n, cplx* sums) {
  for (int j = k + 1; j <= n; ++j) sums[j] = 0.0;
  const int groups = (k - 1) / 4;
  int g = 0;
  Half s3 = {};
  for (int i = k + 1; i <= n; ++i) {
    Quad t = {};
    if (g < groups) {
      const int c0 = 4 * g + 1;
      reduction_column<true>(A, weights, k, n, i, L(i, k), sums, s3, c0, t);
      for (int c = 0; c < 4; ++c) sums[c0 + c] = cplx(t[2 * c], t[2 * c + 1]);
      ++g;
    } else {
      reduction_column<false>(A, weights, k, n, i, L(i, k), sums, s3, 0, t);
    }
  }
  column_dots(weights, A, k + 1, n, 4 * g + 1, k - 1, sums);
  return cplx(s3[0], s3[1]);
}

// For the Hermitian matrix whose lower triangle lies in columns k+1..n of
// X (diagonal excluded), and the vector u:
//   below(j) = sum_{i=k+1..j-1} X(j,i) u_i,
//   above(i) = sum_{j=i+1..n} conj(X(j,i)) u_j.
// One pass down each column i adds X(j,i) u_i to below(j) of every row
// j > i and forms above(i). Four columns go side by side, so that their
// four above-sums overlap; the rows of their own triangle come first, so
// that every sum still takes its terms in increasing index.
void hermitian_product_sums(const CView& X, const cplx* u, int k, int n, cplx* below,
                            cplx* above) {
  for (int j = k + 1; j <= n; ++j) below[j] = 0.0;
  int i = k + 1;
  for (; i + 3 <= n; i += 4) {
    const cplx* a[4] = {X.col(i), X.col(i + 1), X.col(i + 2), X.col(i + 3)};
    const cplx uc[4] = {u[i], u[i + 1], u[i + 2], u[i + 3]};
    Half s[4] = {};
    auto one_row = [&](int j, int columns) {
      for (int c = 0; c < columns; ++c) {
        below[j] += cmul(a[c][j], uc[c]);
        s[c] += swapped(cmul(std::conj(a[c][j]), u[j]));
      }
    };
    for (int j = i + 1; j <= i + 3; ++j) one_row(j, j - i);
    int j = i + 4;
    for (; j + 3 <= n; j += 4) {
      const Quad uj = load4(u + j);
      const Quad ur2 = real_parts_twice(uj), ui2 = imag_parts_twice(uj);
      Quad b = load4(below + j);
      for (int c = 0; c < 4; ++c) {
        const Quad x = load4(a[c] + j);
        b += times(uc[c], x, negate_real_parts(swap_parts(x)));
        const Quad t = conj_product_swapped(x, ur2, ui2);
        for (int r = 0; r < 4; ++r) s[c] += part(t, r);
      }
      store4(below + j, b);
    }
    for (; j <= n; ++j) one_row(j, 4);
    for (int c = 0; c < 4; ++c) above[i + c] = unswapped(s[c]);
  }
  for (; i <= n; ++i) {
    const cplx* a = X.col(i);
    const cplx ui = u[i];
    cplx sum = 0.0;
    for (int j = i + 1; j <= n; ++j) {
      below[j] += cmul(a[j], ui);
      sum += cmul(std::conj(a[j]), u[j]);
    }
    above[i] = sum;
  }
}

// One vector's factorization of T - lambda I and its iterate, laid out as
// columns 3 to 7 of W and IW: in W itself, or in storage of the same shape.
struct Lane {
  double* piv;   // pivots, W(., 3)
  double* sup1;  // first superdiagonal of U, W(., 4)
  double* sup2;  // second superdiagonal of U, W(., 5)
  double* mult;  // multipliers, W(., 6)
  double* x;     // the iterate, W(., 7)
  int* iw;       // interchange flags, IW (0-based: iw[k - 1] for step k)
};

Lane lane_of(const RMat& W, int* IW) { return {W.col(3), W.col(4), W.col(5), W.col(6), W.col(7), IW}; }

// Scales the iterate by the power of two that brings its largest component
// into [1, 2). The scaling is exact, and the vector is later divided by its
// largest component, so the results are the same.
void rescale_iterate(double* x, int n) {
  double big = 0.0;
  for (int k = 1; k <= n; ++k) big = std::max(big, std::fabs(x[k]));
  if (!(big > 0.0) || !std::isfinite(big)) return;
  const int e = std::ilogb(big);
  for (int k = 1; k <= n; ++k) x[k] = std::ldexp(x[k], -e);
}

// Each of the three passes below is a chain of dependent operations, step
// by step. It is written as a state carried in registers and a step, so
// that two vectors' passes can go side by side, their chains overlapping,
// each with exactly its own operations.

// Factors T - lambda I = P L U by Gaussian elimination with interchanges of
// adjacent rows (d, e: the diagonal and off-diagonal of T). Row k of the
// partly reduced matrix holds the pivot candidate p and its right
// neighbour r in columns k and k+1; each step stores what it leaves behind.
struct Factoring {
  const double* d;
  const double* e;
  int n;
  double lambda;
  double p, r;

  Factoring(const double* d_, const double* e_, int n_, double lambda_)
      : d(d_), e(e_), n(n_), lambda(lambda_), p(d_[1] - lambda_), r(n_ >= 2 ? e_[1] : 0.0) {}

  void step(const Lane& L, int k) {
    const double ek = e[k];
    const double pn = d[k + 1] - lambda;                 // row k+1 as set up
    const double rn = k + 1 <= n - 1 ? e[k + 1] : 0.0;  // (0 outside U)
    if (std::fabs(p) < std::fabs(ek)) {
      // Row k+1 (e_k, pn, rn) becomes the pivot row.
      const double m = p / ek;
      L.mult[k] = m;
      L.iw[k - 1] = 1;
      L.piv[k] = ek;
      L.sup1[k] = pn;
      L.sup2[k] = rn;
      p = r - m * pn;
      r = -(m * rn);
    } else {
      if (p == 0.0) p = kZeroPivot;
      const double m = ek / p;
      L.mult[k] = m;
      L.iw[k - 1] = 0;
      L.piv[k] = p;
      L.sup1[k] = r;
      L.sup2[k] = 0.0;
      p = pn - m * r;
      r = rn;
    }
  }

  void finish(const Lane& L) const {
    L.piv[n] = p == 0.0 ? kZeroPivot : p;
    L.sup1[n] = r;  // outside U; moved about by the last step, never read
    for (int k = 1; k <= n; ++k)
      if (std::fabs(L.piv[k]) < kZeroPivot) L.piv[k] = std::copysign(kZeroPivot, L.piv[k]);
  }
};

// Back substitution with U on the iterate, in place, k = n..1. A solve
// grows the iterate by about 1/|pivot|, some 1/ulp(lambda) for a converged
// eigenvalue: for eigenvalues far below the norm the iterate, and the
// reflections applied to it later, would leave the double range. So once a
// component passes kIterateLimit, the whole vector (the solved components
// and the right-hand side still to come) is rescaled. The last two
// components solved are carried (and read back after a rescaling).
struct BackSubstitution {
  int n;
  double x1 = 0.0, x2 = 0.0;  // x(k+1), x(k+2)

  void step(const Lane& L, int k) {
    double x = L.x[k];
    if (k <= n - 1) x = x - L.sup1[k] * x1;
    if (k <= n - 2) x = x - L.sup2[k] * x2;
    x = x / L.piv[k];
    L.x[k] = x;
    if (std::fabs(x) > kIterateLimit) {
      rescale_iterate(L.x, n);
      x = L.x[k];
      if (k <= n - 1) x1 = L.x[k + 1];
    }
    x2 = x1;
    x1 = x;
  }
};

// The recorded row operations of the elimination on the iterate:
// x := L^-1 P x, k = 1..n-1; cur is row k's value so far.
struct Elimination {
  double cur;

  void step(const Lane& L, int k) {
    const double m = L.mult[k];
    const double next = L.x[k + 1];
    if (L.iw[k - 1] == 1) {
      L.x[k] = next;
      cur = cur - m * next;
    } else {
      L.x[k] = cur;
      cur = next - m * cur;
    }
  }
};

void factor_shifted_tridiagonal(const RMat& W, int* IW, int n, double lambda) {
  const Lane L = lane_of(W, IW);
  Factoring f(W.col(1), W.col(2), n, lambda);
  for (int k = 1; k <= n - 1; ++k) f.step(L, k);
  f.finish(L);
}

void solve_upper(const RMat& W, int n) {
  const Lane L = lane_of(W, nullptr);
  BackSubstitution b{n};
  for (int k = n; k >= 1; --k) b.step(L, k);
}

void apply_elimination(const RMat& W, int* IW, int n) {
  const Lane L = lane_of(W, IW);
  Elimination el{L.x[1]};
  for (int k = 1; k <= n - 1; ++k) el.step(L, k);
  L.x[n] = el.cur;
}

// The two solves of inverse iteration for two vectors side by side, their
// start vectors in place: a's eigenvalue la, b's lb.
void solve_two(const RMat& W, int n, const Lane& a, double la, const Lane& b, double lb) {
  Factoring fa(W.col(1), W.col(2), n, la), fb(W.col(1), W.col(2), n, lb);
  for (int k = 1; k <= n - 1; ++k) fa.step(a, k), fb.step(b, k);
  fa.finish(a);
  fb.finish(b);
  auto back_substitute = [&] {
    BackSubstitution ba{n}, bb{n};
    for (int k = n; k >= 1; --k) ba.step(a, k), bb.step(b, k);
  };
  back_substitute();
  Elimination ea{a.x[1]}, eb{b.x[1]};
  for (int k = 1; k <= n - 1; ++k) ea.step(a, k), eb.step(b, k);
  a.x[n] = ea.cur;
  b.x[n] = eb.cur;
  back_substitute();
}

// The other vector of a pair, in storage shaped like W's columns 3 to 7.
double lane_store[5][NMAX + 1];
int lane_flags[NMAX];

// An orthonormal basis q_1..q_m of the cluster's vectors so far, in the
// basis of T (column l of cluster_basis, 1-based rows).
double cluster_basis[NMAX * NMAX];

// x := x - sum_l (q_l . x) q_l by modified Gram-Schmidt, twice (the second
// pass removes what rounding left of the first). x is first scaled to
// largest entry 1; returns ||x after|| / ||x before||.
double orthogonalize_in_cluster(double* x, int n, int m) {
  const RMat Q(cluster_basis, NMAX);
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

// A vector of a cluster of nearly equal eigenvalues can come out of the two
// solves lying almost in the span of the cluster's earlier vectors: what
// is left after orthogonalizing against them is then mostly rounding
// error, and no later orthogonalization can make it accurate. Such a
// vector is orthogonalized in the basis of T and put through further
// solves with T - shift I, each followed by orthogonalization, until
// orthogonalization keeps nearly all of it. The shift is its eigenvalue
// moved, if need be, a little past the previous member's shift: with the
// eigenvalue itself, an earlier vector whose eigenvalue it equals would be
// amplified without bound (the pivot replacement) and crowd out the new
// direction again. A vector that passes at once is left exactly as it was.
// Either way its orthogonalized direction joins the cluster's basis as
// q_{m+1}.
void refine_in_cluster(const RMat& W, int* IW, int n, int m, double shift) {
  double* x = RMat(cluster_basis, NMAX).col(m + 1);
  static double original[NMAX + 1];
  for (int i = 1; i <= n; ++i) x[i] = original[i] = W(i, 7);
  double kept = m == 0 ? 1.0 : orthogonalize_in_cluster(x, n, m);
  if (kept < kKeptFraction) factor_shifted_tridiagonal(W, IW, n, shift);
  for (int round = 0; round < kRefinements && kept < kKeptFraction; ++round) {
    for (int i = 1; i <= n; ++i) W(i, 7) = x[i];
    apply_elimination(W, IW, n);
    solve_upper(W, n);
    for (int i = 1; i <= n; ++i) x[i] = W(i, 7);
    kept = orthogonalize_in_cluster(x, n, m);
    for (int i = 1; i <= n; ++i) W(i, 7) = x[i];
  }
  double t = 0.0;
  for (int i = 1; i <= n; ++i) t += x[i] * x[i];
  const double g = 1.0 / std::sqrt(t);
  if (!(t > 0.0) || !std::isfinite(g)) {
    // Nothing usable is left: the vector stays as the two solves gave it,
    // and adds nothing to the basis.
    for (int i = 1; i <= n; ++i) W(i, 7) = original[i], x[i] = 0.0;
    return;
  }
  for (int i = 1; i <= n; ++i) x[i] *= g;
}

}  // namespace

namespace detail {

double cluster_distance(double eps, double beta) { return std::max(eps, kClusterFactor * beta); }

// ---------------------------------------------------------------------------
// Stage 1 of eigcab. For k = n..1:
//   p = B(k,k) - sum_{i>k} (D(i) L(i,k)) conj(L(i,k)),  D(k) = p,
//   u = 1/p,  B(k,k) = sqrt(u),
//   L(k,j) = (B(k,j) - sum_{i>k} (D(i) conj(L(i,k))) L(i,j)) u,  j < k.
GENEIG_WIDE bool factor_b(cplx* Bp, int n, int na, cplx* D, int& ILL) {
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
      ILL = 5;
    }
    D[k - 1] = p;
    // A zero pivot has no reciprocal; taking it as 0 zeroes row k of L
    // instead of filling it with infinities.
    const cplx u = zero ? cplx(0.0, 0.0) : crecip(p);
    if (zero) regular = false;
    B(k, k) = std::sqrt(u);
    // Row k of L: L(k,j) = (B(k,j) - sum_i (D(i) conj(L(i,k))) L(i,j)) u.
    for (int i = k + 1; i <= n; ++i) weights[i] = cmul(D[i - 1], std::conj(B(i, k)));
    column_dots(weights, CView(Bp, na), k + 1, n, 1, k - 1, sums);
    for (int j = 1; j <= k - 1; ++j) B(k, j) = cmul(B(k, j) - sums[j], u);
  }
  return regular;
}

// ---------------------------------------------------------------------------
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
GENEIG_WIDEST void reduce_a(cplx* Ap, const cplx* Bp, int n, int na) {
  if (n < 2) return;
  const CMat A(Ap, na);
  const CView Av(Ap, na);
  const CView L(Bp, na);
  const CMat t1(t1_store, NMAX);
  const CMat t2(t2_store, NMAX);
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
    const cplx s3 = reduction_step_sums(Av, L, k, n, sums);
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

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
// Stage 5 of eigcab: v = L^-1 D^-1/2 y, by scaling with B(i,i) and forward
// substitution with the unit lower factor L, column by column.
GENEIG_WIDEST void back_transform_pencil(cplx* Vp, const cplx* Bp, int n, int na, int ncols) {
  const CMat V(Vp, na);
  const CView B(Bp, na);
  for (int m = 1; m <= ncols; ++m)
    for (int i = 1; i <= n; ++i) V(i, m) = cmul(V(i, m), B(i, i));
  // Four vectors' substitutions go side by side, a row of all four in one
  // register, sharing each column of L; every vector sees its own
  // operations in order: v(i) := v(i) - cmul(L(i,l), v(l)).
  for (int j = 1; j <= ncols; j += 4) {
    const int width = std::min(4, ncols - j + 1);
    load_block(CView(Vp, na), j, width, n);
    for (int l = 1; l <= n - 1; ++l) {
      const Quad z = block[l], zs = negate_real_parts(swap_parts(z));
      const cplx* b = B.col(l);
      for (int i = l + 1; i <= n; ++i) block[i] = block[i] - times(b[i], z, zs);
    }
    store_block(V, j, width, n);
  }
}

// ---------------------------------------------------------------------------
// Order 2: with t = (d1 + d2)/2, h = (d1 - d2)/2 and p = d1 d2 - e1^2, the
// eigenvalues are s = sign(t)(sqrt(r) + |t|), the one of larger modulus,
// and p/s, where r = h^2 + e1^2. In exact arithmetic r = t^2 - p; formed as
// that difference it cancels catastrophically when the eigenvalues are
// close, and sqrt(r) keeps only half the digits of their gap. As a sum of
// squares it keeps them all. Entries outside the window of ordinary
// magnitudes are scaled by a power of two for the squares, as everywhere in
// the solver, and the eigenvalues scaled back exactly. The zero matrix
// (s = 0) has both eigenvalues 0. The pair is returned largest first for
// m > 0, smallest first for m < 0.
int window_exponent(double magnitude);

SpectrumScale closed_form_order2(cplx* Ap, int na, int m, double eps, double* Wp, double* E) {
  const CMat A(Ap, na);
  const RMat W(Wp, na);
  const double d1 = A(1, 1).real();
  const double d2 = A(2, 2).real();
  W(1, 1) = d1;
  W(2, 1) = d2;
  const double e1 = cabs(A(2, 1));
  W(1, 2) = e1;
  A(1, 1) = e1 == 0.0 ? cplx(1.0, 0.0) : cplx(A(2, 1).real() / e1, A(2, 1).imag() / e1);

  const int k = window_exponent(std::max({std::fabs(d1), std::fabs(d2), e1}));
  const double a = std::ldexp(d1, -k), b = std::ldexp(d2, -k), c = std::ldexp(e1, -k);
  const double t = (a + b) * 0.5;
  const double h = (a - b) * 0.5;
  const double p = a * b - c * c;
  double s = std::sqrt(h * h + c * c) + std::fabs(t);
  if (t < 0.0) s = -s;
  const double other = s == 0.0 ? 0.0 : p / s;
  // The letter's choice by the sign of t*m, made robust: order the pair as m
  // asks whatever rounding did to it.
  double first = t * static_cast<double>(m) < 0.0 ? other : s;
  double second = t * static_cast<double>(m) < 0.0 ? s : other;
  if ((m > 0 && first < second) || (m < 0 && first > second)) std::swap(first, second);
  E[0] = std::ldexp(first, k);
  if (std::abs(m) == 2) E[1] = std::ldexp(second, k);

  const double beta = std::max(std::fabs(d1) + std::fabs(e1), std::fabs(e1) + std::fabs(d2));
  return {beta, eps * beta, kDeltaFactor * beta};
}

double lower_magnitude(const CView& X, int n, bool diagonal_imag);

// ---------------------------------------------------------------------------
// Householder reduction. Step k (k = 1..n-2) takes x = A(k+1..n, k) with
// sigma = ||x||, alpha = |x_1|, phi = x_1/alpha, and the reflection
// H = I - h u u^H with u = x + sigma phi e_1, h = 1/(alpha sigma + sigma^2),
// so that H x = -sigma phi e_1. The trailing block A' becomes H A' H through
//   p = h A' u,  K' = (h/2) u^H p,  q = p - K' u,  A' := A' - u q^H - q u^H.
// The subdiagonal left behind is e_k phi_k with e_k = -sigma; the phases
// phi_k turn the Hermitian tridiagonal into the real T.
GENEIG_WIDEST void reduce_to_tridiagonal(cplx* Ap, int n, int na, double* Wp) {
  const CMat A(Ap, na);
  const RMat W(Wp, na);
  // A column x with ||x|| below 2^kNegligibleColumn times the largest
  // entry, or ||x||^2 below the smallest normal double, is taken as zero:
  // h, and K' with it (about |A'| / ||x||^2), would leave the double range,
  // and dropping x changes the matrix far below the rounding errors of its
  // entries.
  const double big = lower_magnitude(CView(Ap, na), n, false);
  const double tiny = std::isfinite(big) ? std::ldexp(big, kNegligibleColumn) : 0.0;
  for (int i = 1; i <= n; ++i) W(i, 1) = A(i, i).real();
  for (int k = 1; k <= n - 2; ++k) {
    double s2 = 0.0;
    for (int i = k + 1; i <= n; ++i) {
      s2 += A(i, k).real() * A(i, k).real();
      s2 += A(i, k).imag() * A(i, k).imag();
    }
    double sigma = std::sqrt(s2);
    if (s2 < DBL_MIN || sigma < tiny) s2 = sigma = 0.0;
    const double alpha = cabs(A(k + 1, k));
    W(k, 2) = -sigma;
    const cplx phi = alpha == 0.0 ? cplx(1.0, 0.0)
                                  : cplx(A(k + 1, k).real() / alpha, A(k + 1, k).imag() / alpha);
    A(k, k) = phi;
    if (s2 == 0.0) continue;
    const double h = 1.0 / (alpha * sigma + s2);
    A(k + 1, k) = A(k + 1, k) + cscale(phi, sigma);

    // p_j = h (sum_{i<j} A(j,i) u_i + d_j u_j + sum_{i>j} conj(A(i,j)) u_i),
    // stored on the diagonal. One pass down each column i of the trailing
    // block adds A(j,i) u_i to the first sum of every row j > i and forms
    // the second sum of row i; every sum keeps its order.
    const cplx* u = A.col(k);
    cplx* below = sums;
    cplx* above = weights;
    hermitian_product_sums(CView(Ap, na), u, k, n, below, above);
    for (int j = k + 1; j <= n; ++j)
      A(j, j) = cscale((below[j] + cscale(u[j], W(j, 1))) + above[j], h);

    cplx K = 0.0;
    for (int j = k + 1; j <= n; ++j) K += cmul(std::conj(u[j]), A(j, j));
    const cplx Kh = cscale(K, h * 0.5);
    cplx* q = sums;
    for (int j = k + 1; j <= n; ++j) A(j, j) = q[j] = A(j, j) - cmul(u[j], Kh);
    for (int j = k + 1; j <= n; ++j)
      W(j, 1) = W(j, 1) - 2.0 * (q[j].real() * u[j].real() + q[j].imag() * u[j].imag());

    // A' := A' - u q^H - q u^H below the diagonal, column by column, four
    // rows at a time, cmul(u_j, c) as cr u_j + ci (-Im u_j, Re u_j).
    for (int j = k + 1; j <= n; ++j) {
      u_turned[j] = cplx(-u[j].imag(), u[j].real());
      q_turned[j] = cplx(-q[j].imag(), q[j].real());
    }
    for (int i = k + 1; i <= n - 1; ++i) {
      cplx* a = A.col(i);
      const cplx qi = std::conj(q[i]), ui = std::conj(u[i]);
      int j = i + 1;
      for (; j + 3 <= n; j += 4)
        store4(a + j, load4(a + j) - times(qi, load4(u + j), load4(u_turned + j)) -
                          times(ui, load4(q + j), load4(q_turned + j)));
      for (; j <= n; ++j) a[j] = a[j] - cmul(u[j], qi) - cmul(q[j], ui);
    }
  }
  const double e = cabs(A(n, n - 1));
  W(n - 1, 2) = e;
  A(n - 1, n - 1) =
      e == 0.0 ? cplx(1.0, 0.0) : cplx(A(n, n - 1).real() / e, A(n, n - 1).imag() / e);
}

// ---------------------------------------------------------------------------
// Sturm counts at kLanes trial values at once. The pivots q_k of the
// elimination of T - x I without interchanges, q_1 = d_1 - x,
// q_k = (d_k - x) - e_{k-1}^2 / q_{k-1}, have as many non-negative members as
// T has eigenvalues >= x. A zero pivot counts as non-negative; the next one
// is then -infinity, not counted, and the row after it starts afresh. Each
// count is one chain of dependent divisions: the lanes' chains run side by
// side, each with exactly the operations of a count on its own.
GENEIG_WIDEST void sturm_counts(const double* Wp, int n, int na, int m, const double* x,
                                int* counts) {
  const RView W(Wp, na);
  // kLanes lanes as kVectors vectors of eight, as wide as the widest vector
  // instructions; narrower machines split each operation.
  Lanes8 xv[kVectors], q[kVectors];
  Mask8 count[kVectors], zero[kVectors], skipped[kVectors];
  for (int v = 0; v < kVectors; ++v)
    for (int l = 0; l < 8; ++l) xv[v][l] = x[8 * v + l];
  // As long as no pivot is exactly zero, no row is skipped and the chain is
  // a division and a subtraction per row. Should one be zero, the counts
  // are formed again with the zero pivots handled; either way they are the
  // counts of the recurrence as stated.
  for (int v = 0; v < kVectors; ++v) {
    q[v] = W(1, 1) - xv[v];
    count[v] = -(q[v] >= 0.0);
    zero[v] = q[v] == 0.0;  // a zero pivot so far
  }
  for (int k = 2; k <= n; ++k) {
    const double d = W(k, 1), e2 = W(k - 1, 3);
    for (int v = 0; v < kVectors; ++v) {
      q[v] = (d - xv[v]) - e2 / q[v];
      count[v] -= q[v] >= 0.0;
      zero[v] |= q[v] == 0.0;
    }
  }
  Mask8 seen = {};
  for (int v = 0; v < kVectors; ++v) seen |= zero[v];
  bool zeros = false;
  for (int l = 0; l < 8; ++l) zeros = zeros || seen[l] != 0;
  if (zeros) {
    for (int v = 0; v < kVectors; ++v) {
      q[v] = W(1, 1) - xv[v];
      count[v] = -(q[v] >= 0.0);
      zero[v] = q[v] == 0.0;  // this row's pivot is exactly zero
      skipped[v] = Mask8{};   // this row follows a zero pivot
    }
    for (int k = 2; k <= n; ++k) {
      const double d = W(k, 1), e2 = W(k - 1, 3);
      for (int v = 0; v < kVectors; ++v) {
        const Lanes8 dx = d - xv[v];
        const Lanes8 next = dx - e2 / q[v];
        const Mask8 skip = zero[v];
        q[v] = skipped[v] ? dx : next;
        count[v] -= ~skip & (q[v] >= 0.0);
        zero[v] = ~skip & (q[v] == 0.0);
        skipped[v] = skip;
      }
    }
  }
  for (int l = 0; l < kLanes; ++l) {
    const int c = static_cast<int>(count[l / 8][l % 8]);
    counts[l] = m > 0 ? c : n - c;
  }
}

// ---------------------------------------------------------------------------
// Bisection from the chosen end of the spectrum inward. Every eigenvalue's
// interval starts as [-beta, beta]; the shared bound b carries from one
// eigenvalue to the next (fewer than i eigenvalues lie beyond it), and each
// count that shows s eigenvalues beyond x raises the lower ends of
// eigenvalues i..s to x. A search ends when the midpoint comes within tol of
// either end.
//
// The search is sequential, but the trial values of its next kDepth steps
// are known in advance: the midpoint, the midpoints of its two halves, and
// so on. Their counts are formed together, then the search walks down the
// tree with exactly the midpoints, counts and decisions it would have met
// one at a time.
SpectrumScale bisect_eigenvalues(double* Wp, int n, int na, int m, double eps, double* E) {
  const RMat W(Wp, na);
  // Largest absolute row sum: r_1 = |e_1| + |d_1|, r_n = |d_n| + |e_{n-1}|,
  // r_k = |e_{k-1}| + |d_k| + |e_k|.
  double beta = std::max(std::fabs(W(1, 2)) + std::fabs(W(1, 1)),
                         std::fabs(W(n, 1)) + std::fabs(W(n - 1, 2)));
  for (int k = 2; k <= n - 1; ++k) {
    const double r = std::fabs(W(k - 1, 2)) + std::fabs(W(k, 1)) + std::fabs(W(k, 2));
    if (r > beta) beta = r;
  }
  const SpectrumScale scale{beta, eps * beta, kDeltaFactor * beta};
  const double tol = scale.tol;

  for (int k = 1; k <= n - 1; ++k) W(k, 3) = W(k, 2) * W(k, 2);

  const int count = std::abs(m);
  double b = m > 0 ? beta : -beta;
  for (int i = 1; i <= count; ++i) E[i - 1] = -b;

  for (int i = 1; i <= count; ++i) {
    double a = E[i - 1];
    double x = (a + b) * 0.5;
    int steps = 0;
    auto go_on = [&] { return steps < kMaxBisections && std::fabs(a - x) > tol && std::fabs(b - x) > tol; };
    while (go_on()) {
      // Node t has the interval (lo[t], hi[t]) and midpoint mid[t]; its
      // children 2t+1 (count below i: the upper end moves) and 2t+2 (the
      // lower end moves) halve it.
      double lo[kLanes], hi[kLanes], mid[kLanes];
      lo[0] = a, hi[0] = b, mid[0] = x;
      for (int t = 0; 2 * t + 2 < kTreeNodes; ++t) {
        lo[2 * t + 1] = lo[t], hi[2 * t + 1] = mid[t];
        lo[2 * t + 2] = mid[t], hi[2 * t + 2] = hi[t];
        mid[2 * t + 1] = (lo[t] + mid[t]) * 0.5;
        mid[2 * t + 2] = (mid[t] + hi[t]) * 0.5;
      }
      for (int t = kTreeNodes; t < kLanes; ++t) mid[t] = x;
      int counts[kLanes];
      sturm_counts(Wp, n, na, m, mid, counts);
      for (int level = 0, t = 0; level < kDepth && go_on(); ++level) {
        const int s = counts[t];
        ++steps;
        if (s < i) {
          b = x;
          t = 2 * t + 1;
        } else {
          a = x;
          for (int j = i; j <= std::min(s, count); ++j) E[j - 1] = x;
          t = 2 * t + 2;
        }
        x = (a + b) * 0.5;
      }
    }
    E[i - 1] = x;
  }
  return scale;
}

// ---------------------------------------------------------------------------
// Inverse iteration: with T - lambda I = P L U, two solves
// x = (T - lambda I)^-1 (U^-1 b) from the start vector b. b is all ones,
// except that an eigenvalue that coincides with the one before it gets a
// pseudo-random b, so that the copies of a repeated eigenvalue do not all
// converge to one vector.
void inverse_iteration(double* Wp, int* IW, int n, int na, const double* E, int nv,
                       const SpectrumScale& scale, double cluster, cplx* Vp) {
  const RMat W(Wp, na);
  const CMat V(Vp, na);
  const double coincide = kCoincideFactor * std::max(scale.tol, scale.delta);
  const double spread = kShiftSpread * std::numeric_limits<double>::epsilon() * scale.beta;
  int s = kSeed;
  // The start vector: all ones, or pseudo-random draws for an eigenvalue
  // that coincides with the one before it.
  auto start = [&](double* x, int j) {
    if (j > 1 && std::fabs(E[j - 1] - E[j - 2]) <= coincide) {
      for (int k = 1; k <= n; ++k) {
        s = (kMul * s + kInc) % kMod;
        x[k] = s * kDraw;
      }
    } else {
      for (int k = 1; k <= n; ++k) x[k] = 1.0;
    }
  };
  // Vector j is refined against its cluster, and so depends on the ones
  // before it, when its eigenvalue lies within the cluster distance of a
  // neighbour's.
  auto clustered = [&](int j) {
    return (j > 1 && std::fabs(E[j - 1] - E[j - 2]) <= cluster) ||
           (j < nv && std::fabs(E[j] - E[j - 1]) <= cluster);
  };
  const Lane w = lane_of(W, IW);
  const Lane other = {lane_store[0], lane_store[1], lane_store[2],
                      lane_store[3], lane_store[4], lane_flags};
  int first = 1;       // first vector of the current cluster
  double shift = 0.0;  // the previous member's refinement shift
  for (int j = 1; j <= nv; ++j) {
    const double lambda = E[j - 1];
    if (j < nv && !clustered(j) && !clustered(j + 1)) {
      // Two vectors that depend on nothing but their eigenvalues and start
      // vectors go through together; the later one in W, so that W is left
      // as by the last vector.
      start(other.x, j);
      start(w.x, j + 1);
      solve_two(W, n, other, lambda, w, E[j]);
      for (int k = 1; k <= n; ++k) V(k, j) = cplx(other.x[k], 0.0);
      first = ++j;
      for (int k = 1; k <= n; ++k) V(k, j) = cplx(W(k, 7), 0.0);
      continue;
    }
    factor_shifted_tridiagonal(W, IW, n, lambda);
    start(w.x, j);
    solve_upper(W, n);
    apply_elimination(W, IW, n);
    solve_upper(W, n);
    if (j == 1 || !(std::fabs(E[j - 1] - E[j - 2]) <= cluster)) first = j;
    if (clustered(j)) {
      // Members' shifts go from the cluster's first eigenvalue inward, each
      // at least spread beyond the one before.
      const bool down = j > 1 && E[j - 1] <= E[j - 2];
      shift = first == j ? lambda
                         : (down ? std::min(lambda, shift - spread) : std::max(lambda, shift + spread));
      refine_in_cluster(W, IW, n, j - first, shift);
    }
    for (int k = 1; k <= n; ++k) V(k, j) = cplx(W(k, 7), 0.0);
  }
}

// ---------------------------------------------------------------------------
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
GENEIG_WIDEST bool back_transform(const cplx* Ap, const double* Wp, int n, int na, const double* E, int mv,
                    double eps, double beta, cplx* Vp) {
  const CView A(Ap, na);
  const RView W(Wp, na);
  const CMat V(Vp, na);
  const int nv = std::abs(mv);

  // pi_k = phi_{k-1} pi_{k-1}, then row k of every vector times pi_k.
  cplx* pi = weights;
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
    load_block(CView(Vp, na), j, width, n);
    reflect_block(A, reflections, count, n);
    store_block(V, j, width, n);
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

}  // namespace detail

// ---------------------------------------------------------------------------
namespace detail {

// Largest |Re| or |Im| over the lower triangle and diagonal of a matrix;
// infinity as soon as one of them is not a finite number. The eigensolver
// ignores the imaginary parts of the diagonal: for the matrices it is
// given, diagonal_imag = false leaves them out here too, or an unused
// value could hide the matrix's real size.
double lower_magnitude(const CView& X, int n, bool diagonal_imag) {
  double big = 0.0;
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i)
      for (const double part : {X(i, j).real(), i != j || diagonal_imag ? X(i, j).imag() : 0.0}) {
        const double m = std::fabs(part);
        if (!(m <= DBL_MAX)) return HUGE_VAL;
        big = std::max(big, m);
      }
  return big;
}

// The exponent e that brings a magnitude outside the window into [1, 2)
// (e = 0 inside the window, for zero and for non-finite values).
int window_exponent(double magnitude) {
  if (!(magnitude > 0.0) || !std::isfinite(magnitude)) return 0;
  if (magnitude >= kWindowLow && magnitude <= kWindowHigh) return 0;
  return std::ilogb(magnitude);
}

PencilScale choose_pencil_scale(const cplx* A, const cplx* B, int n, int na) {
  PencilScale scale{window_exponent(lower_magnitude(CView(A, na), n, true)),
                    window_exponent(lower_magnitude(CView(B, na), n, true))};
  // B's exponent is even, so that its square root, which scales the
  // eigenvectors, is a power of two too.
  if (scale.b % 2 != 0) scale.b += 1;
  return scale;
}

// X := 2^-e X on the lower triangle and diagonal (exact: only the exponents
// change, unless an entry falls below the normal range).
void scale_lower(cplx* Xp, int n, int na, int e) {
  if (e == 0) return;
  const CMat X(Xp, na);
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i)
      X(i, j) = cplx(std::ldexp(X(i, j).real(), -e), std::ldexp(X(i, j).imag(), -e));
}

void scale_pencil(cplx* A, cplx* B, int n, int na, const PencilScale& scale) {
  scale_lower(A, n, na, scale.a);
  scale_lower(B, n, na, scale.b);
}

// R := 2^-r R for the reduced matrix R, with r chosen as for A and added to
// scale.a, through which the eigenvalues are scaled back; R's eigenvectors
// are those of 2^-r R.
//
// The pencil's eigenvalues are 2^(a-b) times R's, and |R(i, j)| <= ||R||_2
// = max |lambda|: a part of R of magnitude 2^(1024-(a-b)) or more (an
// infinity too) means an eigenvalue beyond the double range. Scaling R as a
// whole to bring such a part near 1 would push the others, and the
// eigenvalues within the range with them, below the range. So such parts
// are set to 2^kClampExponent with their sign, the others are scaled to
// below 2, and the eigenvalues that come out above 2^kBeyondExponent in
// magnitude are those beyond the range (scale.beyond).
bool scale_reduced(cplx* Rp, int n, int na, PencilScale& scale) {
  const CMat R(Rp, na);
  const int limit_exponent = 1024 - (scale.a - scale.b);
  const double limit = limit_exponent > 1023 ? HUGE_VAL : std::ldexp(1.0, limit_exponent);
  double kept = 0.0;
  bool beyond = false;
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i)
      for (const double part : {R(i, j).real(), i != j ? R(i, j).imag() : 0.0}) {
        const double m = std::fabs(part);
        if (std::isnan(m)) return false;
        if (m >= limit)
          beyond = true;
        else
          kept = std::max(kept, m);
      }
  if (!beyond) {
    const int r = window_exponent(kept);
    scale_lower(Rp, n, na, r);
    scale.a += r;
    return true;
  }
  const int r = kept > 0.0 ? std::ilogb(kept) : 0;
  const double clamped = std::ldexp(1.0, kClampExponent);
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      auto part = [&](double x) {
        return std::fabs(x) >= limit ? std::copysign(clamped, x) : std::ldexp(x, -r);
      };
      R(i, j) = cplx(part(R(i, j).real()), part(R(i, j).imag()));
    }
  scale.a += r;
  scale.beyond = std::ldexp(1.0, kBeyondExponent);
  return false;
}

// For A' = 2^-a A and B' = 2^-b B: lambda = 2^(a-b) lambda',
// v = 2^(-b/2) v', D = 2^b D', sqrt(1/D) = 2^(-b/2) sqrt(1/D').
bool unscale_results(cplx* Bp, cplx* D, double* E, int ne, cplx* Vp, int nv, int n, int na,
                     const PencilScale& scale) {
  if (scale.a == 0 && scale.b == 0 && scale.beyond == HUGE_VAL) return true;
  auto times = [](cplx z, int e) { return cplx(std::ldexp(z.real(), e), std::ldexp(z.imag(), e)); };
  const CMat B(Bp, na), V(Vp, na);
  for (int k = 1; k <= n; ++k) {
    D[k - 1] = times(D[k - 1], scale.b);
    B(k, k) = times(B(k, k), -scale.b / 2);
  }
  for (int j = 1; j <= nv; ++j)
    for (int i = 1; i <= n; ++i) V(i, j) = times(V(i, j), -scale.b / 2);
  bool representable = true;
  for (int i = 0; i < ne; ++i) {
    double lambda = std::ldexp(E[i], scale.a - scale.b);
    if (E[i] != 0.0 && std::isfinite(E[i]) && !std::isnormal(lambda)) representable = false;
    // An eigenvalue beyond the range is written as the largest finite
    // double of its sign.
    if (std::fabs(E[i]) >= scale.beyond || (std::isinf(lambda) && std::isfinite(E[i]))) {
      lambda = std::copysign(DBL_MAX, E[i]);
      representable = false;
    }
    E[i] = lambda;
  }
  return representable;
}

}  // namespace detail

// ---------------------------------------------------------------------------
namespace {

// The argument contract of eigch; false for a call that it refuses.
bool eigch_accepts(int N, int NA, int M, int MV) {
  return N >= 2 && M != 0 && NA >= N && N >= std::llabs(M) && std::llabs(M) >= std::llabs(MV);
}

}  // namespace

void eigch(cplx* A, const int& N, const int& NA, const int& M, const int& MV, double& EPS,
           double* W, int* IW, double* E, cplx* V, int& ILL) {
  const long long am = std::llabs(M), amv = std::llabs(MV);
  if (!eigch_accepts(N, NA, M, MV)) {
    ILL = 2;
    if (N < 2 || M == 0)
      print_invalid_argument({N, M});
    else
      print_invalid_argument({NA, N, am, amv});
    return;
  }
  if (EPS < 0.0) EPS = kDefaultEps;

  detail::SpectrumScale scale;
  if (N == 2) {
    scale = detail::closed_form_order2(A, NA, M, EPS, W, E);
  } else {
    detail::reduce_to_tridiagonal(A, N, NA, W);
    scale = detail::bisect_eigenvalues(W, N, NA, M, EPS, E);
  }
  if (MV == 0) return;
  // Vectors of eigenvalues closer than this are kept orthogonal (MV > 0).
  const double cluster = MV > 0 ? detail::cluster_distance(EPS, scale.beta) : -1.0;
  detail::inverse_iteration(W, IW, N, NA, E, static_cast<int>(amv), scale, cluster, V);
  if (!detail::back_transform(A, W, N, NA, E, MV, EPS, scale.beta, V) && ILL == 0) ILL = 7;
}

// ---------------------------------------------------------------------------
void eigcab(cplx* A, cplx* B, const int& N, const int& NA, const int& M, const int& MV,
            double& EPS, cplx* D, double* E, cplx* V, int& ILL, int* IW, double* W) {
  // The reduction's work arrays hold NMAX x NMAX, and every stage indexes
  // the caller's arrays with NA: refuse before touching anything.
  if (N > NMAX || NA < N) {
    ILL = 2;
    print_invalid_argument({NA, N, std::llabs(M), std::llabs(MV)});
    return;
  }
  // Pencils of extreme magnitude are solved as 2^-a A, 2^-b B, and the
  // results scaled back; ordinary ones are left exactly as they are.
  detail::PencilScale scale = detail::choose_pencil_scale(A, B, N, NA);
  detail::scale_pencil(A, B, N, NA, scale);
  const int nv = static_cast<int>(std::llabs(MV));
  const bool solved = eigch_accepts(N, NA, M, MV);
  if (detail::factor_b(B, N, NA, D, ILL)) {
    detail::reduce_a(A, B, N, NA);
    detail::scale_a(A, B, D, N, NA);
    // B's pivots may lie far below its largest entry, and then the reduced
    // matrix leaves the window although A and B do not: it is scaled too.
    if (!detail::scale_reduced(A, N, NA, scale)) ILL = 6;
    eigch(A, N, NA, M, MV, EPS, W, IW, E, V, ILL);
    detail::back_transform_pencil(V, B, N, NA, nv);
  }
  if (!detail::unscale_results(B, D, E, solved ? static_cast<int>(std::llabs(M)) : 0, V,
                               solved ? nv : 0, N, NA, scale))
    ILL = 6;
}

}  // namespace geneig
