// Regression guards, not correctness tests: the solver's results for fixed
// pencils, reduced to a 64-bit digest of the bits of E and V. They show that
// every CPU and every build computes the same bits as the recorded ones; any
// change of the arithmetic (a reordered sum, a contracted multiply-add, a
// changed formula) changes a digest, and pure speed work must leave every
// one of them alone. That the results are right is shown elsewhere, against
// independent oracles (pencil_test, eigch_test, magnitude_test): a digest
// recorded from a wrong result would guard the wrong bits just as well.
//
// To print the table anew: GENEIG_PRINT_DIGESTS=1 test_digest
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "test_support.hpp"

namespace {

using geneig::oracle::ZMatrix;
using geneig::test::cplx;
using geneig::test::Draw;
using geneig::test::Solution;
using geneig::test::solve;

// Kinds of pencil: random Hermitian A with random Hermitian positive
// definite B; and A = I + w w^H (eigenvalue 1 repeated n - 1 times), which
// exercises the seeded start vectors and the cluster re-orthogonalization.
enum Kind { kRandom = 0, kRankOne = 1 };

struct Pencil {
  ZMatrix A, B;  // lower triangles only: all the solver reads
};

Pencil make_pencil(int n, Kind kind, std::uint64_t seed) {
  Draw u(seed * 1000003u + static_cast<std::uint64_t>(n) * 7u + kind);
  Pencil p{ZMatrix(n, n), ZMatrix(n, n)};
  std::vector<cplx> c(static_cast<std::size_t>(n) * n);
  for (cplx& z : c) z = u.complex();
  // B = C C^H + n I, lower triangle.
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      cplx t = i == j ? cplx(n, 0.0) : cplx(0.0);
      for (int k = 0; k < n; ++k) t += c[(i - 1) + k * n] * std::conj(c[(j - 1) + k * n]);
      p.B(i, j) = i == j ? cplx(t.real(), 0.0) : t;
    }
  if (kind == kRandom) {
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i) {
        const double im = i == j ? 0.0 : u();
        const double re = u();
        p.A(i, j) = cplx(re, im);
      }
  } else {
    std::vector<cplx> w(n);
    for (cplx& z : w) z = u.complex();
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i) {
        p.A(i, j) = (i == j ? 1.0 : 0.0) + w[i - 1] * std::conj(w[j - 1]);
        p.B(i, j) = i == j ? 1.0 : 0.0;
      }
  }
  return p;
}

std::uint64_t digest(int n, Kind kind, std::uint64_t seed, int m, int mv) {
  const Pencil p = make_pencil(n, kind, seed);
  const Solution s = solve(p.A, p.B, m, mv);
  // FNV-1a over the bytes of E(1..|M|), the leading n x |MV| block of V,
  // and ILL.
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&](const void* q, std::size_t len) {
    const unsigned char* b = static_cast<const unsigned char*>(q);
    for (std::size_t i = 0; i < len; ++i) h = (h ^ b[i]) * 1099511628211ull;
  };
  mix(s.E.data(), sizeof(double) * std::abs(m));
  for (int j = 1; j <= std::abs(mv); ++j) mix(&s.V(1, j), sizeof(cplx) * n);
  mix(&s.ILL, sizeof s.ILL);
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
