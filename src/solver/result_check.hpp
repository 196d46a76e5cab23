// Checks of a solve's result that front ends (the program, other callers)
// make after eigcab: a randomized residual against what a backward-stable
// solve leaves, and the line that names a pivot of B that is not positive.
#pragma once

#include <complex>
#include <cstddef>

namespace geneig {

// The randomized residual of eigenpairs (E(j), V(., j)), j = 1..M, of the
// pencil (A, B), against the bound that a backward-stable solve keeps it
// under:
//
//   ratio = |A (V r) - B (V (Lambda r))|_2 / ((|A|_1 + max|lambda| |B|_1) |V r|_2),
//   bound = 30 N eps sum_j |r_j| |v_j|_2 / |V r|_2,
//
// measured on the pencil equilibrated by S = diag(2^-e_k), 4^e_k about
// B(k, k) (S A S, S B S, the vectors S^-1 v), for the one of two vectors r
// of fixed pseudo-random entries in [-1, 1) that comes nearer its bound.
// The derivation is in residual_check.cpp. A and B are
// the pencil as read: the lower triangle and the real parts of the diagonal
// (of NA x N arrays); V is NA x M. O(N M) work, in double, scaled by powers
// of two so that no quantity overflows or underflows whatever the
// magnitudes, and the same bits on every CPU. A result that holds a value
// that is not a finite number, or a zero eigenvector, gives an infinite
// ratio.
struct ResidualCheck {
  double ratio;
  double bound;
  // ratio <= bound, and not a NaN.
  bool passed() const { return ratio <= bound; }
};
ResidualCheck residual_check(const std::complex<double>* A, const std::complex<double>* B,
                             const int& N, const int& NA, const double* E,
                             const std::complex<double>* V, const int& M);

// The line that says what a pivot D(k) (1-based) of eigcab's factorization
// of B means, when it is not positive:
//   geneig: B is not positive definite: the pivot of row k (the
//   factorization runs from the last row up) has a negative real part
// ("is zero" for a zero pivot), without a line end, into line (at most size
// characters with the terminating zero). Returns false, and writes
// nothing, for a pivot that eigcab does not report: positive, or not a
// number.
bool pivot_line(const std::complex<double>* D, int k, char* line, std::size_t size);

}  // namespace geneig
