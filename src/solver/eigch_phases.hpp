// The phases of eigcab and eigch, one function each, exposed so that tests
// can check each phase on its own. Callers outside the solver use eigcab.hpp.
// The phases talk to each other only through their arguments: the caller's
// arrays and, for the storage of their own, a Workspace (workspace.hpp). A
// phase called without one uses the static shared_workspace().
//
// Layout shared by the phases (n = order, na = leading dimension, 1-based):
//
//   A after the tridiagonal reduction (n > 2):      W, na x 7:
//     A(k, k)       phase factor phi_k, k < n         col 1  d_1 .. d_n
//     A(k+1.., k)   reflection vector u of step k     col 2  e_1 .. e_{n-1}
//     A(n, n-1)     last subdiagonal (|.| = e_{n-1})  col 3  e_k^2, then pivots of U
//     A(n, n)       scratch                           col 4  first superdiagonal of U
//                                                     col 5  second superdiagonal of U
//   | phi_1                    |                      col 6  multipliers of L
//   | u    phi_2               |                      col 7  start vector / solution
//   | u    u     phi_3         |
//   | u    u     A(n,n-1) .    |                      IW(k) = 1 where rows k, k+1
//                                                     were interchanged
#pragma once

#include <cmath>
#include <initializer_list>

#include "colmajor.hpp"
#include "complex_ops.hpp"
#include "workspace.hpp"

