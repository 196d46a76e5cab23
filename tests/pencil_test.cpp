// The generalized solver against reference LAPACK's zhegv, by property:
// eigenvalues, residuals, B-orthonormality and the normalization of the
// eigenvectors, on families of pencils of orders 3 to 200; then repeated
// eigenvalues and tight clusters, where inverse iteration is weakest, each
// over many random seeds.
//
// Every solve is made as the program makes it: leading dimension NMAX, all
// eigenvalues and all eigenvectors (M = MV = N, from one variable), EPS = 0
// (bisection to full resolution) and ILL preset to 0.
//
// The worst ratio of each family and measure is recorded as a test property
// and printed at the end of the run, so that the margins stay in view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.hpp"

namespace {

using geneig::NMAX;
using namespace geneig::oracle;
using geneig::test::clean;
using geneig::test::Solution;
using geneig::test::solve;

using geneig::test::kRatioLimit;
// |E_j - R_j| <= 100 n eps max |R|: eigenvalues of a backward-stable method
// against the reference.
constexpr double kEigenvalueLimit = 100.0;
// The condition number of the ill-conditioned B.
constexpr double kIllCondition = 1e8;

// ---- Worst ratios ----------------------------------------------------------

// family -> measure -> the largest value seen in this run.
std::map<std::string, std::map<std::string, double>>& worst_ratios() {
  static std::map<std::string, std::map<std::string, double>> table;
  return table;
}

// Keeps the worst value of `measure` for `family`, and records this test's
// value as a property (in the XML report, and in the summary below).
void note(const std::string& family, const std::string& measure, double value) {
  double& worst = worst_ratios()[family][measure];
  worst = std::max(worst, value);
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  testing::Test::RecordProperty(measure, text);
}

// Prints the table of worst ratios when the run ends.
class WorstRatioSummary : public testing::Environment {
 public:
  void TearDown() override {
    if (worst_ratios().empty()) return;
    std::printf("\nWorst ratios per family (limits: residual and orthonormality %g, "
                "eigenvalue %g):\n",
                kRatioLimit, kEigenvalueLimit);
    for (const auto& [family, measures] : worst_ratios()) {
      std::printf("  %-22s", family.c_str());
      for (const auto& [measure, value] : measures) std::printf("  %s %.3g", measure.c_str(), value);
      std::printf("\n");
    }
  }
};

const testing::Environment* const kSummary =
    testing::AddGlobalTestEnvironment(new WorstRatioSummary);

// ---- Pencils ---------------------------------------------------------------

struct Pencil {
  ZMatrix A, B;
};

ZMatrix random_diagonal(int n, Rng& rng) {
  ZMatrix m(n, n);
  for (int i = 1; i <= n; ++i) m(i, i) = uniform(rng);
  return m;
}

// n values 1, -1.5, 2, -2.5, ..., the k-th repeated multiplicities[k mod
// size] times and the last one cut short to fill n, in descending order.
std::vector<double> repeated_spectrum(int n, const std::vector<int>& multiplicities) {
  std::vector<std::pair<double, int>> values;
  for (int k = 0, filled = 0; filled < n; ++k) {
    const int count = std::min(multiplicities[k % multiplicities.size()], n - filled);
    values.emplace_back((k % 2 == 0 ? 1.0 : -1.0) * (1.0 + 0.5 * k), count);
    filled += count;
  }
  return spectrum_with_multiplicities(values);
}

// The Cholesky factor G of B = G G^H (lower triangular).
ZMatrix cholesky(const ZMatrix& B) {
  const int n = B.rows;
  ZMatrix G(n, n);
  for (int j = 1; j <= n; ++j) {
    double d = B(j, j).real();
    for (int k = 1; k < j; ++k) d -= std::norm(G(j, k));
    G(j, j) = std::sqrt(d);
    for (int i = j + 1; i <= n; ++i) {
      cplx s = B(i, j);
      for (int k = 1; k < j; ++k) s -= G(i, k) * std::conj(G(j, k));
      G(i, j) = s / G(j, j).real();
    }
  }
  return G;
}

// A = G C G^H with B = G G^H: then A v = lambda B v exactly when
// C (G^H v) = lambda (G^H v), so the pencil (A, B) has C's eigenvalues,
// multiplicities included. The lower triangle is formed and mirrored, so A
// is exactly Hermitian.
ZMatrix congruent(const ZMatrix& C, const ZMatrix& B) {
  const int n = C.rows;
  const ZMatrix G = cholesky(B);
  ZMatrix GC(n, n), A(n, n);
  for (int j = 1; j <= n; ++j)
    for (int k = 1; k <= n; ++k)
      for (int i = k; i <= n; ++i) GC(i, j) += G(i, k) * C(k, j);
  for (int j = 1; j <= n; ++j) {
    for (int i = j; i <= n; ++i) {
      cplx s = 0.0;
      for (int k = 1; k <= j; ++k) s += GC(i, k) * std::conj(G(j, k));
      A(i, j) = s;
      A(j, i) = std::conj(s);
    }
    A(j, j) = A(j, j).real();
  }
  return A;
}

// Multiplicities of the exact-repeat families of the first group.
const std::vector<int> kMixedMultiplicities = {2, 3, 5, 10};

struct Family {
  const char* name;
  Pencil (*make)(int n, Rng& rng);
  bool identity_b;
  bool well_conditioned_b;
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

const Family kRandomHpdB{"RandomHpdB",
                         [](int n, Rng& rng) {
                           ZMatrix A = random_hermitian(n, rng);
                           return Pencil{A, random_hpd(n, rng)};
                         },
                         false, true};
const Family kIdentityB{"IdentityB",
                        [](int n, Rng& rng) { return Pencil{random_hermitian(n, rng), identity(n)}; },
                        true, true};
const Family kRealSymmetric{"RealSymmetric",
                            [](int n, Rng& rng) {
                              ZMatrix A = to_complex(random_symmetric(n, rng));
                              return Pencil{A, to_complex(random_spd(n, rng))};
                            },
                            false, true};
const Family kDiagonalAHpdB{"DiagonalAHpdB",
                            [](int n, Rng& rng) {
                              ZMatrix A = random_diagonal(n, rng);
                              return Pencil{A, random_hpd(n, rng)};
                            },
                            false, true};
const Family kDiagonalAIdentityB{
    "DiagonalAIdentityB",
    [](int n, Rng& rng) { return Pencil{random_diagonal(n, rng), identity(n)}; }, true, true};
const Family kExactMultiple{
    "ExactMultiple",
    [](int n, Rng& rng) {
      return Pencil{with_spectrum(repeated_spectrum(n, kMixedMultiplicities), rng), identity(n)};
    },
    true, true};
const Family kExactMultipleHpdB{"ExactMultipleHpdB",
                                [](int n, Rng& rng) {
                                  ZMatrix C =
                                      with_spectrum(repeated_spectrum(n, kMixedMultiplicities), rng);
                                  ZMatrix B = random_hpd(n, rng);
                                  return Pencil{congruent(C, B), B};
                                },
                                false, true};
const Family kIllConditionedB{"IllConditionedB",
                              [](int n, Rng& rng) {
                                ZMatrix A = random_hermitian(n, rng);
                                return Pencil{A, hpd_with_condition(n, kIllCondition, rng)};
                              },
                              false, false};

// Order 2 is the closed form; the families with exact repeats start at 3,
// since at order 2 their one double eigenvalue is the closed form's hardest
// case (see CloseOrder2 below).
const auto kOrders = testing::Values(2, 3, 10, 50, 200);
const auto kRepeatOrders = testing::Values(3, 10, 50, 200);

using FamilyOrder = std::tuple<Family, int>;

std::string family_order_name(const testing::TestParamInfo<FamilyOrder>& info) {
  return std::string(std::get<0>(info.param).name) + "_N" + std::to_string(std::get<1>(info.param));
}

// Each (family, order) has its own seed, the same in every test of it.
Pencil make_pencil(const FamilyOrder& p) {
  const auto& [family, n] = p;
  Rng rng(kSeed + static_cast<unsigned>(n));
  return family.make(n, rng);
}

// ---- Eigenvalues -----------------------------------------------------------

class PencilEigenvalues : public testing::TestWithParam<FamilyOrder> {};

// The pencil (P A P^T, P B P^T) with P the reversal of the indices: exactly
// the same eigenvalues, but every rounding error of a solver falls
// elsewhere, so two solves differ by about that solver's own error.
ZMatrix reversed(const ZMatrix& M) {
  const int n = M.rows;
  ZMatrix R(n, n);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) R(i, j) = M(n + 1 - i, n + 1 - j);
  return R;
}

// Against zhegv: |E_j - R_j| <= 100 n eps max |R| where B is well
// conditioned. With cond(B) = 1e8 the eigenvalues are that much more
// sensitive to rounding in B, for zhegv as much as for the solver; zhegv's
// own error is gauged by its disagreement with itself on the reversed
// pencil, and the solver's difference from zhegv may exceed that by a
// factor of 30 at most (a loss of three digits would not). In every case
// the largest eigenvalue comes first.
TEST_P(PencilEigenvalues, AgreeWithZhegvAndDescend) {
  const auto& [family, n] = GetParam();
  const Pencil p = make_pencil(GetParam());
  const Solution s = solve(p.A, p.B);
  ASSERT_TRUE(clean(s));
  const ZEigen ref = zhegv(p.A, p.B);
  ASSERT_EQ(ref.info, 0);

  const double ratio = eigenvalue_ratio(s.E, ref.values);
  note(family.name, "eigenvalue", ratio);
  double limit = kEigenvalueLimit;
  if (!family.well_conditioned_b) {
    const ZEigen other = zhegv(reversed(p.A), reversed(p.B));
    ASSERT_EQ(other.info, 0);
    const double zhegv_error = eigenvalue_ratio(other.values, ref.values);
    note(family.name, "zhegv_eigenvalue", zhegv_error);
    limit = std::max(limit, kRatioLimit * zhegv_error);
  }
  EXPECT_LE(ratio, limit);
  for (int j = 1; j < n; ++j) EXPECT_GE(s.E[j - 1], s.E[j]) << "E(" << j << ") < E(" << j + 1 << ")";
}

INSTANTIATE_TEST_SUITE_P(Families, PencilEigenvalues,
                         testing::Combine(testing::Values(kRandomHpdB, kIdentityB, kRealSymmetric,
                                                          kDiagonalAHpdB, kDiagonalAIdentityB,
                                                          kIllConditionedB),
                                          kOrders),
                         family_order_name);
INSTANTIATE_TEST_SUITE_P(ExactRepeats, PencilEigenvalues,
                         testing::Combine(testing::Values(kExactMultiple, kExactMultipleHpdB),
                                          kRepeatOrders),
                         family_order_name);
// A double eigenvalue at order 2 under a random B: a closed form that
// formed the discriminant as t*t - p would cancel and come out some 1e7 ulps
// off.
INSTANTIATE_TEST_SUITE_P(CloseOrder2, PencilEigenvalues,
                         testing::Combine(testing::Values(kExactMultipleHpdB), testing::Values(2)),
                         family_order_name);

// ---- Eigenvectors, B well conditioned --------------------------------------

class PencilVectors : public testing::TestWithParam<FamilyOrder> {};

// |A v - lambda B v| / ((|A| + |lambda| |B|) |v| n eps) and
// |V^H B V - I| / (n eps) both below 30.
TEST_P(PencilVectors, ResidualAndBOrthonormalityBelowThirty) {
  const auto& [family, n] = GetParam();
  const Pencil p = make_pencil(GetParam());
  const Solution s = solve(p.A, p.B);
  ASSERT_TRUE(clean(s));

  const double residual = residual_ratio(p.A, p.B, s.E, s.V);
  const double orthonormality = orthonormality_ratio(p.B, s.V, n);
  note(family.name, "residual", residual);
  note(family.name, "orthonormality", orthonormality);
  EXPECT_LE(residual, kRatioLimit);
  EXPECT_LE(orthonormality, kRatioLimit);
}

INSTANTIATE_TEST_SUITE_P(Families, PencilVectors,
                         testing::Combine(testing::Values(kRandomHpdB, kIdentityB, kRealSymmetric,
                                                          kDiagonalAHpdB, kDiagonalAIdentityB),
                                          kOrders),
                         family_order_name);
INSTANTIATE_TEST_SUITE_P(ExactRepeats, PencilVectors,
                         testing::Combine(testing::Values(kExactMultiple, kExactMultipleHpdB),
                                          kRepeatOrders),
                         family_order_name);
INSTANTIATE_TEST_SUITE_P(CloseOrder2, PencilVectors,
                         testing::Combine(testing::Values(kExactMultipleHpdB), testing::Values(2)),
                         family_order_name);

class IdentityBVectors : public testing::TestWithParam<FamilyOrder> {};

// With B = I the solver's vectors are those of the Hermitian eigensolver:
// each was divided by its component m of largest |Re| + |Im| and then
// scaled by a positive number, so v_m is real and positive to rounding.
// The division turns the vector, so in the result m need not be the
// largest in |Re| + |Im| any more; but |Re| + |Im| lies between |z| and
// sqrt(2) |z|, so |v_m| >= max_i |v_i| / sqrt(2). Some component of at least
// that modulus must therefore be real and positive; a vector whose phase
// was never fixed has none.
//
// Vectors whose eigenvalue lies within a thousandth of the norm bound of
// the previous one are re-orthogonalized against it afterwards, which mixes
// their phase. The norm bound (largest absolute row sum of the tridiagonal
// matrix) is at most sqrt(3) max |lambda|, so a gap above 2e-3 max |lambda|
// marks a vector that is certainly left alone; only those are checked.
TEST_P(IdentityBVectors, LargestComponentIsRealAndPositive) {
  const auto& [family, n] = GetParam();
  const Pencil p = make_pencil(GetParam());
  const Solution s = solve(p.A, p.B);
  ASSERT_TRUE(clean(s));

  double norm = 0.0;
  for (const double e : s.E) norm = std::max(norm, std::abs(e));
  double worst = 0.0;
  for (int j = 1; j <= n; ++j) {
    if (j > 1 && s.E[j - 2] - s.E[j - 1] <= 2e-3 * norm) continue;
    double largest = 0.0;
    for (int i = 1; i <= n; ++i) largest = std::max(largest, std::abs(s.V(i, j)));
    // The least |Im v_i| / (eps |v_i|) over the large candidates with Re v_i > 0.
    double phase = std::numeric_limits<double>::infinity();
    for (int i = 1; i <= n; ++i) {
      const cplx v = s.V(i, j);
      if (std::abs(v) * std::sqrt(2.0) >= largest * (1 - 4 * kEps) && v.real() > 0.0)
        phase = std::min(phase, std::abs(v.imag()) / (kEps * std::abs(v)));
    }
    worst = std::max(worst, phase);
    EXPECT_LE(phase, 4.0 * n) << "vector " << j << ": no large component is real and positive";
  }
  note(family.name, "largest_imag_eps", worst);
}

INSTANTIATE_TEST_SUITE_P(Families, IdentityBVectors,
                         testing::Combine(testing::Values(kIdentityB, kDiagonalAIdentityB),
                                          kOrders),
                         family_order_name);
INSTANTIATE_TEST_SUITE_P(ExactRepeats, IdentityBVectors,
                         testing::Combine(testing::Values(kExactMultiple), kRepeatOrders),
                         family_order_name);

class RealPencilVectors : public testing::TestWithParam<FamilyOrder> {};

// A real symmetric-definite pencil has real eigenvectors, and the solver's
// normalization fixes the free phase of each to a real one.
TEST_P(RealPencilVectors, EigenvectorsAreReal) {
  const auto& [family, n] = GetParam();
  const Pencil p = make_pencil(GetParam());
  const Solution s = solve(p.A, p.B);
  ASSERT_TRUE(clean(s));

  double largest = 0.0, imag = 0.0;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      largest = std::max(largest, std::abs(s.V(i, j)));
      imag = std::max(imag, std::abs(s.V(i, j).imag()));
    }
  note(family.name, "imag_parts_eps", imag / (kEps * largest));
  EXPECT_LE(imag, 4 * n * kEps * largest);
}

