// Real symmetric-definite pair (A, B) reduced to the standard symmetric
// matrix D^(-1/2) L^(-T) A L^(-1) D^(-1/2), where B = L^T D L.
#pragma once

namespace geneig {

// mtxcnv(A, B, N, N1, D, ILL)
//  A    (in/out) real, N1 x N.  In: symmetric A, lower triangle and diagonal
//       read.  Out: the reduced symmetric matrix, both triangles.
//  B    (in/out) real, N1 x N.  In: symmetric positive definite B, lower
//       triangle and diagonal read.  Out: multipliers L(i, j), i > j, below
//       the diagonal and 1/sqrt(D(k)) on it; upper triangle untouched.
//  N    (in)  order.   N1 (in) leading dimension.
//  D    (out) real, N: the pivots.
//  ILL  (out) 2: invalid argument; 1: B not positive definite; untouched on
//       success.
void mtxcnv(double* A, double* B, const int& N, const int& N1, double* D, int& ILL);

}  // namespace geneig
