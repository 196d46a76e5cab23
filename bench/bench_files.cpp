// The file layer on an order-200 problem: rdmtx's core reading a matrix
// input file, and saveeig's core writing a result file over an existing one
// (the usual case: a program run again in the same directory). Both run on
// files in a scratch directory under /tmp, so they time the page cache and
// the file system, not the disk. Each reports its file's size per second.
//
// The input file is generated here from a fixed seed: a Hermitian A with
// entries in (-1, 1) and a Hermitian, diagonally dominant B, every real in
// the shortest form that reads back (16 to 17 significant digits for most),
// as a program in another language would write it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "eigcab.hpp"
#include "rdmtx.hpp"
#include "saveeig.hpp"

namespace {

using cplx = std::complex<double>;
using geneig::NMAX;

constexpr int kOrder = 200;

cplx g_A[NMAX * NMAX], g_B[NMAX * NMAX], g_V[NMAX * NMAX];
double g_E[NMAX];

void append_real(std::string& s, double v) {
  char buf[32];
  s.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The text of the order-200 input file described above.
std::string order200_input() {
  std::mt19937_64 gen(200);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::string text = std::to_string(kOrder) + " 0.0\n";
  for (const char* heading : {"Matrix A", "Matrix B"}) {
    const bool metric = heading[7] == 'B';
    const double off = metric ? 10.0 : 1.0, diag = metric ? 330.0 : 0.0;
    std::vector<cplx> m(kOrder * kOrder);
    for (int i = 0; i < kOrder; ++i) {
      m[i * kOrder + i] = {diag + off * unit(gen), i % 2 ? 0.0 : -0.0};
      for (int j = 0; j < i; ++j) {
        m[i * kOrder + j] = {off * unit(gen), off * unit(gen)};
        m[j * kOrder + i] = std::conj(m[i * kOrder + j]);
      }
    }
    text += std::string(heading) + "\n";
    for (int i = 0; i < kOrder; ++i)
      for (int j = 0; j < kOrder; ++j) {
        text += std::to_string(i + 1) + " " + std::to_string(j + 1) + " ";
        append_real(text, m[i * kOrder + j].real());
        text += " ";
        append_real(text, m[i * kOrder + j].imag());
        text += "\n";
      }
  }
  return text;
}

// A scratch directory holding matrix.in, made once and removed at exit.
struct Scratch {
  std::string dir, input, output;
  std::size_t input_bytes = 0;
  Scratch() {
    char tmpl[] = "/tmp/geneig_bench_XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir = tmpl;
    input = dir + "/matrix.in";
    output = dir + "/matrix.out";
    const std::string text = order200_input();
    input_bytes = text.size();
    std::FILE* f = std::fopen(input.c_str(), "wb");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
      std::abort();
  }
  ~Scratch() {
    std::remove(input.c_str());
    std::remove(output.c_str());
    rmdir(dir.c_str());
  }
};

const Scratch& scratch() {
  static const Scratch s;
  return s;
}

void BM_rdmtx_order200(benchmark::State& state) {
  const Scratch& s = scratch();
  int N = 0;
  double X = 0;
  geneig::ReadReport report;
  for (auto _ : state) {
    if (geneig::read_matrix_file(s.input, g_A, g_B, N, X, report) != geneig::ReadStatus::ok) {
      state.SkipWithError(std::string(report.message()).c_str());
      break;
    }
    benchmark::DoNotOptimize(g_A);
    benchmark::DoNotOptimize(g_B);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.input_bytes));
}
BENCHMARK(BM_rdmtx_order200)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// Eigenvalues and unit-length eigenvector components of typical digit
// counts: every real needs 15 to 17 significant digits.
void fill_result() {
  std::mt19937_64 gen(2);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int k = 0; k < kOrder; ++k) g_E[k] = 40.0 * unit(gen);
  for (int j = 0; j < kOrder; ++j)
    for (int i = 0; i < kOrder; ++i) g_V[i + j * NMAX] = {0.1 * unit(gen), 0.1 * unit(gen)};
}

// The size of the order-200 result file.
std::size_t result_bytes() {
  struct Counter final : geneig::TextSink {
    bool put(std::string_view piece) override {
      bytes += piece.size();
      return true;
    }
    std::size_t bytes = 0;
  } counter;
  geneig::format_result(g_E, g_V, kOrder, counter);
  return counter.bytes;
}

// The formatting alone: the pieces go nowhere.
void BM_format_result_order200(benchmark::State& state) {
  fill_result();
  struct Discard final : geneig::TextSink {
    bool put(std::string_view piece) override {
      benchmark::DoNotOptimize(piece.data());
      return true;
    }
  } discard;
  for (auto _ : state) geneig::format_result(g_E, g_V, kOrder, discard);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * result_bytes()));
}
BENCHMARK(BM_format_result_order200)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// saveeig's core, replacing the result file of the previous iteration (or,
// with replace = 0, writing it where there is none: the previous one is
// removed outside the timing).
void BM_saveeig_order200(benchmark::State& state) {
  const Scratch& s = scratch();
  const bool replace = state.range(0) != 0;
  fill_result();
  geneig::WriteReport report;
  for (auto _ : state) {
    if (!replace) {
      state.PauseTiming();
      std::remove(s.output.c_str());
      state.ResumeTiming();
    }
    if (!geneig::write_result_file(s.output, g_E, g_V, kOrder, report)) {
      state.SkipWithError(std::string(report.message()).c_str());
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * result_bytes()));
}
BENCHMARK(BM_saveeig_order200)
    ->ArgName("replace")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
