// The 21 pencils on which reference LAPACK tests its own Hermitian-definite
// solver, built by its test-matrix library with the same generators, modes,
// conditions and magnitudes, and judged by the same two ratios against the
// same threshold:
//
//   |A Z - B Z D|_1 / (|A|_1 |Z|_1 n ulp)   and   |Z^H B Z - I|_1 / (n ulp).
//
// A is of type 1 to 21: the zero matrix; ANORM times the identity; diagonal
// (3-7) and full Hermitian (8-12) with eigenvalues evenly spaced from 1 down
// to ulp (mode 4), geometrically spaced (mode 3) or one at 1 and the rest at
// ulp (mode 1), also with mode 4 scaled near sqrt(overflow) and
// sqrt(underflow); random entries (13-15), unscaled and scaled both ways;
// banded with half-bandwidths 1 to 3 (16-21). B is Hermitian positive
// definite of condition 10 with the half-bandwidth that goes with A's type
// (diagonal beside the diagonal types).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <string>
#include <vector>

#include "oracle.hpp"
#include "test_support.hpp"

// Reference LAPACK's test-matrix library, Fortran calling convention.
extern "C" {
void zlatms_(const int* m, const int* n, const char* dist, int* iseed, const char* sym, double* d,
             const int* mode, const double* cond, const double* dmax, const int* kl, const int* ku,
             const char* pack, std::complex<double>* a, const int* lda, std::complex<double>* work,
             int* info, std::size_t, std::size_t, std::size_t);
void zlatmr_(const int* m, const int* n, const char* dist, int* iseed, const char* sym,
             std::complex<double>* d, const int* mode, const double* cond,
             const std::complex<double>* dmax, const char* rsign, const char* grade,
             std::complex<double>* dl, const int* model, const double* condl,
             std::complex<double>* dr, const int* moder, const double* condr, const char* pivtng,
             int* ipivot, const int* kl, const int* ku, const double* sparse, const double* anorm,
             const char* pack, std::complex<double>* a, const int* lda, int* iwork, int* info,
             std::size_t, std::size_t, std::size_t, std::size_t, std::size_t, std::size_t);
}

