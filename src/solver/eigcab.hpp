// Generalized Hermitian-definite eigenproblem A v = lambda B v, and the
// Hermitian eigensolver it reduces to.
//
// Every argument is passed by reference; matrices are column-major with a
// leading dimension (element (i, j), 1-based, at (i - 1) + (j - 1) * NA);
// complex values are two doubles, real part first.
#pragma once

#include <complex>
#include <memory>

#include "geneig_ill.h"

namespace geneig {

// Capacity of every matrix dimension and vector.
inline constexpr int NMAX = 200;

// Workspace: the storage of one solve beyond its arguments, about 1.6 MB of
// buffers whose layout is the library's own and may change from one
// version to the next, so it is opaque here. make_workspace gives one, for
// the reentrant eigcab and eigch below: keep it for as many solves as you
// like, one Workspace for each thread that solves at the same time.
//
//   geneig::WorkspacePtr work = geneig::make_workspace();
//   geneig::eigcab(A, B, N, NA, M, MV, EPS, D, E, V, ILL, IW, W, *work);
//
// It is allocated on the heap (std::bad_alloc when there is no room); a
// caller that must not allocate passes storage of its own to eigcabw_ and
// eigchw_ (geneig.h), which C++ can call too.
struct Workspace;
struct WorkspaceDeleter {
  void operator()(Workspace* work) const noexcept;
};
using WorkspacePtr = std::unique_ptr<Workspace, WorkspaceDeleter>;
WorkspacePtr make_workspace();

// eigcab: all or some eigenvalues and eigenvectors of A v = lambda B v,
// A Hermitian, B Hermitian positive definite, both of order N.
//
//  A    (in/out) complex, NA x N.  In: A; only the lower triangle and the
//       real parts of the diagonal are used.  Out: overwritten (reduction
//       data of the eigensolver).
//  B    (in/out) complex, NA x N.  In: B; only the lower triangle and the
//       real parts of the diagonal are read.  Out: the multipliers L(i, j),
//       i > j, of B = L^H D L strictly below the diagonal, and
//       B(k, k) = sqrt(1/D(k)).
//  N    (in)  order, 2 <= N <= NMAX for a solve.
//  NA   (in)  leading dimension of A, B and V, NA >= N.
//  M    (in)  signed number of eigenvalues: M > 0 the M largest, descending;
//             M < 0 the |M| smallest, ascending.
//  MV   (in)  signed number of eigenvectors, |MV| <= |M|; MV > 0 returns
//             B-orthonormal vectors, MV < 0 vectors scaled so that their
//             largest component of R's eigenvector is 1, MV = 0 none.
//  EPS  (in/out) relative bisection tolerance and absolute cluster distance;
//             a negative value is replaced by 1e-14 in the caller's variable.
//  D    (out) complex, N: the pivots of B = L^H D L, real (imaginary parts
//             0), as the pivots of a Hermitian matrix are.
//  E    (out) double, |M|: the eigenvalues.
//  V    (out) complex, NA x |MV|: column m is the eigenvector of E(m).
//  ILL  (out) set to 5 for a pivot of B with negative real part (the solve
//             goes on) or an exactly zero pivot (B singular: nothing after
//             the factorization is computed), to 2 for invalid arguments,
//             among them N > NMAX or NA < N, to 6 when an eigenvalue of
//             the pencil lies outside the normal double range, to 7 (as
//             eigch) when the eigenvectors of a cluster could not be told
//             apart, to 8 for a NaN or an infinity in the lower triangle
//             or diagonal of A or B (refused untouched, no line), to 9 when
//             E or V come back holding a value that is not finite (over 5,
//             6 and 7), to 10 (static workspace only) when another call is
//             working in it (refused untouched, no line); never set to 0.
//
// N > NMAX, NA < N and N < 1 are refused before anything is touched. The
// other invalid arguments (M = 0, |M| > N, |MV| > |M|) are eigch's, found
// after B has been factored and A reduced in place, and for MV > 0 the
// first MV columns of V mapped back: a call retried on the same arrays with
// M or MV mended solves the reduced pencil, not the one given, and returns
// wrong eigenvalues with ILL = 0. Restore A and B before a retry.
//
// A and B are used as they are while their largest entries lie between
// 2^-32 and 2^32; outside, each is scaled by a power of two for the solve
// and the results are scaled back exactly. So is the reduced standard
// matrix, which leaves that window when B's pivots lie far below its
// largest entry; one of its entries beyond the double range is an
// eigenvalue beyond it (ILL = 6). A graded pencil, whose B has a diagonal
// spanning more than 2^64, is solved as (S A S, S B S), S = diag(2^-e_k)
// with 4^e_k about B(k, k), combined with that scaling: the eigenvalues
// are those of (A, B), the eigenvectors S times those computed, and D and
// the factor those of B itself, all exactly (scaling.cpp gives the rule
// where the grading would take an entry below the normal range). An
// eigenvalue below the normal range is returned as the subnormal number
// or 0 it rounds to, and sets ILL = 6 only when it is the largest in
// magnitude.
//  IW   (work) int, N.
//  W    (work) double, NA x 7.
//
// Not reentrant: the solve keeps its work storage, the reduction's arrays
// t1 and t2 among them, in one static Workspace that lives for the life of
// the process. Two calls must not overlap: a call that finds the static
// Workspace in use (by eigcab or eigch on another thread) is refused with
// ILL = 10 and writes nothing else.
void eigcab(std::complex<double>* A, std::complex<double>* B, const int& N, const int& NA,
            const int& M, const int& MV, double& EPS, std::complex<double>* D, double* E,
            std::complex<double>* V, int& ILL, int* IW, double* W);

// eigcab with the caller's work storage: the same operations, the same
// results to the bit. Reentrant: calls with different arguments and
// different Workspaces may run at the same time on different threads (the
// solver's lines on standard output are then each written whole, in no
// fixed order). The Workspace holds nothing from one call to the next.
//  WORK (work) the storage of the solve, from make_workspace.
void eigcab(std::complex<double>* A, std::complex<double>* B, const int& N, const int& NA,
            const int& M, const int& MV, double& EPS, std::complex<double>* D, double* E,
            std::complex<double>* V, int& ILL, int* IW, double* W, Workspace& WORK);

// eigch: selected eigenvalues, and optionally eigenvectors, of a complex
// Hermitian matrix of order N >= 2 given by its lower triangle.
//
//  A    (in/out) complex, NA x N.  In: the lower triangle, and of the diagonal
//       only the real parts.  Out: phase factors on the diagonal and
//       reflection vectors below it.
//  N, NA, M, MV, EPS, E, V, ILL: as for eigcab (V holds eigenvectors of A of
//       unit 2-norm for MV > 0).
//  W    (work) double, NA x 7.  IW (work) int, N.
//  ILL  (out) set to 2 for invalid arguments, N > NMAX among them (nothing
//       else touched); to 8 for a NaN or an infinity in the lower triangle
//       or the real parts of the diagonal (nothing else touched, no line);
//       to 7, when it is 0, if the eigenvalues of a cluster lie too close
//       for inverse iteration to tell apart (re-orthogonalization leaves
//       next to nothing of one of its vectors, and V holds what is left);
//       to 6 if an eigenvalue leaves the normal double range (one beyond
//       it is then the largest finite double of its sign); to 9 when E or
//       V come back holding a value that is not finite (over 6 and 7); to
//       10 as eigcab's; otherwise untouched.
//
// A is used as it is while its largest entry lies between 2^-32 and 2^32;
// outside, it is scaled by a power of two for the solve and the results
// are scaled back exactly, as in eigcab.
//
// Not reentrant, like eigcab: it uses the same static Workspace, and is
// refused (ILL = 10) while another call works in it.
void eigch(std::complex<double>* A, const int& N, const int& NA, const int& M, const int& MV,
           double& EPS, double* W, int* IW, double* E, std::complex<double>* V, int& ILL);

// eigch with the caller's work storage; reentrant as the eigcab above.
void eigch(std::complex<double>* A, const int& N, const int& NA, const int& M, const int& MV,
           double& EPS, double* W, int* IW, double* E, std::complex<double>* V, int& ILL,
           Workspace& WORK);

}  // namespace geneig
