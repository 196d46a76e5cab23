// The random pencils that every solve benchmark times, the same in every
// run and with every standard library.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "bench_shared.hpp"
#include "colmajor.hpp"
#include "complex_ops.hpp"

namespace bench {
namespace {

using cplx = std::complex<double>;
using Matrix = std::vector<cplx>;

// Seed of the pencils' generator: every run times the same matrices.
constexpr std::uint64_t kSeed = 20240605;
// Uniform in [-1, 1) from a generator whose output the standard fixes, so
// that the pencils are the same with every standard library.
struct Draw {
  std::mt19937_64 g;
  explicit Draw(std::uint64_t seed) : g(seed) {}
  double operator()() { return static_cast<double>(g() >> 11) * 0x1p-52 - 1.0; }
  // Imaginary part first, then real: named draws, so every compiler makes
  // the same pencil (the order of a call's arguments is unspecified).
  cplx complex() {
    const double im = (*this)();
    const double re = (*this)();
    return cplx(re, im);
  }
};

// A: complex Hermitian, both parts of each entry uniform in [-1, 1), real
// diagonal. B = C C^H + n I with C uniform like A: Hermitian positive
// definite with condition number of order one. Both triangles are stored.
Pencil make_pencil(int n) {
  Pencil p;
  Draw u(kSeed + static_cast<std::uint64_t>(n));
  const geneig::ColMajor<cplx> A(p.A.data(), kLd), B(p.B.data(), kLd);
  for (int j = 1; j <= n; ++j) {
    A(j, j) = cplx(u(), 0.0);
    for (int i = j + 1; i <= n; ++i) {
      A(i, j) = u.complex();
      A(j, i) = std::conj(A(i, j));
    }
  }
  Matrix c(static_cast<std::size_t>(kLd) * n);
  const geneig::ColMajor<cplx> C(c.data(), kLd);
  for (cplx& z : c) z = u.complex();
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      cplx t = 0.0;
      for (int k = 1; k <= n; ++k) t += geneig::cmul(C(i, k), std::conj(C(j, k)));
      B(i, j) = i == j ? cplx(t.real() + n, 0.0) : t;
      B(j, i) = std::conj(B(i, j));
    }
  return p;
}

}  // namespace

// The pencil of order n, made on first use and kept for the run.
const Pencil& pencil(int n) {
  static std::map<int, Pencil> made;
  auto it = made.find(n);
  if (it == made.end()) it = made.emplace(n, make_pencil(n)).first;
  return it->second;
}

}  // namespace bench
