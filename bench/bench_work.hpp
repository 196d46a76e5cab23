// The arrays a solve works in, static as in the program, and the full solve
// as the program calls it: shared by the benchmarks in this process and by
// the fresh-process helper (cold_solve.cpp).
#pragma once

#include <complex>

#include "bench_shared.hpp"
#include "eigcab.hpp"

namespace bench {

struct Work {
  std::complex<double> A[kLd * kLd];
  std::complex<double> B[kLd * kLd];
  std::complex<double> V[kLd * kLd];
  std::complex<double> D[kLd];
  double E[kLd];
  double W[kLd * 7];
  int IW[kLd];
};

// All eigenvalues and B-orthonormal eigenvectors, EPS = 0. Returns ILL,
// which stays 0 for the benchmarks' pencils.
inline int solve(Work& w, int n) {
  int ill = 0;
  double eps = 0.0;
  geneig::eigcab(w.A, w.B, n, kLd, n, n, eps, w.D, w.E, w.V, ill, w.IW, w.W);
  return ill;
}

}  // namespace bench
