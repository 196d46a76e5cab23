// geneig: solves the generalized eigenproblem A v = lambda B v for a complex
// Hermitian A and a Hermitian positive definite B of order N <= 200, read
// from "matrix.in", and writes all eigenvalues (largest first) and
// eigenvectors to "matrix.out". Command-line arguments are ignored.
//
// Exit status: 0 solved and written; 1 the input could not be used (nothing
// written); 2 the result file could not be written; 3 the solver reported a
// failure (the result file is written all the same).
#include <algorithm>
#include <complex>
#include <cstring>
#include <string_view>

#include "eigcab.hpp"
#include "rdmtx.hpp"
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
cplx V[NMAX * NMAX];  // eigenvectors, column j for E(j)
double X;             // the real number of record 1, kept but not used
double EPS;           // bisection tolerance
double E[NMAX];       // eigenvalues
int ILL;              // error code of the solve
// Work space of the solver (unused until the solve is wired in).
[[maybe_unused]] cplx D[NMAX];        // pivots of the factorization of B
[[maybe_unused]] int IW[NMAX];        // integer work space
[[maybe_unused]] double W[NMAX * 7];  // real work space, NMAX x 7
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

}  // namespace

int main() {
  fill_text_field(input_name, "matrix.in");
  fill_text_field(output_name, "matrix.out");
  geneig::rdmtx(std::string_view(input_name, sizeof input_name), A, B, params.N, X);
  // E is defined even for an order the solver rejects; ILL is set only on a
  // failure; EPS = 0 lets bisection run to full floating-point resolution.
  std::fill(E, E + NMAX, 0.0);
  ILL = 0;
  EPS = 0.0;
  // solve: eigcab with NA, and M = MV = params.N (one variable), goes here.
  geneig::saveeig(std::string_view(output_name, sizeof output_name), E, V, params.N);
  return 0;
}
