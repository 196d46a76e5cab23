// Benchmarks of the solver: eigcab at several orders next to LAPACK's zhegv
// (bisection and inverse iteration's classic driver) and zhegvd (divide and
// conquer, the fastest LAPACK path), the latter also from OpenBLAS where the
// build found it, on the same pencils, and each phase of
// eigcab on its own at order 200. Eigen's solver, the other peer, is timed
// in bench_eigen.cpp on the same pencils.
//
// A solve overwrites its matrices, so every iteration first copies the
// pencil's n x n blocks back in. The copy is timed with the solve (two
// blocks, A and B, for eigcab and the peers alike) and on its own ("copy/N",
// one block), so the summary can show how little of the time it is.
//
// A phase starts from a snapshot of the state that the phases before it
// leave, taken once by running them exactly as eigcab does. An iteration
// copies back only the blocks that the phase overwrites and reads again;
// their number is the counter "copies". Phases that rewrite every value they
// read afterwards (bisection, inverse iteration) need no copy at all.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_shared.hpp"
#include "bench_work.hpp"
#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "eigcab.hpp"
#include "eigch_phases.hpp"

// Reference LAPACK, Fortran calling convention: every argument by address,
// the lengths of the character arguments appended.
extern "C" void zhegv_(const int* itype, const char* jobz, const char* uplo, const int* n,
                       std::complex<double>* a, const int* lda, std::complex<double>* b,
                       const int* ldb, double* w, std::complex<double>* work, const int* lwork,
                       double* rwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
extern "C" void zhegvd_(const int* itype, const char* jobz, const char* uplo, const int* n,
                        std::complex<double>* a, const int* lda, std::complex<double>* b,
                        const int* ldb, double* w, std::complex<double>* work, const int* lwork,
                        double* rwork, const int* lrwork, int* iwork, const int* liwork,
                        int* info, std::size_t jobz_len, std::size_t uplo_len);

namespace {

using geneig::cplx;
using geneig::NMAX;
namespace detail = geneig::detail;

using bench::kLd;
static_assert(kLd == NMAX);
// Order of the phase benchmarks.
constexpr int kPhaseOrder = NMAX;
// Medians over this many repetitions of at least kMinTime seconds each keep
// the whole run under a minute on two cores. The solves, whose ratio is the
// headline, get more repetitions: single runs vary by about 10 % here.
constexpr int kSolveRepetitions = 15;
constexpr int kRepetitions = 9;
constexpr double kMinTime = 0.1;

using Matrix = std::vector<cplx>;  // kLd x kLd, column-major
using bench::Pencil;
using bench::pencil;

// Copies the leading n x n block of src into dst, column by column.
void copy_block(cplx* dst, const cplx* src, int n) {
  for (int j = 0; j < n; ++j)
    std::memcpy(dst + static_cast<std::ptrdiff_t>(j) * kLd,
                src + static_cast<std::ptrdiff_t>(j) * kLd, sizeof(cplx) * n);
}

using bench::Work;
using bench::solve;
Work work;

void bench_eigcab(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Pencil& p = pencil(n);
  for (auto _ : state) {
    copy_block(work.A, p.A.data(), n);
    copy_block(work.B, p.B.data(), n);
    if (solve(work, n) != 0) {
      state.SkipWithError("eigcab set ILL");
      break;
    }
    benchmark::DoNotOptimize(work.E);
    benchmark::DoNotOptimize(work.V);
    benchmark::ClobberMemory();
  }
}

using Zhegvd = void(const int* itype, const char* jobz, const char* uplo, const int* n,
                    std::complex<double>* a, const int* lda, std::complex<double>* b,
                    const int* ldb, double* w, std::complex<double>* work, const int* lwork,
                    double* rwork, const int* lrwork, int* iwork, const int* liwork, int* info,
                    std::size_t jobz_len, std::size_t uplo_len);

// zhegvd from the LAPACK linked in, or from the OpenBLAS library loaded at
// start (the "openblas" peer).
void time_zhegvd(benchmark::State& state, Zhegvd* zhegvd) {
  const int n = static_cast<int>(state.range(0));
  const Pencil& p = pencil(n);
  const int itype = 1, ld = kLd;
  int info = 0, lwork = -1, lrwork = -1, liwork = -1;
  std::vector<double> w(n);
  // Workspace query: the optimal lengths come back in the first entries.
  cplx query;
  double rquery;
  int iquery;
  zhegvd(&itype, "V", "L", &n, work.A, &ld, work.B, &ld, w.data(), &query, &lwork, &rquery,
         &lrwork, &iquery, &liwork, &info, 1, 1);
  lwork = static_cast<int>(query.real());
  lrwork = static_cast<int>(rquery);
  liwork = iquery;
  std::vector<cplx> lwork_store(lwork);
  std::vector<double> rwork(lrwork);
  std::vector<int> iwork(liwork);
  for (auto _ : state) {
    copy_block(work.A, p.A.data(), n);
    copy_block(work.B, p.B.data(), n);
    zhegvd(&itype, "V", "L", &n, work.A, &ld, work.B, &ld, w.data(), lwork_store.data(), &lwork,
           rwork.data(), &lrwork, iwork.data(), &liwork, &info, 1, 1);
    if (info != 0) {
      state.SkipWithError("zhegvd returned info != 0");
      break;
    }
    benchmark::DoNotOptimize(w.data());
    benchmark::DoNotOptimize(work.A);
    benchmark::ClobberMemory();
  }
}

void bench_zhegvd(benchmark::State& state) { time_zhegvd(state, zhegvd_); }

// The OpenBLAS peer: the library named by the environment variable
// GENEIG_OPENBLAS, else the one the build found (GENEIG_OPENBLAS_LIBRARY).
// It is loaded with its own symbols first (RTLD_DEEPBIND), so that its
// zhegvd calls its own BLAS and LAPACK routines, not the reference ones this
// process links. One thread, as for every other peer.
struct OpenBlas {
  Zhegvd* zhegvd = nullptr;
  char path[PATH_MAX] = "";
};

const OpenBlas& openblas() {
  static const OpenBlas loaded = [] {
    OpenBlas o;
    const char* name = std::getenv("GENEIG_OPENBLAS");
#ifdef GENEIG_OPENBLAS_LIBRARY
    if (name == nullptr) name = GENEIG_OPENBLAS_LIBRARY;
#endif
    if (name == nullptr || *name == '\0') return o;
    void* lib = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (lib == nullptr) {
      std::fprintf(stderr, "OpenBLAS not loaded: %s\n", dlerror());
      return o;
    }
    if (auto threads = reinterpret_cast<void (*)(int)>(dlsym(lib, "openblas_set_num_threads")))
      threads(1);
    o.zhegvd = reinterpret_cast<Zhegvd*>(dlsym(lib, "zhegvd_"));
    if (realpath(name, o.path) == nullptr) std::snprintf(o.path, sizeof o.path, "%s", name);
    return o;
  }();
  return loaded;
}

void bench_openblas(benchmark::State& state) { time_zhegvd(state, openblas().zhegvd); }

void bench_zhegv(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Pencil& p = pencil(n);
  const int itype = 1, ld = kLd;
  int info = 0, lwork = -1;
  std::vector<double> w(n), rwork(3 * n - 2);
  // Workspace query: the optimal length comes back in work[0].
  cplx query;
  zhegv_(&itype, "V", "L", &n, work.A, &ld, work.B, &ld, w.data(), &query, &lwork, rwork.data(),
         &info, 1, 1);
  lwork = static_cast<int>(query.real());
  std::vector<cplx> lwork_store(lwork);
  for (auto _ : state) {
    copy_block(work.A, p.A.data(), n);
    copy_block(work.B, p.B.data(), n);
    zhegv_(&itype, "V", "L", &n, work.A, &ld, work.B, &ld, w.data(), lwork_store.data(), &lwork,
           rwork.data(), &info, 1, 1);
    if (info != 0) {
      state.SkipWithError("zhegv returned info != 0");
      break;
    }
    benchmark::DoNotOptimize(w.data());
    benchmark::DoNotOptimize(work.A);
    benchmark::ClobberMemory();
  }
}

// One n x n block copied in, the unit of the copy overhead.
void bench_copy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Pencil& p = pencil(n);
  for (auto _ : state) {
    copy_block(work.A, p.A.data(), n);
    benchmark::DoNotOptimize(work.A);
    benchmark::ClobberMemory();
  }
}

}  // namespace

