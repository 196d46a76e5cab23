#include "oracle.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

namespace geneig::oracle {

namespace {

double conj_of(double x) { return x; }
cplx conj_of(cplx z) { return std::conj(z); }

// The matrix's leading rows x cols block with ld = rows (at least 1, as
// LAPACK requires), the layout handed to LAPACK.
template <class T>
Matrix<T> compact(const Matrix<T>& m) {
  Matrix<T> out(m.rows, m.cols, std::max(m.rows, 1));
  for (int j = 1; j <= m.cols; ++j)
    for (int i = 1; i <= m.rows; ++i) out(i, j) = m(i, j);
  return out;
}

// LAPACK gives ascending eigenvalues; the solver gives the largest first.
// Reverses the values and the columns of the vectors together.
template <class Eigen>
Eigen descending(std::vector<double> values, decltype(Eigen::vectors) vectors, int info) {
  if (info != 0) return Eigen{{}, {}, info};
  const int n = static_cast<int>(values.size());
  std::reverse(values.begin(), values.end());
  decltype(vectors) flipped(n, n);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) flipped(i, j) = vectors(i, n + 1 - j);
  return Eigen{std::move(values), std::move(flipped), 0};
}

// Runs a LAPACK driver twice: first as a workspace query (lwork = -1, the
// optimal length comes back in work[0]), then with that workspace.
// call(work, lwork, info) makes one call. Returns info.
template <class T, class Driver>
int with_workspace(const Driver& call) {
  int info = 0, lwork = -1;
  T query{};
  call(&query, &lwork, &info);
  if (info != 0) return info;
  lwork = std::max(1, static_cast<int>(std::real(query)));
  std::vector<T> work(lwork);
  call(work.data(), &lwork, &info);
  return info;
}

// A symmetric (Hermitian) n x n matrix whose lower triangle is drawn column
// by column from `entry`, off-diagonal and diagonal draws kept apart so the
// diagonal is exactly real; the upper triangle is its mirror.
template <class T>
Matrix<T> mirrored_random(int n, const std::function<T()>& off_diagonal,
                          const std::function<double()>& diagonal) {
  Matrix<T> m(n, n);
  for (int j = 1; j <= n; ++j) {
    m(j, j) = diagonal();
    for (int i = j + 1; i <= n; ++i) {
      m(i, j) = off_diagonal();
      m(j, i) = conj_of(m(i, j));
    }
  }
  return m;
}

// C diag(d) C^H + shift I: the lower triangle by sums in increasing index
// order, the upper as its conjugate and the diagonal real, so the result is
// exactly Hermitian whatever the rounding.
template <class T>
Matrix<T> gram(const Matrix<T>& C, const std::vector<double>& d, double shift) {
  const int n = C.rows;
  Matrix<T> m(n, n);
  for (int j = 1; j <= n; ++j) {
    for (int i = j; i <= n; ++i) {
      T s{};
      for (int k = 1; k <= C.cols; ++k) s += C(i, k) * d[k - 1] * conj_of(C(j, k));
      m(i, j) = s;
      m(j, i) = conj_of(s);
    }
    m(j, j) = std::real(m(j, j)) + shift;
  }
  return m;
}

cplx random_complex(Rng& rng) {
  const double re = uniform(rng);
  return {re, uniform(rng)};
}

template <class T>
Matrix<T> random_dense(int n, const std::function<T()>& entry) {
  Matrix<T> m(n, n);
  for (auto& x : m.a) x = entry();
  return m;
}

// The measures are formed in long double, whose range holds every product
// of two doubles: pencils of the most extreme magnitudes are measured too.
using lcplx = std::complex<long double>;

// The 1-norm of column j of M over rows 1..n.
long double column_norm1(const ZMatrix& M, int j, int n) {
  long double s = 0.0;
  for (int i = 1; i <= n; ++i) s += std::abs(lcplx(M(i, j)));
  return s;
}

long double lnorm1(const ZMatrix& M) {
  long double largest = 0.0;
  for (int j = 1; j <= M.cols; ++j) largest = std::max(largest, column_norm1(M, j, M.rows));
  return largest;
}

// M times column j of V, rows 1..n.
std::vector<lcplx> times_column(const ZMatrix& M, const ZMatrix& V, int j, int n) {
  std::vector<lcplx> y(n);
  for (int k = 1; k <= n; ++k) {
    const lcplx v = V(k, j);
    for (int i = 1; i <= n; ++i) y[i - 1] += lcplx(M(i, k)) * v;
  }
  return y;
}

// error / scale, where an exact result scores 0 even on a zero scale.
double ratio(long double error, long double scale) {
  return error == 0 ? 0.0 : static_cast<double>(error / scale);
}

}  // namespace

