// The power-of-two scalings: pencils whose largest entries lie outside
// [2^-32, 2^32] are solved as (2^-a A, 2^-b B); graded pencils, whose B has
// a diagonal spanning more than that window, as (2^-a S A S, 2^-b S B S)
// with S = diag(2^-e_k), 4^e_k about B(k,k); the reduced matrix R as
// 2^-r R. The results are scaled back exactly:
//   lambda = 2^(a-b) lambda',  v = 2^(-b/2) S v',  D(k) = 2^b 4^e_k D'(k),
//   L(i,j) = 2^(e_j - e_i) L'(i,j).
//
//   choose_pencil_scale  S, a and b from B's diagonal and the largest
//                        entries of A and B
//   scale_pencil         A := 2^-a S A S, B := 2^-b S B S (lower triangles)
//   scale_reduced        R := 2^-r R, a += r; false for a R that shows an
//                        eigenvalue beyond the double range (its huge
//                        parts clamped) or holds a not-a-number
//   unscale_results      E, V, D and B's factor back; false for an
//                        eigenvalue that leaves the normal double range
//                        (the largest finite double of its sign if above)
//   unscale_eigenvalues  E back alone, as unscale_results does it (also
//                        for eigch, which scales a Hermitian matrix alone)
//
// A, B, R: complex, na x n, lower triangle and diagonal; D complex, n;
// E double, ne; V complex, na x nv. No storage beyond the arguments.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>

#include "eigch_phases.hpp"

namespace geneig::detail {
namespace {

// Magnitudes of A and B that the algorithm takes as they are. Outside, a
// matrix is scaled by a power of two to bring its largest entry near 1:
// the reduced matrix must stay far from the ends of the double range (its
// squares are formed) and far above the absolute pivot replacement 1e-30.
constexpr double kWindowLow = 0x1p-32;
constexpr double kWindowHigh = 0x1p32;
// A reduced matrix that stands for an eigenvalue beyond the double range
// has its huge parts set to 2^kClampExponent, the others below 2: then
// eigenvalues made of the others alone stay below 2n < 2^9 (n <= 200), and
// those above 2^kBeyondExponent are the ones beyond the range. The gap
// between the two keeps the others' share of what the clamped parts carry
// (their squares over 2^kClampExponent) far below their rounding, and the
// squares of the clamped parts, summed over a column, within the range.
constexpr int kClampExponent = 400;
constexpr int kBeyondExponent = 200;

}  // namespace

// Largest |Re| or |Im| over the lower triangle and diagonal of a matrix;
// infinity as soon as one of them is not a finite number. The solver
// ignores the imaginary parts of the diagonal, and so does this measure:
// an unused value must not hide the matrix's real size.
double lower_magnitude(const CView& X, int n) {
  double big = 0.0;
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i)
      for (const double part : {X(i, j).real(), i != j ? X(i, j).imag() : 0.0}) {
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

namespace {

// A graded B, one whose diagonal spans more than the window (the exponents
// of its largest and smallest entries more than 64 apart), defeats a
// uniform scaling: brought near 1 as a whole, its small diagonal entries
// fall below the normal range, or the reduced matrix spans more than the
// double range, and the solve gives NaNs or zero pivots where the pencil's
// eigenvalues are well determined. The congruence S B S, S = diag(2^-e_k)
// with e_k = floor(log2(B(k,k)) / 2), gives it a diagonal in [1, 4) and
// changes no eigenvalue; being a power of two in every entry, it is exact
// but for entries it takes below the normal range. False, and e untouched,
// for a B whose diagonal lies within the window, or is not all positive
// (no positive definite B; its factorization reports it as it stands).
bool choose_grading(const CView& B, int n, int* e) {
  if (n < 2) return false;
  int top = INT_MIN, bottom = INT_MAX;
  for (int k = 1; k <= n; ++k) {
    const double d = B(k, k).real();
    if (!(d > 0.0) || !std::isfinite(d)) return false;
    top = std::max(top, std::ilogb(d));
    bottom = std::min(bottom, std::ilogb(d));
  }
  if (top - bottom <= 64) return false;
  for (int k = 1; k <= n; ++k) e[k] = std::ilogb(B(k, k).real()) >> 1;
  return true;
}

// The binary exponents of the largest and the smallest nonzero part of
// S X S, S = diag(2^-e_k), over the lower triangle and the real diagonal,
// from the exponents of X's entries less e_i + e_j: the scaled matrix is
// never formed, and nothing overflows on the way. {INT_MIN, INT_MAX} for a
// zero matrix.
struct ExponentRange {
  int top = INT_MIN, bottom = INT_MAX;
};
ExponentRange graded_exponents(const CView& X, int n, const int* e) {
  ExponentRange r;
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i)
      for (const double part : {X(i, j).real(), i != j ? X(i, j).imag() : 0.0})
        if (part != 0.0) {
          const int x = std::ilogb(part) - e[i] - e[j];
          r.top = std::max(r.top, x);
          r.bottom = std::min(r.bottom, x);
        }
  return r;
}

// The uniform exponent that window_exponent would choose for a matrix
// whose largest part has the binary exponent top.
int window_exponent_of(int top) { return top == INT_MIN || (top >= -32 && top < 32) ? 0 : top; }

// Whether 2^-s X keeps every diagonal entry of X in the normal range.
bool keeps_diagonal_normal(const CView& X, int n, int s) {
  for (int k = 1; k <= n; ++k)
    if (!(std::fabs(std::ldexp(X(k, k).real(), -s)) >= DBL_MIN)) return false;
  return true;
}

// X := 2^-s S X S on the lower triangle and diagonal, each entry by one
// power of two, 2^-(s + e_i + e_j).
void scale_graded(cplx* Xp, int n, int na, const int* e, int s) {
  const CMat X(Xp, na);
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      const int t = -(s + e[i] + e[j]);
      X(i, j) = cplx(std::ldexp(X(i, j).real(), t), std::ldexp(X(i, j).imag(), t));
    }
}

// 2^t z; a nonzero part that this would take to zero keeps the smallest
// subnormal of its sign instead, so that a pivot's sign (which tells a B
// that is not positive definite) survives the scaling.
cplx scaled_pivot(cplx z, int t) {
  auto part = [t](double x) {
    const double y = std::ldexp(x, t);
    return y == 0.0 && x != 0.0 ? std::copysign(0x1p-1074, x) : y;
  };
  return {part(z.real()), part(z.imag())};
}

cplx times_power(cplx z, int t) { return {std::ldexp(z.real(), t), std::ldexp(z.imag(), t)}; }

}  // namespace