namespace geneig::detail {

using CMat = ColMajor<cplx>;
using CView = ColMajor<const cplx>;
using RMat = ColMajor<double>;
using RView = ColMajor<const double>;

// The close-eigenvalue threshold is this multiple of the norm bound beta.
inline constexpr double kDeltaFactor = 1e-14;

// Scalars that the eigenvalue phase hands on: the norm bound beta of T (its
// largest absolute row sum), the bisection tolerance tol = EPS * beta and
// the close-eigenvalue threshold delta = 1e-14 * beta.
struct SpectrumScale {
  double beta;
  double tol;
  double delta;
};

// The argument contract of eigch; false for a call that it refuses.
bool eigch_accepts(int N, int NA, int M, int MV);

// eigch's argument checks: false for a call it accepts; otherwise ILL = 2,
// the invalid-argument line (N and M when N < 2 or M = 0, else NA, N, |M|
// and |MV|; always the latter for N > NMAX), and true.
bool refuse_arguments(int N, int NA, int M, int MV, int& ILL);

// eigcab's checks before anything is touched: N > NMAX or NA < N (ILL = 2,
// the line with NA, N, |M| and |MV|), and N < 1 (eigch's refusal, which
// the stages before it would reach untouched). True for a refused call.
bool refuse_order(int N, int NA, int M, int MV, int& ILL);

// True when E(1..ne) and V(1..n, 1..nv) are all finite numbers.
bool results_finite(const double* E, int ne, const cplx* V, int n, int nv, int na);

// The line "(SUBR. EIGCH) INVALID ARGUMENT." followed by the values.
void print_invalid_argument(std::initializer_list<long long> values);

// eigch on a matrix taken as it is, whatever its magnitude: what eigcab
// calls with the reduced matrix, which it has brought into the window
// itself (or clamped, for an eigenvalue beyond the double range).
// With B, the factor of eigcab's pencil: the eigenvectors are taken on
// through back_transform_pencil, where the schedule does it (returns true
// then; false where eigcab still has to).
bool solve_hermitian(cplx* A, int N, int NA, int M, int MV, double& EPS, double* W, int* IW,
                     double* E, cplx* V, int& ILL, Workspace& work, const cplx* B = nullptr);

// ---- Generalized problem (eigcab) ----

// B = L^H D L from the last row up: L(i, j), i > j, overwrites B below the
// diagonal, B(k, k) = sqrt(1/D(k)). A pivot of negative real part is warned
// about (ILL = 5) and kept; an exactly zero pivot is warned about (ILL = 5),
// its reciprocal taken as 0 so that everything stays finite, and the
// function returns false: the pencil is singular and cannot be reduced.
bool factor_b(cplx* B, int n, int na, cplx* D, int& ILL, Workspace& work = shared_workspace());

// A := L^-H A L^-1, from column n-1 down to column 1, reading the lower
// triangle and diagonal of A and the multipliers of L in B.
void reduce_a(cplx* A, const cplx* B, int n, int na, Workspace& work = shared_workspace());

// A := D^-1/2 A D^-1/2 on the lower triangle and diagonal: the standard
// Hermitian matrix R.
void scale_a(cplx* A, const cplx* B, const cplx* D, int n, int na);

// v := D^-1/2 y, the first step of back_transform_pencil, for columns
// 1..ncols of V.
void multiply_pivot_roots(cplx* V, const cplx* B, int n, int na, int ncols);

// v := L^-1 D^-1/2 y for columns 1..ncols of V.
void back_transform_pencil(cplx* V, const cplx* B, int n, int na, int ncols,
                           Workspace& work = shared_workspace());

// How the pencil is solved: as (2^-a S A S, 2^-b S B S), S = diag(2^-row[k])
// when graded, S = I otherwise. S is taken from B's diagonal when that
// spans more than the window of ordinary magnitudes, so that S B S has its
// diagonal in [1, 4); a and b (b even) bring the largest entries of the
// scaled matrices into [1, 2) where they lie outside the window, and are 0
// inside it. a also takes the exponent by which the reduced matrix is
// scaled, so that the eigenvalues are 2^(a-b) times those computed; the
// eigenvectors are 2^(-b/2) S times those computed.
// beyond: eigenvalues of at least this magnitude, as computed, lie beyond
// the double range (set when the reduced matrix shows one).
// finite: false when A or B holds a NaN or an infinity where it is read.
struct PencilScale {
  int a;
  int b;
  double beyond = HUGE_VAL;
  bool finite = true;
  bool graded = false;
  int row[NMAX + 1] = {};  // entries 1..n, when graded
};
PencilScale choose_pencil_scale(const cplx* A, const cplx* B, int n, int na);
void scale_pencil(cplx* A, cplx* B, int n, int na, const PencilScale& scale);

// Largest |Re| or |Im| over the lower triangle and diagonal of X, infinity
// if one is not a finite number; the imaginary parts of the diagonal, which
// the solver ignores, left out.
double lower_magnitude(const CView& X, int n);

// The exponent e that brings a magnitude outside the window of ordinary
// magnitudes, [2^-32, 2^32], into [1, 2); 0 inside it, for zero and for
// values that are not finite.
int window_exponent(double magnitude);

// X := 2^-e X on the lower triangle and diagonal (exact: only the exponents
// change, unless an entry falls below the normal range).
void scale_lower(cplx* X, int n, int na, int e);

// The reduced matrix R (lower triangle and diagonal) scaled by a power of
// two 2^-r into the same window, r added to scale.a. False when R shows an
// eigenvalue beyond the double range: its huge parts are then clamped and
// scale.beyond set (see the definition); or when R holds a not-a-number,
// and is left as it is.
bool scale_reduced(cplx* R, int n, int na, PencilScale& scale);

// Scales the results of the scaled pencil back: E(1..ne), V(., 1..nv), D
// and the factor in B. False if an eigenvalue leaves the normal double
// range on the way (unscale_eigenvalues).
bool unscale_results(cplx* B, cplx* D, double* E, int ne, cplx* V, int nv, int n, int na,
                     const PencilScale& scale);

// E(1..ne) := 2^e E. False if an eigenvalue leaves the normal double range
// on the way: one beyond it (or computed at beyond or above) becomes the
// largest finite double of its sign; one below it is written as the
// subnormal or zero it rounds to, and reported only when it is the largest
// of E in magnitude (see the definition).
bool unscale_eigenvalues(double* E, int ne, int e, double beyond);

// ---- Hermitian eigensolver (eigch) ----

// Order 2 in closed form: d, e_1 and phi_1, and E(1..|m|) in the order that
// the sign of m asks for.
SpectrumScale closed_form_order2(cplx* A, int na, int m, double eps, double* W, double* E);

// Householder reduction of the Hermitian matrix (lower triangle) to the real
// symmetric tridiagonal T: d into W(., 1), e into W(., 2), phase factors and
// reflection vectors into A (layout above).
void reduce_to_tridiagonal(cplx* A, int n, int na, double* W,
                           Workspace& work = shared_workspace());

// Sturm counts of T (d in W(., 1), e_k^2 in W(., 3)) at lanes trial values
// x (16 or kSturmLanes): counts[l] is the number of eigenvalues >= x[l] for
// m > 0, of eigenvalues < x[l] for m < 0.
inline constexpr int kSturmLanes = 32;
void sturm_counts(const double* W, int n, int na, int m, const double* x, int* counts,
                  int lanes = kSturmLanes);

// What the solve's schedule (solve_schedule.cpp) runs beside the search
// for eigenvalues: rows of a block's reflections inside the passes of Sturm
// counts (rows, unless null or done), and after each pass and each
// eigenvalue found whatever the eigenvalues found so far allow. The counts
// then read e_k^2 from squares (entries 1..n-1), which the search fills,
// and W's columns 3..7 are free for the work between passes.
struct BlockProgress;
class SearchCompanion {
 public:
  BlockProgress* rows = nullptr;
  double* squares = nullptr;
  virtual void scaled(const SpectrumScale& scale) = 0;  // before the search
  virtual void after_pass() = 0;
  virtual void found(int i) = 0;  // the search for E(i) has ended: E(1..i) are final

