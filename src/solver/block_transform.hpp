// The two back-transformations applied to a block of four vectors, as
// sequences of row operations that can stop after any row and go on later:
//
//   reflections   x := x - u (r (u^H x)) for each reflection of the
//                 tridiagonal reduction in turn (back_transform.cpp)
//   substitution  v := L^-1 v, v(i) := v(i) - L(i,l) v(l) for l = 1..n-1,
//                 i = l+1..n (back_transform_pencil, pencil.cpp)
//
// The phases run a block through all of it at once; the solve's schedule
// (solve_schedule.cpp) runs a few rows at a time inside the chains of the
// Sturm counts, whose divisions leave the multipliers and adders idle.
// Either way each vector sees the same operations in the same order.
//
// In the reflections, the update by one reflection and the dot products of
// the next go in one pass: the next dot products' terms for rows i <= k are
// not touched by reflection k and come first, then each row is updated and
// its term added at once, so every sum keeps its order. The stages of
// reflection t (on column k of A, the next one on column next < k):
//
//   first dots      rows k+1..n     d += conj(u_i) x_i   (t = 0 only)
//   f = r (u^H x) from d; then, unless t is the last:
//   dots ahead      rows next+1..k  d' += conj(w_i) x_i
//   update and dots rows k+1..n     x_i -= u_i f; d' += conj(w_i) x_i
//   or, for the last:
//   last update     rows k+1..n     x_i -= u_i f
//
// The substitution's stage for column l: rows l+1..n, v_i -= L(i,l) v_l.
#pragma once

#include "colmajor.hpp"
#include "simd.hpp"
#include "workspace.hpp"

namespace geneig::detail {

// Where a block's pass stands, in storage that a kernel of any register
// width reads.
struct BlockProgress {
  enum Stage { kFirstDots, kDotsAhead, kUpdateAndDots, kLastUpdate, kSubstitute, kDone };

  simd::QuadRow* block = nullptr;  // rows 1..n of the four vectors
  const cplx* M = nullptr;         // the reflection vectors, or L; leading dimension na
  int na = 0, n = 0;
  const Reflection* refl = nullptr;  // the reflections in the order applied
  int count = 0;
  int t = 0;  // the reflection being applied, or the column of L
  int stage = kDone;
  int i = 0, last = 0;                     // the next row of the stage, and its last
  simd::QuadRow f = {}, gs = {}, d = {};  // f = r (u^H x) or v_l, its turned parts; dot products

  // The block through count reflections, vectors in A.
  void start_reflections(simd::QuadRow* rows, const cplx* A, int lda, int order, const Reflection* r,
                         int c) {
    block = rows, M = A, na = lda, n = order, refl = r, count = c, t = 0;
    f = {}, gs = {}, d = {};
    stage = count == 0 ? kDone : kFirstDots;
    i = count == 0 ? 0 : refl[0].k + 1;
    last = n;
  }
  // The block through L^-1, L below the diagonal of B.
  void start_substitution(simd::QuadRow* rows, const cplx* B, int ldb, int order) {
    block = rows, M = B, na = ldb, n = order, refl = nullptr, count = 0, t = 0;
    f = {}, gs = {}, d = {};
    stage = kSubstitute;
    i = 1, last = 0;  // column 1 begins at the first row
  }
  // Nothing left: the last stage through (its end noticed at the next row,
  // or here).
  bool done() const {
    return stage == kDone || (i > last && (stage == kLastUpdate || (stage == kSubstitute && t >= n - 1)));
  }
};

// The stepping itself, with the state in registers of R doubles.
template <int R>
struct BlockSteps {
  using Quad = simd::Quad<R>;
  BlockProgress& p;
  Quad* block;
  const cplx* u;  // column k of A (reflection t), or column t of L
  const cplx* w;  // column next of A, reflection t + 1
  int i, last, stage;
  Quad f, gs, d;

