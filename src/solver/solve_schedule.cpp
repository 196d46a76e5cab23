// The eigenvalues of the tridiagonal T and the eigenvectors of A (and of
// the pencil, for eigcab), phase work scheduled so that independent work
// fills the chains that must run in order. Each phase keeps its file and
// its operations; only when they run changes, so the results are those of
// the phases one after another, bit for bit.
//
//   the chain that waits                  what fills it
//   ------------------------------------  ----------------------------------------
//   each row of a pass of Sturm counts:   two rows of a block of four vectors'
//   a division per lane, on the row       back-transformations: the reflections
//   before (bisection.cpp)                of the tridiagonal reduction, then L^-1
//                                         of the pencil (block_transform.hpp)
//   after a pass                          a block through its reflections is
//                                         stored, normalized and, for a pencil,
//                                         multiplied by D^-1/2 and begun again
//                                         on L^-1; a block through all, stored;
//                                         the next block taken once inverse
//                                         iteration has its vectors
//   the end of eigenvalue i's search      inverse iteration of the vectors that
//                                         E(1..i) settle (inverse_iteration.cpp)
//   after the search                      the rest of everything, phase by phase
//                                         (back_transform.cpp, pencil.cpp)
//
// Blocks go in order, so each vector is normalized after the earlier
// members of its cluster, as back_transform does. The vectors found last
// are transformed after the search: near its end they are all there is.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "block_transform.hpp"
#include "eigch_phases.hpp"
#include "simd.hpp"

namespace geneig::detail {
namespace {

template <int R>
void finish_block_kernel(BlockProgress& progress) {
  BlockSteps<R> steps(progress);
  steps.finish();
  steps.save();
}

GENEIG_KERNEL(void, finish_block, (BlockProgress& progress), (progress))

class Schedule final : public SearchCompanion {
 public:
  Schedule(const cplx* A, const cplx* B, double* W, int* IW, int n, int na, const double* E, int mv,
           double eps, cplx* V, Workspace& work)
      : A_(A), B_(B), W_(W), IW_(IW), n_(n), na_(na), E_(E), mv_(mv), nv_(std::abs(mv)), eps_(eps),
        V_(V), work_(work) {
    squares = squares_;
    reflections_ = prepare_back_transform(A, W, n, na, work);
  }

  void scaled(const SpectrumScale& scale) override {
    beta_ = scale.beta;
    const double cluster = mv_ > 0 ? cluster_distance(eps_, scale.beta) : -1.0;
    vectors_.emplace(W_, IW_, n_, na_, E_, nv_, scale, cluster, V_, work_);
  }

  void after_pass() override {
    if (rows != nullptr && progress_.done()) block_through();
    if (rows == nullptr) take_block();
  }

  void found(int i) override {
    vectors_->advance(i);
    if (rows == nullptr) take_block();
  }

  // Everything the search left; false when a cluster's vectors could not be
  // told apart.
  bool finish() {
    vectors_->advance(nv_);
    while (rows != nullptr) {
      finish_block(progress_);
      block_through();
    }
    if (next_ <= nv_) {
      multiply_phases(V_, n_, na_, next_, nv_, work_.weights);
      reflect_vectors(A_, n_, na_, reflections_, V_, next_, nv_, work_);
      if (!normalize_vectors(E_, n_, na_, mv_, eps_, beta_, V_, next_, nv_)) separated_ = false;
    }
    if (B_ != nullptr && pencil_next_ <= nv_)
      back_transform_pencil(column(pencil_next_), B_, n_, na_, nv_ - pencil_next_ + 1, work_);
    return vectors_->separated() && separated_;
  }

 private:
  int width() const { return std::min(4, nv_ - next_ + 1); }
  cplx* column(int j) const { return CMat(V_, na_).col(j) + 1; }

  // The next four vectors into the block, once inverse iteration has them.
  void take_block() {
    if (next_ > nv_ || vectors_->done() < next_ + width() - 1) return;
    multiply_phases(V_, n_, na_, next_, next_ + width() - 1, work_.weights);
    simd::load_block(simd::quad_rows<2>(work_.block), CView(V_, na_), next_, width(), n_);
    progress_.start_reflections(work_.block, A_, na_, n_, work_.reflections, reflections_);
    substituting_ = false;
    rows = &progress_;
  }

  // Whether vector j is the first of its cluster, or after the last: the
  // normalization of the vectors before it is then final.
  bool cluster_ends_before(int j) const {
    return mv_ < 0 || j > nv_ || std::fabs(E_[j - 1] - E_[j - 2]) > cluster_distance(eps_, beta_);
  }

  // The block in hand through its present transformation. The pencil's
  // transformation changes the vectors that normalize_vectors orthogonalizes
  // the later members of their cluster against: it waits for the cluster's
  // end (with the vectors held back, should the cluster run past the block).
  void block_through() {
    simd::store_block(simd::quad_rows<2>(work_.block), CMat(V_, na_), next_, width(), n_);
    const int end = next_ + width() - 1;
    if (!substituting_) {
      if (!normalize_vectors(E_, n_, na_, mv_, eps_, beta_, V_, next_, end)) separated_ = false;
      if (B_ != nullptr && cluster_ends_before(end + 1)) {
        if (pencil_next_ < next_)
          back_transform_pencil(column(pencil_next_), B_, n_, na_, next_ - pencil_next_, work_);
        multiply_pivot_roots(column(next_), B_, n_, na_, width());
        simd::load_block(simd::quad_rows<2>(work_.block), CView(V_, na_), next_, width(), n_);
        progress_.start_substitution(work_.block, B_, na_, n_);
        substituting_ = true;
        return;
      }
    } else {
      pencil_next_ = end + 1;
    }
    next_ += 4;
    rows = nullptr;
  }

  const cplx* A_;
  const cplx* B_;
  double* W_;
  int* IW_;
  int n_, na_;
  const double* E_;
  int mv_, nv_;
  double eps_;
  cplx* V_;
  Workspace& work_;
  double beta_ = 0.0;
  int reflections_ = 0;
  int next_ = 1;  // the first vector of the block in hand, or of the next
  int pencil_next_ = 1;  // the first vector not through the pencil's transformation
  bool substituting_ = false;
  bool separated_ = true;
  BlockProgress progress_;
  std::optional<InverseIteration> vectors_;
  double squares_[NMAX + 1];
};

}  // namespace

bool solve_tridiagonal(const cplx* A, const cplx* B, int n, int na, int m, int mv, double eps,
                       double* W, int* IW, double* E, cplx* V, Workspace& work) {
  Schedule schedule(A, B, W, IW, n, na, E, mv, eps, V, work);
  bisect_eigenvalues(W, n, na, m, eps, E, &schedule);
  return schedule.finish();
}

}  // namespace geneig::detail
