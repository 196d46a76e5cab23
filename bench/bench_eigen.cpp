// Eigen's GeneralizedSelfAdjointEigenSolver on the pencils of the solver
// benchmarks ("eigen/N"): Cholesky factor of B, the standard problem, and
// its eigenvalues and eigenvectors by tridiagonal QR. A peer at its best:
// this file alone is built for the host's instruction set, fused
// multiply-add included (bench/CMakeLists.txt).
#include <benchmark/benchmark.h>

#include <Eigen/Eigenvalues>

#include "bench_shared.hpp"

namespace {

void bench_eigen(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bench::Pencil& p = bench::pencil(n);
  const Eigen::Map<const Eigen::MatrixXcd, 0, Eigen::OuterStride<>> A(p.A.data(), n, n,
                                                                      Eigen::OuterStride<>(bench::kLd));
  const Eigen::Map<const Eigen::MatrixXcd, 0, Eigen::OuterStride<>> B(p.B.data(), n, n,
                                                                      Eigen::OuterStride<>(bench::kLd));
  Eigen::MatrixXcd a(n, n), b(n, n);
  Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXcd> solver(n);
  for (auto _ : state) {
    a = A;
    b = B;
    solver.compute(a, b, Eigen::ComputeEigenvectors | Eigen::Ax_lBx);
    if (solver.info() != Eigen::Success) {
      state.SkipWithError("Eigen's solver failed");
      break;
    }
    benchmark::DoNotOptimize(solver.eigenvalues().data());
    benchmark::DoNotOptimize(solver.eigenvectors().data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(bench_eigen)->Name("eigen")->Apply(bench::solve_args);

}  // namespace
