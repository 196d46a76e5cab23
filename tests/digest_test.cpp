// Bitwise regression: the solver's results for fixed pencils, reduced to a
// 64-bit digest of the bits of E and V. Any change of the arithmetic (a
// reordered sum, a contracted multiply-add, a changed formula) changes the
// digest; pure speed work must leave every one of them alone.
//
// To print the table anew: GENEIG_PRINT_DIGESTS=1 test_digest
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "eigcab.hpp"

namespace {

using geneig::cplx;
using geneig::NMAX;

// Kinds of pencil: random Hermitian A with random Hermitian positive
// definite B; and A = I + w w^H (eigenvalue 1 repeated n - 1 times), which
// exercises the seeded start vectors and the cluster re-orthogonalization.
enum Kind { kRandom = 0, kRankOne = 1 };

// Uniform in [-1, 1) from a generator whose output is fixed by the standard.
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

struct Storage {
  std::vector<cplx> A, B, V, D;
  std::vector<double> E, W;
  std::vector<int> IW;
  Storage()
      : A(NMAX * NMAX), B(NMAX * NMAX), V(NMAX * NMAX), D(NMAX), E(NMAX), W(NMAX * 7), IW(NMAX) {}
};

void make_pencil(Storage& s, int n, Kind kind, std::uint64_t seed) {
  Draw u(seed * 1000003u + static_cast<std::uint64_t>(n) * 7u + kind);
  const geneig::ColMajor<cplx> A(s.A.data(), NMAX), B(s.B.data(), NMAX);
  std::vector<cplx> c(static_cast<std::size_t>(n) * n);
  for (cplx& z : c) z = u.complex();
  // B = C C^H + n I, lower triangle.
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      cplx t = i == j ? cplx(n, 0.0) : cplx(0.0);
      for (int k = 0; k < n; ++k) t += c[(i - 1) + k * n] * std::conj(c[(j - 1) + k * n]);
      B(i, j) = i == j ? cplx(t.real(), 0.0) : t;
    }
  if (kind == kRandom) {
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i) {
        const double im = i == j ? 0.0 : u();
        const double re = u();
        A(i, j) = cplx(re, im);
      }
  } else {
    std::vector<cplx> w(n);
    for (cplx& z : w) z = u.complex();
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i) A(i, j) = (i == j ? 1.0 : 0.0) + w[i - 1] * std::conj(w[j - 1]);
    for (int j = 1; j <= n; ++j) B(j, j) = 1.0;
    for (int j = 1; j <= n; ++j)
      for (int i = j + 1; i <= n; ++i) B(i, j) = 0.0;
  }
}

std::uint64_t digest(int n, Kind kind, std::uint64_t seed, int m, int mv) {
  static Storage s;
  s = Storage();
  make_pencil(s, n, kind, seed);
  int ill = 0;
  double eps = 0.0;
  geneig::eigcab(s.A.data(), s.B.data(), n, NMAX, m, mv, eps, s.D.data(), s.E.data(), s.V.data(),
                 ill, s.IW.data(), s.W.data());
  // FNV-1a over the bytes of E(1..n) and the leading n x n block of V.
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&](const void* p, std::size_t len) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < len; ++i) h = (h ^ b[i]) * 1099511628211ull;
  };
  mix(s.E.data(), sizeof(double) * std::abs(m));
  for (int j = 0; j < std::abs(mv); ++j) mix(&s.V[static_cast<std::size_t>(j) * NMAX], sizeof(cplx) * n);
  mix(&ill, sizeof ill);
  return h;
}

struct Recorded {
  int n;
  Kind kind;
  std::uint64_t seed;
  std::uint64_t digest;
};

// Recorded from the straightforward transcription of the algorithm.
const Recorded kRecorded[] = {
#include "digests.inc"
};

TEST(Digest, EveryRecordedPencilReproducesItsBits) {
  const bool print = std::getenv("GENEIG_PRINT_DIGESTS") != nullptr;
  for (const Recorded& r : kRecorded) {
    const std::uint64_t d = digest(r.n, r.kind, r.seed, r.n, r.n);
    if (print)
      std::printf("    {%d, %s, %llu, 0x%016llxull},\n", r.n, r.kind == kRandom ? "kRandom" : "kRankOne",
                  static_cast<unsigned long long>(r.seed), static_cast<unsigned long long>(d));
    else
      EXPECT_EQ(d, r.digest) << "n = " << r.n << ", kind " << r.kind << ", seed " << r.seed;
  }
}

// Part of the spectrum, from either end, and vectors without the
// orthogonalization (MV < 0): the paths that the full problem above does
// not take.
struct RecordedPart {
  int n;
  Kind kind;
  int m, mv;
  std::uint64_t digest;
};

const RecordedPart kRecordedParts[] = {
#include "digests_parts.inc"
};

TEST(Digest, EveryRecordedPartialProblemReproducesItsBits) {
  const bool print = std::getenv("GENEIG_PRINT_DIGESTS") != nullptr;
  for (const RecordedPart& r : kRecordedParts) {
    const std::uint64_t d = digest(r.n, r.kind, 1, r.m, r.mv);
    if (print)
      std::printf("    {%d, %s, %d, %d, 0x%016llxull},\n", r.n, r.kind == kRandom ? "kRandom" : "kRankOne",
                  r.m, r.mv, static_cast<unsigned long long>(d));
    else
      EXPECT_EQ(d, r.digest) << "n = " << r.n << ", kind " << r.kind << ", M " << r.m << ", MV " << r.mv;
  }
}

}  // namespace
