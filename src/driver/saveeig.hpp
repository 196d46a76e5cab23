// The eigen result file: N, the heading "Eigen values", one record (i, E(i))
// per eigenvalue, the heading "Eigen vectors", and one record (i, j, re, im)
// per eigenvector component, component index i outermost.
#pragma once

#include <complex>
#include <cstddef>
#include <string_view>

namespace geneig {

// The outcome of a write, with its one-line diagnostic (no line end).
struct WriteReport {
  bool ok = true;
  char text[512] = {};
  std::size_t length = 0;

  std::string_view message() const { return {text, length}; }
};

// Receives a text in pieces, in order.
class TextSink {
 public:
  // Takes the next piece; false when it cannot, and for every piece after.
  virtual bool put(std::string_view piece) = 0;

 protected:
  ~TextSink() = default;
};

// The result file is formatted in pieces of at most this many bytes, so that
// its size bounds neither memory nor the order.
inline constexpr std::size_t kResultPieceBytes = 64 * 1024;

// format_result: the records of the result file, in the free output layout,
// formatted piece by piece in one buffer of static storage and handed to
// sink as each piece fills.
//
//  E    (in) double, N: eigenvalues.
//  V    (in) complex, NMAX x N, column-major: column j is eigenvector j.
//  N    (in) order; for N <= 0 only the order and the two headings. N <= NMAX.
//  sink (in/out) receives the text, whole records to a piece.
//  Returns false as soon as sink refuses a piece (nothing more is formatted).
bool format_result(const double* E, const std::complex<double>* V, int N, TextSink& sink);

// format_input: the records of a matrix input file that the reader reads
// back to the same bits: "N X", the heading "Matrix A", the N^2 element
// records (i, j, re, im) of A row by row, the heading "Matrix B" and those
// of B, in the free output layout, piece by piece as format_result.
//
//  A, B (in) complex, NMAX x NMAX, column-major: every element of rows and
//            columns 1 to N is written, the upper triangle included.
//  N    (in) order, 0 <= N <= NMAX.   X (in) the real number of record 1.
//  sink (in/out) receives the text.  Returns false as format_result.
bool format_input(const std::complex<double>* A, const std::complex<double>* B, int N, double X,
                  TextSink& sink);

// write_result_file: writes the result file of the given name (trailing
// blanks are not part of it) and never ends the program. The text goes to a
// new temporary file in the same directory as it is formatted, which is
// closed and then renamed over the file, so the file is replaced whole or
// not at all: on failure the previous file is left as it was and the
// temporary file is removed. The temporary file is not synced to disk first.
// Where the file system allows, it has no name until it is complete; else it
// is named "<name>.tmp" (a number after it while that is in use by another
// run). Temporaries left by runs that have ended (killed) are removed first;
// those of runs still writing are left alone. A regular file replaced hands
// its permission bits to the new one, and its owner and group where the run
// may set them; one that the user may not write (access W_OK under the
// effective ids) is refused and left as it was.
//
//  name, E, V, N (in) as for saveeig; N above NMAX is refused.
//  report (out) ok, or the failure and its diagnostic.
//  Returns report.ok.
bool write_result_file(std::string_view name, const double* E, const std::complex<double>* V,
                       int N, WriteReport& report);

// write_input_file: writes a matrix input file (format_input) of the given
// name, replacing it whole or not at all as write_result_file does.
bool write_input_file(std::string_view name, const std::complex<double>* A,
                      const std::complex<double>* B, int N, double X, WriteReport& report);

// install_result_file_signals: makes the process's signals safe for the
// result file. SIGINT, SIGTERM and SIGHUP (unless the process started with
// them ignored) remove the temporary file of a write in progress, if it has
// a name, and then end the process by the same signal. SIGXFSZ is ignored:
// a write beyond the file-size limit fails (EFBIG) and is reported as any
// failed write.
void install_result_file_signals();

// saveeig: writes the eigenvalues and eigenvectors to the result file.
//
//  name (in) text field with its length: the file name followed by blanks.
//  E    (in) double, N: eigenvalues, written as they stand.
//  V    (in) complex, NMAX x N, column-major: eigenvectors.
//  N    (in) order.
//  If the file cannot be written, writes one line naming it and the reason
//  to standard error and ends the program with exit status 2.
void saveeig(const std::string_view& name, const double* E, const std::complex<double>* V,
             const int& N);

}  // namespace geneig
