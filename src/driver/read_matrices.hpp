// read_matrices: the reader of the matrix input file on any source of
// bytes, a file or text in memory, for read_matrix_file and for the tests
// and fuzzers that feed it text. Not installed: the scanner's ByteSource is
// the library's own.
#pragma once

#include <complex>
#include <string_view>

#include "free_format.hpp"
#include "rdmtx.hpp"

namespace geneig {

// read_matrices: reads the records of a matrix input file from source,
// stopping at the first fault, and never ends the program.
//
//  source (in/out) the bytes of the file, read until the last record of B.
//  file   (in)  name of the file, for the diagnostic.
//  A, B   (out) complex, NMAX x NMAX, column-major: rows and columns 1 to N
//               set from the element records read (in part after a fault).
//  N      (out) order from record 1; no element records when N <= 0.
//  X      (out) the real number of record 1.
//  report (out) status and diagnostic; the warnings about the input, which
//               change nothing that is read.
//  Returns report.status: ok, or the fault (read_error, early_end, malformed,
//  too_large for N > NMAX, mismatch).
ReadStatus read_matrices(ByteSource& source, std::string_view file, std::complex<double>* A,
                         std::complex<double>* B, int& N, double& X, ReadReport& report);

// Reads a text file from a source of its bytes; the reader of one kind of
// file (the matrix input file, the result file).
class TextReader {
 public:
  virtual ReadStatus read(ByteSource& source, std::string_view file, ReadReport& report) const = 0;

 protected:
  ~TextReader() = default;
};

// read_text_file: opens the file of the given name (trailing blanks are not
// part of it) and hands its bytes to read; cannot_open, with its line in
// report, when it cannot be opened. Never ends the program.
ReadStatus read_text_file(std::string_view name, ReadReport& report, const TextReader& read);

}  // namespace geneig
