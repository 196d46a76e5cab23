// Eigenvectors of the real symmetric tridiagonal T for the eigenvalues
// E(1..nv) by inverse iteration: with T - lambda I = P L U, two solves
// y = (T - lambda I)^-1 U^-1 b from a start vector b; vectors of a cluster
// of nearly equal eigenvalues are refined against each other.
//
//   W   (in/out) double, na x 7. In: d in column 1, e in column 2.
//               Out: columns 3..7 hold the last vector's factorization and
//               iterate (picture below).
//   IW  (out)    int, n: IW(k) = 1 where rows k, k+1 were interchanged.
//   E   (in)     double, nv: the eigenvalues, in the order bisection gives.
//   scale (in)   beta, tol and delta of bisection.
//   cluster (in) eigenvalues within this distance form a cluster; < 0: none.
//   V   (out)    complex, na x nv: y in the real parts, imaginary parts 0.
//   work         lanes, lane_flags: the other vectors of a group;
//               cluster_basis, original: cluster refinement
//               (cluster_refinement.cpp).
//
// W's columns during one vector's solves (rows 1..n):
//
//   col 3  pivots of U         col 6  multipliers of L
//   col 4  first superdiagonal col 7  start vector, then the iterate
//   col 5  second superdiagonal
//
// work.lanes holds the same five columns for each other vector of a group.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "inverse_iteration.hpp"

namespace geneig::detail {
namespace {

// Two computed copies of one eigenvalue may differ by a few bisection
// tolerances; eigenvalues within this many of max(tol, delta) get
// independent pseudo-random start vectors.
constexpr double kCoincideFactor = 10.0;
// Eigenvectors of eigenvalues closer than this fraction of beta are
// re-orthogonalized: inverse iteration alone does not keep them apart.
constexpr double kClusterFactor = 1e-3;
// Replaces an exactly zero pivot of T - lambda I so that the solve never
// divides by zero; the solution then grows large, and is rescaled later.
// Nonzero pivots below it in magnitude are raised to it, keeping their
// sign: left as they are, they would outweigh the replaced zeros of the
// same eigenvalue by far (a cluster's iterates would all come out as one
// vector), and dividing by one could leave the double range. For the
// reduced matrix, scaled into the window, either change lies far below
// the rounding errors of its entries.
constexpr double kZeroPivot = 1e-30;
// The start vectors' generator: s := (1229 s + 351750) mod 1664501, drawn as
// s * 4.656613e-10. A fixed seed makes every run draw the same vectors, so
// results are reproducible.
constexpr int kSeed = 584287;
constexpr int kMul = 1229;
constexpr int kInc = 351750;
constexpr int kMod = 1664501;
constexpr double kDraw = 4.656613e-10;
// Inverse iteration leaves iterates up to this size as they are; ordinary
// ones grow to about 2^110, and one of 2^256 still leaves room for the
// reflections that transform it back.
constexpr double kIterateLimit = 0x1p256;
// Refinement shifts of one cluster lie at least this many units of
// rounding (of the norm bound) apart.
constexpr double kShiftSpread = 10.0;

// One vector's factorization of T - lambda I and its iterate, laid out as
// columns 3 to 7 of W and IW: in W itself, or in storage of the same shape.
struct Lane {
  double* piv;   // pivots, W(., 3)
  double* sup1;  // first superdiagonal of U, W(., 4)
  double* sup2;  // second superdiagonal of U, W(., 5)
  double* mult;  // multipliers, W(., 6)
  double* x;     // the iterate, W(., 7)
  int* iw;       // interchange flags, IW (0-based: iw[k - 1] for step k)
};

Lane lane_of(const RMat& W, int* IW) { return {W.col(3), W.col(4), W.col(5), W.col(6), W.col(7), IW}; }

// Scales the iterate by the power of two that brings its largest component
// into [1, 2). The scaling is exact, and the vector is later divided by its
// largest component, so the results are the same.
void rescale_iterate(double* x, int n) {
  double big = 0.0;
  for (int k = 1; k <= n; ++k) big = std::max(big, std::fabs(x[k]));
  if (!(big > 0.0) || !std::isfinite(big)) return;
  const int e = std::ilogb(big);
  for (int k = 1; k <= n; ++k) x[k] = std::ldexp(x[k], -e);
}

// Each of the three passes below is a chain of dependent operations, step
// by step. It is written as a state carried in registers and a step, so
// that two vectors' passes can go side by side, their chains overlapping,
// each with exactly its own operations.

// Factors T - lambda I = P L U by Gaussian elimination with interchanges of
// adjacent rows (d, e: the diagonal and off-diagonal of T). Row k of the
// partly reduced matrix holds the pivot candidate p and its right
// neighbour r in columns k and k+1; each step stores what it leaves behind.
struct Factoring {
  const double* d;
  const double* e;
  int n;
  double lambda;
  double p, r;

