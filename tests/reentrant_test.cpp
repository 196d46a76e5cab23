// Reentrancy: eigcab with the caller's Workspace (from make_workspace, as a
// user of the installed headers gets one) solves different pencils on two
// threads at once, many times over, and every solve gives the same bits as
// the same pencil solved alone by eigcab with its static workspace.
// Built with ThreadSanitizer by make test-tsan, it also proves that the two
// threads share no mutable storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "eigcab.hpp"

namespace {

using geneig::cplx;
using geneig::NMAX;

// One row per pencil, so that the threads run every phase's storage at
// once: orders 3..NMAX, all or part of the spectrum, B-orthonormal or
// scaled vectors (MV < 0), clusters of equal eigenvalues (A = I + w w^H,
// B = I: refinement in cluster), entries far outside the window of
// ordinary magnitudes (the power-of-two scaling), and an order that eigch
// refuses.
struct Case {
  int n, m, mv;
  bool cluster;
  int exponent;  // A scaled by 2^exponent
};
constexpr Case kCases[] = {
    {3, 3, 3, false, 0},     {7, -4, -2, false, 0}, {24, 24, 24, true, 0}, {50, 10, -10, false, 0},
    {64, -64, 64, true, 0},  {100, 100, 100, false, 90}, {NMAX, NMAX, NMAX, false, 0},
    {1, 1, 1, false, 0},
};
constexpr int kCaseCount = static_cast<int>(std::size(kCases));
constexpr int kRounds = 4;

struct Solve {
  std::vector<cplx> A, B, V, D;
  std::vector<double> E, W;
  std::vector<int> IW;
  int ill = 0;
  Solve() : A(NMAX * NMAX), B(NMAX * NMAX), V(NMAX * NMAX), D(NMAX), E(NMAX), W(NMAX * 7), IW(NMAX) {}

  // The pencil of row c: random Hermitian A, B = C C^H + n I; or the
  // cluster pencil.
  void set(int c) {
    const Case& k = kCases[c];
    std::mt19937_64 g(static_cast<std::uint64_t>(c) + 1);
    auto draw = [&] { return static_cast<double>(g() >> 11) * 0x1p-52 - 1.0; };
    auto complex = [&] {
      const double im = draw();
      const double re = draw();
      return cplx(re, im);
    };
    for (auto* x : {&A, &B, &V, &D}) std::fill(x->begin(), x->end(), cplx(0.0));
    std::fill(E.begin(), E.end(), 0.0);
    std::fill(W.begin(), W.end(), 0.0);
    std::fill(IW.begin(), IW.end(), 0);
    const geneig::ColMajor<cplx> a(A.data(), NMAX), b(B.data(), NMAX);
    const int n = k.n;
    std::vector<cplx> w(static_cast<std::size_t>(n) * n);
    for (cplx& z : w) z = complex();
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i) {
        if (k.cluster) {
          a(i, j) = (i == j ? 1.0 : 0.0) + w[i - 1] * std::conj(w[j - 1]);
          b(i, j) = i == j ? 1.0 : 0.0;
          continue;
        }
        const double im = i == j ? 0.0 : draw();
        a(i, j) = std::ldexp(1.0, k.exponent) * cplx(draw(), im);
        cplx t = i == j ? cplx(n, 0.0) : cplx(0.0);
        for (int l = 0; l < n; ++l) t += w[(i - 1) + l * n] * std::conj(w[(j - 1) + l * n]);
        b(i, j) = i == j ? cplx(t.real(), 0.0) : t;
      }
  }

  void run(int c, geneig::Workspace* work) {
    const Case& k = kCases[c];
    set(c);
    ill = 0;
    double eps = 0.0;
    if (work)
      geneig::eigcab(A.data(), B.data(), k.n, NMAX, k.m, k.mv, eps, D.data(), E.data(), V.data(),
                     ill, IW.data(), W.data(), *work);
    else
      geneig::eigcab(A.data(), B.data(), k.n, NMAX, k.m, k.mv, eps, D.data(), E.data(), V.data(),
                     ill, IW.data(), W.data());
  }

  bool same_bits(const Solve& o) const {
    auto same = [](const auto& x, const auto& y) {
      return std::memcmp(x.data(), y.data(), x.size() * sizeof x[0]) == 0;
    };
    return ill == o.ill && same(A, o.A) && same(B, o.B) && same(V, o.V) && same(D, o.D) &&
           same(E, o.E) && same(W, o.W) && same(IW, o.IW);
  }
};

TEST(Reentrant, TwoThreadsGiveTheBitsOfTheSequentialSolves) {
  const geneig::WorkspacePtr work[2] = {geneig::make_workspace(), geneig::make_workspace()};
  static std::array<Solve, kCaseCount> alone;
  for (int c = 0; c < kCaseCount; ++c) alone[c].run(c, nullptr);

  // Thread t solves row (r + t) of the table at round r: the two threads
  // always solve different pencils, and each meets every row.
  std::array<int, 2> mismatches{};
  auto solver = [&](int t) {
    Solve s;
    for (int round = 0; round < kRounds; ++round)
      for (int r = 0; r < kCaseCount; ++r) {
        const int c = (r + t) % kCaseCount;
        s.run(c, work[t].get());
        if (!s.same_bits(alone[c])) ++mismatches[t];
      }
  };
  std::thread first(solver, 0), second(solver, 1);
  first.join();
  second.join();
  EXPECT_EQ(mismatches[0], 0);
  EXPECT_EQ(mismatches[1], 0);
}

}  // namespace