  [[gnu::always_inline]] explicit BlockSteps(BlockProgress& progress)
      : p(progress), block(simd::quad_rows<R>(progress.block)), i(progress.i), last(progress.last),
        stage(progress.stage), f(Quad::load(&progress.f)), gs(Quad::load(&progress.gs)),
        d(Quad::load(&progress.d)) {
    if (stage == BlockProgress::kSubstitute) {
      u = ColMajor<const cplx>(p.M, p.na).col(p.t), w = nullptr;
    } else {
      u = column(p.t), w = column(p.t + 1);
    }
  }
  [[gnu::always_inline]] void save() {
    p.i = i, p.last = last, p.stage = stage;
    f.store(&p.f), gs.store(&p.gs), d.store(&p.d);
  }

  [[gnu::always_inline]] const cplx* column(int t) const {
    return t < p.count ? ColMajor<const cplx>(p.M, p.na).col(p.refl[t].k) : nullptr;
  }

  // The stage after the one just ended.
  void next_stage() {
    using P = BlockProgress;
    if (stage == P::kSubstitute) {
      // Column t + 1 of L, with v_{t+1} final.
      if (++p.t > p.n - 1) {
        stage = P::kDone;
        return;
      }
      f = block[p.t];
      gs = simd::negate_real_parts(simd::swap_parts(f));
      u = ColMajor<const cplx>(p.M, p.na).col(p.t);
      i = p.t + 1, last = p.n;
      return;
    }
    if (stage == P::kLastUpdate) {
      stage = P::kDone;
      return;
    }
    if (stage == P::kDotsAhead) {
      stage = P::kUpdateAndDots;
      i = p.refl[p.t].k + 1, last = p.n;
      return;
    }
    if (stage == P::kUpdateAndDots) {
      ++p.t;
      u = w;
      w = column(p.t + 1);
    }
    // Reflection t begins: f = cmul(r, u^H x), from the swapped sums d.
    const int k = p.refl[p.t].k;
    f = simd::times<R>(p.refl[p.t].r, simd::swap_parts(d), simd::negate_real_parts(d));
    gs = simd::negate_real_parts(simd::swap_parts(f));
    if (p.t + 1 == p.count) {
      stage = P::kLastUpdate;
      i = k + 1, last = p.n;
    } else {
      stage = P::kDotsAhead;
      d = {};
      i = p.refl[p.t + 1].k + 1, last = k;
    }
  }

  // Row i of stage S.
  template <int S>
  [[gnu::always_inline]] void op() {
    using P = BlockProgress;
    if constexpr (S == P::kFirstDots) {
      d += simd::conj_times_swapped(u[i], block[i]);
    } else if constexpr (S == P::kDotsAhead) {
      d += simd::conj_times_swapped(w[i], block[i]);
    } else if constexpr (S == P::kUpdateAndDots) {
      const Quad x = block[i] - simd::times(u[i], f, gs);
      block[i] = x;
      d += simd::conj_times_swapped(w[i], x);
    } else {  // the last update, or the substitution
      block[i] = block[i] - simd::times(u[i], f, gs);
    }
  }

  // One row, if any is left.
  [[gnu::always_inline]] void row() {
    using P = BlockProgress;
    if (i > last) {
      if (stage == P::kDone) return;
      next_stage();
      if (stage == P::kDone) return;
    }
    switch (stage) {
      case P::kFirstDots: op<P::kFirstDots>(); break;
      case P::kDotsAhead: op<P::kDotsAhead>(); break;
      case P::kUpdateAndDots: op<P::kUpdateAndDots>(); break;
      default: op<P::kLastUpdate>(); break;
    }
    ++i;
  }

  // Everything left, stage by stage.
  void finish() {
    using P = BlockProgress;
    while (true) {
      switch (stage) {
        case P::kFirstDots: for (; i <= last; ++i) op<P::kFirstDots>(); break;
        case P::kDotsAhead: for (; i <= last; ++i) op<P::kDotsAhead>(); break;
        case P::kUpdateAndDots: for (; i <= last; ++i) op<P::kUpdateAndDots>(); break;
        case P::kDone: return;
        default: for (; i <= last; ++i) op<P::kLastUpdate>(); break;
      }
      next_stage();
    }
  }
};

}  // namespace geneig::detail
