// Every entry point at the edges of its contract.
//
// Refusals: orders above 200 (up to 2^31 - 1), a leading dimension below the
// order, a negative order, M = 0, through each of the nine entries, with
// heap arrays of exactly the size each contract names, so that
// AddressSanitizer (make test-asan) sees one byte written past any of them.
// Where the contract has no size that can be allocated (N = 2^31 - 1), the
// arrays are one element long: the refusal must not touch them. Every array
// is filled with a pattern beforehand and must hold it afterwards, apart
// from those that a call refused by eigch after eigcab's first stages may
// write (A, B, D, the back-transformed columns of V and the workspace of
// eigcabw_); standard output
// must be the one line.
//
// Non-finite numbers: a NaN or an infinity where a routine reads is refused
// untouched (ILL = 8); one where it does not read changes nothing; and no
// call returns ILL = 0 with a value that is not finite.
//
// The static workspace: a call made while another holds it is refused
// (ILL = 10) with nothing written, and two threads calling at once get
// either the bits of a lone solve or that refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "eigcab.hpp"
#include "geneig.h"
#include "mtxcnv.hpp"
#include "oracle.hpp"
#include "workspace.hpp"

namespace {

namespace oracle = geneig::oracle;
using cplx = std::complex<double>;
using geneig::NMAX;

enum class Entry {
  eigcab_c, eigcabw_c, eigch_c, eigchw_c, mtxcnv_c,
  eigcab_static, eigcab_workspace, eigch_static, eigch_workspace
};

constexpr Entry kEntries[] = {Entry::eigcab_c,       Entry::eigcabw_c,        Entry::eigch_c,
                              Entry::eigchw_c,       Entry::mtxcnv_c,         Entry::eigcab_static,
                              Entry::eigcab_workspace, Entry::eigch_static,   Entry::eigch_workspace};

const char* name(Entry e) {
  constexpr const char* kNames[] = {"eigcab_", "eigcabw_", "eigch_", "eigchw_", "mtxcnv_",
                                    "eigcab", "eigcabWorkspace", "eigch", "eigchWorkspace"};
  return kNames[static_cast<int>(e)];
}

bool is_eigcab(Entry e) {
  return e == Entry::eigcab_c || e == Entry::eigcabw_c || e == Entry::eigcab_static ||
         e == Entry::eigcab_workspace;
}

// The arguments of one call: every array exactly as long as the contract of
// the entry says (complex arrays as pairs of doubles), or one element when
// that length cannot be allocated.
struct Arrays {
  std::vector<double> A, B, D, E, V, W, WORK;
  std::vector<std::int32_t> IW;
  std::int32_t LWORK = 0;
  double EPS = -1.0;  // negative: replaced by 1e-14 if the call ever got that far
  std::int32_t ILL = 0;
};

constexpr unsigned char kPattern = 0x5a;

// A contract's length, in elements; 1 when it is not positive or too long
// to allocate.
std::size_t length(long long n) {
  constexpr long long kMost = 1LL << 26;
  return n >= 1 && n <= kMost ? static_cast<std::size_t>(n) : 1;
}

template <class T>
std::vector<T> patterned(long long n) {
  std::vector<T> v(length(n));
  std::memset(v.data(), kPattern, v.size() * sizeof(T));
  return v;
}

template <class T>
bool same_bits(const std::vector<T>& x, const std::vector<T>& y) {
  return x.size() == y.size() &&
         (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(T)) == 0);
}

template <class T>
bool untouched(const std::vector<T>& v) {
  const auto* p = reinterpret_cast<const unsigned char*>(v.data());
  for (std::size_t i = 0; i < v.size() * sizeof(T); ++i)
    if (p[i] != kPattern) return false;
  return true;
}