INSTANTIATE_TEST_SUITE_P(Families, RealPencilVectors,
                         testing::Combine(testing::Values(kRealSymmetric), kOrders),
                         family_order_name);

// ---- Eigenvectors, B ill conditioned ---------------------------------------

class IllConditionedB : public testing::TestWithParam<int> {};

// With cond(B) = 1e8 every method's vectors lose B-orthogonality in
// proportion to the condition; the residual is still what a stable method
// leaves, so it must be no larger than zhegv's on the same pencil, and the
// loss of B-orthonormality at most ten times zhegv's.
TEST_P(IllConditionedB, ResidualNoLargerThanZhegvs) {
  const int n = GetParam();
  const Pencil p = make_pencil({kIllConditionedB, n});
  const Solution s = solve(p.A, p.B);
  ASSERT_TRUE(clean(s));
  const ZEigen ref = zhegv(p.A, p.B);
  ASSERT_EQ(ref.info, 0);

  const double residual = residual_ratio(p.A, p.B, s.E, s.V);
  const double ref_residual = residual_ratio(p.A, p.B, ref.values, ref.vectors);
  const double orthonormality = orthonormality_ratio(p.B, s.V, n);
  const double ref_orthonormality = orthonormality_ratio(p.B, ref.vectors, n);
  note(kIllConditionedB.name, "residual", residual);
  note(kIllConditionedB.name, "zhegv_residual", ref_residual);
  note(kIllConditionedB.name, "orthonormality", orthonormality);
  note(kIllConditionedB.name, "zhegv_orthonormality", ref_orthonormality);
  EXPECT_LE(residual, ref_residual);
  EXPECT_LE(orthonormality, 10 * ref_orthonormality);
}

