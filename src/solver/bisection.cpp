// Eigenvalues of the real symmetric tridiagonal T (diagonal d, off-diagonal
// e) by bisection on Sturm counts: the |m| largest (m > 0, descending) or
// the |m| smallest (m < 0, ascending), each to within tol = eps * beta,
// beta = max_k (|e_{k-1}| + |d_k| + |e_k|) the norm bound of T.
//
//   W  (in/out) double, na x 7. In: d in column 1, e in column 2.
//              Out: e_k^2 in column 3 as well (k = 1..n-1).
//   m  (in)     signed number of eigenvalues, 1 <= |m| <= n.
//   eps (in)    relative tolerance.
//   E  (out)    double, |m|: the eigenvalues.
//   returns     beta, tol and the close-eigenvalue threshold
//              delta = kDeltaFactor * beta.
//
// sturm_counts needs no storage beyond its registers; the search keeps its
// trial values on the stack. A companion (the solve's schedule) may run
// rows of other work inside the passes and between them.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#endif

#include "block_transform.hpp"
#include "eigch_phases.hpp"
#include "simd.hpp"

namespace geneig::detail {
namespace {

using namespace simd;

// Bisection on doubles halves an interval at most about 2100 times before
// the midpoint meets an end; the cap only ends searches on non-finite input.
constexpr int kMaxBisections = 4096;
// Sturm counts are formed for the trial values of the next kDepth
// bisection steps at once, a binary tree of 2^kDepth - 1 midpoints, in
// 2^kDepth lanes; kDeepDepth where the CPU divides 32 lanes in about the
// time of 16 (deep_trees below).
constexpr int kLanes = detail::kSturmLanes;
constexpr int kDepth = 4;
constexpr int kDeepDepth = 5;
static_assert(1 << kDeepDepth <= kLanes);

// Whether the search uses trees of kDeepDepth. The number of lanes changes
// only how many trial values are counted at once, never which ones the
// search uses, so the results are the same either way. A pass of the counts
// is a chain of divisions per lane: on AMD's CPUs of family 26 (Zen 5) and
// later, whose 512-bit dividers take 32 lanes in about the time of 16, five
// steps per pass cost what four do elsewhere (a tenth less time for the
// whole bisection); where 512-bit divisions are slower (Zen 4, Intel) or
// split into narrower ones, the wider pass would cost more than it gains.
bool deep_trees() {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(GENEIG_NO_CLONES)
  static const bool deep = [] {
    __builtin_cpu_init();
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__builtin_cpu_is("amd") || !__builtin_cpu_supports("avx512f") ||
        !__get_cpuid(1, &eax, &ebx, &ecx, &edx))
      return false;
    const unsigned family = ((eax >> 8) & 0xf) + ((eax >> 20) & 0xff);
    return family >= 0x1a;
  }();
  return deep;
#else
  return false;
#endif
}

// Rows of other work that go into each row of a pass of the counts, for a
// pass of kVectors vectors of lanes: the pass is a chain of divisions, one
// per row and lane, which keeps the divider busy and leaves the
// multipliers and adders idle. A row of a block's back-transformation is a
// multiplication, a subtraction and a dot product term for four complex
// numbers. Beside a row of 32 lanes (a Zen 5's passes) three of them fit:
// two gain less at order 200, four slow the counts down. A row of 16 lanes
// takes about half the divider's time and gets two.
template <int kVectors>
constexpr int kFillRows = kVectors >= 4 ? 3 : 2;

// No other work.
struct NoFill {
  [[gnu::always_inline]] void row() {}
};

// Sturm counts at 8 * kVectors trial values at once: the lanes as kVectors
// vectors of eight, each in as many registers of R doubles as it needs;
// kFillRows rows of fill go into each row. d holds the diagonal, e2 the
// squares e_k^2 (both 1-based).
template <int R, int kVectors, class Fill>
[[gnu::always_inline]] inline void sturm_lanes(const double* d_, const double* e2_, int n, int m,
                                               const double* x, int* counts, Fill& fill) {
  Lanes8<R> xv[kVectors], q[kVectors];
  Mask8<R> count[kVectors], zero[kVectors], skipped[kVectors];
  for (int v = 0; v < kVectors; ++v) xv[v] = Lanes8<R>::load(x + 8 * v);
  // As long as no pivot is exactly zero, no row is skipped and the chain is
  // a division and a subtraction per row. Should one be zero, the counts
  // are formed again with the zero pivots handled; either way they are the
  // counts of the recurrence as stated.
  for (int v = 0; v < kVectors; ++v) {
    q[v] = d_[1] - xv[v];
    count[v] = -(q[v] >= 0.0);
    zero[v] = q[v] == 0.0;  // a zero pivot so far
  }
  for (int k = 2; k <= n; ++k) {
    const double d = d_[k], e2 = e2_[k - 1];
    for (int v = 0; v < kVectors; ++v) {
      q[v] = (d - xv[v]) - e2 / q[v];
      count[v] -= q[v] >= 0.0;
      zero[v] |= q[v] == 0.0;
    }
    for (int r = 0; r < kFillRows<kVectors>; ++r) fill.row();
  }
  Mask8<R> seen = {};
  for (int v = 0; v < kVectors; ++v) seen |= zero[v];
  if (any(seen)) {
    for (int v = 0; v < kVectors; ++v) {
      q[v] = d_[1] - xv[v];
      count[v] = -(q[v] >= 0.0);
      zero[v] = q[v] == 0.0;  // this row's pivot is exactly zero
      skipped[v] = Mask8<R>{};  // this row follows a zero pivot
    }
    for (int k = 2; k <= n; ++k) {
      const double d = d_[k], e2 = e2_[k - 1];
      for (int v = 0; v < kVectors; ++v) {
        const Lanes8<R> dx = d - xv[v];
        const Lanes8<R> next = dx - e2 / q[v];
        const Mask8<R> skip = zero[v];
        q[v] = select(skipped[v], dx, next);
        count[v] -= ~skip & (q[v] >= 0.0);
        zero[v] = ~skip & (q[v] == 0.0);
        skipped[v] = skip;
      }
    }
  }
  for (int l = 0; l < 8 * kVectors; ++l) {
    const int c = static_cast<int>(count[l / 8][l % 8]);
    counts[l] = m > 0 ? c : n - c;
  }
}

// Sturm counts at lanes trial values at once (16, or kLanes). The pivots q_k
// of the elimination of T - x I without interchanges, q_1 = d_1 - x,
// q_k = (d_k - x) - e_{k-1}^2 / q_{k-1}, have as many non-negative members as
// T has eigenvalues >= x. A zero pivot counts as non-negative; the next one
// is then -infinity, not counted, and the row after it starts afresh. Each
// count is one chain of dependent divisions: the lanes' chains run side by
// side, each with exactly the operations of a count on its own.
template <int R, class Fill>
[[gnu::always_inline]] inline void sturm_any_lanes(const double* d, const double* e2, int n, int m,
                                                   const double* x, int* counts, int lanes, Fill& fill) {
  if (lanes > 16)
    sturm_lanes<R, kLanes / 8>(d, e2, n, m, x, counts, fill);
  else
    sturm_lanes<R, 2>(d, e2, n, m, x, counts, fill);
}

template <int R>
void sturm_counts_kernel(const double* Wp, int n, int na, int m, const double* x, int* counts,
                         int lanes) {
  const RView W(Wp, na);
  NoFill none;
  sturm_any_lanes<R>(W.col(1), W.col(3), n, m, x, counts, lanes, none);
}

// The same counts with rows of a block's reflections beside them, where the
// registers hold both: 512-bit ones (32 of them). With narrower registers
// the lanes of the counts alone take nearly all, and the block waits.
template <int R>
void sturm_counts_beside_kernel(const double* d, const double* e2, int n, int m, const double* x,
                                int* counts, int lanes, BlockProgress* rows) {
  if constexpr (R == 8) {
    if (rows != nullptr && !rows->done()) {
      BlockSteps<R> fill(*rows);
      sturm_any_lanes<R>(d, e2, n, m, x, counts, lanes, fill);
      fill.save();
      return;
    }
  }
  NoFill none;
  sturm_any_lanes<R>(d, e2, n, m, x, counts, lanes, none);
}

}  // namespace

