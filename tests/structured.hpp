// Structured pencils from the fields the solver serves, beside the random
// ones of oracle.hpp: Kac-Murdock-Szego matrices, the overlap and
// Hamiltonian matrices of a line of Gaussians, and graded pencils. Every
// matrix is exactly Hermitian: the lower triangle is formed, the upper is
// its conjugate and the diagonal is real, bit for bit.
#pragma once

#include <complex>
#include <vector>

#include "oracle.hpp"

namespace geneig::structured {

using oracle::Rng;
using oracle::ZMatrix;
using cplx = std::complex<double>;

// The Kac-Murdock-Szego matrix B(i, j) = z^(i - j) for i >= j: Hermitian
// and positive definite for |z| < 1, with multipliers of modulus |z| in
// every row and a condition number near ((1 + |z|) / (1 - |z|))^2.
ZMatrix kms(int n, cplx z);

// A line of n Gaussians exp(-(x - x_j)^2 / (2 w^2)) at unit spacing, w
// the width in spacings, each carrying the Bloch phase e^(i k x_j) of its
// centre: the overlap matrix S (unit diagonal) and the Hamiltonian H of
// -1/2 d^2/dx^2 + 1/2 omega^2 x^2 in that basis, both in closed form. With
// d = x_i - x_j and m = (x_i + x_j) / 2, both of the centres' distance:
//   S(i, j) = e^(-i k d) exp(-d^2 / (4 w^2)),
//   H(i, j) = S(i, j) ((w^2 / 2 - d^2 / 4) / (2 w^4) + omega^2 (m^2 + w^2 / 2) / 2).
// The overlap's condition grows steeply with the width: about 3e2 at 0.8
// spacings, 7e5 at 1.2 and 1e12 near 1.9.
struct Basis {
  ZMatrix H, S;
};
Basis gaussian_line(int n, double width, double k, double omega);

// s_i = 10^(g t_i), the t_i spread evenly over [-1, 1] in random order.
std::vector<double> grading(int n, double g, Rng& rng);

// S M S with S = diag(s), each entry formed as (M(i, j) s_i) s_j.
ZMatrix graded(const ZMatrix& M, const std::vector<double>& s);

}  // namespace geneig::structured
