// The reader of the matrix input file, shared by the file that reads the
// records (rdmtx.cpp) and the one that explains what is wrong with them
// (input_diagnosis.cpp): the warnings about a matrix that is read, and the
// line beside an out-of-order element.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "eigcab.hpp"
#include "free_format.hpp"
#include "rdmtx.hpp"

namespace geneig::reader {

using cplx = std::complex<double>;

// What an item stands for, as the diagnostic names it: "the real part of
// B(3,2)", with the kind of item wanted.
struct Expected {
  const char* what;
  const char* kind;
  char matrix = 0;  // 'A' or 'B' for an item of an element record
  int i = 0, j = 0;
};

constexpr const char* kInteger = "an integer";
constexpr const char* kReal = "a real number";

// Text shown for an item in a diagnostic: quoted, at most kShownChars bytes of
// it, anything but printable ASCII as a \xHH escape so that the diagnostic
// stays one readable line whatever the file holds. out must have room for
// kShownItemChars characters and the terminating zero.
constexpr std::size_t kShownChars = 40;
constexpr std::size_t kShownItemChars = 1 + 4 * kShownChars + 4;

void show_item(std::span<const char> text, char* out);

// The line of each element record of the matrix being read, in the order
// read (so that the stores run along memory), for the warnings formed once
// it is complete: line_of(i, j, n) is the line of element (i, j).
inline std::int64_t g_record_line[NMAX * NMAX];
inline std::int64_t& line_of(int i, int j, int n) {
  return g_record_line[static_cast<std::ptrdiff_t>(i - 1) * n + (j - 1)];
}

// Items one by one from a file of free-format records, each fault into the
// report as one line that names the file, the line, what was expected and
// what was found. The readers of the matrix input file and of the result
// file are built on it.
class ItemReader {
 public:
  ItemReader(ByteSource& source, std::string_view file, ReadReport& report)
      : scan_(source), file_(file), report_(report) {}

 protected:
  bool next(const Expected& e, ScannedItem& item);
  bool read_integer(const Expected& e, int& value);
  bool read_real(const Expected& e, double& value);
  bool fail(ReadStatus status, std::int64_t line, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  bool fail_item(ReadStatus status, std::int64_t line, const Expected& e, const char* found);
  bool fail_number(NumberStatus status, const ScannedItem& item, const Expected& e);

  FreeFormatScanner scan_;
  std::string_view file_;
  ReadReport& report_;
  std::int64_t item_line_ = 0;  // line of the last item scanned
};

// One pass over the records of one matrix input file.
class MatrixReader : private ItemReader {
 public:
  using ItemReader::ItemReader;

  bool read_order(int& N, double& X);
  bool read_heading(char matrix);
  bool read_elements(char matrix, cplx* M, int N);

 private:
  bool read_element_items(char matrix, int i, int j, ElementItems& r);
  bool fail_mismatch(std::int64_t line, int i, int j, int row, int col, cplx value);
  void explain_mismatch(char matrix, int N, std::int64_t line, int i, int j, int row, int col);
  void put_line(ReportLine& out, std::int64_t line, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void warn(std::int64_t line, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void note_number_after(int i, int j, std::int64_t line, std::span<const char> text);
  void warn_number_after(char matrix);
  void check_hermitian(char matrix, const cplx* M, int N);

  std::int64_t heading_line_ = 0;  // line of the heading of the matrix being read
  // The last element record of the matrix whose items ran over more than
  // one line: its indices and its first and last line.
  int split_i_ = 0, split_j_ = 0;
  std::int64_t split_first_ = 0, split_last_ = 0;
  // The first element record of the matrix whose line goes on with a
  // number, that text as shown, and how many more there were.
  int after_i_ = 0, after_j_ = 0, after_more_ = 0;
  std::int64_t after_line_ = 0;
  char after_text_[kShownItemChars + 1] = {};
  int last_after_i_ = 0, last_after_j_ = 0;  // the latest such record
  std::int64_t last_after_line_ = 0;
};

}  // namespace geneig::reader