GENEIG_KERNEL(void, sturm_counts,
              (const double* Wp, int n, int na, int m, const double* x, int* counts, int lanes),
              (Wp, n, na, m, x, counts, lanes))

namespace {

GENEIG_KERNEL(void, sturm_counts_beside,
              (const double* d, const double* e2, int n, int m, const double* x, int* counts, int lanes,
               BlockProgress* rows),
              (d, e2, n, m, x, counts, lanes, rows))

// Bisection from the chosen end of the spectrum inward, for the eigenvalues
// E(1..count). Every eigenvalue's interval starts as [-beta, beta] (E set to
// its lower end, b its upper); the shared bound b carries from one
// eigenvalue to the next (fewer than i eigenvalues lie beyond it), and each
// count that shows s eigenvalues beyond x raises the lower ends of
// eigenvalues i..s to x. A search ends when the midpoint comes within tol of
// either end.
//
// The search is sequential, but the trial values of its next kTreeDepth
// steps are known in advance: the midpoint, the midpoints of its two
// halves, and so on. Their counts are formed together, then the search
// walks down the tree with exactly the midpoints, counts and decisions it
// would have met one at a time.
template <int kTreeDepth>
void bisect(const double* d, const double* e2, int n, int m, double tol, double b, double* E,
            SearchCompanion* companion) {
  constexpr int kTreeLanes = 1 << kTreeDepth, kTreeNodes = kTreeLanes - 1;
  const int count = std::abs(m);
  for (int i = 1; i <= count; ++i) {
    double a = E[i - 1];
    double x = (a + b) * 0.5;
    int steps = 0;
    auto go_on = [&] { return steps < kMaxBisections && std::fabs(a - x) > tol && std::fabs(b - x) > tol; };
    while (go_on()) {
      // Node t has the interval (lo[t], hi[t]) and midpoint mid[t]; its
      // children 2t+1 (count below i: the upper end moves) and 2t+2 (the
      // lower end moves) halve it.
      double lo[kTreeLanes], hi[kTreeLanes], mid[kTreeLanes];
      lo[0] = a, hi[0] = b, mid[0] = x;
      for (int t = 0; 2 * t + 2 < kTreeNodes; ++t) {
        lo[2 * t + 1] = lo[t], hi[2 * t + 1] = mid[t];
        lo[2 * t + 2] = mid[t], hi[2 * t + 2] = hi[t];
        mid[2 * t + 1] = (lo[t] + mid[t]) * 0.5;
        mid[2 * t + 2] = (mid[t] + hi[t]) * 0.5;
      }
      for (int t = kTreeNodes; t < kTreeLanes; ++t) mid[t] = x;
      int counts[kTreeLanes];
      sturm_counts_beside(d, e2, n, m, mid, counts, kTreeLanes,
                          companion != nullptr ? companion->rows : nullptr);
      if (companion != nullptr) companion->after_pass();
      // Which way each step goes is as good as random: chosen by selects,
      // not branches. E(i) itself is not read before its search ends, so of
      // the lower ends only those of E(i+1..s) are raised on the way.
      for (int level = 0, t = 0; level < kTreeDepth && go_on(); ++level) {
        const int s = counts[t];
        ++steps;
        const bool lower = s >= i;  // the lower end moves
        a = lower ? x : a;
        b = lower ? b : x;
        t = 2 * t + 1 + static_cast<int>(lower);
        for (int j = i + 1; j <= std::min(s, count); ++j) E[j - 1] = x;
        x = (a + b) * 0.5;
      }
    }
    E[i - 1] = x;
    if (companion != nullptr) companion->found(i);
  }
}

}  // namespace

