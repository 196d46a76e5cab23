// Householder reduction of a complex Hermitian matrix A of order n > 2 to
// the real symmetric tridiagonal T = Phi^H Q^H A Q Phi, Q = H_1 ... H_{n-2}
// a product of reflections and Phi = diag(pi_k) a diagonal of phases.
//
//   A  (in/out) complex, na x n. In: the lower triangle, and of the diagonal
//              only the real parts. Out: the reflection vectors and phase
//              factors (picture below); the upper triangle is not touched.
//   W  (out)    double, na x 7: d_1..d_n in column 1, e_1..e_{n-1} in
//              column 2 (e_k = -sigma_k for k <= n-2, e_{n-1} = |A(n, n-1)|).
//   work        sums, weights, u_turned, q_turned: the vectors of a step.
//
// A on return, n = 5:
//
//   | phi_1                               |   phi_k: phase factor of step k
//   | u_1    phi_2                        |   u_k:   reflection vector of
//   | u_1    u_2    phi_3                 |          step k, rows k+1..n
//   | u_1    u_2    u_3    phi_4          |   A(n, n-1): the last
//   | u_1    u_2    u_3    A(5,4)  .      |          subdiagonal entry;
//                                                    A(n, n): scratch
//
// with the reflection H_k = I - u u^H / gamma_k and the back-transformation
// reading gamma_k = -e_k u_{k+1} conj(phi_k).
#include <cfloat>
#include <cmath>

#include "eigch_phases.hpp"
#include "simd.hpp"
#include "workspace.hpp"

