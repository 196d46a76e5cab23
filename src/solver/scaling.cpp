// The power-of-two window: pencils whose largest entries lie outside
// [2^-32, 2^32] are solved as (2^-a A, 2^-b B), the reduced matrix R as
// 2^-r R, and the results scaled back exactly:
//   lambda = 2^(a-b) lambda',  v = 2^(-b/2) v',  D = 2^b D'.
//
//   choose_pencil_scale  a and b from the largest entries of A and B
//   scale_pencil         A := 2^-a A, B := 2^-b B (lower triangles)
//   scale_reduced        R := 2^-r R, a += r; false for a R that shows an
//                        eigenvalue beyond the double range (its huge
//                        parts clamped) or holds a not-a-number
//   unscale_results      E, V, D and B's diagonal back; false for an
//                        eigenvalue that leaves the normal double range
//                        (the largest finite double of its sign if above)
//   unscale_eigenvalues  E back alone, as unscale_results does it (also
//                        for eigch, which scales a Hermitian matrix alone)
//
// A, B, R: complex, na x n, lower triangle and diagonal; D complex, n;
// E double, ne; V complex, na x nv. No storage beyond the arguments.
#include <algorithm>
#include <cfloat>
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
  const double a = lower_magnitude(CView(A, na), n, true);
  const double b = lower_magnitude(CView(B, na), n, true);
  PencilScale scale{window_exponent(a), window_exponent(b)};
  scale.finite = a <= DBL_MAX && b <= DBL_MAX;
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
  const auto part = [&](double x) {
    return std::fabs(x) >= limit ? std::copysign(clamped, x) : std::ldexp(x, -r);
  };
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) R(i, j) = cplx(part(R(i, j).real()), part(R(i, j).imag()));
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
  return unscale_eigenvalues(E, ne, scale.a - scale.b, scale.beyond);
}

bool unscale_eigenvalues(double* E, int ne, int e, double beyond) {
  bool representable = true;
  for (int i = 0; i < ne; ++i) {
    double lambda = std::ldexp(E[i], e);
    if (E[i] != 0.0 && std::isfinite(E[i]) && !std::isnormal(lambda)) representable = false;
    // An eigenvalue beyond the range is written as the largest finite
    // double of its sign.
    if (std::fabs(E[i]) >= beyond || (std::isinf(lambda) && std::isfinite(E[i]))) {
      lambda = std::copysign(DBL_MAX, E[i]);
      representable = false;
    }
    E[i] = lambda;
  }
  return representable;
}

}  // namespace geneig::detail
