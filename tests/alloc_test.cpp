// eigcab takes no storage from the heap: every array it works in is the
// caller's or static. Each case runs one solve between two readings of the
// heap, on one path through the solver; the test's own arrays are static and
// filled beforehand, so that nothing but the solve runs in between.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>

#include "alloc_counter.hpp"
#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "eigcab.hpp"
#include "test_support.hpp"

namespace {

using geneig::cplx;
using geneig::NMAX;
using geneig::test::Draw;
using geneig::test::heap_activity;
using geneig::test::HeapActivity;

const std::string kWarning = "\"D\" became imaginary number !!\n";

// The arrays of one solve, as the program holds them.
cplx A[NMAX * NMAX], B[NMAX * NMAX], V[NMAX * NMAX], C[NMAX * NMAX], D[NMAX];
double E[NMAX], W[NMAX * 7];
int IW[NMAX];

enum class Pencil {
  kRandom,     // random Hermitian A, B = C C^H + n I
  kRepeated,   // A = I + w w^H, B = I: eigenvalue 1 n - 1 times
  kIndefinite  // random Hermitian A, B = I but for one negative diagonal entry
};

void fill(Pencil kind, int n) {
  const geneig::ColMajor<cplx> a(A, NMAX), b(B, NMAX), c(C, NMAX);
  Draw u(static_cast<std::uint64_t>(n) * 3 + static_cast<std::uint64_t>(kind));
  for (int j = 1; j <= n; ++j)
    for (int i = j; i <= n; ++i) {
      // Imaginary part first, as Draw::complex() draws.
      const double im = i == j ? 0.0 : u();
      const double re = u();
      a(i, j) = cplx(re, im);
      b(i, j) = cplx(i == j ? 1.0 : 0.0, 0.0);
    }
  if (kind == Pencil::kRandom) {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i) c(i, j) = u.complex();
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i) {
        cplx t = i == j ? cplx(n, 0.0) : cplx(0.0, 0.0);
        for (int k = 1; k <= n; ++k) t += geneig::cmul(c(i, k), std::conj(c(j, k)));
        b(i, j) = i == j ? cplx(t.real(), 0.0) : t;
      }
  } else if (kind == Pencil::kRepeated) {
    for (int i = 1; i <= n; ++i) c(i, 1) = u.complex();
    for (int j = 1; j <= n; ++j)
      for (int i = j; i <= n; ++i)
        a(i, j) = cplx(i == j ? 1.0 : 0.0, 0.0) + geneig::cmul(c(i, 1), std::conj(c(j, 1)));
  } else {
    b((n + 1) / 2, (n + 1) / 2) = cplx(-1.0, 0.0);
  }
}

struct Case {
  const char* name;
  Pencil kind;
  int n, m, mv;
  int ill;       // ILL expected after the solve (it starts at 0)
  bool warning;  // the pivot warning is expected on standard output
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class EigcabHeap : public testing::TestWithParam<Case> {};

TEST_P(EigcabHeap, SolveAllocatesNothing) {
  const Case& c = GetParam();
  if (c.n <= NMAX) fill(c.kind, c.n);
  int ill = 0;
  double eps = 0.0;
  testing::internal::CaptureStdout();
  const HeapActivity activity =
      heap_activity([&] { geneig::eigcab(A, B, c.n, NMAX, c.m, c.mv, eps, D, E, V, ill, IW, W); });
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(activity.new_calls, 0);
  EXPECT_EQ(activity.delete_calls, 0);
  EXPECT_EQ(activity.arena_bytes, 0);
  EXPECT_EQ(activity.mmap_bytes, 0);
  // The case took the path it names.
  EXPECT_EQ(ill, c.ill);
  EXPECT_EQ(out.find(kWarning) != std::string::npos, c.warning) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, EigcabHeap,
    testing::Values(
        // The program's call: every eigenvalue and B-orthonormal eigenvector.
        Case{"Order200", Pencil::kRandom, 200, 200, 200, 0, false},
        Case{"Order2ClosedForm", Pencil::kRandom, 2, 2, 2, 0, false},
        Case{"Order3OneReflection", Pencil::kRandom, 3, 3, 3, 0, false},
        Case{"Order200SmallestScaledVectors", Pencil::kRandom, 200, -200, -200, 0, false},
        Case{"Order200FewLargest", Pencil::kRandom, 200, 5, 3, 0, false},
        // Seeded start vectors and re-orthogonalization within the cluster.
        Case{"RepeatedEigenvalue", Pencil::kRepeated, 40, 40, 40, 0, false},
        // The warning line is written and the solve goes on. (stdio takes
        // the buffer of standard output at the first write to it; the test
        // runner has written there already.)
        Case{"NegativePivotWarned", Pencil::kIndefinite, 50, 50, 50, GENEIG_ILL_INDEFINITE_B, true},
        // Refusals write their line and return.
        Case{"Order1Refused", Pencil::kRandom, 1, 1, 1, GENEIG_ILL_INVALID_ARGUMENT, false},
        Case{"OrderAboveCapacityRefused", Pencil::kRandom, NMAX + 1, 1, 1, GENEIG_ILL_INVALID_ARGUMENT,
             false}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The witnesses themselves: each must see what it is there to see, or the
// tests above would pass whatever eigcab did.
TEST(HeapWitness, CountsOperatorNewAndDeleteEvenWhenReleasedAtOnce) {
  const HeapActivity activity = heap_activity([] { ::operator delete(::operator new(64)); });
  EXPECT_EQ(activity.new_calls, 1);
  EXPECT_EQ(activity.delete_calls, 1);
}

TEST(HeapWitness, CountsEveryFormOfOperatorNew) {
  const HeapActivity activity = heap_activity([] {
    ::operator delete[](::operator new[](16));
    ::operator delete(::operator new(16, std::nothrow));
    ::operator delete (::operator new (256, std::align_val_t{128}), std::align_val_t{128});
  });
  EXPECT_EQ(activity.new_calls, 3);
  EXPECT_EQ(activity.delete_calls, 3);
}

// Kept past the second reading, out of the optimizer's reach.
void* volatile kept = nullptr;

TEST(HeapWitness, MallinfoSeesMallocThatIsKept) {
  if (!geneig::test::kMallinfoSeesMalloc) GTEST_SKIP() << "malloc is not glibc's here";
  constexpr std::size_t kSmall = 4096;      // served from the arena
  constexpr std::size_t kLarge = 1u << 22;  // above the mmap threshold
  HeapActivity activity = heap_activity([] { kept = std::malloc(kSmall); });
  EXPECT_GE(activity.arena_bytes, static_cast<long long>(kSmall));
  EXPECT_EQ(activity.new_calls, 0);
  std::free(kept);
  activity = heap_activity([] { kept = std::malloc(kLarge); });
  EXPECT_GE(activity.mmap_bytes, static_cast<long long>(kLarge));
  std::free(kept);
}

}  // namespace