  Factoring(const double* d_, const double* e_, int n_, double lambda_)
      : d(d_), e(e_), n(n_), lambda(lambda_), p(d_[1] - lambda_), r(n_ >= 2 ? e_[1] : 0.0) {}

  void step(const Lane& L, int k) {
    const double ek = e[k];
    const double pn = d[k + 1] - lambda;                 // row k+1 as set up
    const double rn = k + 1 <= n - 1 ? e[k + 1] : 0.0;  // (0 outside U)
    if (std::fabs(p) < std::fabs(ek)) {
      // Row k+1 (e_k, pn, rn) becomes the pivot row.
      const double m = p / ek;
      L.mult[k] = m;
      L.iw[k - 1] = 1;
      L.piv[k] = ek;
      L.sup1[k] = pn;
      L.sup2[k] = rn;
      p = r - m * pn;
      r = -(m * rn);
    } else {
      if (p == 0.0) p = kZeroPivot;
      const double m = ek / p;
      L.mult[k] = m;
      L.iw[k - 1] = 0;
      L.piv[k] = p;
      L.sup1[k] = r;
      L.sup2[k] = 0.0;
      p = pn - m * r;
      r = rn;
    }
  }

  void finish(const Lane& L) const {
    L.piv[n] = p == 0.0 ? kZeroPivot : p;
    L.sup1[n] = r;  // outside U; moved about by the last step, never read
    for (int k = 1; k <= n; ++k)
      if (std::fabs(L.piv[k]) < kZeroPivot) L.piv[k] = std::copysign(kZeroPivot, L.piv[k]);
  }
};

// Back substitution with U on the iterate, in place, k = n..1. A solve
// grows the iterate by about 1/|pivot|, some 1/ulp(lambda) for a converged
// eigenvalue: for eigenvalues far below the norm the iterate, and the
// reflections applied to it later, would leave the double range. So once a
// component passes kIterateLimit, the whole vector (the solved components
// and the right-hand side still to come) is rescaled. The last two
// components solved are carried (and read back after a rescaling).
struct BackSubstitution {
  int n;
  double x1 = 0.0, x2 = 0.0;  // x(k+1), x(k+2)

  void step(const Lane& L, int k) {
    double x = L.x[k];
    if (k <= n - 1) x = x - L.sup1[k] * x1;
    if (k <= n - 2) x = x - L.sup2[k] * x2;
    x = x / L.piv[k];
    L.x[k] = x;
    if (std::fabs(x) > kIterateLimit) {
      rescale_iterate(L.x, n);
      x = L.x[k];
      if (k <= n - 1) x1 = L.x[k + 1];
    }
    x2 = x1;
    x1 = x;
  }
};

// The recorded row operations of the elimination on the iterate:
// x := L^-1 P x, k = 1..n-1; cur is row k's value so far.
struct Elimination {
  double cur;