INSTANTIATE_TEST_SUITE_P(Orders, IllConditionedB, kOrders, testing::PrintToStringParamName());

// ---- Part of the spectrum ---------------------------------------------------

// |M| eigenvalues from one end and |MV| of their vectors, both signs of
// each: M > 0 the largest, descending; M < 0 the smallest, ascending; MV > 0
// B-orthonormal vectors, MV < 0 vectors scaled by a component, not
// orthogonalized.
struct Part {
  Family family;
  int n, m, mv;
  bool simple;  // the pencil's eigenvalues are simple and well apart
};

void PrintTo(const Part& p, std::ostream* os) {
  *os << p.family.name << " N " << p.n << " M " << p.m << " MV " << p.mv;
}

class PartialProblems : public testing::TestWithParam<Part> {};

// Against zhegv's eigenvalues from the same end, residual ratios below 30
// for every vector returned, B-orthonormality below 30 for MV > 0 (for
// MV < 0 after scaling each vector to unit B-norm, where the eigenvalues
// are simple and well apart), and columns past |MV| left as they were.
TEST_P(PartialProblems, AgreeWithZhegvFromTheirEndOfTheSpectrum) {
  const Part& c = GetParam();
  Rng rng(kSeed + static_cast<unsigned>(c.n));
  const Pencil p = c.family.make(c.n, rng);
  const Solution s = solve(p.A, p.B, c.m, c.mv);
  ASSERT_TRUE(clean(s));
  const ZEigen ref = zhegv(p.A, p.B);
  ASSERT_EQ(ref.info, 0);

  const int k = std::abs(c.m), j = std::abs(c.mv);
  std::vector<double> expected(k);
  for (int i = 0; i < k; ++i) expected[i] = c.m > 0 ? ref.values[i] : ref.values[c.n - 1 - i];
  EXPECT_LE(eigenvalue_ratio(s.E, expected), kEigenvalueLimit);

  const std::vector<double> with_vectors(s.E.begin(), s.E.begin() + j);
  EXPECT_LE(residual_ratio(p.A, p.B, with_vectors, s.V), kRatioLimit);
  ZMatrix unit = s.V;
  if (c.mv < 0) {
    for (int q = 1; q <= j; ++q) {
      cplx vbv = 0.0;
      for (int i = 1; i <= c.n; ++i)
        for (int l = 1; l <= c.n; ++l) vbv += std::conj(s.V(i, q)) * p.B(i, l) * s.V(l, q);
      for (int i = 1; i <= c.n; ++i) unit(i, q) /= std::sqrt(vbv.real());
    }
  }
  if (c.mv > 0 || c.simple) {
    EXPECT_LE(orthonormality_ratio(p.B, unit, j), kRatioLimit);
  }
  for (int q = j + 1; q <= c.n; ++q)
    for (int i = 1; i <= c.n; ++i)
      ASSERT_EQ(s.V(i, q), geneig::test::kUnwritten) << "V(" << i << "," << q << ")";
}

