// The program's residual check (result_check.hpp) as a function: results
// of correct solves pass it far below its bound, at every magnitude, and
// results with one thing wrong fail it. One table, a pencil and a change to
// its solved result each; the whole program's use of it is in fault_test
// (a planted fault in the reduction) and the catalogue.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "structured.hpp"
#include "test_support.hpp"

namespace {

using namespace geneig::oracle;
using geneig::test::Solution;
using geneig::test::solve;
namespace structured = geneig::structured;

// A correct solve stays below this fraction of the bound.
constexpr double kCheckMargin = 1e-2;

struct Pencil {
  ZMatrix A, B;
};

Pencil random_pencil(int n, double scale_a, double scale_b) {
  Rng rng(kSeed + static_cast<unsigned>(n));
  ZMatrix A = random_hermitian(n, rng), B = random_hpd(n, rng);
  for (auto& a : A.a) a *= scale_a;
  for (auto& b : B.a) b *= scale_b;
  return {A, B};
}

Pencil graded_pencil(int n, double g) {
  const Pencil p = random_pencil(n, 1, 1);
  Rng rng(kSeed + 5u * static_cast<unsigned>(n));
  const std::vector<double> s = structured::grading(n, g, rng);
  return {structured::graded(p.A, s), structured::graded(p.B, s)};
}

Pencil kms_pencil(int n) {
  const Pencil p = random_pencil(n, 1, 1);
  return {p.A, structured::kms(n, std::polar(0.99, 0.3))};
}

// The row of B's smallest diagonal entry.
int smallest_row(const ZMatrix& B) {
  int k = 1;
  for (int i = 2; i <= B.rows; ++i)
    if (B(i, i).real() < B(k, k).real()) k = i;
  return k;
}

enum class Change {
  none,
  eigenvalue,      // E(1) off by 1e-9 of itself
  swapped,         // the vectors of E(1) and E(2) exchanged
  zero_vector,     // V(., 1) = 0
  not_finite,      // V(1, 1) a NaN
  component,       // the component of V(., 1) in B's smallest row off by 1e-6
};

struct Row {
  const char* name;
  Pencil (*make)();
  Change change;
  bool passes;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

const Row kRows[] = {
    {"RandomPencil", [] { return random_pencil(50, 1, 1); }, Change::none, true},
    {"TinyPencil", [] { return random_pencil(30, 1e-300, 1e-280); }, Change::none, true},
    {"HugePencil", [] { return random_pencil(30, 1e300, 1e10); }, Change::none, true},
    {"KmsPencil", [] { return kms_pencil(120); }, Change::none, true},
    {"GradedBy1e150", [] { return graded_pencil(40, 150); }, Change::none, true},
    {"AZero", [] { return Pencil{ZMatrix(8, 8), identity(8)}; }, Change::none, true},
    {"EigenvalueOff", [] { return random_pencil(50, 1, 1); }, Change::eigenvalue, false},
    {"EigenvalueOffInATinyPencil", [] { return random_pencil(30, 1e-300, 1e-280); },
     Change::eigenvalue, false},
    {"VectorsSwapped", [] { return random_pencil(50, 1, 1); }, Change::swapped, false},
    {"ZeroVector", [] { return random_pencil(10, 1, 1); }, Change::zero_vector, false},
    {"NotFinite", [] { return random_pencil(10, 1, 1); }, Change::not_finite, false},
    // A component in a graded pencil's smallest row: invisible in the norms
    // of A and B, where it is rounding error of the largest rows.
    {"GradedSmallRowOff", [] { return graded_pencil(40, 150); }, Change::component, false},
};

class ResidualCheck : public testing::TestWithParam<Row> {};

TEST_P(ResidualCheck, PassesCorrectResultsFailsWrongOnes) {
  const Row& row = GetParam();
  const Pencil p = row.make();
  Solution s = solve(p.A, p.B);
  ASSERT_EQ(s.ILL, 0);
  const double share_before = geneig::test::residual_check_share(p.A, p.B, s);
  EXPECT_LE(share_before, kCheckMargin) << "the correct result";
  switch (row.change) {
    case Change::none:
      break;
    case Change::eigenvalue:
      s.E[0] *= 1 + 1e-9;
      break;
    case Change::swapped:
      for (int i = 1; i <= p.A.rows; ++i) std::swap(s.V(i, 1), s.V(i, 2));
      break;
    case Change::zero_vector:
      for (int i = 1; i <= p.A.rows; ++i) s.V(i, 1) = 0.0;
      break;
    case Change::not_finite:
      s.V(1, 1) = std::numeric_limits<double>::quiet_NaN();
      break;
    case Change::component:
      s.V(smallest_row(p.B), 1) *= 1 + 1e-6;
      break;
  }
  const double share = geneig::test::residual_check_share(p.A, p.B, s);
  if (row.passes)
    EXPECT_LE(share, kCheckMargin);
  else
    EXPECT_GT(share, 1.0) << "the changed result passes (correct: " << share_before << ")";
}

INSTANTIATE_TEST_SUITE_P(Results, ResidualCheck, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
