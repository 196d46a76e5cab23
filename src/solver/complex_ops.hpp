// Complex arithmetic shared by every routine of the solver.
//
// The products and quotients are written out by hand so that every routine
// rounds the same way on every compiler: std::complex's operator* and
// operator/ add NaN recovery and scaling steps of their own, which change
// results in the last bits (and, for the quotient, beyond).
#pragma once

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>

// Every operation must round to double at once. Where intermediates are
// carried wider (x87 arithmetic, FLT_EVAL_METHOD 1 or 2), results differ from
// every other CPU's: build for SSE2 instead (-msse2 -mfpmath=sse on i686).
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not be carried in wider precision");

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

// The modulus and the principal square root are written out from +, -, x,
// / and the correctly rounded square root, so that they are the same bits on
// every CPU and C library: a library's hypot may use fused multiply-add
// (aarch64's does) or carry wider intermediates (x87's does). Both follow
// the x86-64 GNU C library's formulas operation for operation, so that
// their results there are unchanged.

namespace detail {

// sqrt(x^2 + y^2) for x >= y >= 0 whose squares and x - y neither overflow
// nor underflow. h = fl(sqrt(fl(x^2 + y^2))) is off by at most about one
// unit; one Newton step on h^2 = x^2 + y^2, h -= (h^2 - x^2 - y^2) / (2h),
// corrects it. The residual h^2 - x^2 - y^2 is formed without cancellation
// (Borges, "An improved algorithm for hypot(a, b)"): with delta the small
// difference h - y or h - x, whichever is exact to form,
//   h^2 - x^2 - y^2 = x (2 delta - x) + (delta - 2 (x - y)) delta  if h <= 2y,
//                   = 2 delta (x - 2y) + (4 delta - y) y + delta^2  otherwise.
// The result is the correctly rounded modulus but in rare, nearly halfway
// cases, where it is the other neighbour.
inline double hypot_kernel(double x, double y) {
  double h = std::sqrt(x * x + y * y);
  double t1, t2;
  if (h <= 2.0 * y) {
    const double delta = h - y;
    t1 = x * (2.0 * delta - x);
    t2 = (delta - 2.0 * (x - y)) * delta;
  } else {
    const double delta = h - x;
    t1 = 2.0 * delta * (x - 2.0 * y);
    t2 = (4.0 * delta - y) * y + delta * delta;
  }
  h -= (t1 + t2) / (2.0 * h);
  return h;
}

}  // namespace detail

// The modulus |z| = sqrt(Re(z)^2 + Im(z)^2). The parts are scaled by 2^-600
// when the larger exceeds 2^511 (its square would overflow) and by 2^600
// when the smaller is below 2^-459 (the correction's terms, some 2^-53 of
// the squares, would lose bits as subnormals); the powers of two are exact,
// so scaling back restores the value. When the smaller part is below 2^-54
// of the larger, the sum of the two parts is already the correctly rounded
// modulus. An infinite part makes the modulus infinite, even beside a NaN.
inline double cabs(cplx z) {
  const double x = std::fabs(z.real()), y = std::fabs(z.imag());
  if (!std::isfinite(x) || !std::isfinite(y))
    return std::isinf(x) || std::isinf(y) ? std::numeric_limits<double>::infinity() : x + y;
  const double big = x < y ? y : x, small = x < y ? x : y;
  constexpr double kLarge = 0x1p511, kTiny = 0x1p-459, kScale = 0x1p-600, kNegligible = 0x1p-54;
  if (big > kLarge) {
    if (small <= big * kNegligible) return big + small;
    return detail::hypot_kernel(big * kScale, small * kScale) / kScale;
  }
  if (small < kTiny) {
    if (big >= small / kNegligible) return big + small;
    return detail::hypot_kernel(big / kScale, small / kScale) * kScale;
  }
  if (small <= big * kNegligible) return big + small;
  return detail::hypot_kernel(big, small);
}

// The phase z / m of a nonzero z of modulus m = cabs(z). A subnormal m
// keeps only the few digits left to it, and the quotients with it are off
// by as much: the phase of (1 + i) 2^-1074, whose modulus rounds to
// 2^-1074, would come out as 1 + i, and a unitary transformation built
// from it would not be one. Such a z is scaled by 2^600 first, exactly,
// into the normal range, and its modulus formed again.
inline cplx unit_phase(cplx z, double m) {
  if (m >= DBL_MIN) return {z.real() / m, z.imag() / m};
  const cplx s(std::ldexp(z.real(), 600), std::ldexp(z.imag(), 600));
  const double ms = cabs(s);
  return {s.real() / ms, s.imag() / ms};
}

