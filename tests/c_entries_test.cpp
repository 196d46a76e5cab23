// The entry points of geneig.h against the C++ routines they forward to:
// the same bits in every output, the same line on standard output, for
// solves and for refused arguments. N, NA, M and MV are handed over from a
// table in read-only storage, so a routine writing one would fault.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "eigcab.hpp"
#include "geneig.h"
#include "mtxcnv.hpp"
#include "oracle.hpp"

namespace {

using namespace geneig::oracle;

enum class Routine { eigcab, eigch, mtxcnv };

struct Call {
  Routine routine;
  std::int32_t N, NA, M, MV;  // mtxcnv: N and N1 = NA
};

constexpr Call kCalls[] = {
    {Routine::eigcab, 2, 2, 2, 2},   {Routine::eigcab, 5, 7, 5, 5},
    {Routine::eigcab, 6, 6, -2, -1}, {Routine::eigcab, 4, 4, 3, 0},
    {Routine::eigcab, 3, 2, 3, 3},   {Routine::eigcab, 1, 1, 1, 1},
    {Routine::eigch, 2, 3, -1, 1},   {Routine::eigch, 6, 6, 6, 6},
    {Routine::eigch, 4, 4, 0, 0},    {Routine::mtxcnv, 1, 1, 0, 0},
    {Routine::mtxcnv, 5, 6, 0, 0},   {Routine::mtxcnv, 3, 2, 0, 0},
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

class CEntries : public testing::TestWithParam<int> {};

TEST_P(CEntries, ForwardToTheCxxRoutinesBitForBit) {
  const Call& c = kCalls[GetParam()];
  Outputs cxx = inputs(c), fortran = inputs(c);
  testing::internal::CaptureStdout();
  switch (c.routine) {
    case Routine::eigcab:
      geneig::eigcab(cxx.A.data(), cxx.B.data(), c.N, c.NA, c.M, c.MV, cxx.EPS, cxx.D.data(),
                     cxx.E.data(), cxx.V.data(), cxx.ILL, cxx.IW.data(), cxx.W.data());
      break;
    case Routine::eigch:
      geneig::eigch(cxx.A.data(), c.N, c.NA, c.M, c.MV, cxx.EPS, cxx.W.data(), cxx.IW.data(),
                    cxx.E.data(), cxx.V.data(), cxx.ILL);
      break;
    case Routine::mtxcnv:
      geneig::mtxcnv(cxx.a.data(), cxx.b.data(), c.N, c.NA, cxx.d.data(), cxx.ILL);
      break;
  }
  cxx.printed = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  switch (c.routine) {
    case Routine::eigcab:
      eigcab_(pairs(fortran.A), pairs(fortran.B), &c.N, &c.NA, &c.M, &c.MV, &fortran.EPS,
              reinterpret_cast<double*>(fortran.D.data()), fortran.E.data(), pairs(fortran.V),
              &fortran.ILL, fortran.IW.data(), fortran.W.data());
      break;
    case Routine::eigch:
      eigch_(pairs(fortran.A), &c.N, &c.NA, &c.M, &c.MV, &fortran.EPS, fortran.W.data(),
             fortran.IW.data(), fortran.E.data(), pairs(fortran.V), &fortran.ILL);
      break;
    case Routine::mtxcnv:
      mtxcnv_(fortran.a.data(), fortran.b.data(), &c.N, &c.NA, fortran.d.data(), &fortran.ILL);
      break;
  }
  fortran.printed = testing::internal::GetCapturedStdout();

  const auto same = [](const auto& x, const auto& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), sizeof x[0] * x.size()) == 0;
  };
  EXPECT_TRUE(same(cxx.A.a, fortran.A.a));
  EXPECT_TRUE(same(cxx.B.a, fortran.B.a));
  EXPECT_TRUE(same(cxx.V.a, fortran.V.a));
  EXPECT_TRUE(same(cxx.a.a, fortran.a.a));
  EXPECT_TRUE(same(cxx.b.a, fortran.b.a));
  EXPECT_TRUE(same(cxx.D, fortran.D));
  EXPECT_TRUE(same(cxx.d, fortran.d));
  EXPECT_TRUE(same(cxx.E, fortran.E));
  EXPECT_EQ(std::memcmp(&cxx.EPS, &fortran.EPS, sizeof cxx.EPS), 0);
  EXPECT_EQ(cxx.ILL, fortran.ILL);
  EXPECT_EQ(cxx.printed, fortran.printed);
}

INSTANTIATE_TEST_SUITE_P(Table, CEntries, testing::Range(0, int(std::size(kCalls))));

}  // namespace
