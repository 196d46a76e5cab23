// geneig: solves the generalized eigenproblem A v = lambda B v for a complex
// Hermitian A and a Hermitian positive definite B of order N <= 200, read
// from "matrix.in", and writes all eigenvalues (largest first) and
// eigenvectors to "matrix.out". Command-line arguments are ignored.
//
// Exit status: 0 solved and written; 1 the input could not be used (nothing
// written); 2 the result file could not be written; 3 the solver reported a
// failure, or the result failed its residual check (the result file is
// written all the same). SIGINT, SIGTERM and SIGHUP end the run by that
// signal, without leaving a temporary file.
#include <algorithm>
#include <complex>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "eigcab.hpp"
#include "rdmtx.hpp"
#include "result_check.hpp"
#include "saveeig.hpp"

using geneig::NMAX;
using cplx = std::complex<double>;

// The shared parameter block: the order of the problem first.
struct Params {
  int N;
};
Params params;

namespace {

// Every array of the run lives here for the life of the process: nothing is
// allocated while the program runs.
cplx A[NMAX * NMAX];  // A as read, overwritten by the solve
cplx B[NMAX * NMAX];  // B as read, overwritten by its factor
// The arrays first touched after the order is known, in a 2 MB block of
// their own, the size of a huge page (1.9 MB at NMAX = 200): for a large
// order, one fault and one zeroing in place of some 470 faults of 4 KB.
struct alignas(1 << 21) LateArrays {
  cplx V[NMAX * NMAX];  // eigenvectors, column j for E(j)
  // A and B as read, for the residual check of the result: the solve
  // overwrites A and B.
  cplx A0[NMAX * NMAX];
  cplx B0[NMAX * NMAX];
};
LateArrays late;
cplx (&V)[NMAX * NMAX] = late.V;
cplx (&A0)[NMAX * NMAX] = late.A0;
cplx (&B0)[NMAX * NMAX] = late.B0;
double X;             // the real number of record 1, kept but not used
double EPS;           // bisection tolerance
double E[NMAX];       // eigenvalues
int ILL;              // error code of the solve
cplx D[NMAX];         // pivots of the factorization of B
int IW[NMAX];         // integer work space of the solver
double W[NMAX * 7];   // real work space of the solver, NMAX x 7
// Standard output's buffer: the C library would otherwise allocate one on
// the first diagnostic line.
char stdout_buffer[BUFSIZ];
char input_name[80];
char output_name[80];

// The leading dimension of every matrix, from read-only storage: the solver
// must never write it.
static const int NA = NMAX;

// Fills a text field: the text, then blanks to the end of the field.
void fill_text_field(char (&field)[80], std::string_view text) {
  std::memset(field, ' ', sizeof field);
  std::memcpy(field, text.data(), std::min(text.size(), sizeof field));
}

void report(const char* line) {
  std::fputs(line, stderr);
  std::fputc('\n', stderr);
}

// The lower triangles and diagonals of A and B, which the solver reads,
// into A0 and B0. A small order touches a few dozen pages of the block,
// fewer than a huge page's zeroing costs, and leaves it as it is.
void keep_pencil(int n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (n >= NMAX / 2) static_cast<void>(madvise(&late, sizeof late, MADV_HUGEPAGE));
#endif
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) {
      A0[i + j * NMAX] = A[i + j * NMAX];
      B0[i + j * NMAX] = B[i + j * NMAX];
    }
}

}  // namespace

int main() {
  // A diagnostic line that cannot be written (standard output a pipe whose
  // reader has gone) is lost, but does not end the run: the result file is
  // still written and the exit status is still the one that says what
  // happened.
  std::signal(SIGPIPE, SIG_IGN);
  geneig::install_result_file_signals();
  std::setvbuf(stdout, stdout_buffer, _IOLBF, sizeof stdout_buffer);
  fill_text_field(input_name, "matrix.in");
  fill_text_field(output_name, "matrix.out");
  geneig::rdmtx(std::string_view(input_name, sizeof input_name), A, B, params.N, X);
  // E is defined even for an order the solver rejects; ILL is set only on a
  // failure; EPS = 0 lets bisection run to full floating-point resolution.
  std::fill(E, E + NMAX, 0.0);
  ILL = 0;
  EPS = 0.0;
  // All N eigenvalues, largest first, and all N eigenvectors: M and MV are
  // the order itself.
  keep_pencil(params.N);
  geneig::eigcab(A, B, params.N, NA, params.N, params.N, EPS, D, E, V, ILL, IW, W);
  // Beside the solver's line for each pivot of B that is not positive, the
  // line that says what it means and where.
  if (ILL == GENEIG_ILL_INDEFINITE_B) {
    for (int k = params.N; k >= 1; --k) {
      char line[160];
      if (geneig::pivot_line(D, k, line, sizeof line)) report(line);
    }
  }
  geneig::saveeig(std::string_view(output_name, sizeof output_name), E, V, params.N);

  // A failed solve still leaves its result file, but never with status 0;
  // failures the solver cannot name itself get one line here.
  if (ILL == GENEIG_ILL_OUT_OF_RANGE) {
    report("geneig: an eigenvalue of the pencil lies outside the range of double precision; "
           "matrix.out holds the nearest finite double of its sign in its place");
  } else if (ILL == GENEIG_ILL_VECTORS_NOT_SEPARATED) {
    report("geneig: eigenvalues lie too close together, measured against the largest, for their "
           "eigenvectors to be told apart; matrix.out holds them as computed");
  } else if (ILL == GENEIG_ILL_NOT_FINITE_RESULT) {
    report("geneig: the solution holds values that are not finite numbers; "
           "matrix.out holds them as computed");
  } else if (ILL == 0) {
    // A safety net for faults no test has found: the result must look like
    // what a backward-stable solve gives (result_check.hpp).
    const geneig::ResidualCheck check =
        geneig::residual_check(A0, B0, params.N, NA, E, V, params.N);
    if (!check.passed()) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "geneig: the result fails its residual check (%.3g times the bound); "
                    "matrix.out holds it as computed",
                    check.ratio / check.bound);
      report(line);
      return 3;
    }
  }
  return ILL != 0 ? 3 : 0;
}
