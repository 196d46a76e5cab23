// The power-of-two window: pencils whose largest entries lie outside
// [2^-32, 2^32] are solved as (2^-a A, 2^-b B), the reduced matrix R as
// 2^-r R, and the results scaled back exactly:
//   lambda = 2^(a-b) lambda',  v = 2^(-b/2) v',  D = 2^b D'.
//
//   choose_pencil_scale  a and b from the largest entries of A and B
//   scale_pencil         A := 2^-a A, B := 2^-b B (lower triangles)
//   scale_reduced        R := 2^-r R, a += r; false for a non-finite R
//   unscale_results      E, V, D and B's diagonal back; false for an
//                        eigenvalue that leaves the normal double range
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
// are those of 2^-r R. As |R(i, j)| <= ||R||_2 = max |lambda|, an entry of R
// beyond the double range means an eigenvalue beyond it.
bool scale_reduced(cplx* R, int n, int na, PencilScale& scale) {
  const double magnitude = lower_magnitude(CView(R, na), n, false);
  if (!std::isfinite(magnitude)) return false;
  const int r = window_exponent(magnitude);
  scale_lower(R, n, na, r);
  scale.a += r;
  return true;
}

// For A' = 2^-a A and B' = 2^-b B: lambda = 2^(a-b) lambda',
// v = 2^(-b/2) v', D = 2^b D', sqrt(1/D) = 2^(-b/2) sqrt(1/D').
bool unscale_results(cplx* Bp, cplx* D, double* E, int ne, cplx* Vp, int nv, int n, int na,
                     const PencilScale& scale) {
  if (scale.a == 0 && scale.b == 0) return true;
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
    const double lambda = std::ldexp(E[i], scale.a - scale.b);
    if (E[i] != 0.0 && std::isfinite(E[i]) && !std::isnormal(lambda)) representable = false;
    E[i] = lambda;
  }
  return representable;
}

}  // namespace geneig::detail