// The principal square root w = r + si of z = x + yi: r >= 0, and s has the
// sign of y (so that -x + 0i and -x - 0i, x > 0, lie on the two sides of the
// branch cut along the negative real axis: their roots are +i sqrt(x) and
// -i sqrt(x)). With d = |z|, the half-angle formulas
//   r = sqrt((d + x)/2),  s = y / (2r)          for x > 0,
//   s = sqrt((d - x)/2),  r = |y| / (2s)        for x <= 0
// take the square root only of a sum without cancellation and get the other
// part from 2rs = y. Parts above a quarter of the largest double are scaled
// by 1/4 (the root by 1/2), parts both below twice the smallest normal
// double by 2^54 (the root by 2^27). Infinite and NaN parts give the
// principal root's limits: sqrt(x + inf i) = inf + inf i for every x,
// sqrt(-inf + yi) = 0 + inf i, sqrt(+inf + yi) = inf + 0i.
inline cplx csqrt(cplx z) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kMin = std::numeric_limits<double>::min();
  constexpr double kQuarterMax = std::numeric_limits<double>::max() / 4;
  double x = z.real(), y = z.imag();
  if (!std::isfinite(x) || !std::isfinite(y)) {
    if (std::isinf(y)) return {kInf, y};
    if (std::isinf(x)) {
      if (x < 0) return {std::isnan(y) ? kNaN : 0.0, std::copysign(kInf, y)};
      return {x, std::isnan(y) ? kNaN : std::copysign(0.0, y)};
    }
    return {kNaN, kNaN};
  }
  if (y == 0.0) {
    if (x < 0.0) return {0.0, std::copysign(std::sqrt(-x), y)};
    return {std::fabs(std::sqrt(x)), std::copysign(0.0, y)};  // sqrt(-0) is -0
  }
  if (x == 0.0) {
    // sqrt(yi) = sqrt(|y|/2) (1 + sign(y) i); a subnormal |y| would lose
    // its last bit in the halving, so it is doubled instead.
    const double a = std::fabs(y);
    const double r = a >= 2 * kMin ? std::sqrt(0.5 * a) : 0.5 * std::sqrt(2 * a);
    return {r, std::copysign(r, y)};
  }
  int scale = 0;  // the root is multiplied by 2^scale at the end
  if (std::fabs(x) > kQuarterMax) {
    scale = 1;
    x *= 0.25;
    y *= 0.25;
  }
  if (std::fabs(y) > kQuarterMax) {
    scale = 1;
    x = std::fabs(x) >= 4 * kMin ? x * 0.25 : 0.0;
    y *= 0.25;
  } else if (std::fabs(y) < 2 * kMin && std::fabs(x) < 2 * kMin) {
    scale = -27;
    x *= 0x1p54;
    y *= 0x1p54;
  }
  const double d = cabs({x, y});
  double r, s;
  if (x > 0.0) {
    r = std::sqrt(0.5 * (d + x));
    if (scale == 1 && std::fabs(y) < 1.0) {
      // s = 2 (y / (2r)) = y / r at once: the half alone could underflow.
      s = y / r;
      r *= 2.0;
      scale = 0;
    } else {
      s = 0.5 * (y / r);
    }
  } else {
    s = std::sqrt(0.5 * (d - x));
    if (scale == 1 && std::fabs(y) < 1.0) {
      r = std::fabs(y / s);
      s *= 2.0;
      scale = 0;
    } else {
      r = std::fabs(0.5 * (y / s));
    }
  }
  if (scale == 1) {
    r *= 2.0;
    s *= 2.0;
  } else if (scale == -27) {
    r *= 0x1p-27;
    s *= 0x1p-27;
  }
  return {r, std::copysign(s, y)};
}

// Re(z)^2 + Im(z)^2, the real part squared first.
inline double cnorm2(cplx z) { return z.real() * z.real() + z.imag() * z.imag(); }

}  // namespace geneig