namespace bench {

void solve_args(benchmark::internal::Benchmark* b) {
  for (int n : {25, 50, 100, 200}) b->Arg(n);
  b->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MinTime(kMinTime)
      ->Repetitions(kSolveRepetitions)
      ->ComputeStatistics("min",
                          [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->ReportAggregatesOnly(true);
}

const char* lapack_library() {
  static char path[PATH_MAX];
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&zhegvd_), &info) == 0 || info.dli_fname == nullptr)
    return "(unknown)";
  // The loaded name is often a link that the system's alternatives choose:
  // the file it resolves to says which LAPACK it is.
  if (realpath(info.dli_fname, path) == nullptr) return info.dli_fname;
  return path;
}

const char* openblas_library() { return openblas().zhegvd != nullptr ? openblas().path : nullptr; }

}  // namespace bench

namespace {

using bench::solve_args;

BENCHMARK(bench_eigcab)->Name("eigcab")->Apply(solve_args);
BENCHMARK(bench_zhegvd)->Name("zhegvd")->Apply(solve_args);
[[maybe_unused]] const bool openblas_registered = [] {
  if (openblas().zhegvd != nullptr)
    benchmark::RegisterBenchmark("openblas", bench_openblas)->Apply(solve_args);
  return true;
}();
BENCHMARK(bench_zhegv)->Name("zhegv")->Apply(solve_args);
BENCHMARK(bench_copy)
    ->Name("copy")
    ->Apply(solve_args)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions);