Arrays arrays_for(Entry e, std::int32_t N, std::int32_t NA, std::int32_t M, std::int32_t MV) {
  const long long n = N, na = NA, m = std::llabs(M), mv = std::llabs(MV);
  Arrays a;
  if (e == Entry::mtxcnv_c) {
    a.A = patterned<double>(na * n);
    a.B = patterned<double>(na * n);
    a.D = patterned<double>(n);
    return a;
  }
  a.A = patterned<double>(2 * na * n);
  if (is_eigcab(e)) {
    a.B = patterned<double>(2 * na * n);
    a.D = patterned<double>(2 * n);
  }
  a.E = patterned<double>(m);
  a.V = patterned<double>(2 * na * mv);
  a.W = patterned<double>(na * 7);
  a.IW = patterned<std::int32_t>(n);
  if (e == Entry::eigcabw_c || e == Entry::eigchw_c) {
    // No workspace serves an order outside 1..NMAX (eiglwork_ asks for
    // none): one double, to show that the refusal does not need it.
    a.LWORK = std::max<std::int32_t>(eiglwork_(&N), 1);
    a.WORK = patterned<double>(a.LWORK);
  }
  return a;
}

// The workspace of the reentrant C++ entries, in static storage (1.6 MB).
geneig::Workspace g_work;

cplx* z(std::vector<double>& v) { return reinterpret_cast<cplx*>(v.data()); }

// Calls entry e; N, NA, M and MV from read-only storage.
void call(Entry e, Arrays& a, const std::int32_t& N, const std::int32_t& NA,
          const std::int32_t& M, const std::int32_t& MV) {
  switch (e) {
    case Entry::eigcab_c:
      eigcab_(a.A.data(), a.B.data(), &N, &NA, &M, &MV, &a.EPS, a.D.data(), a.E.data(),
              a.V.data(), &a.ILL, a.IW.data(), a.W.data());
      break;
    case Entry::eigcabw_c:
      eigcabw_(a.A.data(), a.B.data(), &N, &NA, &M, &MV, &a.EPS, a.D.data(), a.E.data(),
               a.V.data(), &a.ILL, a.IW.data(), a.W.data(), a.WORK.data(), &a.LWORK);
      break;
    case Entry::eigch_c:
      eigch_(a.A.data(), &N, &NA, &M, &MV, &a.EPS, a.W.data(), a.IW.data(), a.E.data(),
             a.V.data(), &a.ILL);
      break;
    case Entry::eigchw_c:
      eigchw_(a.A.data(), &N, &NA, &M, &MV, &a.EPS, a.W.data(), a.IW.data(), a.E.data(),
              a.V.data(), &a.ILL, a.WORK.data(), &a.LWORK);
      break;
    case Entry::mtxcnv_c:
      mtxcnv_(a.A.data(), a.B.data(), &N, &NA, a.D.data(), &a.ILL);
      break;
    case Entry::eigcab_static:
      geneig::eigcab(z(a.A), z(a.B), N, NA, M, MV, a.EPS, z(a.D), a.E.data(), z(a.V), a.ILL,
                     a.IW.data(), a.W.data());
      break;
    case Entry::eigcab_workspace:
      geneig::eigcab(z(a.A), z(a.B), N, NA, M, MV, a.EPS, z(a.D), a.E.data(), z(a.V), a.ILL,
                     a.IW.data(), a.W.data(), g_work);
      break;
    case Entry::eigch_static:
      geneig::eigch(z(a.A), N, NA, M, MV, a.EPS, a.W.data(), a.IW.data(), a.E.data(), z(a.V),
                    a.ILL);
      break;
    case Entry::eigch_workspace:
      geneig::eigch(z(a.A), N, NA, M, MV, a.EPS, a.W.data(), a.IW.data(), a.E.data(), z(a.V),
                    a.ILL, g_work);
      break;
  }
}

// ---- Refusals ----------------------------------------------------------------

struct Refusal {
  const char* name;
  std::int32_t N, NA, M, MV;
  const char* line;         // eigcab's and eigch's
  const char* mtxcnv_line;  // mtxcnv's (N and N1 = NA), or null where M is the point
};

