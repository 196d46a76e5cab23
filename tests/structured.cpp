#include "structured.hpp"

#include <algorithm>
#include <cmath>

namespace geneig::structured {

namespace {

// The Hermitian matrix whose lower triangle (i >= j) entry(i, j) gives.
template <class Entry>
ZMatrix from_lower(int n, const Entry& entry) {
  ZMatrix m(n, n);
  for (int j = 1; j <= n; ++j) {
    m(j, j) = entry(j, j).real();
    for (int i = j + 1; i <= n; ++i) {
      m(i, j) = entry(i, j);
      m(j, i) = std::conj(m(i, j));
    }
  }
  return m;
}

}  // namespace

ZMatrix kms(int n, cplx z) {
  const double r = std::abs(z), theta = std::arg(z);
  return from_lower(n, [&](int i, int j) {
    const int p = i - j;
    return std::pow(r, p) * cplx(std::cos(p * theta), std::sin(p * theta));
  });
}

Basis gaussian_line(int n, double width, double k, double omega) {
  const double w2 = width * width;
  auto centre = [&](int i) { return i - (n + 1) / 2.0; };
  auto overlap = [&](int i, int j) {
    const double d = centre(i) - centre(j);
    return std::exp(-d * d / (4 * w2)) * cplx(std::cos(k * d), -std::sin(k * d));
  };
  Basis b;
  b.S = from_lower(n, overlap);
  b.H = from_lower(n, [&](int i, int j) {
    const double d = centre(i) - centre(j), m = (centre(i) + centre(j)) / 2;
    const double kinetic = (w2 / 2 - d * d / 4) / (2 * w2 * w2);
    const double potential = omega * omega * (m * m + w2 / 2) / 2;
    return overlap(i, j) * (kinetic + potential);
  });
  return b;
}

std::vector<double> grading(int n, double g, Rng& rng) {
  std::vector<double> t(n);
  for (int i = 0; i < n; ++i) t[i] = n == 1 ? 0.0 : -1.0 + 2.0 * i / (n - 1);
  // Fisher-Yates with the tests' own draws, the same order everywhere.
  for (int i = n - 1; i > 0; --i) std::swap(t[i], t[rng() % static_cast<unsigned>(i + 1)]);
  std::vector<double> s(n);
  for (int i = 0; i < n; ++i) s[i] = std::pow(10.0, g * t[i]);
  return s;
}

ZMatrix graded(const ZMatrix& M, const std::vector<double>& s) {
  return from_lower(M.rows, [&](int i, int j) { return M(i, j) * s[i - 1] * s[j - 1]; });
}

}  // namespace geneig::structured