// ---- Phases at order kPhaseOrder ----

// The state after each phase of one solve of the order-kPhaseOrder pencil.
struct Snapshots {
  const Pencil* input;            // the pencil itself
  Matrix B_factored;              // after factor_b: multipliers of L, B(k, k) = D(k)^-1/2
  Matrix D;                       // pivots of B
  Matrix A_reduced;               // after reduce_a
  Matrix A_scaled;                // after scale_a: the standard matrix R
  Matrix A_reflect;               // after reduce_to_tridiagonal: phases and reflections
  std::vector<double> W_tridiag;  // after reduce_to_tridiagonal: d and e
  std::vector<double> W_bisect;   // after bisect_eigenvalues: e^2 as well
  std::vector<double> E;          // eigenvalues
  detail::SpectrumScale scale;
  Matrix V_inverse;             // after inverse_iteration: eigenvectors of T
  Matrix V_eigch;               // after back_transform: eigenvectors of R
  bool matches_eigcab = false;  // the chain gave eigcab's bits
};

Snapshots take_snapshots() {
  const int n = kPhaseOrder;
  const Pencil& p = pencil(n);
  Snapshots s;
  s.input = &p;
  Work& w = work;
  copy_block(w.A, p.A.data(), n);
  copy_block(w.B, p.B.data(), n);
  int ill = 0;
  detail::factor_b(w.B, n, kLd, w.D, ill);
  s.B_factored.assign(w.B, w.B + kLd * kLd);
  s.D.assign(w.D, w.D + kLd);
  detail::reduce_a(w.A, w.B, n, kLd);
  s.A_reduced.assign(w.A, w.A + kLd * kLd);
  detail::scale_a(w.A, w.B, w.D, n, kLd);
  s.A_scaled.assign(w.A, w.A + kLd * kLd);
  detail::reduce_to_tridiagonal(w.A, n, kLd, w.W);
  s.A_reflect.assign(w.A, w.A + kLd * kLd);
  s.W_tridiag.assign(w.W, w.W + kLd * 7);
  s.scale = detail::bisect_eigenvalues(w.W, n, kLd, n, 0.0, w.E);
  s.W_bisect.assign(w.W, w.W + kLd * 7);
  s.E.assign(w.E, w.E + kLd);
  detail::inverse_iteration(w.W, w.IW, n, kLd, w.E, n, s.scale,
                            detail::cluster_distance(0.0, s.scale.beta), w.V);
  s.V_inverse.assign(w.V, w.V + kLd * kLd);
  detail::back_transform(w.A, w.W, n, kLd, w.E, n, 0.0, s.scale.beta, w.V);
  s.V_eigch.assign(w.V, w.V + kLd * kLd);
  detail::back_transform_pencil(w.V, w.B, n, kLd, n);
  const std::vector<double> E_chain(w.E, w.E + n);
  const Matrix V_chain(w.V, w.V + kLd * kLd);

  // The phases must be timed on the states that a real solve passes
  // through: the chain has to reproduce eigcab's results bit for bit.
  copy_block(w.A, p.A.data(), n);
  copy_block(w.B, p.B.data(), n);
  bool same = ill == 0 && solve(w, n) == 0;
  same = same && std::memcmp(E_chain.data(), w.E, sizeof(double) * n) == 0;
  for (int j = 0; same && j < n; ++j)
    same = std::memcmp(&V_chain[static_cast<std::size_t>(j) * kLd], w.V + j * kLd,
                       sizeof(cplx) * n) == 0;
  s.matches_eigcab = same;
  return s;
}

const Snapshots& snapshots() {
  static const Snapshots s = take_snapshots();
  return s;
}

// One phase: prepare puts its whole input state into the work arrays once;
// restore copies back, each iteration, what the phase overwrites and reads
// again (copies blocks of n x n); run is the timed call.
struct Phase {
  void (*prepare)(Work&, const Snapshots&);
  void (*restore)(Work&, const Snapshots&);
  void (*run)(Work&, const Snapshots&);
  int copies;
};