SpectrumScale bisect_eigenvalues(double* Wp, int n, int na, int m, double eps, double* E,
                                 SearchCompanion* companion) {
  const RMat W(Wp, na);
  // Largest absolute row sum: r_1 = |e_1| + |d_1|, r_n = |d_n| + |e_{n-1}|,
  // r_k = |e_{k-1}| + |d_k| + |e_k|.
  double beta = std::max(std::fabs(W(1, 2)) + std::fabs(W(1, 1)),
                         std::fabs(W(n, 1)) + std::fabs(W(n - 1, 2)));
  for (int k = 2; k <= n - 1; ++k) {
    const double r = std::fabs(W(k - 1, 2)) + std::fabs(W(k, 1)) + std::fabs(W(k, 2));
    if (r > beta) beta = r;
  }
  const SpectrumScale scale{beta, eps * beta, kDeltaFactor * beta};
  if (companion != nullptr) companion->scaled(scale);

  for (int k = 1; k <= n - 1; ++k) W(k, 3) = W(k, 2) * W(k, 2);
  // The work beside the search may use W's column 3: the counts then read
  // their own copy.
  const double* e2 = W.col(3);
  if (companion != nullptr) {
    for (int k = 1; k <= n - 1; ++k) companion->squares[k] = W(k, 3);
    e2 = companion->squares;
  }

  const double b = m > 0 ? beta : -beta;
  for (int i = 1; i <= std::abs(m); ++i) E[i - 1] = -b;
  if (deep_trees())
    bisect<kDeepDepth>(W.col(1), e2, n, m, scale.tol, b, E, companion);
  else
    bisect<kDepth>(W.col(1), e2, n, m, scale.tol, b, E, companion);
  return scale;
}

}  // namespace geneig::detail