// Where B is graded, S from its diagonal, and a and b for the scaled
// matrices: the scaling and the window combined into one power of two per
// entry. The rule where that would take a nonzero entry of A or B below
// the normal range:
//  - if the uniform window alone keeps every diagonal entry of B normal,
//    the grading is given up for it. Such a pencil is graded only in the
//    way that A's entries span more than the double range against B's
//    (A = diag(1e300, 1), B = diag(1e-300, 1)): the uniform window keeps
//    what the grading would flush, and puts the span into the reduced
//    matrix, where an eigenvalue beyond the double range is told and
//    reported without spoiling the others;
//  - otherwise the grading stays: the uniform window would lose B's pivots
//    (B = diag(1e200, 1e-200) has a diagonal entry that it takes to 0), and
//    what the grading flushes lies more than 2^1022 below the largest entry
//    of its scaled matrix, which is near 1: far below the solve's own
//    backward error. (For A = I with that B, A(1,1) goes, and with it only
//    the eigenvalue 1e-200, which lies below what the largest, 1e200,
//    leaves determined; it comes out as 0.)
// A pencil with a part that is not a finite number where the solver reads
// (the imaginary parts of the diagonals it ignores) is marked not finite,
// and eigcab refuses it.
PencilScale choose_pencil_scale(const cplx* A, const cplx* B, int n, int na) {
  const CView a(A, na), b(B, na);
  const double ma = lower_magnitude(a, n), mb = lower_magnitude(b, n);
  // B's exponent is even, so that its square root, which scales the
  // eigenvectors, is a power of two too.
  auto even = [](int e) { return e % 2 != 0 ? e + 1 : e; };
  PencilScale scale{window_exponent(ma), even(window_exponent(mb))};
  scale.finite = ma <= DBL_MAX && mb <= DBL_MAX;
  if (!scale.finite || !choose_grading(b, n, scale.row)) return scale;
  const ExponentRange ra = graded_exponents(a, n, scale.row), rb = graded_exponents(b, n, scale.row);
  const int ga = window_exponent_of(ra.top), gb = even(window_exponent_of(rb.top));
  const bool flushes = (ra.bottom != INT_MAX && ra.bottom - ga < DBL_MIN_EXP - 1) ||
                       (rb.bottom != INT_MAX && rb.bottom - gb < DBL_MIN_EXP - 1);
  if (flushes && keeps_diagonal_normal(b, n, scale.b)) {
    std::fill(scale.row, scale.row + NMAX + 1, 0);
    return scale;
  }
  scale.graded = true;
  scale.a = ga;
  scale.b = gb;
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
  if (scale.graded) {
    scale_graded(A, n, na, scale.row, scale.a);
    scale_graded(B, n, na, scale.row, scale.b);
    return;
  }
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
  const auto part = [&](double x) {
    return std::fabs(x) >= limit ? std::copysign(clamped, x) : std::ldexp(x, -r);
  };
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) R(i, j) = cplx(part(R(i, j).real()), part(R(i, j).imag()));
  scale.a += r;
  scale.beyond = std::ldexp(1.0, kBeyondExponent);
  return false;
}