// ---- Reference solvers -----------------------------------------------------

ZEigen zhegv(const ZMatrix& A, const ZMatrix& B) {
  const int n = A.rows, itype = 1;
  ZMatrix a = compact(A), b = compact(B);
  std::vector<double> w(n), rwork(std::max(1, 3 * n - 2));
  const int info = with_workspace<cplx>([&](cplx* work, const int* lwork, int* info) {
    zhegv_(&itype, "V", "L", &n, a.data(), &a.ld, b.data(), &b.ld, w.data(), work, lwork,
           rwork.data(), info, 1, 1);
  });
  return descending<ZEigen>(std::move(w), std::move(a), info);
}

DEigen dsygv(const DMatrix& A, const DMatrix& B) {
  const int n = A.rows, itype = 1;
  DMatrix a = compact(A), b = compact(B);
  std::vector<double> w(n);
  const int info = with_workspace<double>([&](double* work, const int* lwork, int* info) {
    dsygv_(&itype, "V", "L", &n, a.data(), &a.ld, b.data(), &b.ld, w.data(), work, lwork, info,
           1, 1);
  });
  return descending<DEigen>(std::move(w), std::move(a), info);
}

DEigen dsyev(const DMatrix& A) {
  const int n = A.rows;
  DMatrix a = compact(A);
  std::vector<double> w(n);
  const int info = with_workspace<double>([&](double* work, const int* lwork, int* info) {
    dsyev_("V", "L", &n, a.data(), &a.ld, w.data(), work, lwork, info, 1, 1);
  });
  return descending<DEigen>(std::move(w), std::move(a), info);
}

