// The entry points of geneig.h against the C++ routines they forward to:
// the same bits in every output, the same line on standard output, for
// solves and for refused arguments. N, NA, M and MV are handed over from a
// table in read-only storage, so a routine writing one would fault. The
// reentrant entries give the bits of the static ones wherever their
// workspace lies in the caller's array, on two threads at once too, and
// refuse a short workspace with ILL = 3 and nothing else written.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "eigcab.hpp"
#include "geneig.h"
#include "mtxcnv.hpp"
#include "oracle.hpp"
#include "test_support.hpp"

namespace {

using namespace geneig::oracle;

enum class Routine { eigcab, eigch, mtxcnv };

// Where the routine works: its static arrays (eigcab_, eigch_, mtxcnv_), or
// the caller's WORK array (eigcabw_, eigchw_) starting on a 64-byte
// boundary, one double past one, or one double too short.
enum class Work { static_arrays, aligned, shifted, too_short };

struct Call {
  Routine routine;
  std::int32_t N, NA, M, MV;  // mtxcnv: N and N1 = NA
  Work work;
};

constexpr Call kCalls[] = {
    {Routine::eigcab, 2, 2, 2, 2, Work::static_arrays},
    {Routine::eigcab, 5, 7, 5, 5, Work::static_arrays},
    {Routine::eigcab, 6, 6, -2, -1, Work::static_arrays},
    {Routine::eigcab, 4, 4, 3, 0, Work::static_arrays},
    {Routine::eigcab, 3, 2, 3, 3, Work::static_arrays},
    {Routine::eigcab, 1, 1, 1, 1, Work::static_arrays},
    {Routine::eigch, 2, 3, -1, 1, Work::static_arrays},
    {Routine::eigch, 6, 6, 6, 6, Work::static_arrays},
    {Routine::eigch, 4, 4, 0, 0, Work::static_arrays},
    {Routine::mtxcnv, 1, 1, 0, 0, Work::static_arrays},
    {Routine::mtxcnv, 5, 6, 0, 0, Work::static_arrays},
    {Routine::mtxcnv, 3, 2, 0, 0, Work::static_arrays},
    {Routine::eigcab, 2, 2, 2, 2, Work::aligned},
    {Routine::eigcab, 5, 7, 5, 5, Work::shifted},
    {Routine::eigcab, 6, 6, -2, -1, Work::aligned},
    {Routine::eigcab, 40, 40, -40, 40, Work::shifted},
    {Routine::eigcab, 200, 200, 200, 200, Work::aligned},
    {Routine::eigcab, 3, 2, 3, 3, Work::shifted},
    {Routine::eigcab, 4, 4, 4, 4, Work::too_short},
    {Routine::eigch, 6, 6, 6, 6, Work::shifted},
    {Routine::eigch, 30, 31, -12, 12, Work::aligned},
    {Routine::eigch, 2, 3, -1, 1, Work::aligned},
    {Routine::eigch, 6, 6, 6, 6, Work::too_short},
};

// Everything a call can write, for one side of the comparison.
struct Outputs {
  ZMatrix A, B, V;
  DMatrix a, b;
  std::vector<cplx> D;
  std::vector<double> d, E, W;
  std::vector<int> IW;
  double EPS = -1.0;  // a negative tolerance is replaced in the caller's variable
  int ILL = 0;
  std::string printed;
};

Outputs inputs(const Call& c) {
  Rng rng(kSeed + static_cast<std::uint64_t>(c.N));
  const int ld = std::max(c.N, c.NA);
  Outputs o;
  o.A = embed(random_hermitian(c.N, rng), ld);
  o.B = embed(random_hpd(c.N, rng), ld);
  o.V = ZMatrix(ld, ld);
  o.a = embed(random_symmetric(c.N, rng), ld);
  o.b = embed(random_spd(c.N, rng), ld);
  o.D.assign(ld, cplx(0, 0));
  o.d.assign(ld, 0.0);
  o.E.assign(ld, 0.0);
  o.W.assign(static_cast<std::size_t>(ld) * 7, 0.0);
  o.IW.assign(ld, 0);
  return o;
}

double* pairs(ZMatrix& m) { return reinterpret_cast<double*>(m.data()); }
double* pairs(std::vector<cplx>& v) { return reinterpret_cast<double*>(v.data()); }

// What the C++ routine with its static workspace gives; for a short
// workspace, the arguments as they were with ILL = 3.
Outputs expected(const Call& c) {
  Outputs o = inputs(c);
  if (c.work == Work::too_short) {
    o.ILL = GENEIG_ILL_WORKSPACE_TOO_SMALL;
    return o;
  }
  testing::internal::CaptureStdout();
  switch (c.routine) {
    case Routine::eigcab:
      geneig::eigcab(o.A.data(), o.B.data(), c.N, c.NA, c.M, c.MV, o.EPS, o.D.data(), o.E.data(),
                     o.V.data(), o.ILL, o.IW.data(), o.W.data());
      break;
    case Routine::eigch:
      geneig::eigch(o.A.data(), c.N, c.NA, c.M, c.MV, o.EPS, o.W.data(), o.IW.data(), o.E.data(),
                    o.V.data(), o.ILL);
      break;
    case Routine::mtxcnv:
      geneig::mtxcnv(o.a.data(), o.b.data(), c.N, c.NA, o.d.data(), o.ILL);
      break;
  }
  o.printed = testing::internal::GetCapturedStdout();
  return o;
}

// The caller's WORK array for a call, filled with NaNs (a solve must write
// what it reads before it reads it).
struct WorkArray {
  std::vector<double> buffer;
  double* WORK = nullptr;
  const std::int32_t LWORK;

