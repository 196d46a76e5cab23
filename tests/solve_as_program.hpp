// A pencil solved as the program solves it: all eigenvalues and
// eigenvectors, leading dimension NMAX, EPS = 0, the error code preset to 0.
#pragma once

#include <complex>
#include <vector>

#include "eigcab.hpp"
#include "oracle.hpp"

namespace geneig::test {

struct Solution {
  std::vector<double> E;      // largest first
  oracle::ZMatrix V;          // n x n in an NMAX x NMAX buffer
  int ILL = 0;
};

// A and B of order n = A.rows (both triangles stored; the solver reads the
// lower ones), left as they are.
inline Solution solve_as_program(const oracle::ZMatrix& A, const oracle::ZMatrix& B) {
  const int n = A.rows;
  oracle::ZMatrix a = oracle::embed(A, NMAX), b = oracle::embed(B, NMAX);
  Solution s{std::vector<double>(n), oracle::embed(oracle::ZMatrix(n, n), NMAX)};
  std::vector<double> W(NMAX * 7);
  std::vector<std::complex<double>> D(n);
  std::vector<int> IW(n);
  double EPS = 0;
  eigcab(a.data(), b.data(), n, NMAX, n, n, EPS, D.data(), s.E.data(), s.V.data(), s.ILL,
         IW.data(), W.data());
  return s;
}

}  // namespace geneig::test
