// Reduction of the real symmetric-definite pencil (A, B) to one standard
// symmetric matrix with the same eigenvalues.
//
// With B = L^T D L (L unit lower triangular, D diagonal and positive),
//
//     A v = lambda B v   <=>   R y = lambda y,
//     R = D^(-1/2) L^(-T) A L^(-1) D^(-1/2),   y = D^(1/2) L v.
//
// Storage on return (order 4 shown; l = multiplier L(i, j), r = R(i, j),
// b = untouched upper triangle of B):
//
//        A                     B
//   r11 r12 r13 r14      c1  b   b   b        ck = 1/sqrt(D(k))
//   r21 r22 r23 r24      l21 c2  b   b
//   r31 r32 r33 r34      l31 l32 c3  b
//   r41 r42 r43 r44      l41 l42 l43 c4
#include "mtxcnv.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "colmajor.hpp"
#include "eigcab.hpp"

namespace geneig {

namespace {

// Width of each integer field of the invalid-argument line.
constexpr int kIntField = 5;

// Writes one whole line and flushes it, so that lines from calls running at
// the same time never interleave.
void write_line(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
}

// Appends v right-justified in a field of kIntField characters at p, or
// kIntField asterisks when its decimal form is longer than the field.
char* put_int_field(char* p, int v) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  const int length = static_cast<int>(end - digits);
  if (length > kIntField) {
    std::memset(p, '*', kIntField);
  } else {
    std::memset(p, ' ', kIntField - length);
    std::memcpy(p + (kIntField - length), digits, length);
  }
  return p + kIntField;
}

void report_invalid_argument(int N, int N1) {
  static constexpr char kText[] = " (SUBR EIGAB) INVALID ARGUMENT.  N, N1 =";
  char line[sizeof kText + 2 * kIntField + 1];
  char* p = line;
  std::memcpy(p, kText, sizeof kText - 1);
  p += sizeof kText - 1;
  p = put_int_field(p, N);
  p = put_int_field(p, N1);
  *p++ = '\n';
  write_line(line, static_cast<std::size_t>(p - line));
}

void report_not_positive_definite() {
  static constexpr char kLine[] = " (SUBR EIGAB) MATRIX B IS NOT POSITIVE DEFINITE.\n";
  write_line(kLine, sizeof kLine - 1);
}

// Factor B = L^T D L from the last row up. Step k forms the pivot
//     D(k) = B(k, k) - sum_{i>k} L(i, k)^2 D(i)
// and the multipliers of row k,
//     L(k, j) = (B(k, j) - sum_{i>k} D(i) L(i, k) L(i, j)) / D(k),   j < k,
// and leaves 1/sqrt(D(k)) on the diagonal. Rows below k already hold L.
// Returns false at the first pivot that is not positive: D(k) is then not
// written and the rows above k still hold B.
bool factor_ldlt(ColMajor<double> B, int N, double* D) {
  for (int k = N; k >= 1; --k) {
    double s = 0.0;
    for (int i = k + 1; i <= N; ++i) s += (B(i, k) * B(i, k)) * D[i - 1];
    const double p = B(k, k) - s;
    if (p <= 0.0) return false;
    D[k - 1] = p;
    const double u = 1.0 / p;
    B(k, k) = std::sqrt(u);
    for (int j = 1; j <= k - 1; ++j) {
      s = 0.0;
      for (int i = k + 1; i <= N; ++i) s += (D[i - 1] * B(i, k)) * B(i, j);
      B(k, j) = (B(k, j) - s) * u;
    }
  }
  return true;
}

// Overwrite A with L^(-T) A L^(-1), one elementary factor at a time:
//     A <- (I - e_k l_k^T) A (I - l_k e_k^T),   k = N-1, ..., 1,
// where l_k is column k of L below the diagonal. Only the lower triangle is
// read and written: an element above the diagonal is read as its mirror.
// With s_j = (A l_k)_j, the new column is A(j, k) - s_j and the new diagonal
// A(k, k) - sum_j L(j, k) (2 A(j, k) - s_j), both formed in one pass.
void reduce_to_standard(ColMajor<double> A, ColMajor<const double> L, int N) {
  for (int k = N - 1; k >= 1; --k) {
    for (int j = 1; j <= k - 1; ++j) {
      double s = 0.0;
      for (int i = k + 1; i <= N; ++i) s += L(i, k) * A(i, j);
      A(k, j) = A(k, j) - s;
    }
    double t = 0.0;
    for (int j = k + 1; j <= N; ++j) {
      double s = 0.0;
      for (int i = k + 1; i <= j - 1; ++i) s += L(i, k) * A(j, i);
      for (int i = j; i <= N; ++i) s += L(i, k) * A(i, j);
      const double y = A(j, k) - s;
      t = t + L(j, k) * (A(j, k) + y);
      A(j, k) = y;
    }
    A(k, k) = A(k, k) - t;
  }
}

// Scale both sides by D^(-1/2) and mirror the lower triangle into the upper:
//     R(j, i) = A(j, i) / sqrt(D(i) D(j)),
// with the reciprocal roots taken from the diagonal of B.
void scale_and_symmetrize(ColMajor<double> A, ColMajor<const double> B, int N, const double* D) {
  for (int j = 1; j <= N; ++j) {
    A(j, j) = A(j, j) / D[j - 1];
    const double g = B(j, j);
    for (int i = 1; i <= j - 1; ++i) {
      A(j, i) = (A(j, i) * B(i, i)) * g;
      A(i, j) = A(j, i);
    }
  }
}

}  // namespace

void mtxcnv(double* A, double* B, const int& N, const int& N1, double* D, int& ILL) {
  if (N1 <= 0 || N <= 0 || N > N1 || N > NMAX) {
    report_invalid_argument(N, N1);
    ILL = GENEIG_ILL_INVALID_ARGUMENT;
    return;
  }
  const ColMajor<double> a(A, N1);
  const ColMajor<double> b(B, N1);
  if (!factor_ldlt(b, N, D)) {
    report_not_positive_definite();
    ILL = GENEIG_ILL_NOT_POSITIVE_DEFINITE;
    return;
  }
  reduce_to_standard(a, ColMajor<const double>(B, N1), N);
  scale_and_symmetrize(a, ColMajor<const double>(B, N1), N, D);
}

}  // namespace geneig
