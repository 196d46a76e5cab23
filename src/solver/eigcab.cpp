// eigcab: eigenvalues and eigenvectors of A v = lambda B v, A Hermitian, B
// Hermitian positive definite (arguments in eigcab.hpp). The five stages, in
// order, each in the file named:
//
//   1. factor_b               B = L^H D L                       pencil.cpp
//   2. reduce_a               A := L^-H A L^-1                  pencil.cpp
//   3. scale_a                R := D^-1/2 A D^-1/2              pencil.cpp
//   4. eigch                  R y = lambda y                    eigch.cpp
//   5. back_transform_pencil  v := L^-1 D^-1/2 y                pencil.cpp
//
// around which the power-of-two window (scaling.cpp) scales pencils of
// extreme magnitude in and their results back out. Where eigch schedules
// its vectors' work inside its search (solve_schedule.cpp), stage 5 goes
// with it, each block of vectors as soon as its normalization is final.
#include <atomic>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "eigcab.hpp"
#include "eigch_phases.hpp"
#include "workspace.hpp"
#include "geneig_ill.h"

namespace geneig {

namespace {

// The static workspace in a 2 MB block of its own, the size of a huge page.
// A first solve of large order touches most of it (t1 and t2 alone are
// 1.3 MB): the kernel is then asked to back it with one huge page, one
// fault and one zeroing in place of some 320 faults of 4 KB, which cost a
// fresh process more than the zeroing. A small first order touches a few
// dozen pages, fewer than the huge page's zeroing costs, and leaves it as it
// is.
struct alignas(1 << 21) SharedWorkspace {
  Workspace work;
};
SharedWorkspace shared{};
// Set while a call works in it (SharedWorkspaceClaim).
std::atomic_flag shared_in_use;

void advise_huge_page(int n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  static const bool advised = n >= NMAX / 2 && madvise(&shared, sizeof shared, MADV_HUGEPAGE) == 0;
  static_cast<void>(advised);
#else
  static_cast<void>(n);
#endif
}

}  // namespace

namespace detail {

// The reduction's work arrays hold NMAX x NMAX, and every stage indexes the
// caller's arrays with NA: an order above NMAX or a leading dimension below
// N is refused before anything is touched. An order below 1 leaves every
// stage empty and is refused by eigch's first check: refused here alike, it
// needs no workspace.
bool refuse_order(int N, int NA, int M, int MV, int& ILL) {
  if (N > NMAX || NA < N) {
    ILL = GENEIG_ILL_INVALID_ARGUMENT;
    print_invalid_argument({NA, N, std::llabs(M), std::llabs(MV)});
    return true;
  }
  if (N < 1) return refuse_arguments(N, NA, M, MV, ILL);
  return false;
}

}  // namespace detail

Workspace& shared_workspace() { return shared.work; }

SharedWorkspaceClaim::SharedWorkspaceClaim()
    : held_(!shared_in_use.test_and_set(std::memory_order_acquire)) {}

SharedWorkspaceClaim::~SharedWorkspaceClaim() {
  if (held_) shared_in_use.clear(std::memory_order_release);
}

void eigcab(cplx* A, cplx* B, const int& N, const int& NA, const int& M, const int& MV,
            double& EPS, cplx* D, double* E, cplx* V, int& ILL, int* IW, double* W,
            Workspace& work) {
  if (detail::refuse_order(N, NA, M, MV, ILL)) return;
  // Pencils of extreme magnitude are solved as 2^-a A, 2^-b B, and the
  // results scaled back; ordinary ones are left exactly as they are.
  detail::PencilScale scale = detail::choose_pencil_scale(A, B, N, NA);
  const int nv = static_cast<int>(std::llabs(MV));
  const bool solved = detail::eigch_accepts(N, NA, M, MV);
  // A NaN or an infinity would make every result NaN: the scan for the
  // largest entries finds it, and the call is refused untouched. (A call
  // that eigch refuses runs the stages before its refusal as always.)
  if (solved && !scale.finite) {
    ILL = GENEIG_ILL_NOT_FINITE_INPUT;
    return;
  }
  detail::scale_pencil(A, B, N, NA, scale);
  const bool factored = detail::factor_b(B, N, NA, D, ILL, work);
  if (factored) {
    detail::reduce_a(A, B, N, NA, work);
    detail::scale_a(A, B, D, N, NA);
    // B's pivots may lie far below its largest entry, and then the reduced
    // matrix leaves the window although A and B do not: it is scaled too.
    if (!detail::scale_reduced(A, N, NA, scale)) ILL = GENEIG_ILL_OUT_OF_RANGE;
    if (!detail::solve_hermitian(A, N, NA, M, MV, EPS, W, IW, E, V, ILL, work, B))
      detail::back_transform_pencil(V, B, N, NA, nv, work);
  }
  if (!detail::unscale_results(B, D, E, solved ? static_cast<int>(std::llabs(M)) : 0, V,
                               solved ? nv : 0, N, NA, scale))
    ILL = GENEIG_ILL_OUT_OF_RANGE;
  if (solved && factored &&
      !detail::results_finite(E, static_cast<int>(std::llabs(M)), V, N, nv, NA))
    ILL = GENEIG_ILL_NOT_FINITE_RESULT;
}

void eigcab(cplx* A, cplx* B, const int& N, const int& NA, const int& M, const int& MV,
            double& EPS, cplx* D, double* E, cplx* V, int& ILL, int* IW, double* W) {
  const SharedWorkspaceClaim claim;
  if (!claim.held()) {
    ILL = GENEIG_ILL_BUSY;
    return;
  }
  advise_huge_page(N);
  eigcab(A, B, N, NA, M, MV, EPS, D, E, V, ILL, IW, W, shared_workspace());
}

}  // namespace geneig
