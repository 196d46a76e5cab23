// A column-major view with 1-based indices, so that code reads like its
// formulas: A(i, j) is element (i, j) of a matrix with leading dimension ld,
// stored at position (i - 1) + (j - 1) * ld.
#pragma once

#include <cstddef>

namespace geneig {

template <class T>
class ColMajor {
 public:
  ColMajor(T* base, int ld) : base_(base), ld_(ld) {}

  T& operator()(int i, int j) const {
    return base_[(i - 1) + static_cast<std::ptrdiff_t>(j - 1) * ld_];
  }
  // Column j as a 1-based vector: col(j)[i] is element (i, j).
  T* col(int j) const { return base_ + static_cast<std::ptrdiff_t>(j - 1) * ld_ - 1; }

 private:
  T* base_;
  int ld_;
};

}  // namespace geneig
