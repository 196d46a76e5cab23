// Fuzz target: the program's solve of a small pencil decoded from raw bytes.
//
// The solver is called exactly as the program calls it (leading dimension
// NMAX, all eigenvalues and eigenvectors, EPS = 0, ILL preset to 0). It must
// return (a hang is caught by the fuzzer's timeout) with a documented error
// code, and a solve that reports no failure must give finite eigenvalues and
// eigenvectors, whatever the magnitudes of the entries; one that reports
// values that are not finite (9) must have given some.
//
// Layout of the bytes (missing bytes read as zero):
//   byte 0       order N = 1 + byte % 8; bit 3 set makes B diagonally
//                dominant with a positive diagonal, so that most pencils get
//                past the factorization of B
//   bytes 1-2    base binary exponent of A's entries, -1081 ... 1016
//   bytes 3-4    base binary exponent of B's entries
//   then         the real and imaginary parts of A(i, j), i, j = 1 ... N,
//                then those of B, each as a class byte and its operands:
//     class % 4 == 0  zero (negative for class >= 128)
//     class % 4 == 1  m * 2^base, m a signed byte
//     class % 4 == 2  m * 2^(base + k), m and k signed bytes
//     class % 4 == 3  the 8 bytes of a double; an infinity or NaN becomes
//                     the largest finite double of its sign
// Every value is finite, from the subnormals to the largest double, as the
// reader only ever hands over finite numbers.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "colmajor.hpp"
#include "eigcab.hpp"