 protected:
  ~SearchCompanion() = default;
};

// |m| eigenvalues at one end of the spectrum of T by bisection, into E;
// with a companion beside it.
SpectrumScale bisect_eigenvalues(double* W, int n, int na, int m, double eps, double* E,
                                 SearchCompanion* companion = nullptr);

// For n > 2 and mv != 0: bisect_eigenvalues, inverse_iteration and
// back_transform as eigch calls them and, when B is not null, eigcab's
// back_transform_pencil with B's factor, with the later phases' work done
// beside the search (solve_schedule.cpp); the same results, bit for bit.
// Returns the conjunction of what the two vector phases return.
bool solve_tridiagonal(const cplx* A, const cplx* B, int n, int na, int m, int mv, double eps,
                       double* W, int* IW, double* E, cplx* V, Workspace& work);

// Consecutive eigenvalues closer than max(EPS, 1e-3 beta) form a cluster,
// whose eigenvectors are kept orthogonal to each other.
double cluster_distance(double eps, double beta);

// x := x - sum_l (q_l . x) q_l against q_1..q_m, the orthonormal columns
// of Q (rows 1..n): x (entries 1..n) comes out orthogonal to them to
// working precision, however much of it they take away. x is first scaled
// to largest entry 1; returns ||x after|| / ||x before||.
double orthogonalize_in_cluster(const RMat& Q, double* x, int n, int m);

// Eigenvectors of T for E(1..nv) by two steps of inverse iteration, into
// the real parts of V (imaginary parts 0). Vectors of eigenvalues within
// cluster of the previous one (none if cluster < 0) that come out nearly
// dependent on their cluster are refined by further steps. False when
// such a vector could not be refined into an eigenvector.
bool inverse_iteration(double* W, int* IW, int n, int na, const double* E, int nv,
                       const SpectrumScale& scale, double cluster, cplx* V,
                       Workspace& work = shared_workspace());

// inverse_iteration a few vectors at a time, for a schedule that finds the
// eigenvalues meanwhile: advance(known) computes the next vectors whose
// decisions read only E(1..known) (vector j reads E(j-2..j+4) at most), in
// the order and with the operations of inverse_iteration; advance(nv) the
// rest. done() vectors are in V.
class InverseIteration {
 public:
  InverseIteration(double* W, int* IW, int n, int na, const double* E, int nv,
                   const SpectrumScale& scale, double cluster, cplx* V, Workspace& work);
  void advance(int known);
  int done() const { return next_ - 1; }
  bool separated() const { return separated_; }

 private:
  void step();
  void start(double* x, int j);
  bool clustered(int j) const;
  bool unclustered(int j, int count) const;

  double* W_;
  int* IW_;
  int n_, na_;
  const double* E_;
  int nv_;
  SpectrumScale scale_;
  double cluster_;
  cplx* V_;
  Workspace& work_;
  double coincide_, spread_;
  int seed_;
  int next_ = 1;       // the next vector
  int first_ = 1;      // first vector of the current cluster
  double shift_ = 0.0;  // the previous member's refinement shift
  bool separated_ = true;
};

// Eigenvectors of T -> eigenvectors of A (x = Q Phi y), scaled by their
// largest component; for mv > 0 re-orthogonalized within clusters and of
// unit 2-norm. False when the re-orthogonalization leaves next to nothing
// of a vector: its cluster's eigenvalues could not be told apart.
bool back_transform(const cplx* A, const double* W, int n, int na, const double* E, int mv,
                    double eps, double beta, cplx* V, Workspace& work = shared_workspace());

// back_transform in its parts, which the solve's schedule runs apart:
// prepare_back_transform puts pi_k into work.weights and the reflections
// that are not the identity into work.reflections, and returns their
// number; multiply_phases multiplies row k of vectors j0..j1 by pi_k;
// reflect_vectors applies the reflections to vectors j0..j1, four at a
// time in work.block; normalize_vectors does the rest for vectors j0..j1,
// those before them done (returns false as back_transform does).
int prepare_back_transform(const cplx* A, const double* W, int n, int na, Workspace& work);
void multiply_phases(cplx* V, int n, int na, int j0, int j1, const cplx* pi);
void reflect_vectors(const cplx* A, int n, int na, int count, cplx* V, int j0, int j1,
                     Workspace& work);
bool normalize_vectors(const double* E, int n, int na, int mv, double eps, double beta, cplx* V,
                       int j0, int j1);

}  // namespace geneig::detail