namespace {

// Complex arithmetic in long double, written out: std::complex's product
// goes through a library call that checks for infinities on every use,
// which would make the reference's O(n^3) loops some ten times slower.
struct LComplex {
  long double re = 0, im = 0;
};
LComplex operator+(LComplex a, LComplex b) { return {a.re + b.re, a.im + b.im}; }
LComplex operator-(LComplex a, LComplex b) { return {a.re - b.re, a.im - b.im}; }
LComplex operator*(LComplex a, LComplex b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
LComplex operator*(long double r, LComplex a) { return {r * a.re, r * a.im}; }
LComplex conj(LComplex a) { return {a.re, -a.im}; }
long double norm2(LComplex a) { return a.re * a.re + a.im * a.im; }

// An n x n long double complex matrix, 0-based, column-major.
struct LMatrix {
  int n;
  std::vector<LComplex> a;
  explicit LMatrix(int n_) : n(n_), a(static_cast<std::size_t>(n_) * n_) {}
  LComplex& operator()(int i, int j) { return a[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * n]; }
};

// The full Hermitian matrix given by M's lower triangle and real diagonal.
LMatrix hermitian_from_lower(const ZMatrix& M) {
  const int n = M.rows;
  LMatrix h(n);
  for (int j = 0; j < n; ++j) {
    h(j, j) = {M(j + 1, j + 1).real(), 0};
    for (int i = j + 1; i < n; ++i) {
      h(i, j) = {M(i + 1, j + 1).real(), M(i + 1, j + 1).imag()};
      h(j, i) = conj(h(i, j));
    }
  }
  return h;
}

// X := G^-1 X, G lower triangular with a real diagonal, column by column.
void forward_solve(LMatrix& G, LMatrix& X) {
  const int n = G.n;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      LComplex s = X(i, j);
      for (int k = 0; k < i; ++k) s = s - G(i, k) * X(k, j);
      X(i, j) = (1 / G(i, i).re) * s;
    }
}

// Eigenvalues of the Hermitian C (full storage, overwritten), descending.
std::vector<long double> hermitian_eigenvalues(LMatrix& C) {
  const int n = C.n;
  std::vector<long double> d(n), e(n > 0 ? n - 1 : 0);
  std::vector<LComplex> v(n), p(n);
  // C := H C H with H = I - tau v v^H, v = x - alpha e_1 annihilating the
  // column below the subdiagonal, alpha = -phase(x_1) |x|.
  for (int k = 0; k + 2 < n; ++k) {
    long double xnorm2 = 0;
    for (int i = k + 1; i < n; ++i) xnorm2 += norm2(C(i, k));
    const long double xnorm = std::sqrt(xnorm2);
    if (xnorm == 0) continue;
    const LComplex x1 = C(k + 1, k);
    const long double m1 = std::sqrt(norm2(x1));
    const LComplex phase = m1 == 0 ? LComplex{1, 0} : LComplex{x1.re / m1, x1.im / m1};
    const LComplex alpha = -xnorm * phase;
    for (int i = 0; i < n; ++i) v[i] = {};
    for (int i = k + 1; i < n; ++i) v[i] = C(i, k);
    v[k + 1] = v[k + 1] - alpha;
    long double vnorm2 = 0;
    for (int i = k + 1; i < n; ++i) vnorm2 += norm2(v[i]);
    const long double tau = 2 / vnorm2;
    // p = tau C v, w = p - (tau/2)(v^H p) v, C := C - v w^H - w v^H.
    for (int i = 0; i < n; ++i) {
      LComplex s;
      for (int j = k + 1; j < n; ++j) s = s + C(i, j) * v[j];
      p[i] = tau * s;
    }
    LComplex vp;
    for (int i = k + 1; i < n; ++i) vp = vp + conj(v[i]) * p[i];
    const LComplex f = (tau / 2) * vp;
    for (int i = 0; i < n; ++i) p[i] = p[i] - f * v[i];
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) C(i, j) = C(i, j) - v[i] * conj(p[j]) - p[i] * conj(v[j]);
  }
  long double beta = 0;
  for (int i = 0; i < n; ++i) {
    d[i] = C(i, i).re;
    if (i + 1 < n) e[i] = std::sqrt(norm2(C(i + 1, i)));
  }
  for (int i = 0; i < n; ++i)
    beta = std::max(beta, std::fabs(d[i]) + (i > 0 ? e[i - 1] : 0) + (i + 1 < n ? e[i] : 0));
  // The number of eigenvalues of T below x, by the signs of the pivots of
  // T - x I; a zero pivot is replaced by a tiny negative one.
  const long double tiny = beta * std::numeric_limits<long double>::epsilon() * 1e-10L;
  auto below = [&](long double x) {
    int count = 0;
    long double q = 1;
    for (int i = 0; i < n; ++i) {
      q = d[i] - x - (i > 0 ? e[i - 1] * e[i - 1] / q : 0);
      if (q == 0) q = -tiny;
      if (q < 0) ++count;
    }
    return count;
  };
  std::vector<long double> lambda(n);
  const long double tol = std::ldexp(beta, -66);
  for (int j = 0; j < n; ++j) {
    // The (j+1)-th largest: below(x) <= n - 1 - j at its lower end.
    long double lo = -beta - tol, hi = beta + tol;
    while (hi - lo > tol) {
      const long double mid = (lo + hi) / 2;
      if (mid == lo || mid == hi) break;
      if (below(mid) <= n - 1 - j) lo = mid;
      else hi = mid;
    }
    lambda[j] = (lo + hi) / 2;
  }
  return lambda;
}

}  // namespace

