// eigch: selected eigenvalues, and optionally eigenvectors, of a complex
// Hermitian matrix A of order n >= 2 (lower triangle), A x = lambda x.
//
// The argument checks, the default tolerance and the sequence of phases:
//
//   n = 2:  closed_form_order2                          (this file)
//   n > 2:  reduce_to_tridiagonal (tridiagonal.cpp)  -> bisect_eigenvalues
//           (bisection.cpp)
//   then, for MV != 0: inverse_iteration (inverse_iteration.cpp)
//           -> back_transform (back_transform.cpp)
//   For n > 2 and MV != 0 the last three run as solve_schedule.cpp
//   interleaves them, with the same results.
//
// Arguments as documented in eigcab.hpp; the work array W, na x 7, and the
// storage of each phase in eigch_phases.hpp. The phases share nothing but
// A, W, IW, E, V and the Workspace.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <utility>

#include "eigcab.hpp"
#include "eigch_phases.hpp"
#include "free_output.hpp"
#include "workspace.hpp"

namespace geneig {
namespace detail {
namespace {

// Default relative tolerance, written back into a negative EPS.
constexpr double kDefaultEps = 1e-14;

}  // namespace

void print_invalid_argument(std::initializer_list<long long> values) {
  FreeRecord line;
  line.text("(SUBR. EIGCH) INVALID ARGUMENT.");
  for (long long v : values) line.integer(v);
  line.print();
}

bool eigch_accepts(int N, int NA, int M, int MV) {
  return N >= 2 && N <= NMAX && M != 0 && NA >= N && N >= std::llabs(M) &&
         std::llabs(M) >= std::llabs(MV);
}

// An order above NMAX is shown as the dimensions are: NA, N, |M|, |MV|.
bool refuse_arguments(int N, int NA, int M, int MV, int& ILL) {
  if (eigch_accepts(N, NA, M, MV)) return false;
  ILL = GENEIG_ILL_INVALID_ARGUMENT;
  if (N <= NMAX && (N < 2 || M == 0))
    print_invalid_argument({N, M});
  else
    print_invalid_argument({NA, N, std::llabs(M), std::llabs(MV)});
  return true;
}

bool results_finite(const double* E, int ne, const cplx* Vp, int n, int nv, int na) {
  for (int i = 0; i < ne; ++i)
    if (!std::isfinite(E[i])) return false;
  const CView V(Vp, na);
  for (int j = 1; j <= nv; ++j)
    for (int i = 1; i <= n; ++i)
      if (!std::isfinite(V(i, j).real()) || !std::isfinite(V(i, j).imag())) return false;
  return true;
}

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
SpectrumScale closed_form_order2(cplx* Ap, int na, int m, double eps, double* Wp, double* E) {
  const CMat A(Ap, na);
  const RMat W(Wp, na);
  const double d1 = A(1, 1).real();
  const double d2 = A(2, 2).real();
  W(1, 1) = d1;
  W(2, 1) = d2;
  const double e1 = cabs(A(2, 1));
  W(1, 2) = e1;
  A(1, 1) = e1 == 0.0 ? cplx(1.0, 0.0) : unit_phase(A(2, 1), e1);

  const int k = window_exponent(std::max({std::fabs(d1), std::fabs(d2), e1}));
  const double a = std::ldexp(d1, -k), b = std::ldexp(d2, -k), c = std::ldexp(e1, -k);
  const double t = (a + b) * 0.5;
  const double h = (a - b) * 0.5;
  const double p = a * b - c * c;
  double s = std::sqrt(h * h + c * c) + std::fabs(t);
  if (t < 0.0) s = -s;
  const double other = s == 0.0 ? 0.0 : p / s;
  // The choice by the sign of t*m, made robust: order the pair as m
  // asks whatever rounding did to it.
  double first = t * static_cast<double>(m) < 0.0 ? other : s;
  double second = t * static_cast<double>(m) < 0.0 ? s : other;
  if ((m > 0 && first < second) || (m < 0 && first > second)) std::swap(first, second);
  E[0] = std::ldexp(first, k);
  if (std::abs(m) == 2) E[1] = std::ldexp(second, k);

  const double beta = std::max(std::fabs(d1) + std::fabs(e1), std::fabs(e1) + std::fabs(d2));
  return {beta, eps * beta, kDeltaFactor * beta};
}

bool solve_hermitian(cplx* A, int N, int NA, int M, int MV, double& EPS, double* W, int* IW,
                     double* E, cplx* V, int& ILL, Workspace& work, const cplx* B) {
  if (refuse_arguments(N, NA, M, MV, ILL)) return false;
  const long long amv = std::llabs(MV);
  if (EPS < 0.0) EPS = kDefaultEps;

  if (N > 2) {
    reduce_to_tridiagonal(A, N, NA, W, work);
    if (MV == 0) {
      bisect_eigenvalues(W, N, NA, M, EPS, E);
      return false;
    }
    // The eigenvalues, their vectors and (with B) the pencil's
    // back-transformation, the later phases' work scheduled into the search.
    if (!solve_tridiagonal(A, B, N, NA, M, MV, EPS, W, IW, E, V, work) && ILL == 0)
      ILL = GENEIG_ILL_VECTORS_NOT_SEPARATED;
    return true;
  }
  // Order 2: the closed form, then the vectors phase by phase.
  const SpectrumScale scale = closed_form_order2(A, NA, M, EPS, W, E);
  if (MV == 0) return false;
  // Vectors of eigenvalues closer than this are kept orthogonal (MV > 0).
  const double cluster = MV > 0 ? cluster_distance(EPS, scale.beta) : -1.0;
  const bool refined =
      inverse_iteration(W, IW, N, NA, E, static_cast<int>(amv), scale, cluster, V, work);
  const bool separated = back_transform(A, W, N, NA, E, MV, EPS, scale.beta, V, work);
  if (!(refined && separated) && ILL == 0) ILL = GENEIG_ILL_VECTORS_NOT_SEPARATED;
  return false;
}

}  // namespace detail

// The solve's constants are absolute where they must be (the replacement
// 1e-30 of a zero pivot in inverse iteration among them), so they hold only
// for matrices of ordinary magnitude: one of norm 1e-40 would have its
// eigenvectors swamped by the replacement. A matrix whose largest entry
// lies outside [2^-32, 2^32] is therefore solved as 2^-e A, its largest
// entry brought into [1, 2): the eigenvectors are those of A, the
// eigenvalues and the reflection vectors left in A are scaled back
// exactly. Within the window nothing changes, to the bit.
//
// A matrix with a NaN or an infinity where the solve reads it is refused
// before anything is touched: every eigenvalue would come out NaN. The scan
// for the largest entry finds it.
void eigch(cplx* A, const int& N, const int& NA, const int& M, const int& MV, double& EPS,
           double* W, int* IW, double* E, cplx* V, int& ILL, Workspace& work) {
  if (detail::refuse_arguments(N, NA, M, MV, ILL)) return;
  const double magnitude = detail::lower_magnitude(detail::CView(A, NA), N);
  if (!(magnitude <= DBL_MAX)) {
    ILL = GENEIG_ILL_NOT_FINITE_INPUT;
    return;
  }
  const int e = detail::window_exponent(magnitude);
  const int ne = static_cast<int>(std::llabs(M)), nv = static_cast<int>(std::llabs(MV));
  detail::scale_lower(A, N, NA, e);
  detail::solve_hermitian(A, N, NA, M, MV, EPS, W, IW, E, V, ILL, work);
  if (e != 0) {
    const detail::CMat R(A, NA);
    for (int j = 1; j <= N - 1; ++j)
      for (int i = j + 1; i <= N; ++i)
        R(i, j) = cplx(std::ldexp(R(i, j).real(), e), std::ldexp(R(i, j).imag(), e));
    if (!detail::unscale_eigenvalues(E, ne, e, HUGE_VAL)) ILL = GENEIG_ILL_OUT_OF_RANGE;
  }
  if (!detail::results_finite(E, ne, V, N, nv, NA)) ILL = GENEIG_ILL_NOT_FINITE_RESULT;
}

void eigch(cplx* A, const int& N, const int& NA, const int& M, const int& MV, double& EPS,
           double* W, int* IW, double* E, cplx* V, int& ILL) {
  const SharedWorkspaceClaim claim;
  if (!claim.held()) {
    ILL = GENEIG_ILL_BUSY;
    return;
  }
  eigch(A, N, NA, M, MV, EPS, W, IW, E, V, ILL, shared_workspace());
}

}  // namespace geneig