namespace {

using cplx = std::complex<double>;
using geneig::NMAX;

// The extreme binary exponents of a decoded entry: m * 2^e with |m| <= 128
// stays below the largest double, and reaches below the smallest subnormal.
constexpr int kMinExponent = -1081;
constexpr int kMaxExponent = 1016;

// Bytes taken one at a time from the front; zeros once they run out.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  std::uint8_t next() { return p_ != end_ ? *p_++ : 0; }
  int next_signed() { return static_cast<std::int8_t>(next()); }
  int next_exponent() {
    const int raw = next() | next() << 8;
    return kMinExponent + raw % (kMaxExponent - kMinExponent + 1);
  }
  double next_raw_double() {
    std::uint8_t b[sizeof(double)];
    for (std::uint8_t& x : b) x = next();
    double v;
    std::memcpy(&v, b, sizeof v);
    return std::isfinite(v) ? v : std::copysign(DBL_MAX, v);
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

double decode_value(Bytes& bytes, int base) {
  const std::uint8_t kind = bytes.next();
  switch (kind % 4) {
    case 0:
      return kind >= 128 ? -0.0 : 0.0;
    case 1:
      return std::ldexp(bytes.next_signed(), base);
    case 2: {
      const int m = bytes.next_signed();
      return std::ldexp(m, std::clamp(base + bytes.next_signed(), kMinExponent, kMaxExponent));
    }
    default:
      return bytes.next_raw_double();
  }
}

void decode_matrix(Bytes& bytes, int base, cplx* M, int N) {
  const geneig::ColMajor<cplx> m(M, NMAX);
  for (int i = 1; i <= N; ++i)
    for (int j = 1; j <= N; ++j) {
      const double re = decode_value(bytes, base);
      m(i, j) = {re, decode_value(bytes, base)};
    }
}

// Replaces the diagonal of B by a positive real dominating the moduli of its
// row of the Hermitian matrix given by the lower triangle, saturated at the
// largest double.
void make_dominant(cplx* B, int N) {
  const geneig::ColMajor<cplx> b(B, NMAX);
  for (int i = 1; i <= N; ++i) {
    double sum = std::abs(b(i, i).real());
    for (int k = 1; k <= N; ++k)
      if (k != i) sum += std::abs(k < i ? b(i, k) : b(k, i));
    b(i, i) = {std::min(2 * sum + DBL_MIN, DBL_MAX), 0.0};
  }
}

// The program's arrays, and copies of A and B as decoded.
cplx A[NMAX * NMAX], B[NMAX * NMAX], V[NMAX * NMAX], D[NMAX], A0[NMAX * NMAX], B0[NMAX * NMAX];
double E[NMAX], W[NMAX * 7];
int IW[NMAX];

bool solution_is_finite(int N) {
  const geneig::ColMajor<const cplx> v(V, NMAX);
  for (int j = 1; j <= N; ++j) {
    if (!std::isfinite(E[j - 1])) return false;
    for (int i = 1; i <= N; ++i)
      if (!std::isfinite(v(i, j).real()) || !std::isfinite(v(i, j).imag())) return false;
  }
  return true;
}

// A residual or a B-orthonormality defect far beyond rounding.
constexpr long double kRatioLimit = 1000;

// The worst residual ratio over the eigenpairs and the B-orthonormality
// ratio |V^H B V - I|_1 / (N eps), each over the spread of B's pivots,
// formed in long double, whose range holds every product of two doubles,
// for the Hermitian matrices that the solver solves: the lower triangles
// and the real parts of the diagonals. Infinity, for no check, unless B's
// pivots are all positive.
struct Ratios {
  long double residual = HUGE_VALL;
  long double orthonormality = HUGE_VALL;
};

Ratios ratios(int N) {
  using lcplx = std::complex<long double>;
  const geneig::ColMajor<const cplx> a(A0, NMAX), b(B0, NMAX), v(V, NMAX);
  auto hermitian = [](const geneig::ColMajor<const cplx>& m, int i, int j) {
    const lcplx z(m(std::max(i, j), std::min(i, j)));
    return i == j ? lcplx(z.real()) : i > j ? z : std::conj(z);
  };
  long double norm_a = 0, norm_b = 0, dmax = 0, dmin = HUGE_VALL;
  for (int j = 1; j <= N; ++j) {
    long double ca = 0, cb = 0;
    for (int i = 1; i <= N; ++i) ca += std::abs(hermitian(a, i, j)), cb += std::abs(hermitian(b, i, j));
    norm_a = std::max(norm_a, ca), norm_b = std::max(norm_b, cb);
    if (!(D[j - 1].real() > 0)) return {};
    dmax = std::max<long double>(dmax, D[j - 1].real()), dmin = std::min<long double>(dmin, D[j - 1].real());
  }
  long double worst = 0, defect = 0;
  for (int j = 1; j <= N; ++j) {
    const long double lambda = E[j - 1];
    long double r = 0, size = 0, column = 0;
    for (int i = 1; i <= N; ++i) {
      lcplx t = 0;
      for (int k = 1; k <= N; ++k) t += (hermitian(a, i, k) - lambda * hermitian(b, i, k)) * lcplx(v(k, j));
      r += std::abs(t), size += std::abs(lcplx(v(i, j)));
    }
    for (int l = 1; l <= N; ++l) {
      lcplx s = 0;
      for (int i = 1; i <= N; ++i)
        for (int k = 1; k <= N; ++k) s += std::conj(lcplx(v(i, l))) * hermitian(b, i, k) * lcplx(v(k, j));
      column += std::abs(s - (l == j ? 1.0L : 0.0L));
    }
    const long double scale = (norm_a + std::fabs(lambda) * norm_b) * size * N * DBL_EPSILON;
    if (r > 0) worst = std::max(worst, r / scale);
    defect = std::max(defect, column);
  }
  const long double kappa = dmax / dmin;
  return {worst / kappa, defect / (N * DBL_EPSILON) / kappa};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes bytes(data, size);
  const std::uint8_t head = bytes.next();
  const int N = 1 + head % 8;
  const int base_a = bytes.next_exponent();
  const int base_b = bytes.next_exponent();
  decode_matrix(bytes, base_a, A, N);
  decode_matrix(bytes, base_b, B, N);
  if (head & 8) make_dominant(B, N);
  std::copy(A, A + NMAX * NMAX, A0);
  std::copy(B, B + NMAX * NMAX, B0);

  static const int NA = NMAX;
  std::fill(E, E + NMAX, 0.0);
  int ILL = 0;
  double EPS = 0.0;
  geneig::eigcab(A, B, N, NA, N, N, EPS, D, E, V, ILL, IW, W);

  // Order 1 is refused (2) unless B's only pivot is zero (5), which ends
  // the solve first; higher orders are never refused.
  const bool documented = ILL == 0 || ILL == GENEIG_ILL_INVALID_ARGUMENT ||
                          ILL == GENEIG_ILL_INDEFINITE_B || ILL == GENEIG_ILL_OUT_OF_RANGE ||
                          ILL == GENEIG_ILL_VECTORS_NOT_SEPARATED ||
                          ILL == GENEIG_ILL_NOT_FINITE_RESULT;
  const bool refusal_right =
      ILL == GENEIG_ILL_INVALID_ARGUMENT ? N < 2 : N >= 2 || ILL == GENEIG_ILL_INDEFINITE_B;
  if (!documented || !refusal_right) {
    std::fprintf(stderr, "fuzz_solver: N = %d gives ILL = %d\n", N, ILL);
    std::abort();
  }
  if (ILL == GENEIG_ILL_NOT_FINITE_RESULT && solution_is_finite(N)) {
    std::fprintf(stderr, "fuzz_solver: N = %d, ILL = 9 with finite eigenvalues and vectors\n", N);
    std::abort();
  }
  if (ILL == 0 && !solution_is_finite(N)) {
    std::fprintf(stderr, "fuzz_solver: N = %d, ILL = 0 with a non-finite eigenvalue or vector\n",
                 N);
    std::abort();
  }
  if (ILL == 0 && N >= 2) {
    const Ratios r = ratios(N);
    if (r.residual != HUGE_VALL && !(r.residual <= kRatioLimit && r.orthonormality <= kRatioLimit)) {
      std::fprintf(stderr,
                   "fuzz_solver: N = %d, ILL = 0 with residual ratio %Lg, B-orthonormality ratio %Lg "
                   "(over kappa)\n",
                   N, r.residual, r.orthonormality);
      std::abort();
    }
  }
  return 0;
}
