/* geneig_ill.h: the values of the error code ILL, for C and C++.
 *
 * A routine writes ILL only when something goes wrong and never sets it to
 * 0: a caller presets it to 0 and reads it after the call. Where two
 * conditions arise in one call, the value written last stands (see each
 * routine's contract). */
#ifndef GENEIG_ILL_H
#define GENEIG_ILL_H

enum {
  /* mtxcnv: B is not positive definite (a pivot <= 0); A is untouched. */
  GENEIG_ILL_NOT_POSITIVE_DEFINITE = 1,
  /* Invalid arguments: an order outside 2..200, a leading dimension below
   * the order, M = 0, |M| > N or |MV| > |M| (mtxcnv: N <= 0, N1 <= 0 or
   * N > N1). An order above 200 or a leading dimension below the order is
   * refused before anything is touched. */
  GENEIG_ILL_INVALID_ARGUMENT = 2,
  /* eigcabw_, eigchw_: the caller's WORK is null or shorter than
   * eiglwork_(N); nothing else is written. */
  GENEIG_ILL_WORKSPACE_TOO_SMALL = 3,
  /* eigcab: a pivot of B with negative real part (the solve goes on), or an
   * exactly zero pivot (B singular; nothing after the factorization). */
  GENEIG_ILL_INDEFINITE_B = 5,
  /* An eigenvalue lies outside the normal double range. */
  GENEIG_ILL_OUT_OF_RANGE = 6,
  /* The eigenvectors of a cluster of close eigenvalues could not be told
   * apart. */
  GENEIG_ILL_VECTORS_NOT_SEPARATED = 7,
  /* eigcab, eigch: a NaN or an infinity among the entries the solve reads
   * (the lower triangles and diagonals of A and B; of A's diagonal in eigch
   * only the real parts). Refused before anything is touched; no line. */
  GENEIG_ILL_NOT_FINITE_INPUT = 8,
  /* eigcab, eigch: E or V came back holding a NaN or an infinity. Stands
   * over 5, 6 and 7, which are set before it. */
  GENEIG_ILL_NOT_FINITE_RESULT = 9,
  /* eigcab, eigch without a workspace of the caller's (eigcab_, eigch_):
   * another call is using the static workspace at this moment. Nothing is
   * written but ILL; no line. */
  GENEIG_ILL_BUSY = 10
};

#endif