constexpr std::int32_t kMax = INT32_MAX;

const Refusal kRefusals[] = {
    {"Order201", 201, 201, 201, 201, "(SUBR. EIGCH) INVALID ARGUMENT. 201 201 201 201\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =  201  201\n"},
    {"Order250", 250, 250, 250, 250, "(SUBR. EIGCH) INVALID ARGUMENT. 250 250 250 250\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =  250  250\n"},
    {"Order1000", 1000, 1000, -1000, 1000,
     "(SUBR. EIGCH) INVALID ARGUMENT. 1000 1000 1000 1000\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 = 1000 1000\n"},
    {"Order201SmallRequest", 201, 300, 1, 0, "(SUBR. EIGCH) INVALID ARGUMENT. 300 201 1 0\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =  201  300\n"},
    {"OrderIntMax", kMax, kMax, INT32_MIN, INT32_MIN,
     "(SUBR. EIGCH) INVALID ARGUMENT. 2147483647 2147483647 2147483648 2147483648\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =**********\n"},
    {"OrderAboveTheLimitWithMZero", 201, 201, 0, 0,
     "(SUBR. EIGCH) INVALID ARGUMENT. 201 201 0 0\n", nullptr},
    {"LeadingDimensionBelowTheOrder", 5, 4, 5, 5, "(SUBR. EIGCH) INVALID ARGUMENT. 4 5 5 5\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =    5    4\n"},
    {"NegativeOrder", -3, 5, -3, -3, "(SUBR. EIGCH) INVALID ARGUMENT. -3 -3\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =   -3    5\n"},
    {"MostNegativeOrder", INT32_MIN, 1, 2, 1,
     "(SUBR. EIGCH) INVALID ARGUMENT. -2147483648 2\n",
     " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =*****    1\n"},
    // eigcab factors B and reduces A before eigch refuses M = 0, and then
    // back-transforms the MV columns of V: all within the contract.
    {"MZero", 5, 5, 0, 3, "(SUBR. EIGCH) INVALID ARGUMENT. 5 0\n", nullptr},
    {"MvAboveM", 6, 7, -2, 3, "(SUBR. EIGCH) INVALID ARGUMENT. 7 6 2 3\n", nullptr},
};

// Every entry with every refusal (mtxcnv has no M).
std::vector<std::tuple<Entry, Refusal>> refusal_rows() {
  std::vector<std::tuple<Entry, Refusal>> rows;
  for (const Entry e : kEntries)
    for (const Refusal& r : kRefusals)
      if (e != Entry::mtxcnv_c || r.mtxcnv_line != nullptr) rows.emplace_back(e, r);
  return rows;
}

class Refusals : public testing::TestWithParam<std::tuple<Entry, Refusal>> {};

TEST_P(Refusals, TouchNothingBeyondTheContractAndPrintTheLine) {
  const auto& [e, r] = GetParam();
  const std::int32_t n = r.N, na = r.NA, m = r.M, mv = r.MV;
  Arrays a = arrays_for(e, n, na, m, mv);
  // A call that reaches eigcab's first stages gets a pencil to factor:
  // A = B = I (no warning about B), everything else the pattern.
  const bool staged = is_eigcab(e) && n >= 1 && n <= NMAX && na >= n;
  if (staged)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < na; ++i) {
        z(a.A)[i + j * na] = z(a.B)[i + j * na] = i == j ? 1.0 : 0.0;
      }
  testing::internal::CaptureStdout();
  call(e, a, n, na, m, mv);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            e == Entry::mtxcnv_c ? r.mtxcnv_line : r.line);
  EXPECT_EQ(a.ILL, GENEIG_ILL_INVALID_ARGUMENT);
  EXPECT_EQ(a.EPS, -1.0);
  EXPECT_TRUE(staged || untouched(a.A));
  EXPECT_TRUE(staged || untouched(a.B));
  EXPECT_TRUE(staged || untouched(a.D));
  EXPECT_TRUE(staged || untouched(a.V));
  EXPECT_TRUE(untouched(a.E));
  EXPECT_TRUE(untouched(a.W));
  EXPECT_TRUE(untouched(a.IW));
  EXPECT_TRUE(staged || untouched(a.WORK));
}

