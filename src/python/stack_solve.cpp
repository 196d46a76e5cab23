// A stack of pencils on a pool of threads: each thread takes contiguous
// blocks of the stack in turn, copies each pencil into storage of its own,
// solves it and writes its results into the outputs.
#include "stack_solve.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "eigcab.hpp"
#include "free_output.hpp"
#include "result_check.hpp"

namespace geneig::python {

namespace {

// The storage of one thread's solves, matrices with leading dimension n:
// the pencil as the solver takes it (A, B, overwritten), as read (A0, B0,
// for the residual check), and the solver's other arguments.
struct Storage {
  WorkspacePtr work = make_workspace();
  cplx A[NMAX * NMAX], B[NMAX * NMAX], A0[NMAX * NMAX], B0[NMAX * NMAX], V[NMAX * NMAX];
  cplx D[NMAX];
  double E[NMAX];
  double W[NMAX * 7];
  int IW[NMAX];
};

// Storage is kept from one call to the next, so that a stack costs no
// allocation per pencil, and a call after the first allocates no storage:
// it takes what it needs from the free list, creating any that is missing,
// and gives it back. Calls on several Python threads at once each take
// their own.
class StoragePool {
 public:
  std::unique_ptr<Storage> take() {
    {
      const std::lock_guard lock(mutex_);
      if (!free_.empty()) {
        std::unique_ptr<Storage> s = std::move(free_.back());
        free_.pop_back();
        return s;
      }
    }
    return std::make_unique<Storage>();
  }
  void give_back(std::unique_ptr<Storage> s) {
    const std::lock_guard lock(mutex_);
    free_.push_back(std::move(s));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Storage>> free_;
};

StoragePool& pool() {
  static StoragePool p;
  return p;
}

// Lines of a message, the first kMaxLines of them kept in order and the
// others counted: a B of order 200 that is negative definite has a line
// for every pivot.
class Lines final : public LineSink {
 public:
  static constexpr int kMaxLines = 3;
  void line(std::string_view text) override {
    if (count_++ >= kMaxLines) return;
    if (!text_.empty()) text_ += '\n';
    text_ += text;
  }
  // The lines kept, and how many more there were.
  std::string take() {
    if (count_ > kMaxLines) {
      char more[32];
      std::snprintf(more, sizeof more, "\n(and %d more)", count_ - kMaxLines);
      text_ += more;
    }
    count_ = 0;
    return std::move(text_);
  }

 private:
  std::string text_;
  int count_ = 0;
};

// Byte offset of pencil s (flat, C order of the stack axes) in an array.
std::ptrdiff_t offset_of(std::ptrdiff_t s, const StackRequest& r, const StridedMatrices& m) {
  std::ptrdiff_t offset = 0;
  for (int d = r.stack_axes - 1; d >= 0; --d) {
    const std::ptrdiff_t extent = r.stack_shape[d];
    offset += (s % extent) * m.stack_strides[d];
    s /= extent;
  }
  return offset;
}

cplx element(const char* p, bool complex) {
  double parts[2] = {0.0, 0.0};
  std::memcpy(parts, p, complex ? 2 * sizeof(double) : sizeof(double));
  return {parts[0], parts[1]};
}

// The lower triangle and diagonal of one matrix into M (leading dimension
// n): element (i, j), i >= j, of the lower triangle as stored, or the
// conjugate of (j, i) of the upper.
void load(const char* base, const StridedMatrices& m, int n, bool lower, cplx* M) {
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) {
      const cplx z = lower ? element(base + i * m.row_stride + j * m.col_stride, m.complex)
                           : std::conj(element(base + j * m.row_stride + i * m.col_stride,
                                               m.complex));
      M[i + j * n] = z;
    }
}

// Every element of one n x n matrix is finite (both triangles: what the
// solver does not read must not be a NaN either, as a caller who checks
// expects).
bool all_finite(const char* base, const StridedMatrices& m, int n) {
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const cplx z = element(base + i * m.row_stride + j * m.col_stride, m.complex);
      if (!std::isfinite(z.real()) || !std::isfinite(z.imag())) return false;
    }
  return true;
}

void load_identity(int n, cplx* M) {
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) M[i + j * n] = i == j ? 1.0 : 0.0;
}

