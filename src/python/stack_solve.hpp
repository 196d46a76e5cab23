// Solving a stack of pencils (A_s, B_s), each of order n <= NMAX, on a
// number of threads: the core of the Python module, free of Python.
//
// The pencils are read from strided arrays of any memory order, never
// written; each solve works on its own copies, in the storage of its
// thread, and writes its results straight into the output arrays. Every
// pencil is solved alone, with a workspace that holds nothing from one solve
// to the next, so the bits of every result are the same whatever the number
// of threads and however the stack is split among them.
#pragma once

#include <complex>
#include <cstddef>
#include <string>

namespace geneig::python {

using cplx = std::complex<double>;

// The largest number of stack axes an array may have.
inline constexpr int kMaxStackAxes = 30;

// An array of shape (stack..., n, n) in memory: the first element, byte
// strides of every axis, real (double) or complex (two doubles) elements.
// Stack axes may have stride 0 (a broadcast array).
struct StridedMatrices {
  const char* data = nullptr;
  bool complex = true;
  std::ptrdiff_t stack_strides[kMaxStackAxes] = {};
  std::ptrdiff_t row_stride = 0, col_stride = 0;
};

// What to compute for every pencil of the stack. The solver's own request
// is m and mv (signed numbers of eigenvalues and eigenvectors: m > 0 the
// largest, descending, m < 0 the smallest, ascending); of its |m| results,
// column c of each output holds number first + c, or first + count - 1 - c
// with reverse.
struct StackRequest {
  int n = 0;
  int stack_axes = 0;
  std::ptrdiff_t stack_shape[kMaxStackAxes] = {};
  bool lower = true;     // read the lower triangle of A and B (else the upper)
  bool with_b = true;    // the generalized problem (else B = I, eigch)
  bool check_finite = true;  // refuse a NaN or an infinity anywhere in A or B
  int m = 0, mv = 0;
  int first = 0, count = 0;
  bool reverse = false;
  int workers = 1;
};

// The outputs, C-contiguous: w of shape (stack..., count), v of shape
// (stack..., n, count) (null when mv = 0).
struct StackOutput {
  double* w = nullptr;
  cplx* v = nullptr;
};

// The first pencil of the stack (in C order of the stack axes) whose solve
// failed, and why, as the solver and its result check tell it; or the
// solver's lines of the first pencil that printed any and still passed.
struct StackOutcome {
  std::ptrdiff_t failed = -1;  // flat index of the pencil, -1 for none
  bool not_finite = false;     // failed: a NaN or an infinity in "a" or "b" (check_finite)
  std::string message;         // the failure, one or more lines; for not_finite "a" or "b"
  std::ptrdiff_t noted = -1;   // flat index of a pencil with lines but no failure
  std::string notes;           // its lines
};

// Number of pencils of the stack.
std::ptrdiff_t stack_size(const StackRequest& request);

// Solves every pencil of the stack on request.workers threads (the
// calling thread one of them), which take contiguous blocks of it in turn. a: the A_s; b: the B_s (ignored without
// with_b). Results of a failed pencil are left as the solver gave them.
StackOutcome solve_stack(const StackRequest& request, const StridedMatrices& a,
                         const StridedMatrices& b, const StackOutput& out);

}  // namespace geneig::python