INSTANTIATE_TEST_SUITE_P(Entries, Refusals, testing::ValuesIn(refusal_rows()),
                         [](const auto& info) {
                           return std::string(name(std::get<0>(info.param))) + "_" +
                                  std::get<1>(info.param).name;
                         });

// eiglwork_ asks for a workspace exactly where the reentrant entries can
// use one.
TEST(Refusals, WorkspaceLengthOnlyForTheOrdersSolved) {
  for (const std::int32_t n : {INT32_MIN, -1, 0, 201, 1000, kMax}) EXPECT_EQ(eiglwork_(&n), 0) << n;
  for (const std::int32_t n : {1, 2, 100, 200}) EXPECT_GT(eiglwork_(&n), 0) << n;
}

// ---- Non-finite numbers -----------------------------------------------------

// Structured and random pencils of order 6 in arrays of leading dimension
// 7: a stiffness and mass pair (tridiag(-1, 2, -1), tridiag(1, 4, 1)/6),
// a Toeplitz A over a complex KMS matrix B (B(i, j) = rho^(i-j), i >= j),
// and random ones.
enum class Pencil { stiffness_mass, toeplitz_kms, random };
constexpr const char* kPencilNames[] = {"StiffnessMass", "ToeplitzKms", "Random"};
constexpr int kN = 6, kNA = 7;

oracle::ZMatrix pencil_a(Pencil p) {
  oracle::Rng rng(oracle::kSeed + 61);
  if (p == Pencil::random) return oracle::random_hermitian(kN, rng);
  oracle::ZMatrix A(kN, kN);
  const cplx toeplitz[] = {3.0, cplx(0.5, -0.25), cplx(-0.125, 0.5), 0.25, 0, 0};
  for (int j = 1; j <= kN; ++j)
    for (int i = j; i <= kN; ++i) {
      A(i, j) = p == Pencil::stiffness_mass ? (i == j ? 2.0 : i == j + 1 ? -1.0 : 0.0)
                                            : toeplitz[i - j];
      A(j, i) = std::conj(A(i, j));
    }
  return A;
}

oracle::ZMatrix pencil_b(Pencil p) {
  oracle::Rng rng(oracle::kSeed + 67);
  if (p == Pencil::random) return oracle::random_hpd(kN, rng);
  oracle::ZMatrix B(kN, kN);
  const cplx rho(0.5, 0.375);
  for (int j = 1; j <= kN; ++j)
    for (int i = j; i <= kN; ++i) {
      B(i, j) = p == Pencil::stiffness_mass ? (i == j ? 4.0 / 6 : i == j + 1 ? 1.0 / 6 : 0.0)
                                            : std::pow(rho, i - j);
      B(j, i) = std::conj(B(i, j));
    }
  return B;
}

// Where a non-finite number is put, and what must come of it.
struct Poison {
  const char* name;
  char matrix;    // 'A' or 'B'
  int i, j;       // the element
  bool imag;      // into its imaginary part
  double value;
  int eigcab_ill, eigch_ill;  // what the call returns; 8: refused untouched;
                              // kReported: some failure
};

