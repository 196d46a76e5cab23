/* geneig.h: the solver's routines for C and Fortran.
 *
 * Each routine takes every argument by reference, as Fortran passes them,
 * under the name gfortran gives an external procedure (lower case, one
 * trailing underscore): from Fortran,
 *   call eigcab(A, B, N, NA, M, MV, EPS, D, E, V, ILL, IW, W)
 * links against these symbols as it stands. Integers are 32 bits (Fortran's
 * default INTEGER); a complex number is two doubles, real part first
 * (Fortran's COMPLEX(8), C's double _Complex); matrices are column-major
 * with a leading dimension (element (i, j), counted from 1, at position
 * (i - 1) + (j - 1) * NA). N, NA, N1, M and MV are never written, so
 * constants may be passed for them. ILL is written only on a failure:
 * set it to 0 before the call.
 *
 * eigcab_ and eigch_ work in static arrays of order GENEIG_NMAX: call them
 * from one thread at a time (a call that finds the arrays in use by another
 * thread is refused with ILL = 10, nothing written), or call eigcabw_ and
 * eigchw_ below, which work in storage the caller gives them. mtxcnv_ keeps
 * no state. Every routine refuses an order above GENEIG_NMAX (ILL = 2)
 * before it touches anything. The values of ILL are named in geneig_ill.h.
 * All three write their diagnostic lines to standard output. The full
 * argument contracts are in the manual pages eigcab(3), eigch(3) and
 * mtxcnv(3). Valid C99 and C++. */
#ifndef GENEIG_GENEIG_H
#define GENEIG_GENEIG_H

#include <stdint.h>

#include "geneig_ill.h"
#include "version.h"

/* The largest order any routine accepts; larger ones are refused. */
#define GENEIG_NMAX 200

#ifdef __cplusplus
extern "C" {
#endif

/* A v = lambda B v for A Hermitian and B Hermitian positive definite, of
 * order N: the |M| largest (M > 0) or smallest (M < 0) eigenvalues into E
 * and |MV| eigenvectors into the columns of V (B-orthonormal for MV > 0).
 *   A    complex NA x N, in/out   B    complex NA x N, in/out
 *   D    complex N, out           E    double |M|, out
 *   V    complex NA x |MV|, out   EPS  double, in/out (negative: 1e-14)
 *   ILL  out: 2 invalid arguments, 5 a pivot of B with negative real part
 *        or B singular, 6 an eigenvalue beyond the double range, 7
 *        eigenvectors of a cluster not told apart, 8 a NaN or an infinity
 *        in the lower triangle or diagonal of A or B (refused untouched), 9
 *        a value in E or V that is not finite (stands over 5, 6, 7), 10 the
 *        static arrays in use by another call (refused untouched)
 *   IW   int32 N, work            W    double NA x 7, work
 * N > 200, NA < N and N < 1 are refused before anything is touched. The
 * other invalid arguments (M = 0, |M| > N, |MV| > |M|) are found after B
 * has been factored and A reduced in place (and, for MV > 0, the first MV
 * columns of V mapped back): a call retried on the same arrays with M or
 * MV mended solves that reduced pencil and returns wrong eigenvalues with
 * ILL = 0. Restore A and B before retrying. */
void eigcab_(double *A, double *B, const int32_t *N, const int32_t *NA, const int32_t *M,
             const int32_t *MV, double *EPS, double *D, double *E, double *V, int32_t *ILL,
             int32_t *IW, double *W);

/* Selected eigenvalues and eigenvectors of the Hermitian matrix held in the
 * lower triangle of A (complex NA x N, 2 <= N <= 200); arguments as for
 * eigcab_, V of unit 2-norm for MV > 0. ILL: 2 invalid arguments (nothing
 * touched), 6 an eigenvalue beyond the double range or subnormal (A outside
 * 2^-32..2^32 is solved scaled by a power of two, and E scaled back), 7
 * eigenvectors of a cluster not told apart, 8 a NaN or an infinity in the
 * lower triangle of A or the real parts of its diagonal (refused
 * untouched), 9 a value in E or V that is not finite, 10 the static arrays
 * in use by another call. */
void eigch_(double *A, const int32_t *N, const int32_t *NA, const int32_t *M, const int32_t *MV,
            double *EPS, double *W, int32_t *IW, double *E, double *V, int32_t *ILL);

/* The real symmetric-definite pair (A, B), real N1 x N, reduced in place
 * to the standard symmetric matrix D^(-1/2) L^(-T) A L^(-1) D^(-1/2) with
 * B = L^T D L; the pivots into D (double N). ILL: 2 invalid arguments,
 * 1 B not positive definite. */
void mtxcnv_(double *A, double *B, const int32_t *N, const int32_t *N1, double *D, int32_t *ILL);

/* Reentrant solves: eigcab_ and eigch_ with a workspace that the caller
 * supplies, in WORK, a double array of LWORK elements, in place of the static
 * arrays. Calls with different arguments and different WORK arrays may run
 * at the same time on different threads: many pencils on many threads. The
 * results are the same bits as those of eigcab_ and eigch_; WORK holds
 * nothing from one call to the next.
 *
 * LWORK must be at least eiglwork_(N); WORK needs no alignment beyond that
 * of a double (the routine places its storage at the first 64-byte boundary
 * inside WORK, which the size allows for). A smaller LWORK, or a null WORK,
 * sets ILL = 3 and nothing else: no argument is written, no line printed.
 *
 * From Fortran:
 *   integer, external :: eiglwork
 *   double precision, allocatable :: work(:)
 *   lwork = eiglwork(n)
 *   allocate(work(lwork))
 *   call eigcabw(A, B, N, NA, M, MV, EPS, D, E, V, ILL, IW, W, work, lwork) */

/* The number of doubles WORK needs for order N (1 <= N <= GENEIG_NMAX); about
 * 1.6 MB today, the same for every N, but ask for your N. 0 for an order
 * outside 1..GENEIG_NMAX, which eigcabw_ and eigchw_ refuse (ILL = 2)
 * whatever WORK is. */
int32_t eiglwork_(const int32_t *N);

/* eigcab_ with the caller's workspace. ILL: as eigcab_ (never 10), and 3
 * for WORK too small. */
void eigcabw_(double *A, double *B, const int32_t *N, const int32_t *NA, const int32_t *M,
              const int32_t *MV, double *EPS, double *D, double *E, double *V, int32_t *ILL,
              int32_t *IW, double *W, double *WORK, const int32_t *LWORK);

/* eigch_ with the caller's workspace. ILL: as eigch_ (never 10), and 3 for
 * WORK too small; its argument checks come first. */
void eigchw_(double *A, const int32_t *N, const int32_t *NA, const int32_t *M, const int32_t *MV,
             double *EPS, double *W, int32_t *IW, double *E, double *V, int32_t *ILL,
             double *WORK, const int32_t *LWORK);

#ifdef __cplusplus
}
#endif

#endif