// Order 1, which the eigensolver does not take: the steps of eigcab on a
// 1 x 1 pencil, with eigch's result for a 1 x 1 matrix (the eigenvalue its
// entry, the eigenvector 1): lambda = a / b, v = sqrt(1 / b).
void solve_order1(Storage& s, bool with_b, int& ILL) {
  const double a = s.A[0].real(), b = with_b ? s.B[0].real() : 1.0;
  if (!std::isfinite(a) || !std::isfinite(b)) {
    ILL = GENEIG_ILL_NOT_FINITE_INPUT;
    return;
  }
  s.D[0] = b;
  if (!(b > 0.0)) {
    ILL = GENEIG_ILL_INDEFINITE_B;
    return;
  }
  s.E[0] = a / b;
  s.V[0] = std::sqrt(1.0 / b);
  if (!std::isfinite(s.E[0]) || !std::isfinite(s.V[0].real())) ILL = GENEIG_ILL_NOT_FINITE_RESULT;
}

// Why the solve of one pencil failed, from its error code and the solver's
// lines; empty when it did not.
std::string failure(const StackRequest& r, const Storage& s, int ILL, const std::string& lines) {
  Lines why;
  const auto add = [&why](std::string_view line) { why.line(line); };
  char line[192];
  switch (ILL) {
    case 0:
      if (r.mv != 0) {
        const ResidualCheck check = residual_check(s.A0, s.B0, r.n, r.n, s.E, s.V, std::abs(r.mv));
        if (!check.passed()) {
          std::snprintf(line, sizeof line,
                        "geneig: the result fails its residual check (%.3g times the bound)",
                        check.ratio / check.bound);
          add(line);
        }
      }
      return why.take();
    case GENEIG_ILL_INDEFINITE_B:
      {
        bool named = false;
        for (int k = r.n; k >= 1; --k)
          if (pivot_line(s.D, k, line, sizeof line)) {
            named = true;
            add(line);
          }
        if (!named) add("geneig: B is not positive definite");
      }
      break;
    case GENEIG_ILL_OUT_OF_RANGE:
      add("geneig: an eigenvalue of the pencil lies outside the range of double precision");
      break;
    case GENEIG_ILL_VECTORS_NOT_SEPARATED:
      add("geneig: eigenvalues lie too close together, measured against the largest, for their "
          "eigenvectors to be told apart");
      break;
    case GENEIG_ILL_NOT_FINITE_INPUT:
      add("geneig: the pencil holds a NaN or an infinity");
      break;
    case GENEIG_ILL_NOT_FINITE_RESULT:
      add("geneig: the solution holds values that are not finite numbers");
      break;
    default:
      std::snprintf(line, sizeof line, "geneig: the solver failed (ILL = %d)", ILL);
      add(line);
  }
  std::string text = why.take();
  if (!lines.empty()) text += "\n" + lines;
  return text;
}

// The results of one solve into column c of the outputs of pencil p.
void store(const StackRequest& r, const Storage& s, std::ptrdiff_t p, const StackOutput& out) {
  const int n = r.n, k = r.count;
  double* w = out.w + p * k;
  cplx* v = out.v ? out.v + p * n * k : nullptr;
  for (int c = 0; c < k; ++c) {
    const int j = r.first + (r.reverse ? k - 1 - c : c);
    w[c] = s.E[j];
    if (v)
      for (int i = 0; i < n; ++i) v[i * k + c] = s.V[i + j * n];
  }
}

// The pencils [begin, end) of the stack, in order, in storage s; the first
// failure ends the block (a later one cannot be the stack's first).
void solve_run(const StackRequest& r, const StridedMatrices& a, const StridedMatrices& b,
               const StackOutput& out, std::ptrdiff_t begin, std::ptrdiff_t end, Storage& s,
               StackOutcome& outcome) {
  const int n = r.n;
  for (std::ptrdiff_t p = begin; p < end; ++p) {
    const char* pa = a.data + offset_of(p, r, a);
    const char* pb = r.with_b ? b.data + offset_of(p, r, b) : nullptr;
    if (r.check_finite && (!all_finite(pa, a, n) || (pb && !all_finite(pb, b, n)))) {
      outcome.failed = p;
      outcome.not_finite = true;
      outcome.message.assign(1, all_finite(pa, a, n) ? 'b' : 'a');
      return;
    }
    load(pa, a, n, r.lower, s.A);
    if (pb)
      load(pb, b, n, r.lower, s.B);
    else
      load_identity(n, s.B);
    std::copy_n(s.A, n * n, s.A0);
    std::copy_n(s.B, n * n, s.B0);
    int ILL = 0;
    double EPS = 0.0;
    Lines lines;
    {
      const LineCapture capture(lines);
      if (n == 1)
        solve_order1(s, r.with_b, ILL);
      else if (r.with_b)
        eigcab(s.A, s.B, n, n, r.m, r.mv, EPS, s.D, s.E, s.V, ILL, s.IW, s.W, *s.work);
      else
        eigch(s.A, n, n, r.m, r.mv, EPS, s.W, s.IW, s.E, s.V, ILL, *s.work);
    }
    std::string said = lines.take();
    std::string why = failure(r, s, ILL, said);
    if (!why.empty()) {
      outcome.failed = p;
      outcome.message = std::move(why);
      return;
    }
    if (!said.empty() && outcome.noted < 0) {
      outcome.noted = p;
      outcome.notes = std::move(said);
    }
    store(r, s, p, out);
  }
}