// For A' = 2^-a S A S and B' = 2^-b S B S, S = diag(2^-e_k) (e_k = 0 when
// not graded): lambda = 2^(a-b) lambda', v = 2^(-b/2) S v',
// D(k) = 2^(b + 2 e_k) D'(k), sqrt(1/D(k)) = 2^(-b/2 - e_k) sqrt(1/D'(k))
// and L(i, j) = 2^(e_j - e_i) L'(i, j).
bool unscale_results(cplx* Bp, cplx* D, double* E, int ne, cplx* Vp, int nv, int n, int na,
                     const PencilScale& scale) {
  if (scale.a == 0 && scale.b == 0 && scale.beyond == HUGE_VAL && !scale.graded) return true;
  const CMat B(Bp, na), V(Vp, na);
  const int* e = scale.row;
  for (int k = 1; k <= n; ++k) {
    D[k - 1] = scaled_pivot(D[k - 1], scale.b + 2 * e[k]);
    B(k, k) = times_power(B(k, k), -scale.b / 2 - e[k]);
  }
  if (scale.graded)
    for (int j = 1; j <= n; ++j)
      for (int i = j + 1; i <= n; ++i) B(i, j) = times_power(B(i, j), e[j] - e[i]);
  for (int j = 1; j <= nv; ++j)
    for (int i = 1; i <= n; ++i) V(i, j) = times_power(V(i, j), -scale.b / 2 - e[i]);
  return unscale_eigenvalues(E, ne, scale.a - scale.b, scale.beyond);
}

// An eigenvalue below the normal range is written as the subnormal or zero
// it rounds to. That is a failure only when it is the largest eigenvalue in
// magnitude, and so all of them lie below the range: their digits, which
// the solve had to relative accuracy, are lost in the rounding. Otherwise
// every eigenvalue carries an absolute error of at least eps max |lambda|,
// which is at least 2^-1074, the spacing of the subnormals, and rounding
// to one loses nothing the solve had: A = diag(1e-310, 1) and
// A = diag(1e-310, 1e-10) with B = I both give 1e-310 with status 0.
bool unscale_eigenvalues(double* E, int ne, int e, double beyond) {
  bool representable = true;
  double largest = 0.0, largest_scaled = 0.0;  // as computed, and scaled back
  for (int i = 0; i < ne; ++i) {
    double lambda = std::ldexp(E[i], e);
    // An eigenvalue beyond the range is written as the largest finite
    // double of its sign.
    if (std::fabs(E[i]) >= beyond || (std::isinf(lambda) && std::isfinite(E[i]))) {
      lambda = std::copysign(DBL_MAX, E[i]);
      representable = false;
    }
    if (std::fabs(E[i]) > largest) {
      largest = std::fabs(E[i]);
      largest_scaled = std::fabs(lambda);
    }
    E[i] = lambda;
  }
  if (largest > 0.0 && largest_scaled < DBL_MIN) representable = false;
  return representable;
}

}  // namespace geneig::detail
