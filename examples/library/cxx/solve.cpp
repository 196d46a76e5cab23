// Reads matrix.in, solves A v = lambda B v and prints the result, from C++.
#include <complex>
#include <cstdio>

#include <geneig/geneig.hpp>

using geneig::NMAX;
using cplx = std::complex<double>;

// The file routines work on matrices of leading dimension NMAX.
cplx A[NMAX * NMAX], B[NMAX * NMAX], V[NMAX * NMAX], D[NMAX];
double E[NMAX], W[NMAX * 7];
int IW[NMAX];

int main() {
  int n = 0, ill = 0;
  double x = 0, eps = 0;
  geneig::rdmtx("matrix.in", A, B, n, x);  // a fault in the file ends the program
  geneig::eigcab(A, B, n, NMAX, n, n, eps, D, E, V, ill, IW, W);
  if (ill != 0) return 1;
  for (int j = 0; j < n; ++j) std::printf("E %d %.17g\n", j + 1, E[j]);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const cplx v = V[i + j * NMAX];
      std::printf("V %d %d %.17g %.17g\n", i + 1, j + 1, v.real(), v.imag());
    }
}