namespace {

using geneig::test::kEps;
using geneig::oracle::ZMatrix;
using cplx = std::complex<double>;

// LAPACK's threshold for its test ratios.
constexpr double kThreshold = 20;

enum class Kind { zero, identity, diagonal, hermitian, random, banded };
enum class Magnitude { one, large, small };

struct Type {
  int number;
  Kind kind;
  int mode;  // of the eigenvalue distribution (zlatms)
  Magnitude magnitude;
  int ka = 0, kb = 0;  // half-bandwidths of A and B for the banded types
};

constexpr std::array<Type, 21> kTypes{{
    {1, Kind::zero, 0, Magnitude::one},        {2, Kind::identity, 0, Magnitude::one},
    {3, Kind::diagonal, 4, Magnitude::one},    {4, Kind::diagonal, 3, Magnitude::one},
    {5, Kind::diagonal, 1, Magnitude::one},    {6, Kind::diagonal, 4, Magnitude::large},
    {7, Kind::diagonal, 4, Magnitude::small},  {8, Kind::hermitian, 4, Magnitude::one},
    {9, Kind::hermitian, 3, Magnitude::one},   {10, Kind::hermitian, 1, Magnitude::one},
    {11, Kind::hermitian, 4, Magnitude::large}, {12, Kind::hermitian, 4, Magnitude::small},
    {13, Kind::random, 0, Magnitude::one},     {14, Kind::random, 0, Magnitude::large},
    {15, Kind::random, 0, Magnitude::small},   {16, Kind::banded, 4, Magnitude::one, 1, 1},
    {17, Kind::banded, 4, Magnitude::one, 2, 1}, {18, Kind::banded, 4, Magnitude::one, 2, 2},
    {19, Kind::banded, 4, Magnitude::one, 3, 1}, {20, Kind::banded, 4, Magnitude::one, 3, 2},
    {21, Kind::banded, 4, Magnitude::one, 3, 3},
}};

// A and B of one type and order, from a fixed seed.
void generate(const Type& t, int n, ZMatrix& A, ZMatrix& B) {
  const double ulp = kEps, ulpinv = 1 / ulp;
  const double rtunfl = std::sqrt(std::numeric_limits<double>::min());
  const double rtovfl = std::sqrt(std::numeric_limits<double>::max());
  const double anorm = t.magnitude == Magnitude::one     ? 1.0
                       : t.magnitude == Magnitude::large ? rtovfl * ulp / n
                                                         : rtunfl * n * ulpinv;
  A = ZMatrix(n, n);
  B = ZMatrix(n, n);
  std::array<int, 4> seed{1, 3, 5, 7};
  std::vector<double> d(n);
  std::vector<cplx> work(3 * n);
  std::vector<int> iwork(n);
  int info = 0;
  int ka = 0, kb = 0;
  const int full = n - 1;
  switch (t.kind) {
    case Kind::zero:
      break;
    case Kind::identity:
      for (int k = 1; k <= n; ++k) A(k, k) = anorm;
      break;
    case Kind::diagonal:
    case Kind::hermitian:
    case Kind::banded:
      ka = t.kind == Kind::diagonal ? 0 : t.kind == Kind::hermitian ? full : std::min(full, t.ka);
      kb = t.kind == Kind::diagonal ? 0 : t.kind == Kind::hermitian ? full : std::min(full, t.kb);
      zlatms_(&n, &n, "S", seed.data(), "H", d.data(), &t.mode, &ulpinv, &anorm, &ka, &ka, "N",
              A.data(), &n, work.data(), &info, 1, 1, 1);
      break;
    case Kind::random: {
      kb = full;
      const int mode = 6, unit = 1;
      const double one = 1, zero = 0;
      const cplx cone = 1;
      std::vector<int> pivot(n);
      zlatmr_(&n, &n, "S", seed.data(), "H", work.data(), &mode, &one, &cone, "T", "N",
              work.data() + n, &unit, &one, work.data() + 2 * n, &unit, &one, "N", pivot.data(),
              &n, &n, &zero, &anorm, "NO", A.data(), &n, iwork.data(), &info, 1, 1, 1, 1, 1, 2);
      break;
    }
  }
  ASSERT_EQ(info, 0);
  const int mode = 5;
  const double ten = 10, one = 1;
  zlatms_(&n, &n, "U", seed.data(), "P", d.data(), &mode, &ten, &one, &kb, &kb, "N", B.data(), &n,
          work.data(), &info, 1, 1, 1);
  ASSERT_EQ(info, 0);
}

struct Case {
  int n;
  Type type;
};

void PrintTo(const Case& c, std::ostream* os) { *os << "N = " << c.n << ", type " << c.type.number; }

std::vector<Case> all_cases() {
  std::vector<Case> cases;
  for (const int n : {2, 3, 5, 10, 16})
    for (const Type& t : kTypes) cases.push_back({n, t});
  return cases;
}

class LapackTypes : public ::testing::TestWithParam<Case> {};

TEST_P(LapackTypes, PassLapacksOwnRatios) {
  const auto [n, type] = GetParam();
  ZMatrix A, B;
  ASSERT_NO_FATAL_FAILURE(generate(type, n, A, B));
  const auto [E, V, ILL, EPS, out] = geneig::test::solve(A, B);
  ASSERT_EQ(ILL, 0);

  // A Z - B Z D and Z^H B Z - I, with their 1-norms.
  ZMatrix R(n, n), G(n, n);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      cplx az = 0, bz = 0;
      for (int k = 1; k <= n; ++k) {
        az += A(i, k) * V(k, j);
        bz += B(i, k) * V(k, j);
      }
      R(i, j) = az - bz * E[j - 1];
      G(i, j) = bz;
    }
  ZMatrix O(n, n);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      cplx s = 0;
      for (int k = 1; k <= n; ++k) s += std::conj(V(k, i)) * G(k, j);
      O(i, j) = s - (i == j ? 1.0 : 0.0);
    }
  using geneig::oracle::norm1;
  const double anorm = std::max(norm1(A), std::numeric_limits<double>::min());
  const double znorm = norm1(V);
  const double residual = norm1(R) / anorm / (n * kEps) / znorm;
  const double orthonormality = norm1(O) / (n * kEps);
  EXPECT_LT(residual, kThreshold);
  EXPECT_LT(orthonormality, kThreshold);
}

INSTANTIATE_TEST_SUITE_P(Orders, LapackTypes, ::testing::ValuesIn(all_cases()),
                         [](const auto& info) {
                           std::string name = "N";
                           name += std::to_string(info.param.n);
                           name += "_Type";
                           name += std::to_string(info.param.type.number);
                           return name;
                         });

}  // namespace
