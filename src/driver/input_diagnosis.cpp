// What is wrong with the records of a matrix, in words: the line beside an
// element out of order, with the likeliest reason; the warnings about a
// number after an element record and about a matrix that is not Hermitian.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "colmajor.hpp"
#include "eigcab.hpp"
#include "free_output.hpp"
#include "matrix_reader.hpp"

namespace geneig::reader {

namespace {

// "(re, im)" in shortest form, for a warning; out has room for 64 characters.
void show_complex(cplx z, char* out) {
  *out++ = '(';
  out = put_text(put_real(out, z.real()), ", ");
  out = put_text(put_real(out, z.imag()), ")");
  *out = '\0';
}

// The larger magnitude of the two parts: the measure of the Hermitian check,
// which cannot overflow as a modulus could.
double part_max(cplx z) { return std::max(std::abs(z.real()), std::abs(z.imag())); }

}  // namespace

// The line of standard error beside the mismatch line: where, and the
// likeliest reason when the indices show it plainly.
void MatrixReader::explain_mismatch(char matrix, int N, std::int64_t line, int i, int j, int row,
                                    int col) {
  char hint[256] = "";
  const int pi = j > 1 ? i : i - 1, pj = j > 1 ? j - 1 : N;
  if (split_i_ == pi && split_j_ == pj && pi >= 1) {
    std::snprintf(hint, sizeof hint,
                  "; the record of %c(%d,%d) on line %lld took its last item from line %lld: "
                  "is an item missing?",
                  matrix, pi, pj, static_cast<long long>(split_first_),
                  static_cast<long long>(split_last_));
  } else if (last_after_i_ == pi && last_after_j_ == pj && pi >= 1) {
    std::snprintf(hint, sizeof hint,
                  "; the line of %c(%d,%d), line %lld, goes on with a number: a second record "
                  "on one line is never read",
                  matrix, pi, pj, static_cast<long long>(last_after_line_));
  } else if (row == i - 1 && col == j - 1) {
    std::snprintf(hint, sizeof hint, "; indices start at 1");
  } else if (row == j && col == i) {
    // Column-major order and a lower triangle alone both put A(2,1) after
    // A(1,1); the record after it tells them apart: A(2,2) in a triangle.
    // (The look ahead may fail and fill the report: the mismatch is
    // reported after this.)
    ElementItems after;
    const bool triangle =
        (scan_.read_plain_element(after) || read_element_items(matrix, i, j + 1, after)) &&
        after.row == row && after.col == row;
    std::snprintf(hint, sizeof hint, "; %s",
                  triangle ? "the lower triangle only? Every element of both triangles is needed"
                           : "column-major order?");
  } else if (row == i && col == i && j < i) {
    std::snprintf(hint, sizeof hint,
                  "; the upper triangle only? Every element of both triangles is needed");
  } else if (i == 1 && j == 1 && row == 1 && col == 2) {
    std::snprintf(hint, sizeof hint,
                  "; the heading of %c was taken from line %lld: is the heading line missing?",
                  matrix, static_cast<long long>(heading_line_));
  }
  put_line(report_.companion, line,
           "expected %c(%d,%d), found %c(%d,%d): elements go row by row, the column index "
           "running fastest%s",
           matrix, i, j, matrix, row, col, hint);
}

void MatrixReader::note_number_after(int i, int j, std::int64_t line,
                                     std::span<const char> text) {
  last_after_i_ = i;
  last_after_j_ = j;
  last_after_line_ = line;
  if (after_line_ != 0) {
    ++after_more_;
    return;
  }
  after_i_ = i;
  after_j_ = j;
  after_line_ = line;
  show_item(text, after_text_);
}

void MatrixReader::warn_number_after(char matrix) {
  if (after_line_ == 0) return;
  char more[64] = "";
  if (after_more_ > 0)
    std::snprintf(more, sizeof more, " (%d more record%s of %c like it)", after_more_,
                  after_more_ > 1 ? "s" : "", matrix);
  warn(after_line_,
       "the record of %c(%d,%d) goes on after its fourth item with %s: a decimal comma, or a "
       "second record on one line? The rest of the line is skipped%s",
       matrix, after_i_, after_j_, after_text_, more);
  after_line_ = 0;
  after_more_ = 0;
}

// A complete matrix against its conjugate transpose: the solver uses the
// lower triangle and, of the diagonal, the real parts. Differences beyond
// round-off get one warning each. (A matrix that
// is Hermitian to the bit, as programs usually write them, is told while it
// is read and not measured.)
void MatrixReader::check_hermitian(char matrix, const cplx* M, int N) {
  const ColMajor<const cplx> m(M, NMAX);
  double largest = 0, worst = 0, worst_diagonal = 0;
  int wi = 0, wj = 0, wk = 0;
  for (int j = 1; j <= N; ++j) {
    for (int i = 1; i <= N; ++i) largest = std::max(largest, part_max(m(i, j)));
    const double d = std::abs(m(j, j).imag());
    if (d > worst_diagonal) {
      worst_diagonal = d;
      wk = j;
    }
    for (int i = j + 1; i <= N; ++i) {
      const double diff = part_max(m(j, i) - std::conj(m(i, j)));
      if (diff > worst) {
        worst = diff;
        wi = i;
        wj = j;
      }
    }
  }
  const double limit = kHermitianTolerance * largest;
  char upper[64], lower[64];
  if (worst > limit) {
    show_complex(m(wj, wi), upper);
    show_complex(m(wi, wj), lower);
    warn(line_of(wj, wi, N),
         "%c is not Hermitian: %c(%d,%d) = %s is not the conjugate of %c(%d,%d) = %s on line "
         "%lld, the largest such difference; the lower triangle is used",
         matrix, matrix, wj, wi, upper, matrix, wi, wj, lower,
         static_cast<long long>(line_of(wi, wj, N)));
  }
  if (worst_diagonal > limit) {
    show_complex(m(wk, wk), upper);
    warn(line_of(wk, wk, N),
         "%c(%d,%d) = %s has an imaginary part, the largest on the diagonal of %c, where a "
         "Hermitian matrix is real; the imaginary parts of the diagonal of %c are ignored",
         matrix, wk, wk, upper, matrix, matrix);
  }
}

}  // namespace geneig::reader
