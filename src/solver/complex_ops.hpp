// Complex arithmetic shared by every routine of the solver.
//
// The products and quotients are written out by hand so that every routine
// rounds the same way on every compiler: std::complex's operator* and
// operator/ add NaN recovery and scaling steps of their own, which change
// results in the last bits (and, for the quotient, beyond).
#pragma once

#include <cmath>
#include <complex>

namespace geneig {

using cplx = std::complex<double>;

// (a + bi)(x + yi) = (ax - by) + (ay + bx)i.
inline cplx cmul(cplx z, cplx w) {
  const double a = z.real(), b = z.imag(), x = w.real(), y = w.imag();
  return {a * x - b * y, a * y + b * x};
}

// A complex times a real multiplies both parts.
inline cplx cscale(cplx z, double r) { return {z.real() * r, z.imag() * r}; }

// (a + bi)/(x + yi) by Smith's method: divide through by the larger part of
// the denominator so that no intermediate square of it can overflow.
inline cplx cdiv(cplx z, cplx w) {
  const double a = z.real(), b = z.imag(), x = w.real(), y = w.imag();
  if (std::fabs(y) <= std::fabs(x)) {
    const double q = y / x;
    const double h = x + y * q;
    return {(a + b * q) / h, (b - a * q) / h};
  }
  const double q = x / y;
  const double h = x * q + y;
  return {(a * q + b) / h, (b * q - a) / h};
}

// 1/w: the quotient with numerator 1 + 0i.
inline cplx crecip(cplx w) { return cdiv(cplx(1.0, 0.0), w); }

// The modulus |z|, computed without overflow or underflow of the squares.
inline double cabs(cplx z) { return std::hypot(z.real(), z.imag()); }

// Re(z)^2 + Im(z)^2, the real part squared first.
inline double cnorm2(cplx z) { return z.real() * z.real() + z.imag() * z.imag(); }

}  // namespace geneig