// Every sign combination on a pencil with simple eigenvalues and on one
// with repeated ones, at the closed form's order 2 and beyond.
std::vector<Part> parts() {
  std::vector<Part> v;
  for (const auto& [family, n, k, j, simple] :
       {std::tuple{kRandomHpdB, 2, 1, 1, true}, std::tuple{kRandomHpdB, 2, 2, 1, true},
        std::tuple{kRandomHpdB, 10, 4, 2, true}, std::tuple{kRandomHpdB, 50, 50, 20, true},
        std::tuple{kRandomHpdB, 50, 17, 17, true}, std::tuple{kExactMultipleHpdB, 30, 12, 7, false},
        std::tuple{kExactMultiple, 50, 25, 25, false}})
    for (const int sm : {1, -1})
      for (const int sv : {1, -1}) v.push_back({family, n, sm * k, sv * j, simple});
  return v;
}

INSTANTIATE_TEST_SUITE_P(Signs, PartialProblems, testing::ValuesIn(parts()),
                         [](const testing::TestParamInfo<Part>& info) {
                           const Part& p = info.param;
                           auto sign = [](int x) { return std::string(1, x < 0 ? 'm' : 'p') + std::to_string(std::abs(x)); };
                           return std::string(p.family.name) + "_N" + std::to_string(p.n) + "_M" +
                                  sign(p.m) + "_MV" + sign(p.mv);
                         });

