// A stand-in for the solver, linked with the program's own main() into
// geneig_stub_solve, so that the program's reports on a failed solve can be
// run end to end: the real solver gives these results only for pencils that
// no input file can hold (it scales every pencil into ordinary magnitudes).
//
// It returns the real parts of A's diagonal as eigenvalues and unit vectors
// as eigenvectors; A(1,1) = 7 reports ILL = 7, A(1,1) = 8 puts a NaN with
// its sign bit set into V(1,1), A(1,1) = 9 makes E(1) infinite, both
// reported as the solver reports them (ILL = 9).
#include <cmath>
#include <limits>

#include "eigcab.hpp"

namespace geneig {

using cplx = std::complex<double>;

void eigcab(cplx* A, cplx* B, const int& N, const int& NA, const int& M, const int& MV, double& EPS,
            cplx* D, double* E, cplx* V, int& ILL, int* IW, double* W) {
  (void)B, (void)M, (void)MV, (void)EPS, (void)D, (void)IW, (void)W;
  for (int j = 0; j < N; ++j) {
    E[j] = A[j + j * NA].real();
    for (int i = 0; i < N; ++i) V[i + j * NA] = i == j ? 1.0 : 0.0;
  }
  if (N < 1) return;
  const double code = A[0].real();
  if (code == 7) ILL = GENEIG_ILL_VECTORS_NOT_SEPARATED;
  if (code == 8) V[0] = -std::numeric_limits<double>::quiet_NaN();  // sign bit set, as x86-64's
  if (code == 9) E[0] = std::numeric_limits<double>::infinity();
  if (code == 8 || code == 9) ILL = GENEIG_ILL_NOT_FINITE_RESULT;
}

}  // namespace geneig