  void step(const Lane& L, int k) {
    const double m = L.mult[k];
    const double next = L.x[k + 1];
    if (L.iw[k - 1] == 1) {
      L.x[k] = next;
      cur = cur - m * next;
    } else {
      L.x[k] = cur;
      cur = next - m * cur;
    }
  }
};

}  // namespace

void factor_shifted_tridiagonal(const RMat& W, int* IW, int n, double lambda) {
  const Lane L = lane_of(W, IW);
  Factoring f(W.col(1), W.col(2), n, lambda);
  for (int k = 1; k <= n - 1; ++k) f.step(L, k);
  f.finish(L);
}

void solve_upper(const RMat& W, int n) {
  const Lane L = lane_of(W, nullptr);
  BackSubstitution b{n};
  for (int k = n; k >= 1; --k) b.step(L, k);
}

void apply_elimination(const RMat& W, int* IW, int n) {
  const Lane L = lane_of(W, IW);
  Elimination el{L.x[1]};
  for (int k = 1; k <= n - 1; ++k) el.step(L, k);
  L.x[n] = el.cur;
}

namespace {

// The two solves of inverse iteration for kCount vectors side by side, their
// start vectors in place: vector c in lane[c], with the eigenvalue
// lambda[c]. Each step of every pass goes to all of them in turn, so that
// their chains of divisions overlap.
template <int kCount>
void solve_side_by_side(const RMat& W, int n, const Lane* lane, const double* lambda) {
  auto factoring = [&]<std::size_t... c>(std::index_sequence<c...>) {
    return std::array<Factoring, kCount>{Factoring(W.col(1), W.col(2), n, lambda[c])...};
  }(std::make_index_sequence<kCount>{});
  for (int k = 1; k <= n - 1; ++k)
    for (int c = 0; c < kCount; ++c) factoring[c].step(lane[c], k);
  for (int c = 0; c < kCount; ++c) factoring[c].finish(lane[c]);
  auto back_substitute = [&] {
    std::array<BackSubstitution, kCount> b;
    b.fill(BackSubstitution{n});
    for (int k = n; k >= 1; --k)
      for (int c = 0; c < kCount; ++c) b[c].step(lane[c], k);
  };
  back_substitute();
  std::array<Elimination, kCount> e;
  for (int c = 0; c < kCount; ++c) e[c] = Elimination{lane[c].x[1]};
  for (int k = 1; k <= n - 1; ++k)
    for (int c = 0; c < kCount; ++c) e[c].step(lane[c], k);
  for (int c = 0; c < kCount; ++c) lane[c].x[n] = e[c].cur;
  back_substitute();
}

}  // namespace

double cluster_distance(double eps, double beta) { return std::max(eps, kClusterFactor * beta); }

// Inverse iteration: with T - lambda I = P L U, two solves
// x = (T - lambda I)^-1 (U^-1 b) from the start vector b. b is all ones,
// except that an eigenvalue that coincides with the one before it gets a
// pseudo-random b, so that the copies of a repeated eigenvalue do not all
// converge to one vector.
InverseIteration::InverseIteration(double* Wp, int* IW, int n, int na, const double* E, int nv,
                                   const SpectrumScale& scale, double cluster, cplx* Vp,
                                   Workspace& work)
    : W_(Wp), IW_(IW), n_(n), na_(na), E_(E), nv_(nv), scale_(scale), cluster_(cluster), V_(Vp),
      work_(work), coincide_(kCoincideFactor * std::max(scale.tol, scale.delta)),
      spread_(kShiftSpread * std::numeric_limits<double>::epsilon() * scale.beta), seed_(kSeed) {}

// The start vector: all ones, or pseudo-random draws for an eigenvalue that
// coincides with the one before it.
void InverseIteration::start(double* x, int j) {
  const double* E = E_;
  if (j > 1 && std::fabs(E[j - 1] - E[j - 2]) <= coincide_) {
    for (int k = 1; k <= n_; ++k) {
      seed_ = (kMul * seed_ + kInc) % kMod;
      x[k] = seed_ * kDraw;
    }
  } else {
    for (int k = 1; k <= n_; ++k) x[k] = 1.0;
  }
}

// Vector j is refined against its cluster, and so depends on the ones
// before it, when its eigenvalue lies within the cluster distance of a
// neighbour's.
bool InverseIteration::clustered(int j) const {
  const double* E = E_;
  return (j > 1 && std::fabs(E[j - 1] - E[j - 2]) <= cluster_) ||
         (j < nv_ && std::fabs(E[j] - E[j - 1]) <= cluster_);
}

// Vectors j..j+count-1 depend on nothing but their eigenvalues and start
// vectors.
bool InverseIteration::unclustered(int j, int count) const {
  if (j + count - 1 > nv_) return false;
  for (int c = 0; c < count; ++c)
    if (clustered(j + c)) return false;
  return true;
}

// The decisions for vector j read E(j-2..j+4) at most.
void InverseIteration::advance(int known) {
  while (next_ <= nv_ && std::min(next_ + 4, nv_) <= known) step();
}

void InverseIteration::step() {
  const RMat W(W_, na_);
  const CMat V(V_, na_);
  const double* E = E_;
  const int n = n_;
  const Lane w = lane_of(W, IW_);
  Lane others[3];
  for (int c = 0; c < 3; ++c)
    others[c] = {work_.lanes[c][0], work_.lanes[c][1], work_.lanes[c][2],
                 work_.lanes[c][3], work_.lanes[c][4], work_.lane_flags[c]};
  int j = next_;
  const double lambda = E[j - 1];
  const int count = unclustered(j, 4) ? 4 : unclustered(j, 2) ? 2 : 1;
  if (count > 1) {
    // Four or two such vectors go through together, their start vectors
    // drawn in order; the last one in W, so that W is left as by the last
    // vector.
    Lane lane[4];
    double shifts[4];
    for (int c = 0; c < count; ++c) {
      lane[c] = c + 1 < count ? others[c] : w;
      shifts[c] = E[j - 1 + c];
      start(lane[c].x, j + c);
    }
    if (count == 4)
      solve_side_by_side<4>(W, n, lane, shifts);
    else
      solve_side_by_side<2>(W, n, lane, shifts);
    for (int c = 0; c < count; ++c)
      for (int k = 1; k <= n; ++k) V(k, j + c) = cplx(lane[c].x[k], 0.0);
    j += count - 1;
    first_ = j;
    next_ = j + 1;
    return;
  }
  factor_shifted_tridiagonal(W, IW_, n, lambda);
  start(w.x, j);
  solve_upper(W, n);
  apply_elimination(W, IW_, n);
  solve_upper(W, n);
  if (j == 1 || !(std::fabs(E[j - 1] - E[j - 2]) <= cluster_)) first_ = j;
  if (clustered(j)) {
    // Members' shifts go from the cluster's first eigenvalue inward, each
    // at least spread beyond the one before.
    const bool down = j > 1 && E[j - 1] <= E[j - 2];
    shift_ = first_ == j ? lambda
                         : (down ? std::min(lambda, shift_ - spread_) : std::max(lambda, shift_ + spread_));
    if (!refine_in_cluster(W, IW_, n, j - first_, lambda, shift_, scale_, work_)) separated_ = false;
  }
  for (int k = 1; k <= n; ++k) V(k, j) = cplx(W(k, 7), 0.0);
  next_ = j + 1;
}

bool inverse_iteration(double* Wp, int* IW, int n, int na, const double* E, int nv,
                       const SpectrumScale& scale, double cluster, cplx* Vp, Workspace& work) {
  InverseIteration vectors(Wp, IW, n, na, E, nv, scale, cluster, Vp, work);
  vectors.advance(nv);
  return vectors.separated();
}

}  // namespace geneig::detail