void nothing(Work&, const Snapshots&) {}
void prepare_factored_b(Work& w, const Snapshots& s) {
  copy_block(w.B, s.B_factored.data(), kPhaseOrder);
  std::memcpy(w.D, s.D.data(), sizeof w.D);
}
void prepare_tridiagonal(Work& w, const Snapshots& s) {
  std::memcpy(w.W, s.W_tridiag.data(), sizeof w.W);
}
void prepare_bisected(Work& w, const Snapshots& s) {
  std::memcpy(w.W, s.W_bisect.data(), sizeof w.W);
  std::memcpy(w.E, s.E.data(), sizeof w.E);
}
void prepare_reflected(Work& w, const Snapshots& s) {
  prepare_bisected(w, s);
  copy_block(w.A, s.A_reflect.data(), kPhaseOrder);
}

const Phase kFactorB{
    nothing, [](Work& w, const Snapshots& s) { copy_block(w.B, s.input->B.data(), kPhaseOrder); },
    [](Work& w, const Snapshots&) {
      int ill = 0;
      detail::factor_b(w.B, kPhaseOrder, kLd, w.D, ill);
    },
    1};
const Phase kReduceA{
    prepare_factored_b,
    [](Work& w, const Snapshots& s) { copy_block(w.A, s.input->A.data(), kPhaseOrder); },
    [](Work& w, const Snapshots&) { detail::reduce_a(w.A, w.B, kPhaseOrder, kLd); }, 1};
const Phase kScaleA{
    prepare_factored_b,
    [](Work& w, const Snapshots& s) { copy_block(w.A, s.A_reduced.data(), kPhaseOrder); },
    [](Work& w, const Snapshots&) { detail::scale_a(w.A, w.B, w.D, kPhaseOrder, kLd); }, 1};
const Phase kReduceToTridiagonal{
    nothing, [](Work& w, const Snapshots& s) { copy_block(w.A, s.A_scaled.data(), kPhaseOrder); },
    [](Work& w, const Snapshots&) { detail::reduce_to_tridiagonal(w.A, kPhaseOrder, kLd, w.W); },
    1};
const Phase kBisectEigenvalues{prepare_tridiagonal, nothing,
                               [](Work& w, const Snapshots&) {
                                 detail::bisect_eigenvalues(w.W, kPhaseOrder, kLd, kPhaseOrder, 0.0,
                                                            w.E);
                               },
                               0};
const Phase kInverseIteration{prepare_bisected, nothing,
                              [](Work& w, const Snapshots& s) {
                                detail::inverse_iteration(w.W, w.IW, kPhaseOrder, kLd, w.E,
                                                          kPhaseOrder, s.scale,
                                                          detail::cluster_distance(0.0, s.scale.beta), w.V);
                              },
                              0};
const Phase kBackTransform{
    prepare_reflected,
    [](Work& w, const Snapshots& s) { copy_block(w.V, s.V_inverse.data(), kPhaseOrder); },
    [](Work& w, const Snapshots& s) {
      detail::back_transform(w.A, w.W, kPhaseOrder, kLd, w.E, kPhaseOrder, 0.0, s.scale.beta, w.V);
    },
    1};
const Phase kBackTransformPencil{
    prepare_factored_b,
    [](Work& w, const Snapshots& s) { copy_block(w.V, s.V_eigch.data(), kPhaseOrder); },
    [](Work& w, const Snapshots&) {
      detail::back_transform_pencil(w.V, w.B, kPhaseOrder, kLd, kPhaseOrder);
    },
    1};

void phase(benchmark::State& state, const Phase& ph) {
  const Snapshots& s = snapshots();
  if (!s.matches_eigcab) {
    state.SkipWithError("the phases run one after another do not reproduce eigcab");
    return;
  }
  ph.prepare(work, s);
  for (auto _ : state) {
    ph.restore(work, s);
    ph.run(work, s);
    benchmark::ClobberMemory();
  }
  state.counters["copies"] = ph.copies;
}

void phase_args(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMicrosecond)
      ->UseRealTime()
      ->MinTime(kMinTime)
      ->Repetitions(kRepetitions)
      ->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(phase, factor_b, kFactorB)->Apply(phase_args);
BENCHMARK_CAPTURE(phase, reduce_a, kReduceA)->Apply(phase_args);
BENCHMARK_CAPTURE(phase, scale_a, kScaleA)->Apply(phase_args);
BENCHMARK_CAPTURE(phase, reduce_to_tridiagonal, kReduceToTridiagonal)->Apply(phase_args);
BENCHMARK_CAPTURE(phase, bisect_eigenvalues, kBisectEigenvalues)->Apply(phase_args);
BENCHMARK_CAPTURE(phase, inverse_iteration, kInverseIteration)->Apply(phase_args);
BENCHMARK_CAPTURE(phase, back_transform, kBackTransform)->Apply(phase_args);
BENCHMARK_CAPTURE(phase, back_transform_pencil, kBackTransformPencil)->Apply(phase_args);

}  // namespace
