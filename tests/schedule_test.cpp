// The solve's schedule changes when work runs, never what it computes: the
// eigenvalues, eigenvectors (of A, and of the pencil through B's factor)
// and the work arrays that the scheduled solve leaves are those of the
// phases called one after another, bit for bit. Rows cover what the
// schedule has to get right: blocks of fewer than four vectors, vectors
// asked for fewer than the eigenvalues, both ends of the spectrum, mv < 0
// (no cluster orthogonalization), and clusters and repeated eigenvalues
// that run across the blocks of four, on random and structured matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "eigch_phases.hpp"
#include "structured.hpp"
#include "test_support.hpp"
#include "workspace.hpp"

namespace {

using geneig::cplx;
using geneig::NMAX;
namespace detail = geneig::detail;
using geneig::oracle::Rng;
using geneig::oracle::ZMatrix;
namespace oracle = geneig::oracle;
namespace structured = geneig::structured;

struct Row {
  const char* family;  // the Hermitian matrix A
  const char* pencil;  // the positive definite B whose factor takes the vectors on
  int n, m, mv;
};

void PrintTo(const Row& r, std::ostream* os) {
  *os << r.family << " with " << r.pencil << ", n = " << r.n << ", m = " << r.m << ", mv = " << r.mv;
}

std::string row_name(const testing::TestParamInfo<Row>& info) {
  const Row& r = info.param;
  return std::string(r.family) + "_" + r.pencil + "_N" + std::to_string(r.n) + "_M" +
         geneig::test::name_of(r.m) + "_MV" + geneig::test::name_of(r.mv);
}

ZMatrix matrix_of(const std::string& family, int n) {
  Rng rng(oracle::kSeed + static_cast<unsigned>(n));
  if (family == "Random") return oracle::random_hermitian(n, rng);
  // Clusters of three relatively 1e-6 apart, and eigenvalues of
  // multiplicity five: both run across the blocks of four.
  if (family == "Clusters") return oracle::with_spectrum(oracle::clustered_spectrum(n, 3, 1e-6), rng);
  if (family == "Repeated") {
    std::vector<std::pair<double, int>> spectrum;
    for (int k = 0, left = n; left > 0; ++k, left -= 5) spectrum.push_back({2.0 - k, std::min(5, left)});
    return oracle::with_spectrum(oracle::spectrum_with_multiplicities(spectrum), rng);
  }
  if (family == "Kms") return structured::kms(n, std::polar(0.95, 0.3));
  return structured::gaussian_line(n, 1.2, 0.7, 4.0 / n).H;  // GaussianH
}

ZMatrix pencil_of(const std::string& pencil, int n) {
  Rng rng(oracle::kSeed + 977u * static_cast<unsigned>(n));
  if (pencil == "Kms") return structured::kms(n, std::polar(0.9, 0.3));
  if (pencil == "Overlap") return structured::gaussian_line(n, 1.0, 0.7, 4.0 / n).S;
  return oracle::random_hpd(n, rng);
}

// Everything one solve writes.
struct Result {
  std::vector<cplx> A, V;
  std::vector<double> W, E;
  std::vector<int> IW;
  int ill = 0;
  Result() : A(NMAX * NMAX), V(NMAX * NMAX), W(NMAX * 7), E(NMAX), IW(NMAX) {}
};

geneig::Workspace work_scheduled, work_phases;

class Schedule : public testing::TestWithParam<Row> {};

TEST_P(Schedule, GivesTheBitsOfThePhasesOneAfterAnother) {
  const Row& r = GetParam();
  const int n = r.n, na = NMAX, nv = std::abs(r.mv);
  const ZMatrix A0 = oracle::embed(matrix_of(r.family, n), na);
  ZMatrix B = oracle::embed(pencil_of(r.pencil, n), na);
  std::vector<cplx> D(NMAX);
  int ill = 0;
  ASSERT_TRUE(detail::factor_b(B.data(), n, na, D.data(), ill));
  const double eps = 1e-14;

  Result s, p;
  s.A.assign(A0.a.begin(), A0.a.end());
  p.A = s.A;
  double eps_s = eps;
  ASSERT_TRUE(detail::solve_hermitian(s.A.data(), n, na, r.m, r.mv, eps_s, s.W.data(), s.IW.data(),
                                      s.E.data(), s.V.data(), s.ill, work_scheduled, B.data()));

  detail::reduce_to_tridiagonal(p.A.data(), n, na, p.W.data(), work_phases);
  const detail::SpectrumScale scale = detail::bisect_eigenvalues(p.W.data(), n, na, r.m, eps, p.E.data());
  const double cluster = r.mv > 0 ? detail::cluster_distance(eps, scale.beta) : -1.0;
  const bool refined = detail::inverse_iteration(p.W.data(), p.IW.data(), n, na, p.E.data(), nv,
                                                 scale, cluster, p.V.data(), work_phases);
  const bool separated = detail::back_transform(p.A.data(), p.W.data(), n, na, p.E.data(), r.mv, eps,
                                                scale.beta, p.V.data(), work_phases);
  detail::back_transform_pencil(p.V.data(), B.data(), n, na, nv, work_phases);
  p.ill = refined && separated ? 0 : GENEIG_ILL_VECTORS_NOT_SEPARATED;

  EXPECT_EQ(s.ill, p.ill);
  EXPECT_EQ(std::memcmp(s.E.data(), p.E.data(), sizeof(double) * std::abs(r.m)), 0) << "eigenvalues";
  for (int j = 0; j < nv; ++j)
    EXPECT_EQ(std::memcmp(&s.V[j * na], &p.V[j * na], sizeof(cplx) * n), 0) << "vector " << j + 1;
  for (int c = 0; c < 7; ++c)
    EXPECT_EQ(std::memcmp(&s.W[c * na], &p.W[c * na], sizeof(double) * n), 0) << "W column " << c + 1;
  EXPECT_EQ(std::memcmp(s.IW.data(), p.IW.data(), sizeof(int) * (n - 1)), 0) << "interchanges";
}

INSTANTIATE_TEST_SUITE_P(
    Orders, Schedule,
    testing::Values(Row{"Random", "Random", 3, 3, 3}, Row{"Random", "Random", 5, 5, 5},
                    Row{"Random", "Kms", 7, -7, -7}, Row{"Random", "Random", 25, 25, 25},
                    Row{"Random", "Overlap", 50, 50, -50}, Row{"Random", "Random", 120, -120, 120},
                    Row{"Random", "Kms", 200, 200, 200}),
    row_name);
INSTANTIATE_TEST_SUITE_P(
    Subsets, Schedule,
    testing::Values(Row{"Random", "Random", 60, 30, 13}, Row{"Random", "Random", 60, -41, -41},
                    Row{"Kms", "Overlap", 80, 80, 6}, Row{"GaussianH", "Overlap", 90, -90, -37}),
    row_name);
INSTANTIATE_TEST_SUITE_P(
    Clusters, Schedule,
    testing::Values(Row{"Clusters", "Random", 31, 31, 31}, Row{"Clusters", "Kms", 100, -100, -100},
                    Row{"Clusters", "Overlap", 100, 100, 100}, Row{"Repeated", "Random", 43, 43, 43},
                    Row{"Repeated", "Kms", 150, 150, -150}, Row{"Repeated", "Overlap", 200, -200, 200}),
    row_name);
INSTANTIATE_TEST_SUITE_P(
    Structured, Schedule,
    testing::Values(Row{"Kms", "Kms", 64, 64, 64}, Row{"Kms", "Random", 200, -200, -200},
                    Row{"GaussianH", "Overlap", 60, 60, 60}, Row{"GaussianH", "Kms", 200, 200, 200}),
    row_name);

}  // namespace
