// Real symmetric-definite pair (A, B) reduced to the standard symmetric
// matrix D^(-1/2) L^(-T) A L^(-1) D^(-1/2), where B = L^T D L.
#pragma once

#include "geneig_ill.h"

namespace geneig {

// mtxcnv(A, B, N, N1, D, ILL): factor B = L^T D L (L unit lower triangular,
// D positive diagonal) and overwrite A with the symmetric matrix
// R = D^(-1/2) L^(-T) A L^(-1) D^(-1/2), whose eigenvalues are those of the
// pencil (A, B). Keeps no state: calls on different arrays may run at once.
//
//  A    (in/out) real, N1 x N.  In: symmetric A; only the lower triangle and
//       diagonal are read.  Out: R, both triangles.
//  B    (in/out) real, N1 x N.  In: symmetric positive definite B; only the
//       lower triangle and diagonal are read.  Out: the multipliers L(i, j),
//       i > j, below the diagonal and 1/sqrt(D(k)) on it.  The upper
//       triangle is never read or written.
//  N    (in)  order, 1 <= N <= N1, N <= NMAX (200).  Order 1 is no special
//       case: D(1) = B(1, 1), B(1, 1) = sqrt(1/D(1)), A(1, 1) = A(1, 1)/D(1).
//  N1   (in)  leading dimension of A and B.
//  D    (out) real, N: the pivots D(1..N).
//  ILL  (out) untouched on success, so a caller presets it.
//       2: N1 <= 0, N <= 0, N > N1 or N > NMAX.  The line
//          " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =" followed by N and N1,
//          each right-justified in 5 characters ("*****" if it does not fit),
//          goes to standard output; no array is touched.
//       1: a pivot D(k) <= 0 (a NaN pivot is not caught and propagates).
//          The line " (SUBR EIGAB) MATRIX B IS NOT POSITIVE DEFINITE." goes
//          to standard output. A is untouched; rows k+1..N of B hold their
//          multipliers and reciprocal roots and D(k+1..N) is set; D(k) and
//          the rows above are not written.
void mtxcnv(double* A, double* B, const int& N, const int& N1, double* D, int& ILL);

}  // namespace geneig