constexpr int kReported = -1;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const Poison kPoisons[] = {
    {"NaNBelowTheDiagonalOfA", 'A', 5, 2, false, kNaN, 8, 8},
    {"InfinityOnTheDiagonalOfA", 'A', 3, 3, false, -kInf, 8, 8},
    {"NaNLastElementOfA", 'A', kN, kN, false, kNaN, 8, 8},
    // The imaginary parts of the diagonals are ignored, by eigch and by
    // eigcab.
    {"NaNImaginaryDiagonalOfA", 'A', 4, 4, true, kNaN, 0, 0},
    {"InfinityImaginaryDiagonalOfB", 'B', 3, 3, true, kInf, 0, 0},
    {"NaNAboveTheDiagonalOfA", 'A', 1, kN, false, kNaN, 0, 0},
    {"InfinityBelowTheDiagonalOfB", 'B', kN, 1, true, kInf, 8, 0},
    {"NaNOnTheDiagonalOfB", 'B', 1, 1, false, kNaN, 8, 0},
    {"InfinityAboveTheDiagonalOfB", 'B', 2, 5, false, kInf, 0, 0},
    // No poison, but a NaN tolerance: no eigenvalue is ever close enough,
    // the vectors cannot be told apart (7), and they or the eigenvalues
    // may come out not numbers (9).
    {"NaNTolerance", 'E', 0, 0, false, kNaN, kReported, kReported},
};

// mtxcnv reports only invalid arguments and a B that is not positive
// definite.
constexpr Entry kSolvers[] = {Entry::eigcab_c,       Entry::eigcabw_c,      Entry::eigch_c,
                              Entry::eigchw_c,       Entry::eigcab_static,  Entry::eigcab_workspace,
                              Entry::eigch_static,   Entry::eigch_workspace};

class NonFinite : public testing::TestWithParam<std::tuple<Entry, Pencil, Poison>> {};

TEST_P(NonFinite, RefusedUntouchedOrSolvedNeverZeroWithoutNumbers) {
  const auto& [e, p, poison] = GetParam();
  static const std::int32_t N = kN, NA = kNA;
  Arrays a = arrays_for(e, N, NA, N, N);
  const oracle::ZMatrix A = oracle::embed(pencil_a(p), kNA), B = oracle::embed(pencil_b(p), kNA);
  std::memcpy(a.A.data(), A.data(), a.A.size() * sizeof(double));
  if (is_eigcab(e)) std::memcpy(a.B.data(), B.data(), a.B.size() * sizeof(double));
  a.EPS = 0.0;
  if (poison.matrix == 'E') {
    a.EPS = poison.value;
  } else if (poison.matrix == 'A' || is_eigcab(e)) {
    std::vector<double>& x = poison.matrix == 'A' ? a.A : a.B;
    x[2 * ((poison.i - 1) + (poison.j - 1) * kNA) + poison.imag] = poison.value;
  }
  const Arrays before = a;
  testing::internal::CaptureStdout();
  call(e, a, N, NA, N, N);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const int want = is_eigcab(e) ? poison.eigcab_ill : poison.eigch_ill;
  if (want == kReported)
    EXPECT_NE(a.ILL, 0);
  else
    EXPECT_EQ(a.ILL, want);
  if (want == GENEIG_ILL_NOT_FINITE_INPUT) {
    EXPECT_TRUE(same_bits(a.A, before.A) && same_bits(a.B, before.B));
    EXPECT_TRUE(untouched(a.D) && untouched(a.E) && untouched(a.V) && untouched(a.W) &&
                untouched(a.IW) && untouched(a.WORK));
    EXPECT_EQ(a.EPS, 0.0);
    return;
  }
  bool finite = true;
  for (int j = 1; j <= kN; ++j) {
    finite = finite && std::isfinite(a.E[j - 1]);
    for (int i = 1; i <= kN; ++i) finite = finite && std::isfinite(std::abs(z(a.V)[(i - 1) + (j - 1) * kNA]));
  }
  EXPECT_EQ(finite, a.ILL != GENEIG_ILL_NOT_FINITE_RESULT);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, NonFinite,
    testing::Combine(testing::ValuesIn(kSolvers),
                     testing::Values(Pencil::stiffness_mass, Pencil::toeplitz_kms, Pencil::random),
                     testing::ValuesIn(kPoisons)),
    [](const auto& info) {
      return std::string(name(std::get<0>(info.param))) + "_" +
             kPencilNames[static_cast<int>(std::get<1>(info.param))] + "_" +
             std::get<2>(info.param).name;
    });