std::vector<long double> reference_eigenvalues(const ZMatrix& A, const ZMatrix& B) {
  const int n = A.rows;
  LMatrix G = hermitian_from_lower(B);
  // B = G G^H: G's lower triangle, over G's own storage.
  for (int j = 0; j < n; ++j) {
    long double djj = G(j, j).re;
    for (int k = 0; k < j; ++k) djj -= norm2(G(j, k));
    if (!(djj > 0)) return {};
    const long double gjj = std::sqrt(djj);
    G(j, j) = {gjj, 0};
    for (int i = j + 1; i < n; ++i) {
      LComplex s = G(i, j);
      for (int k = 0; k < j; ++k) s = s - G(i, k) * conj(G(j, k));
      G(i, j) = (1 / gjj) * s;
    }
  }
  // C = G^-1 A G^-H = G^-1 (G^-1 A)^H, A being Hermitian.
  LMatrix X = hermitian_from_lower(A);
  forward_solve(G, X);
  LMatrix C(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) C(i, j) = conj(X(j, i));
  forward_solve(G, C);
  // Hermitian to rounding; its lower triangle mirrored makes it exactly so.
  for (int j = 0; j < n; ++j) {
    C(j, j).im = 0;
    for (int i = j + 1; i < n; ++i) C(j, i) = conj(C(i, j));
  }
  return hermitian_eigenvalues(C);
}

// ---- Generators ------------------------------------------------------------

ZMatrix identity(int n) {
  ZMatrix m(n, n);
  for (int i = 1; i <= n; ++i) m(i, i) = 1.0;
  return m;
}

ZMatrix random_hermitian(int n, Rng& rng) {
  return mirrored_random<cplx>(
      n, [&] { return random_complex(rng); }, [&] { return uniform(rng); });
}

ZMatrix random_hpd(int n, Rng& rng) {
  const ZMatrix C = random_dense<cplx>(n, [&] { return random_complex(rng); });
  return gram(C, std::vector<double>(n, 1.0), n);
}

ZMatrix random_unitary(int n, Rng& rng) {
  ZMatrix Q = random_dense<cplx>(n, [&] { return random_complex(rng); });
  // Modified Gram-Schmidt, each column orthogonalized twice against the
  // earlier ones: one pass loses orthogonality in proportion to the
  // condition of the random matrix, the second restores it to rounding.
  for (int j = 1; j <= n; ++j) {
    for (int pass = 0; pass < 2; ++pass) {
      for (int k = 1; k < j; ++k) {
        cplx r = 0.0;
        for (int i = 1; i <= n; ++i) r += std::conj(Q(i, k)) * Q(i, j);
        for (int i = 1; i <= n; ++i) Q(i, j) -= r * Q(i, k);
      }
    }
    double norm2 = 0.0;
    for (int i = 1; i <= n; ++i) norm2 += std::norm(Q(i, j));
    const double scale = 1.0 / std::sqrt(norm2);
    for (int i = 1; i <= n; ++i) Q(i, j) *= scale;
  }
  return Q;
}

ZMatrix with_spectrum(const std::vector<double>& lambda, Rng& rng) {
  return gram(random_unitary(static_cast<int>(lambda.size()), rng), lambda, 0.0);
}

ZMatrix hpd_with_condition(int n, double cond, Rng& rng) {
  std::vector<double> sigma(n, 1.0);
  for (int i = 2; i <= n; ++i) sigma[i - 1] = std::pow(cond, (i - 1.0) / (n - 1.0));
  return with_spectrum(sigma, rng);
}

std::vector<double> spectrum_with_multiplicities(
    const std::vector<std::pair<double, int>>& value_multiplicity) {
  std::vector<double> lambda;
  for (const auto& [value, count] : value_multiplicity) lambda.insert(lambda.end(), count, value);
  std::sort(lambda.begin(), lambda.end(), std::greater<>());
  return lambda;
}

std::vector<double> clustered_spectrum(int n, int size, double spacing) {
  std::vector<double> lambda(n);
  for (int i = 0; i < n; ++i) {
    const double centre = 1.0 + i / size;
    lambda[i] = centre * (1.0 + (i % size) * spacing);
  }
  std::sort(lambda.begin(), lambda.end(), std::greater<>());
  return lambda;
}

