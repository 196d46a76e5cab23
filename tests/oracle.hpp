// Test oracle: reference LAPACK's dense eigensolvers, reproducible matrix
// generators and LAPACK-style test ratios, for checking the solver's results
// against an independent method.
//
// Matrices are column-major with 1-based indexing and a leading dimension,
// the same layout the solver uses, so a generated matrix (or its copy into
// an NA x NA buffer) can be handed to the solver through data().
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

// Reference LAPACK, Fortran calling convention: every argument by pointer,
// the length of each character argument appended as a hidden size_t.
extern "C" {
void zhegv_(const int* itype, const char* jobz, const char* uplo, const int* n,
            std::complex<double>* a, const int* lda, std::complex<double>* b, const int* ldb,
            double* w, std::complex<double>* work, const int* lwork, double* rwork, int* info,
            std::size_t jobz_len, std::size_t uplo_len);
void dsygv_(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
            const int* lda, double* b, const int* ldb, double* w, double* work, const int* lwork,
            int* info, std::size_t jobz_len, std::size_t uplo_len);
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
            double* work, const int* lwork, int* info, std::size_t jobz_len, std::size_t uplo_len);
}

namespace geneig::oracle {

using cplx = std::complex<double>;

// Column-major matrix of rows x cols with leading dimension ld >= rows,
// stored in a std::vector of at least ld * cols entries (more in a buffer
// made by embed), zero on construction. Element (i, j), 1-based, lies at
// a[(i - 1) + (j - 1) * ld].
template <class T>
struct Matrix {
  int rows = 0;
  int cols = 0;
  int ld = 0;
  std::vector<T> a;

  Matrix() = default;
  Matrix(int rows_, int cols_, int ld_ = 0)
      : rows(rows_), cols(cols_), ld(ld_ > 0 ? ld_ : rows_),
        a(static_cast<std::size_t>(ld) * static_cast<std::size_t>(cols_)) {}

  T& operator()(int i, int j) { return a[index(i, j)]; }
  const T& operator()(int i, int j) const { return a[index(i, j)]; }
  T* data() { return a.data(); }
  const T* data() const { return a.data(); }

