// Structured pencils from the fields the solver serves, each family one
// table, every pencil judged against reference LAPACK's zhegv on the same
// pencil: the eigenvalues' error, measured against a reference computed in
// long double (oracle::reference_eigenvalues), at most kFactor times
// zhegv's error plus kSlack n eps; the residual ratio below 30; the loss of
// B-orthonormality, which grows with cond(B) for every method that factors
// B, at most kFactor times zhegv's or 30.
//
//   KmsB         complex Kac-Murdock-Szego B, |z| from 0.5 to 0.99, random A:
//                multipliers of modulus |z| in every row of B's factor
//   GaussianBasis overlap and Hamiltonian of a line of Gaussians with a
//                Bloch phase, cond(B) from 3e2 to 1e12
//   Graded       S A S, S B S with S = diag(10^(g t_i)), g = 10 .. 150: the
//                eigenvalues are those of the ungraded (A, B)
//   PowersOfTen  the same property for S of random powers of ten, over
//                random pencils and the KMS and Gaussian families
//
// The worst ratio of each family is printed at the end of the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "structured.hpp"
#include "test_support.hpp"

namespace {

using namespace geneig::oracle;
using geneig::structured::Basis;
using geneig::test::clean;
using geneig::test::Solution;
using geneig::test::solve;
namespace structured = geneig::structured;

// Our eigenvalues' error at most this multiple of zhegv's, plus kSlack n eps
// of the largest eigenvalue.
constexpr double kFactor = 4.0;
constexpr double kSlack = 4.0;
// LAPACK's acceptance limit for its test ratios.
constexpr double kRatioLimit = 30.0;
// A correct solve's residual check stays below this fraction of its bound.
constexpr double kCheckMargin = 1e-2;

// family -> measure -> the largest value seen in this run.
std::map<std::string, std::map<std::string, double>>& worst() {
  static std::map<std::string, std::map<std::string, double>> table;
  return table;
}

// Keeps the worst value of `measure` for `family`, and records this test's
// value as a property (in the XML report).
void note(const std::string& family, const std::string& measure, double value) {
  double& w = worst()[family][measure];
  w = std::max(w, value);
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  testing::Test::RecordProperty(measure, text);
}

class Summary : public testing::Environment {
 public:
  void TearDown() override {
    if (worst().empty()) return;
    std::printf("\nWorst per family (errors relative to the largest eigenvalue, in n eps):\n");
    for (const auto& [family, measures] : worst()) {
      std::printf("  %-14s", family.c_str());
      for (const auto& [measure, value] : measures) std::printf("  %s %.3g", measure.c_str(), value);
      std::printf("\n");
    }
  }
};
const testing::Environment* const kSummary = testing::AddGlobalTestEnvironment(new Summary);

// A pencil and the reference eigenvalues it must give; for a graded one,
// S A0 S and S B0 S, also its ungraded twin and s = diag(S).
struct Case {
  ZMatrix A, B;
  std::vector<long double> reference;
  ZMatrix A0, B0;
  std::vector<double> s;
};

struct Row {
  const char* family;
  int n;
  double parameter;  // |z|, the width of the Gaussians, g, or the range of the powers
  int seed = 0;
};

void PrintTo(const Row& r, std::ostream* os) {
  *os << r.family << " n " << r.n << " parameter " << r.parameter << " seed " << r.seed;
}

std::string row_name(const testing::TestParamInfo<Row>& info) {
  char text[64];
  std::snprintf(text, sizeof text, "N%d_P%g_S%d", info.param.n, info.param.parameter,
                info.param.seed);
  std::string name = text;
  std::replace(name.begin(), name.end(), '.', 'p');
  return name;
}

Case with_reference(ZMatrix A, ZMatrix B) {
  std::vector<long double> r = reference_eigenvalues(A, B);
  return {std::move(A), std::move(B), std::move(r), {}, {}, {}};
}

Case kms_case(int n, double modulus, int seed) {
  Rng rng(kSeed + 7919u * static_cast<unsigned>(seed) + static_cast<unsigned>(n));
  ZMatrix A = random_hermitian(n, rng);
  return with_reference(std::move(A), structured::kms(n, std::polar(modulus, 0.3)));
}

Case gaussian_case(int n, double width, int seed) {
  Basis b = structured::gaussian_line(n, width, 0.7 + 0.1 * seed, 4.0 / n);
  return with_reference(std::move(b.H), std::move(b.S));
}

// The graded twin of a pencil, with the reference of the ungraded one.
Case graded_case(const Case& c, const std::vector<double>& s) {
  return {structured::graded(c.A, s), structured::graded(c.B, s), c.reference, c.A, c.B, s};
}

Case random_case(int n, int seed) {
  Rng rng(kSeed + 104729u * static_cast<unsigned>(seed) + static_cast<unsigned>(n));
  ZMatrix A = random_hermitian(n, rng);
  ZMatrix B = random_hpd(n, rng);
  return with_reference(std::move(A), std::move(B));
}

// S = diag(10^k_i), the k_i integers drawn uniformly from [-range, range],
// over a pencil chosen by the seed: random, KMS or Gaussian.
Case powers_of_ten_case(int n, double range, int seed) {
  const Case base = seed % 3 == 0   ? random_case(n, seed)
                    : seed % 3 == 1 ? kms_case(n, 0.95, seed)
                                    : gaussian_case(n, 1.2, seed);
  Rng rng(kSeed + 31u * static_cast<unsigned>(seed));
  const int span = static_cast<int>(range);
  std::vector<double> s(n);
  for (double& x : s) x = std::pow(10.0, static_cast<int>(rng() % (2 * span + 1)) - span);
  return graded_case(base, s);
}

Case graded_random_case(int n, double g, int seed) {
  const Case base = random_case(n, seed);
  Rng rng(kSeed + 17u * static_cast<unsigned>(seed) + static_cast<unsigned>(n));
  return graded_case(base, structured::grading(n, g, rng));
}

Case make_case(const Row& r) {
  const std::string f = r.family;
  if (f == "KmsB") return kms_case(r.n, r.parameter, r.seed);
  if (f == "GaussianBasis") return gaussian_case(r.n, r.parameter, r.seed);
  if (f == "Graded") return graded_random_case(r.n, r.parameter, r.seed);
  return powers_of_ten_case(r.n, r.parameter, r.seed);
}

class Structured : public testing::TestWithParam<Row> {};

TEST_P(Structured, AsAccurateAsZhegv) {
  const Row& row = GetParam();
  const Case c = make_case(row);
  const int n = row.n;
  ASSERT_EQ(static_cast<int>(c.reference.size()), n) << "the reference needs B positive definite";
  const Solution s = solve(c.A, c.B);
  EXPECT_TRUE(clean(s));
  const ZEigen z = zhegv(c.A, c.B);
  ASSERT_EQ(z.info, 0);

  const double unit = n * kEps;
  const double ours = relative_error(s.E, c.reference) / unit;
  const double theirs = relative_error(z.values, c.reference) / unit;
  // For a graded pencil, whose residual in the norm of A and B sees only
  // its largest rows, the residual and the B-orthonormality are those of
  // S v for the ungraded twin: each row measured at its own scale.
  ZMatrix V = s.V, W = z.vectors;
  for (int i = 1; i <= static_cast<int>(c.s.size()); ++i)
    for (int j = 1; j <= n; ++j) V(i, j) *= c.s[i - 1], W(i, j) *= c.s[i - 1];
  const ZMatrix& A = c.s.empty() ? c.A : c.A0;
  const ZMatrix& B = c.s.empty() ? c.B : c.B0;
  const double residual = residual_ratio(A, B, s.E, V);
  const double orthonormality = orthonormality_ratio(B, V, n);
  const double z_orthonormality = orthonormality_ratio(B, W, n);
  note(row.family, "error", ours);
  note(row.family, "zhegv_error", theirs);
  note(row.family, "residual", residual);
  note(row.family, "orthonormality", orthonormality);
  note(row.family, "zhegv_orthonormality", z_orthonormality);
  // The program's residual check, far from firing on a correct solve.
  const double check = geneig::test::residual_check_share(c.A, c.B, s);
  note(row.family, "check", check);
  EXPECT_LE(check, kCheckMargin);
  EXPECT_LE(ours, kFactor * theirs + kSlack) << "zhegv's error " << theirs << " n eps";
  EXPECT_LE(residual, kRatioLimit);
  EXPECT_LE(orthonormality, std::max(kRatioLimit, kFactor * z_orthonormality))
      << "zhegv's " << z_orthonormality;
}

INSTANTIATE_TEST_SUITE_P(KmsB, Structured,
                         testing::Values(Row{"KmsB", 20, 0.5}, Row{"KmsB", 40, 0.8},
                                         Row{"KmsB", 100, 0.9}, Row{"KmsB", 60, 0.95},
                                         Row{"KmsB", 120, 0.99}, Row{"KmsB", 200, 0.99}),
                         row_name);
INSTANTIATE_TEST_SUITE_P(GaussianBasis, Structured,
                         testing::Values(Row{"GaussianBasis", 40, 0.8}, Row{"GaussianBasis", 50, 1.0},
                                         Row{"GaussianBasis", 60, 1.2}, Row{"GaussianBasis", 200, 1.2},
                                         Row{"GaussianBasis", 80, 1.4}, Row{"GaussianBasis", 60, 1.6},
                                         Row{"GaussianBasis", 40, 1.75}),
                         row_name);
INSTANTIATE_TEST_SUITE_P(Graded, Structured,
                         testing::Values(Row{"Graded", 10, 10}, Row{"Graded", 50, 10},
                                         Row{"Graded", 10, 40}, Row{"Graded", 100, 40},
                                         Row{"Graded", 10, 80}, Row{"Graded", 60, 80},
                                         Row{"Graded", 200, 80}, Row{"Graded", 10, 150},
                                         Row{"Graded", 40, 150}, Row{"Graded", 200, 150}),
                         row_name);
INSTANTIATE_TEST_SUITE_P(PowersOfTen, Structured,
                         testing::Values(Row{"PowersOfTen", 30, 5, 0}, Row{"PowersOfTen", 30, 5, 1},
                                         Row{"PowersOfTen", 30, 5, 2}, Row{"PowersOfTen", 50, 40, 3},
                                         Row{"PowersOfTen", 50, 40, 4}, Row{"PowersOfTen", 50, 40, 5},
                                         Row{"PowersOfTen", 20, 150, 6}, Row{"PowersOfTen", 20, 150, 7},
                                         Row{"PowersOfTen", 20, 150, 8}),
                         row_name);

}  // namespace