namespace geneig::detail {
namespace {

using namespace simd;

// Binary exponent, relative to the largest entry, below which a column's
// norm in the Householder reduction counts as zero.
constexpr int kNegligibleColumn = -400;

// For the Hermitian matrix whose lower triangle lies in columns k+1..n of
// X (diagonal excluded), and the vector u:
//   below(j) = sum_{i=k+1..j-1} X(j,i) u_i,
//   above(i) = sum_{j=i+1..n} conj(X(j,i)) u_j.
// One pass down each column i adds X(j,i) u_i to below(j) of every row
// j > i and forms above(i). Four columns go side by side, so that their
// four above-sums overlap; the rows of their own triangle come first, so
// that every sum still takes its terms in increasing index.
template <int R>
void hermitian_product_sums(const CView& X, const cplx* u, int k, int n, cplx* below,
                            cplx* above) {
  for (int j = k + 1; j <= n; ++j) below[j] = 0.0;
  int i = k + 1;
  for (; i + 3 <= n; i += 4) {
    const cplx* a[4] = {X.col(i), X.col(i + 1), X.col(i + 2), X.col(i + 3)};
    const cplx uc[4] = {u[i], u[i + 1], u[i + 2], u[i + 3]};
    Half s[4] = {};
    auto one_row = [&](int j, int columns) {
      for (int c = 0; c < columns; ++c) {
        below[j] += cmul(a[c][j], uc[c]);
        s[c] += swapped(cmul(std::conj(a[c][j]), u[j]));
      }
    };
    for (int j = i + 1; j <= i + 3; ++j) one_row(j, j - i);
    int j = i + 4;
    for (; j + 3 <= n; j += 4) {
      const Quad<R> uj = load4<R>(u + j);
      const Quad<R> ur2 = real_parts_twice(uj), ui2 = imag_parts_twice(uj);
      Quad<R> b = load4<R>(below + j);
      for (int c = 0; c < 4; ++c) {
        const Quad<R> x = load4<R>(a[c] + j), xs = negate_real_parts(swap_parts(x));
        b += times(uc[c], x, xs);
        const Quad<R> t = conj_product_swapped(x, xs, ur2, ui2);
        for (int r = 0; r < 4; ++r) s[c] += part(t, r);
      }
      store4(below + j, b);
    }
    for (; j <= n; ++j) one_row(j, 4);
    for (int c = 0; c < 4; ++c) above[i + c] = unswapped(s[c]);
  }
  for (; i <= n; ++i) {
    const cplx* a = X.col(i);
    const cplx ui = u[i];
    cplx sum = 0.0;
    for (int j = i + 1; j <= n; ++j) {
      below[j] += cmul(a[j], ui);
      sum += cmul(std::conj(a[j]), u[j]);
    }
    above[i] = sum;
  }
}

// Householder reduction. Step k (k = 1..n-2) takes x = A(k+1..n, k) with
// sigma = ||x||, alpha = |x_1|, phi = x_1/alpha, and the reflection
// H = I - h u u^H with u = x + sigma phi e_1, h = 1/(alpha sigma + sigma^2),
// so that H x = -sigma phi e_1. The trailing block A' becomes H A' H through
//   p = h A' u,  K' = (h/2) u^H p,  q = p - K' u,  A' := A' - u q^H - q u^H.
// The subdiagonal left behind is e_k phi_k with e_k = -sigma; the phases
// phi_k turn the Hermitian tridiagonal into the real T.
template <int R>
void reduce_to_tridiagonal_kernel(cplx* Ap, int n, int na, double* Wp, Workspace& work) {
  const CMat A(Ap, na);
  const RMat W(Wp, na);
  // A column x with ||x|| below 2^kNegligibleColumn times the largest
  // entry, or ||x||^2 below the smallest normal double, is taken as zero:
  // h, and K' with it (about |A'| / ||x||^2), would leave the double range,
  // and dropping x changes the matrix far below the rounding errors of its
  // entries.
  cplx* u_turned = work.u_turned;
  cplx* q_turned = work.q_turned;
  const double big = lower_magnitude(CView(Ap, na), n);
  const double tiny = std::isfinite(big) ? std::ldexp(big, kNegligibleColumn) : 0.0;
  for (int i = 1; i <= n; ++i) W(i, 1) = A(i, i).real();
  for (int k = 1; k <= n - 2; ++k) {
    double s2 = 0.0;
    for (int i = k + 1; i <= n; ++i) {
      s2 += A(i, k).real() * A(i, k).real();
      s2 += A(i, k).imag() * A(i, k).imag();
    }
    double sigma = std::sqrt(s2);
    if (s2 < DBL_MIN || sigma < tiny) s2 = sigma = 0.0;
    const double alpha = cabs(A(k + 1, k));
    W(k, 2) = -sigma;
    const cplx phi = alpha == 0.0 ? cplx(1.0, 0.0) : unit_phase(A(k + 1, k), alpha);
    A(k, k) = phi;
    if (s2 == 0.0) continue;
    const double h = 1.0 / (alpha * sigma + s2);
    A(k + 1, k) = A(k + 1, k) + cscale(phi, sigma);

    // p_j = h (sum_{i<j} A(j,i) u_i + d_j u_j + sum_{i>j} conj(A(i,j)) u_i),
    // stored on the diagonal. One pass down each column i of the trailing
    // block adds A(j,i) u_i to the first sum of every row j > i and forms
    // the second sum of row i; every sum keeps its order.
    const cplx* u = A.col(k);
    cplx* below = work.sums;
    cplx* above = work.weights;
    hermitian_product_sums<R>(CView(Ap, na), u, k, n, below, above);
    for (int j = k + 1; j <= n; ++j)
      A(j, j) = cscale((below[j] + cscale(u[j], W(j, 1))) + above[j], h);

    cplx K = 0.0;
    for (int j = k + 1; j <= n; ++j) K += cmul(std::conj(u[j]), A(j, j));
    const cplx Kh = cscale(K, h * 0.5);
    cplx* q = work.sums;
    for (int j = k + 1; j <= n; ++j) A(j, j) = q[j] = A(j, j) - cmul(u[j], Kh);
    for (int j = k + 1; j <= n; ++j)
      W(j, 1) = W(j, 1) - 2.0 * (q[j].real() * u[j].real() + q[j].imag() * u[j].imag());

    // A' := A' - u q^H - q u^H below the diagonal, column by column, four
    // rows at a time, cmul(u_j, c) as cr u_j + ci (-Im u_j, Re u_j).
    for (int j = k + 1; j <= n; ++j) {
      u_turned[j] = cplx(-u[j].imag(), u[j].real());
      q_turned[j] = cplx(-q[j].imag(), q[j].real());
    }
    for (int i = k + 1; i <= n - 1; ++i) {
      cplx* a = A.col(i);
      const cplx qi = std::conj(q[i]), ui = std::conj(u[i]);
      int j = i + 1;
      for (; j + 3 <= n; j += 4)
        store4(a + j, load4<R>(a + j) - times(qi, load4<R>(u + j), load4<R>(u_turned + j)) -
                          times(ui, load4<R>(q + j), load4<R>(q_turned + j)));
      for (; j <= n; ++j) a[j] = a[j] - cmul(u[j], qi) - cmul(q[j], ui);
    }
  }
  const double e = cabs(A(n, n - 1));
  W(n - 1, 2) = e;
  A(n - 1, n - 1) = e == 0.0 ? cplx(1.0, 0.0) : unit_phase(A(n, n - 1), e);
}

}  // namespace

GENEIG_KERNEL(void, reduce_to_tridiagonal, (cplx* Ap, int n, int na, double* Wp, Workspace& work),
              (Ap, n, na, Wp, work))

}  // namespace geneig::detail
