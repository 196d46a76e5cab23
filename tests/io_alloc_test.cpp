// The file layer allocates nothing: reading a matrix input file and writing
// a result file, by name, on success and on every kind of failure, take no
// storage from the heap, not even for a moment (as a C stream's FILE would).
//
// The witness (alloc_counter.hpp) counts every call of the heap's entry
// points in this process, the C library's malloc family included, so that
// allocations by the C library itself are seen too. AddressSanitizer brings
// its own malloc: under it only the operators count.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "alloc_counter.hpp"
#include "eigcab.hpp"
#include "rdmtx.hpp"
#include "saveeig.hpp"
#include "test_support.hpp"


namespace {

using cplx = std::complex<double>;
using geneig::NMAX;
namespace fs = std::filesystem;

cplx g_A[NMAX * NMAX], g_B[NMAX * NMAX], g_V[NMAX * NMAX];
double g_E[NMAX];

// Calls of the heap's entry points while f runs (operator new and delete,
// the malloc family). f must capture by reference, so that calling it
// allocates nothing itself.
template <class F>
long long heap_calls_during(F&& f) {
  const geneig::test::HeapActivity a = geneig::test::heap_activity(f);
  return a.new_calls + a.delete_calls + a.malloc_calls;
}

// An order-n input file of random entries in the shortest forms.
std::string input_text(int n) {
  geneig::test::Draw unit(static_cast<unsigned>(n));
  geneig::oracle::ZMatrix M[2] = {{n, n}, {n, n}};
  for (auto& m : M)
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) {
        const double re = unit();
        m(i, j) = {re, unit()};
      }
  return geneig::test::matrix_in(M[0], M[1]);
}

class FileLayerHeap : public geneig::test::ScratchDir {
 protected:
  // Writes the file, and returns its path.
  std::string put(const char* name, const std::string& text) const {
    geneig::test::put(path(name), text);
    return path(name);
  }
};

// Good files, a mismatch, a malformed item, an early end, a directory and a
// missing file: the reader's every way out.
TEST_F(FileLayerHeap, ReadingAllocatesNothing) {
  const struct {
    const char* name;
    std::string text;
    geneig::ReadStatus status;
  } cases[] = {
      {"order200.in", input_text(NMAX), geneig::ReadStatus::ok},
      {"order2.in", input_text(2), geneig::ReadStatus::ok},
      {"mismatch.in", "2 0\nA\n1 1 1 0\n2 1 0 0\n", geneig::ReadStatus::mismatch},
      {"malformed.in", "2 0\nA\n1 1 1 x\n", geneig::ReadStatus::malformed},
      {"short.in", "2 0\nA\n1 1 1 0\n", geneig::ReadStatus::early_end},
      {"large.in", "201 0\n", geneig::ReadStatus::too_large},
  };
  for (const auto& c : cases) {
    const std::string file = put(c.name, c.text);
    int N = 0;
    double X = 0;
    geneig::ReadReport report;
    geneig::ReadStatus status{};
    EXPECT_EQ(heap_calls_during([&] {
                status = geneig::read_matrix_file(file, g_A, g_B, N, X, report);
              }),
              0)
        << c.name;
    EXPECT_EQ(status, c.status) << c.name << ": " << report.message();
  }
  for (const std::string& file : {dir_.string(), path("none.in")}) {
    int N = 0;
    double X = 0;
    geneig::ReadReport report;
    EXPECT_EQ(heap_calls_during([&] { geneig::read_matrix_file(file, g_A, g_B, N, X, report); }),
              0)
        << report.message();
    EXPECT_NE(report.status, geneig::ReadStatus::ok);
  }
  // rdmtx itself, on a good file.
  const std::string field = put("matrix.in", input_text(3)) + std::string(20, ' ');
  int N = 0;
  double X = 0;
  EXPECT_EQ(heap_calls_during([&] { geneig::rdmtx(field, g_A, g_B, N, X); }), 0);
  EXPECT_EQ(N, 3);
}

// A new file (with a temporary left by a killed run beside it), a replaced
// one, and the failures: a missing directory, a target that is a directory,
// an order above the capacity.
TEST_F(FileLayerHeap, WritingAllocatesNothing) {
  geneig::test::Draw unit(9);
  for (double& e : g_E) e = unit();
  for (cplx& v : g_V) v = unit.complex();
  fs::create_directory(path("dir.out"));
  put("matrix.out.tmp3", "left by a killed run");  // removed by the first write
  const struct {
    std::string file;
    int N;
    bool ok;
  } cases[] = {
      {path("matrix.out"), NMAX, true},
      {path("matrix.out"), NMAX, true},
      {path("matrix.out"), 2, true},
      {path("none/matrix.out"), 2, false},
      {path("dir.out"), 2, false},
      {path("matrix.out"), NMAX + 1, false},
  };
  for (const auto& c : cases) {
    geneig::WriteReport report;
    bool ok = false;
    EXPECT_EQ(heap_calls_during([&] {
                ok = geneig::write_result_file(c.file, g_E, g_V, c.N, report);
              }),
              0)
        << c.file;
    EXPECT_EQ(ok, c.ok) << c.file << ": " << report.message();
  }
  EXPECT_FALSE(fs::exists(path("matrix.out.tmp3")));
  // saveeig itself, on a good file.
  const std::string field = path("matrix.out") + std::string(20, ' ');
  const int N = 4;
  EXPECT_EQ(heap_calls_during([&] { geneig::saveeig(field, g_E, g_V, N); }), 0);
  EXPECT_TRUE(fs::exists(path("matrix.out")));
}

// The witness sees what it is meant to see.
TEST(HeapWitness, SeesAllocations) {
  // The pointer goes through a volatile: a new-expression whose storage is
  // never used may be elided, and clang does elide it.
  EXPECT_GT(heap_calls_during([] {
              int* volatile p = new int(1);
              delete p;
            }),
            0);
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_GT(heap_calls_during([] {
              std::FILE* f = std::fopen("/dev/null", "r");
              std::fclose(f);
            }),
            0);
#endif
}

}  // namespace