 private:
  std::size_t index(int i, int j) const {
    return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * ld;
  }
};

using ZMatrix = Matrix<cplx>;
using DMatrix = Matrix<double>;

// Eigenvalues in descending order, and column j of vectors (order x order,
// ld = order) is the eigenvector of values[j - 1]. info is LAPACK's code
// (0 on success); on failure values and vectors are empty.
struct ZEigen {
  std::vector<double> values;
  ZMatrix vectors;
  int info = 0;
};
struct DEigen {
  std::vector<double> values;
  DMatrix vectors;
  int info = 0;
};

// ---- Reference solvers -----------------------------------------------------
// Each takes its order from A.rows, reads the lower triangle (uplo = 'L'),
// works on copies and leaves its arguments alone. The vectors are those of
// LAPACK: B-orthonormal (V^H B V = I) for the pencils, orthonormal for dsyev.

// zhegv: A v = lambda B v, A Hermitian, B Hermitian positive definite.
ZEigen zhegv(const ZMatrix& A, const ZMatrix& B);
// dsygv: the real symmetric-definite pencil.
DEigen dsygv(const DMatrix& A, const DMatrix& B);
// dsyev: the real symmetric matrix A.
DEigen dsyev(const DMatrix& A);

// The eigenvalues of A v = lambda B v in long double (a 64-bit significand,
// 11 bits beyond a double's), descending: B = G G^H by Cholesky, C = G^-1 A
// G^-H by two triangular solves, C to real tridiagonal form by Householder
// reflections, each eigenvalue by bisection on Sturm counts to 2^-66 of the
// norm. Every step is backward stable, with an error some 2000 times below
// any double solver's: the reference against which zhegv's error and the
// solver's are both measured on ill-conditioned pencils, where neither can
// serve for the other. Reads the lower triangle and the real parts of the
// diagonal; B must be positive definite (an empty result if not).
std::vector<long double> reference_eigenvalues(const ZMatrix& A, const ZMatrix& B);

// ---- Generators ------------------------------------------------------------
// Every generator returns an n x n matrix with ld = n, exactly Hermitian
// (symmetric): the upper triangle is the conjugate of the lower and the
// diagonal is real, bit for bit.

// The fixed-seed generator of the tests. Its 64-bit output sequence is fixed
// by the C++ standard, unlike std's distributions; uniform() below turns it
// into doubles by a formula of ours, so a seed gives the same matrices with
// every compiler and standard library.
using Rng = std::mt19937_64;
inline constexpr std::uint64_t kSeed = 20240521;

// A uniform double in [-1, 1): 53 random bits scaled, then shifted. Inline,
// so that the bitwise digests, built for other targets without LAPACK, can
// draw their pencils without the rest of the oracle.
inline double uniform(Rng& rng) {
  const double u = static_cast<double>(rng() >> 11) * 0x1.0p-53;
  return 2.0 * u - 1.0;
}

ZMatrix identity(int n);
// Real and imaginary parts uniform in [-1, 1), diagonal real.
ZMatrix random_hermitian(int n, Rng& rng);
// C C^H + n I with C as random_hermitian's entries: its eigenvalues lie in
// [n, n + |C|^2], so it is well conditioned.
ZMatrix random_hpd(int n, Rng& rng);
// Q from the QR factorization of a random complex matrix, by modified
// Gram-Schmidt applied twice (orthonormal to rounding). Not Hermitian.
ZMatrix random_unitary(int n, Rng& rng);
// Q diag(lambda) Q^H with Q = random_unitary(lambda.size()): a Hermitian
// matrix with exactly the prescribed eigenvalues (up to rounding of the
// product), repeats and clusters included.
ZMatrix with_spectrum(const std::vector<double>& lambda, Rng& rng);
// Q diag(sigma) Q^H with sigma log-spaced from 1 to cond:
// sigma_i = cond^((i - 1)/(n - 1)), so its 2-norm condition number is cond.
ZMatrix hpd_with_condition(int n, double cond, Rng& rng);

// Prescribed spectra for with_spectrum, in descending order.
// Each value repeated its multiplicity times: {{2, 3}, {-1, 2}} gives
// 2, 2, 2, -1, -1.
std::vector<double> spectrum_with_multiplicities(
    const std::vector<std::pair<double, int>>& value_multiplicity);
// n values in clusters of `size`: cluster c (c = 0, 1, ...) sits at
// centre 1 + c, its members at centre * (1 + m * spacing), m = 0..size-1,
// so members of one cluster are relatively `spacing` apart.
std::vector<double> clustered_spectrum(int n, int size, double spacing);

// Real symmetric with entries uniform in [-1, 1).
DMatrix random_symmetric(int n, Rng& rng);
// C C^T + n I, C with entries uniform in [-1, 1): well conditioned.
DMatrix random_spd(int n, Rng& rng);
// Wilkinson's W+ of odd order n = 2m + 1 (W21+ for n = 21): tridiagonal with
// diagonal |m + 1 - i| (m, ..., 1, 0, 1, ..., m) and unit off-diagonal. Its
// largest eigenvalues come in pairs that agree to many digits.
DMatrix wilkinson_plus(int n);

// The real matrix as a complex one (imaginary parts zero), same layout.
ZMatrix to_complex(const DMatrix& m);

// m copied into the leading block of an NA x NA buffer, the shape of the
// driver's arrays: same rows and cols, ld = na, na * na entries, zero
// outside m. Pass data() to the solver with NA = na; the measures read the
// result as the rows x cols matrix it is.
template <class T>
Matrix<T> embed(const Matrix<T>& m, int na) {
  Matrix<T> out(m.rows, m.cols, na);
  const std::size_t square = static_cast<std::size_t>(na) * static_cast<std::size_t>(na);
  if (out.a.size() < square) out.a.resize(square);
  for (int j = 1; j <= m.cols; ++j)
    for (int i = 1; i <= m.rows; ++i) out(i, j) = m(i, j);
  return out;
}

// ---- Measures --------------------------------------------------------------
// LAPACK's style of test ratio: an error divided by what backward-stable
// rounding allows, n * eps times the size of the data; a sound solver gives
// ratios of order 1, and tests accept up to about 30. All norms are 1-norms:
// |x|_1 = sum_i |x_i| for a vector, |M|_1 = max_j sum_i |M(i, j)| for a
// matrix, with |z| the complex modulus.
//
// A and B are read as stored, both triangles (the generators fill both);
// the order n is A.rows (B.rows for orthonormality_ratio), and the vectors
// V(1..n, 1..m) may sit in a larger buffer, such as one made by embed.
// The sums are formed in long double, so that pencils of every magnitude
// the doubles allow are measured without overflow. A ratio whose error is
// exactly zero is 0, even where the scale is zero
// (A = 0 with lambda = 0); a nonzero error over a zero scale is infinity.

// The machine epsilon 2^-52, the spacing of doubles at 1
// (std::numeric_limits<double>::epsilon()): the ulp that LAPACK's own test
// ratios divide by.
inline constexpr double kEps = 0x1.0p-52;

double norm1(const ZMatrix& M);

// max_j |A v_j - E_j B v_j|_1 / ((|A|_1 + |E_j| |B|_1) |v_j|_1 n eps),
// over j = 1..E.size().
double residual_ratio(const ZMatrix& A, const ZMatrix& B, const std::vector<double>& E,
                      const ZMatrix& V);
// |V^H B V - I|_1 / (n eps) for the first m columns of V (m x m matrix).
double orthonormality_ratio(const ZMatrix& B, const ZMatrix& V, int m);
// max_j |E_j - R_j| / (n eps max_j |R_j|), R the reference eigenvalues,
// n = E.size() = R.size() (throws std::invalid_argument otherwise).
double eigenvalue_ratio(const std::vector<double>& E, const std::vector<double>& R);

// max_j |E_j - R_j| / max_j |R_j|: the error of E against the reference
// eigenvalues R, relative to the largest (0 for an exact match, infinity for
// lengths that differ).
double relative_error(const std::vector<double>& E, const std::vector<long double>& R);

// max over i, j of |M(i, j) - conj(M(j, i))|, diagonal imaginary parts
// included: 0 for an exactly Hermitian matrix.
double hermitian_defect(const ZMatrix& M);

}  // namespace geneig::oracle