// ---- Repeated eigenvalues and close clusters -------------------------------

// A Hermitian matrix with a prescribed spectrum (B = I unless stated), one
// per seed.
struct SpectrumCase {
  const char* name;
  int seeds;
  Pencil (*make)(int seed, Rng& rng, std::vector<double>& lambda);
};

void PrintTo(const SpectrumCase& c, std::ostream* os) { *os << c.name; }

// Q diag(lambda) Q^H with B = I.
Pencil unitary_similar(const std::vector<double>& lambda, Rng& rng) {
  return Pencil{with_spectrum(lambda, rng), identity(static_cast<int>(lambda.size()))};
}

template <int N, int Multiplicity>
Pencil repeats(int, Rng& rng, std::vector<double>& lambda) {
  lambda = repeated_spectrum(N, {Multiplicity});
  return unitary_similar(lambda, rng);
}

// Clusters of 2 to 5 members relatively `Spacing` apart, at orders 20 to 60,
// size and order varying with the seed. (The spacing is passed by
// reference: clang takes no double as a template argument.)
constexpr double kSpacing1e6 = 1e-6, kSpacing1e9 = 1e-9, kSpacing1e12 = 1e-12;
template <const double& Spacing>
Pencil clusters(int seed, Rng& rng, std::vector<double>& lambda) {
  lambda = clustered_spectrum(20 + 10 * (seed % 5), 2 + seed % 4, Spacing);
  return unitary_similar(lambda, rng);
}