  explicit WorkArray(const Call& c) : LWORK(eiglwork_(&c.N) - (c.work == Work::too_short)) {
    buffer.resize(static_cast<std::size_t>(LWORK) + 16);
    std::memset(buffer.data(), 0xff, buffer.size() * sizeof(double));
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    WORK = buffer.data() + (64 - address % 64) % 64 / sizeof(double) + (c.work == Work::shifted);
  }
};

// The call through geneig.h.
Outputs through_c(const Call& c) {
  Outputs o = inputs(c);
  const bool reentrant = c.work != Work::static_arrays;
  WorkArray w(c);
  switch (c.routine) {
    case Routine::eigcab:
      if (reentrant)
        eigcabw_(pairs(o.A), pairs(o.B), &c.N, &c.NA, &c.M, &c.MV, &o.EPS, pairs(o.D),
                 o.E.data(), pairs(o.V), &o.ILL, o.IW.data(), o.W.data(), w.WORK, &w.LWORK);
      else
        eigcab_(pairs(o.A), pairs(o.B), &c.N, &c.NA, &c.M, &c.MV, &o.EPS, pairs(o.D), o.E.data(),
                pairs(o.V), &o.ILL, o.IW.data(), o.W.data());
      break;
    case Routine::eigch:
      if (reentrant)
        eigchw_(pairs(o.A), &c.N, &c.NA, &c.M, &c.MV, &o.EPS, o.W.data(), o.IW.data(),
                o.E.data(), pairs(o.V), &o.ILL, w.WORK, &w.LWORK);
      else
        eigch_(pairs(o.A), &c.N, &c.NA, &c.M, &c.MV, &o.EPS, o.W.data(), o.IW.data(), o.E.data(),
               pairs(o.V), &o.ILL);
      break;
    case Routine::mtxcnv:
      mtxcnv_(o.a.data(), o.b.data(), &c.N, &c.NA, o.d.data(), &o.ILL);
      break;
  }
  return o;
}

// The outputs that differ in any bit, by name; empty when none does.
std::string differences(const Outputs& x, const Outputs& y) {
  std::string names;
  const auto check = [&](const char* name, const auto& u, const auto& v) {
    if (u.size() != v.size() || std::memcmp(u.data(), v.data(), sizeof u[0] * u.size()) != 0)
      names += std::string(" ") + name;
  };
  check("A", x.A.a, y.A.a);
  check("B", x.B.a, y.B.a);
  check("V", x.V.a, y.V.a);
  check("a", x.a.a, y.a.a);
  check("b", x.b.a, y.b.a);
  check("D", x.D, y.D);
  check("d", x.d, y.d);
  check("E", x.E, y.E);
  check("W", x.W, y.W);
  check("IW", x.IW, y.IW);
  check("EPS", std::vector<double>{x.EPS}, std::vector<double>{y.EPS});
  check("ILL", std::vector<int>{x.ILL}, std::vector<int>{y.ILL});
  check("printed", x.printed, y.printed);
  return names;
}

class CEntries : public testing::TestWithParam<int> {};

TEST_P(CEntries, ForwardToTheCxxRoutinesBitForBit) {
  const Call& c = kCalls[GetParam()];
  const Outputs want = expected(c);
  testing::internal::CaptureStdout();
  Outputs got = through_c(c);
  got.printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(differences(want, got), "");
}

// "eigcab_N5_NA7_M5_MV5_shifted": the routine, its integers, its workspace.
std::string call_name(const testing::TestParamInfo<int>& info) {
  using geneig::test::name_of;
  const Call& c = kCalls[info.param];
  const char* const routines[] = {"eigcab", "eigch", "mtxcnv"};
  const char* const works[] = {"static", "aligned", "shifted", "short"};
  std::string name = std::string(routines[static_cast<int>(c.routine)]) + "_N" + name_of(c.N) +
                     "_NA" + name_of(c.NA);
  if (c.routine != Routine::mtxcnv) name += "_M" + name_of(c.M) + "_MV" + name_of(c.MV);
  return name + "_" + works[static_cast<int>(c.work)];
}

INSTANTIATE_TEST_SUITE_P(Table, CEntries, testing::Range(0, int(std::size(kCalls))), call_name);

// Two threads at once through eigcabw_ and eigchw_, each with its own WORK,
// over every solve of the table that succeeds, in different orders and
// several times: the bits of the sequential solves each time.
TEST(CEntriesThreads, TwoThreadsGiveTheBitsOfTheSequentialSolves) {
  std::vector<int> rows;
  std::vector<Outputs> want(std::size(kCalls));
  for (int r = 0; r < int(std::size(kCalls)); ++r) {
    if (kCalls[r].work == Work::static_arrays || kCalls[r].work == Work::too_short) continue;
    want[r] = expected(kCalls[r]);
    if (want[r].ILL == 0) rows.push_back(r);
  }
  ASSERT_GE(rows.size(), 2u);
  constexpr int kRounds = 3;
  std::string mismatches[2];
  const auto solver = [&](int t) {
    for (int round = 0; round < kRounds; ++round)
      for (std::size_t k = 0; k < rows.size(); ++k) {
        const int r = rows[(k + t) % rows.size()];
        const std::string d = differences(want[r], through_c(kCalls[r]));
        if (!d.empty()) mismatches[t] += " row " + std::to_string(r) + ":" + d;
      }
  };
  std::thread first(solver, 0), second(solver, 1);
  first.join();
  second.join();
  EXPECT_EQ(mismatches[0], "");
  EXPECT_EQ(mismatches[1], "");
}

}  // namespace