// The stack handed out in contiguous blocks, from the front, to whichever
// thread asks next: a thread slowed down (by other work on its core, or by
// harder pencils) takes fewer, and no thread waits for another's half.
// Blocks of about a sixteenth of a thread's share keep each thread's reads
// and writes contiguous. No block is begun past a pencil that has failed,
// and every block before it is finished.
class BlockQueue {
 public:
  BlockQueue(std::ptrdiff_t size, int threads)
      : size_(size), block_(std::max<std::ptrdiff_t>(1, size / (16 * threads))), failed_(size) {}

  // The next block [begin, end); false when there is none left.
  bool next(std::ptrdiff_t& begin, std::ptrdiff_t& end) {
    begin = next_.fetch_add(block_, std::memory_order_relaxed);
    if (begin >= failed_.load(std::memory_order_relaxed)) return false;
    end = std::min(begin + block_, size_);
    return true;
  }

  // Pencil p failed: no block after it is begun.
  void failed_at(std::ptrdiff_t p) {
    std::ptrdiff_t seen = failed_.load(std::memory_order_relaxed);
    while (p < seen && !failed_.compare_exchange_weak(seen, p, std::memory_order_relaxed)) {
    }
  }

 private:
  const std::ptrdiff_t size_, block_;
  std::atomic<std::ptrdiff_t> next_{0};
  std::atomic<std::ptrdiff_t> failed_;  // the earliest failed pencil so far, or size_
};

}  // namespace

std::ptrdiff_t stack_size(const StackRequest& r) {
  std::ptrdiff_t size = 1;
  for (int d = 0; d < r.stack_axes; ++d) size *= r.stack_shape[d];
  return size;
}

StackOutcome solve_stack(const StackRequest& r, const StridedMatrices& a,
                         const StridedMatrices& b, const StackOutput& out) {
  const std::ptrdiff_t size = stack_size(r);
  const int threads =
      static_cast<int>(std::clamp<std::ptrdiff_t>(r.workers, 1, std::max<std::ptrdiff_t>(size, 1)));
  std::vector<std::unique_ptr<Storage>> storage(threads);
  for (auto& s : storage) s = pool().take();
  std::vector<StackOutcome> outcomes(threads);
  BlockQueue queue(size, threads);
  const auto run = [&](int t) {
    std::ptrdiff_t begin, end;
    while (outcomes[t].failed < 0 && queue.next(begin, end)) {
      solve_run(r, a, b, out, begin, end, *storage[t], outcomes[t]);
      if (outcomes[t].failed >= 0) queue.failed_at(outcomes[t].failed);
    }
  };
  {
    std::vector<std::jthread> pool_threads;
    for (int t = 1; t < threads; ++t) pool_threads.emplace_back(run, t);
    run(0);
  }
  for (auto& s : storage) pool().give_back(std::move(s));
  // Each thread took its blocks in stack order, so its first failure and
  // its first lines are its earliest; the stack's are the earliest of all.
  StackOutcome outcome;
  for (StackOutcome& o : outcomes) {
    if (o.failed >= 0 && (outcome.failed < 0 || o.failed < outcome.failed)) {
      outcome.failed = o.failed;
      outcome.not_finite = o.not_finite;
      outcome.message = std::move(o.message);
    }
  }
  for (StackOutcome& o : outcomes) {
    const bool before = outcome.failed < 0 || o.noted < outcome.failed;
    if (o.noted >= 0 && before && (outcome.noted < 0 || o.noted < outcome.noted)) {
      outcome.noted = o.noted;
      outcome.notes = std::move(o.notes);
    }
  }
  return outcome;
}

}  // namespace geneig::python