DMatrix random_symmetric(int n, Rng& rng) {
  const auto draw = [&] { return uniform(rng); };
  return mirrored_random<double>(n, draw, draw);
}

DMatrix random_spd(int n, Rng& rng) {
  const DMatrix C = random_dense<double>(n, [&] { return uniform(rng); });
  return gram(C, std::vector<double>(n, 1.0), n);
}

DMatrix wilkinson_plus(int n) {
  const int m = (n - 1) / 2;
  DMatrix w(n, n);
  for (int i = 1; i <= n; ++i) {
    w(i, i) = std::abs(m + 1 - i);
    if (i < n) w(i + 1, i) = w(i, i + 1) = 1.0;
  }
  return w;
}

ZMatrix to_complex(const DMatrix& m) {
  ZMatrix z(m.rows, m.cols, m.ld);
  z.a.assign(m.a.begin(), m.a.end());
  return z;
}

// ---- Measures --------------------------------------------------------------

double norm1(const ZMatrix& M) { return static_cast<double>(lnorm1(M)); }

double residual_ratio(const ZMatrix& A, const ZMatrix& B, const std::vector<double>& E,
                      const ZMatrix& V) {
  const int n = A.rows;
  const long double normA = lnorm1(A), normB = lnorm1(B);
  double worst = 0.0;
  for (int j = 1; j <= static_cast<int>(E.size()); ++j) {
    const std::vector<lcplx> av = times_column(A, V, j, n), bv = times_column(B, V, j, n);
    const long double lambda = E[j - 1];
    long double error = 0.0;
    for (int i = 0; i < n; ++i) error += std::abs(av[i] - lambda * bv[i]);
    const long double scale = (normA + std::fabs(lambda) * normB) * column_norm1(V, j, n) * n * kEps;
    worst = std::max(worst, ratio(error, scale));
  }
  return worst;
}

double orthonormality_ratio(const ZMatrix& B, const ZMatrix& V, int m) {
  const int n = B.rows;
  std::vector<std::vector<lcplx>> BV;
  for (int j = 1; j <= m; ++j) BV.push_back(times_column(B, V, j, n));
  // The 1-norm of G = V^H B V - I, column by column.
  long double largest = 0.0;
  for (int j = 1; j <= m; ++j) {
    long double column = 0.0;
    for (int i = 1; i <= m; ++i) {
      lcplx g = i == j ? lcplx(-1.0) : lcplx(0.0);
      for (int k = 1; k <= n; ++k) g += std::conj(lcplx(V(k, i))) * BV[j - 1][k - 1];
      column += std::abs(g);
    }
    largest = std::max(largest, column);
  }
  return ratio(largest, n * kEps);
}

double eigenvalue_ratio(const std::vector<double>& E, const std::vector<double>& R) {
  if (E.size() != R.size()) throw std::invalid_argument("eigenvalue_ratio: lengths differ");
  double error = 0.0, size = 0.0;
  for (std::size_t j = 0; j < R.size(); ++j) {
    error = std::max(error, std::abs(E[j] - R[j]));
    size = std::max(size, std::abs(R[j]));
  }
  return ratio(error, static_cast<double>(R.size()) * kEps * size);
}

double relative_error(const std::vector<double>& E, const std::vector<long double>& R) {
  if (E.size() != R.size()) return HUGE_VAL;
  long double error = 0.0, size = 0.0;
  for (std::size_t j = 0; j < R.size(); ++j) {
    error = std::max(error, std::fabs(E[j] - R[j]));
    size = std::max(size, std::fabs(R[j]));
  }
  return ratio(error, size);
}

double hermitian_defect(const ZMatrix& M) {
  double defect = 0.0;
  for (int j = 1; j <= M.rows; ++j)
    for (int i = 1; i <= M.rows; ++i)
      defect = std::max(defect, std::abs(M(i, j) - std::conj(M(j, i))));
  return defect;
}

}  // namespace geneig::oracle