// ---- The static workspace -----------------------------------------------------

constexpr Entry kStaticEntries[] = {Entry::eigcab_c, Entry::eigch_c, Entry::eigcab_static,
                                    Entry::eigch_static};

// While a call holds the static workspace, every entry that uses it refuses
// with ILL = 10, writes nothing and prints nothing; the reentrant ones
// solve. Once it is let go, the static ones solve again.
TEST(StaticWorkspace, CallWhileAnotherHoldsItIsRefusedUntouched) {
  static const std::int32_t N = kN, NA = kNA;
  for (const Entry e : kSolvers) {
    SCOPED_TRACE(name(e));
    const bool shared = std::find(std::begin(kStaticEntries), std::end(kStaticEntries), e) !=
                        std::end(kStaticEntries);
    for (const bool held : {true, false}) {
      Arrays a = arrays_for(e, N, NA, N, N);
      const oracle::ZMatrix A = oracle::embed(pencil_a(Pencil::stiffness_mass), kNA);
      const oracle::ZMatrix B = oracle::embed(pencil_b(Pencil::stiffness_mass), kNA);
      std::memcpy(a.A.data(), A.data(), a.A.size() * sizeof(double));
      if (is_eigcab(e)) std::memcpy(a.B.data(), B.data(), a.B.size() * sizeof(double));
      const Arrays before = a;
      testing::internal::CaptureStdout();
      {
        const geneig::SharedWorkspaceClaim other;
        ASSERT_TRUE(other.held());
        if (held) call(e, a, N, NA, N, N);
      }
      if (!held) call(e, a, N, NA, N, N);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
      const bool refused = held && shared;
      EXPECT_EQ(a.ILL, refused ? GENEIG_ILL_BUSY : 0) << "held " << held;
      if (refused) {
        EXPECT_TRUE(same_bits(a.A, before.A) && same_bits(a.B, before.B));
        EXPECT_TRUE(untouched(a.D) && untouched(a.E) && untouched(a.V) && untouched(a.W) &&
                    untouched(a.IW));
        EXPECT_EQ(a.EPS, -1.0);
      }
    }
  }
}

// Two threads through the static entries at once, many times: each call
// either gives the bits of the same pencil solved alone or is refused with
// nothing written; and some calls did overlap.
TEST(StaticWorkspace, TwoThreadsAtOnceGetTheLoneBitsOrARefusal) {
  static const std::int32_t n = 40, na = 40;
  oracle::Rng rng(oracle::kSeed + 71);
  const oracle::ZMatrix A = oracle::random_hermitian(n, rng), B = oracle::random_hpd(n, rng);
  const auto fresh = [&] {
    Arrays a = arrays_for(Entry::eigcab_c, n, na, n, n);
    std::memcpy(a.A.data(), A.data(), a.A.size() * sizeof(double));
    std::memcpy(a.B.data(), B.data(), a.B.size() * sizeof(double));
    a.EPS = 0.0;
    return a;
  };
  Arrays lone = fresh();
  call(Entry::eigcab_c, lone, n, na, n, n);
  ASSERT_EQ(lone.ILL, 0);

  // Each thread goes on until a call of either has been refused (or for
  // long: the two may then never have run at once).
  std::atomic<int> refused{0}, wrong{0};
  const auto work = [&](Entry e) {
    for (int k = 0; k < 20 || (refused == 0 && k < 2000); ++k) {
      Arrays a = fresh();
      call(e, a, n, na, n, n);
      if (a.ILL == GENEIG_ILL_BUSY) {
        ++refused;
        if (!untouched(a.E) || !untouched(a.V) || !untouched(a.D)) ++wrong;
      } else if (a.ILL != 0 || a.E != lone.E || a.V != lone.V) {
        ++wrong;
      }
    }
  };
  std::thread first(work, Entry::eigcab_c), second(work, Entry::eigcab_static);
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(refused.load(), 0) << "no two calls overlapped";
}

}  // namespace
