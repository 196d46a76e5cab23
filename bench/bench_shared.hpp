// What the solver benchmarks share with the peers' benchmarks, which are
// built apart (bench_eigen.cpp with its own instruction-set flags) and with
// the summary: the random pencils, the argument list of the whole-solve
// benchmarks and the LAPACK library they time.
#pragma once

#include <complex>
#include <vector>

namespace benchmark::internal {
class Benchmark;
}

namespace bench {

// Leading dimension of every matrix, as in the program.
inline constexpr int kLd = 200;

// The pencil of order n: A Hermitian, B Hermitian positive definite, both
// triangles stored, kLd x kLd column-major (pencils.cpp).
struct Pencil {
  std::vector<std::complex<double>> A = std::vector<std::complex<double>>(kLd * kLd);
  std::vector<std::complex<double>> B = std::vector<std::complex<double>>(kLd * kLd);
};
const Pencil& pencil(int n);

// Orders 25, 50, 100 and 200, the repetitions and time unit of every solve.
void solve_args(benchmark::internal::Benchmark* b);

// The file from which the process loaded LAPACK's zhegvd: the library that
// "zhegv/N" and "zhegvd/N" time.
const char* lapack_library();

// The OpenBLAS library whose zhegvd "openblas/N" times, or null when none
// was loaded.
const char* openblas_library();

}  // namespace bench