// Seed 0 is W21+ itself, real and tridiagonal; every other seed a random
// unitary similarity of it, complex and full.
Pencil wilkinson(int seed, Rng& rng, std::vector<double>& lambda) {
  const DMatrix W = wilkinson_plus(21);
  lambda = dsyev(W).values;
  return seed == 0 ? Pencil{to_complex(W), identity(21)} : unitary_similar(lambda, rng);
}

// Multiplicity 3 in a pencil with a random positive definite B.
Pencil repeats_hpd_b(int, Rng& rng, std::vector<double>& lambda) {
  lambda = repeated_spectrum(30, {3});
  const ZMatrix C = with_spectrum(lambda, rng);
  const ZMatrix B = random_hpd(30, rng);
  return Pencil{congruent(C, B), B};
}

class ClusteredSpectra : public testing::TestWithParam<SpectrumCase> {};

// Over every seed: the prescribed eigenvalues to 100 n eps max |lambda|,
// residual and B-orthonormality ratios below 30.
TEST_P(ClusteredSpectra, OrthonormalityAndResidualBelowThirtyForEverySeed) {
  const SpectrumCase& c = GetParam();
  double worst_residual = 0.0, worst_orthonormality = 0.0, worst_eigenvalue = 0.0;
  for (int seed = 0; seed < c.seeds; ++seed) {
    Rng rng(kSeed + static_cast<unsigned>(seed));
    std::vector<double> lambda;
    const Pencil p = c.make(seed, rng, lambda);
    const int n = p.A.rows;
    const Solution s = solve(p.A, p.B);
    ASSERT_TRUE(clean(s)) << "seed " << seed;

    const double eigenvalue = eigenvalue_ratio(s.E, lambda);
    const double residual = residual_ratio(p.A, p.B, s.E, s.V);
    const double orthonormality = orthonormality_ratio(p.B, s.V, n);
    EXPECT_LE(eigenvalue, kEigenvalueLimit) << "seed " << seed << ", N = " << n;
    EXPECT_LE(residual, kRatioLimit) << "seed " << seed << ", N = " << n;
    EXPECT_LE(orthonormality, kRatioLimit) << "seed " << seed << ", N = " << n;
    worst_eigenvalue = std::max(worst_eigenvalue, eigenvalue);
    worst_residual = std::max(worst_residual, residual);
    worst_orthonormality = std::max(worst_orthonormality, orthonormality);
  }
  note(c.name, "eigenvalue", worst_eigenvalue);
  note(c.name, "residual", worst_residual);
  note(c.name, "orthonormality", worst_orthonormality);
}

const auto spectrum_case_name = [](const testing::TestParamInfo<SpectrumCase>& info) {
  return std::string(info.param.name);
};

INSTANTIATE_TEST_SUITE_P(Clusters, ClusteredSpectra,
                         testing::Values(SpectrumCase{"Cluster1e6", 30, clusters<kSpacing1e6>},
                                         SpectrumCase{"Cluster1e9", 30, clusters<kSpacing1e9>},
                                         SpectrumCase{"Cluster1e12", 30, clusters<kSpacing1e12>},
                                         SpectrumCase{"WilkinsonW21", 31, wilkinson}),
                         spectrum_case_name);
INSTANTIATE_TEST_SUITE_P(Repeats, ClusteredSpectra,
                         testing::Values(SpectrumCase{"Repeat2_N10", 30, repeats<10, 2>},
                                         SpectrumCase{"Repeat3_N30", 30, repeats<30, 3>},
                                         SpectrumCase{"Repeat5_N40", 30, repeats<40, 5>},
                                         SpectrumCase{"Repeat10_N60", 30, repeats<60, 10>},
                                         SpectrumCase{"Repeat3HpdB_N30", 30, repeats_hpd_b}),
                         spectrum_case_name);

}  // namespace
