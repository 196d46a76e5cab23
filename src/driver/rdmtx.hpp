// The matrix input file: the order N and a real number X, a heading, the N^2
// element records of A row by row (row index, column index, real part,
// imaginary part), a heading, and the N^2 element records of B.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace geneig {

enum class ReadStatus {
  ok,
  cannot_open,  // the file could not be opened
  read_error,   // reading failed (the name is a directory, an I/O error)
  early_end,    // the file ended before the last record
  malformed,    // an item that is not a valid integer or real
  too_large,    // N above NMAX
  mismatch,     // an element record with other indices than expected
};

// One line of a diagnostic, without its line end.
struct ReportLine {
  char text[512] = {};
  std::size_t length = 0;

  std::string_view view() const { return {text, length}; }
};

// The outcome of a read, with its one-line diagnostic (no line end). For a
// mismatch the line is the one written to standard output, and the six items
// are kept: the expected row and column, the indices and the parts read.
//
// Besides, whatever the outcome: the warnings about the input, in the order
// found ("matrix.in:LINE: warning: ..."; at most three for each matrix: its
// first record that goes on with a number, its largest departure from a
// Hermitian matrix, its largest imaginary part on the diagonal), and for a
// mismatch the line that says where and why, for standard error.
struct ReadReport {
  static constexpr int kMaxWarnings = 6;
  ReadStatus status = ReadStatus::ok;
  std::int64_t line = 0;  // line of the file at fault; 0 when none
  int expected_row = 0, expected_col = 0, row_read = 0, col_read = 0;
  std::complex<double> value_read;
  char text[512] = {};
  std::size_t length = 0;

  ReportLine warnings[kMaxWarnings];
  int warning_count = 0;
  ReportLine companion;  // empty unless status is mismatch

  std::string_view message() const { return {text, length}; }
};

// The relative tolerance of the Hermitian check: an element of the upper
// triangle whose difference from the conjugate of its mirror, or a diagonal
// element whose imaginary part, exceeds this fraction of the matrix's largest
// entry draws a warning (both measured as the larger of the magnitudes of the
// real and imaginary parts). 2^-26, about 1.5e-8: half the digits of a
// double, far above the round-off of a program that computed the matrix,
// far below a difference in the problem.
inline constexpr double kHermitianTolerance = 0x1p-26;

// read_matrix_file: reads the records of the matrix input file of the given
// name (trailing blanks are not part of it), stopping at the first fault,
// and never ends the program.
//
//  name   (in)  the file name.
//  A, B   (out) complex, NMAX x NMAX, column-major: rows and columns 1 to N
//               set from the element records read (in part after a fault).
//  N      (out) order from record 1; no element records when N <= 0.
//  X      (out) the real number of record 1.
//  report (out) status and diagnostic; the warnings about the input, which
//               change nothing that is read.
//  Returns report.status: ok, or the fault (cannot_open, read_error,
//  early_end, malformed, too_large for N > NMAX, mismatch).
ReadStatus read_matrix_file(std::string_view name, std::complex<double>* A,
                            std::complex<double>* B, int& N, double& X, ReadReport& report);

// read_result_file: reads the eigen result file of the given name back
// (saveeig.hpp has its layout), checking the indices of every record against
// the one expected, stopping at the first fault; never ends the program.
//
//  name   (in)  the file name.
//  E      (out) double, N: the eigenvalues.
//  V      (out) complex, NMAX x NMAX, column-major: column j eigenvector j.
//  N      (out) the order.
//  report (out) status and diagnostic ("<file>:LINE: ..."), as for
//               read_matrix_file; a record with other indices than expected
//               is a mismatch.
ReadStatus read_result_file(std::string_view name, double* E, std::complex<double>* V, int& N,
                            ReadReport& report);

// rdmtx: reads the matrix input file into A, B, N and X, and returns only
// when both matrices have been read in full and the file is closed.
//
//  name (in)  text field with its length: the file name followed by blanks.
//  A, B (out) complex, NMAX x NMAX, column-major: rows and columns 1 to N.
//  N    (out) order, at most NMAX.
//  X    (out) the real number of record 1.
//  The warnings about the input go to standard error first. On an index
//  mismatch, writes "Error: Inconsistent (i,j): " and the six items to
//  standard output and the line that says where and why to standard error;
//  on any other fault writes one line naming the file, the line, what was
//  expected and what was found to standard error. Either way the program
//  ends with exit status 1.
void rdmtx(const std::string_view& name, std::complex<double>* A, std::complex<double>* B, int& N,
           double& X);

}  // namespace geneig
