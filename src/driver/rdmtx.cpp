// Reading the matrix input file, record by record, with the index check of
// every element record.
#include "rdmtx.hpp"

#include "diagnostic.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "colmajor.hpp"
#include "eigcab.hpp"
#include "free_output.hpp"
#include "matrix_reader.hpp"
#include "read_matrices.hpp"
#include "text_field.hpp"

namespace geneig {

namespace reader {

void show_item(std::span<const char> text, char* out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  *out++ = '"';
  for (const char ch : text.first(std::min(text.size(), kShownChars))) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      *out++ = '\\';
      *out++ = ch;
    } else if (c >= 0x20 && c < 0x7f) {
      *out++ = ch;
    } else {
      out = put_text(out, "\\x");
      *out++ = kHex[c >> 4];
      *out++ = kHex[c & 15];
    }
  }
  out = put_text(out, text.size() > kShownChars ? "\"..." : "\"");
  *out = '\0';
}

void MatrixReader::put_line(ReportLine& out, std::int64_t line, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  out.length = format_diagnostic(out.text, sizeof out.text, file_, line, format, args);
  va_end(args);
}

void MatrixReader::warn(std::int64_t line, const char* format, ...) {
  if (report_.warning_count == ReadReport::kMaxWarnings) return;
  char message[sizeof(ReportLine::text)];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  put_line(report_.warnings[report_.warning_count++], line, "warning: %s", message);
}

bool ItemReader::fail(ReadStatus status, std::int64_t line, const char* format, ...) {
  report_.status = status;
  report_.line = line;
  std::va_list args;
  va_start(args, format);
  report_.length = format_diagnostic(report_.text, sizeof report_.text, file_, line, format, args);
  va_end(args);
  return false;
}

bool ItemReader::fail_item(ReadStatus status, std::int64_t line, const Expected& e,
                           const char* found) {
  if (e.matrix)
    return fail(status, line, "expected the %s of %c(%d,%d) (%s), found %s", e.what, e.matrix,
                e.i, e.j, e.kind, found);
  return fail(status, line, "expected %s (%s), found %s", e.what, e.kind, found);
}

// The next item, or the report of why there is none.
bool ItemReader::next(const Expected& e, ScannedItem& item) {
  item = scan_.next_item();
  item_line_ = item.line;
  switch (item.status) {
    case ScanStatus::item:
      return true;
    case ScanStatus::end_of_file:
      return fail_item(ReadStatus::early_end, item.line, e, "the end of the file");
    case ScanStatus::read_error:
      return fail(ReadStatus::read_error, item.line, "cannot read: %s",
                  std::strerror(scan_.source_error()));
    case ScanStatus::empty_item:
      return fail_item(ReadStatus::malformed, item.line, e,
                       "an empty item (a comma with no item before it)");
    case ScanStatus::slash:
      return fail_item(ReadStatus::malformed, item.line, e, "a slash ending the record");
    case ScanStatus::too_long:
      break;
  }
  char found[64];
  std::snprintf(found, sizeof found, "an item longer than %zu characters", kMaxItemChars);
  return fail_item(ReadStatus::malformed, item.line, e, found);
}

bool ItemReader::fail_number(NumberStatus status, const ScannedItem& item, const Expected& e) {
  char shown[kShownItemChars + 64];
  show_item(item.text, shown);
  if (status == NumberStatus::out_of_range) std::strcat(shown, " (outside the 32-bit range)");
  if (status == NumberStatus::not_finite) std::strcat(shown, " (beyond the range of a double)");
  return fail_item(ReadStatus::malformed, item.line, e, shown);
}

bool ItemReader::read_integer(const Expected& e, int& value) {
  ScannedItem item;
  if (!next(e, item)) return false;
  const NumberStatus s = parse_integer(item.text, value);
  return s == NumberStatus::ok || fail_number(s, item, e);
}

bool ItemReader::read_real(const Expected& e, double& value) {
  ScannedItem item;
  if (!next(e, item)) return false;
  const NumberStatus s = parse_real(item.text, value);
  return s == NumberStatus::ok || fail_number(s, item, e);
}

// Record 1: N and X. An order above the capacity of the arrays is refused
// here, before any element could be stored out of bounds. A UTF-8 byte-order
// mark before it, as some editors write one, is passed over; text in UTF-16,
// with or without a byte-order mark (a zero byte beside the first character),
// is refused by name.
bool MatrixReader::read_order(int& N, double& X) {
  const std::span<const char> start = scan_.peek_start(3);
  const auto byte = [&](std::size_t k) {
    return k < start.size() ? static_cast<unsigned char>(start[k]) : 0x100U;
  };
  if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) scan_.skip_start(3);
  const bool little = (byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) > 0 && byte(1) == 0);
  const bool big = (byte(0) == 0xFE && byte(1) == 0xFF) || (byte(0) == 0 && byte(1) > 0);
  if (little || big)
    return fail(ReadStatus::malformed, 1,
                "expected the order N (an integer), found text in UTF-16 (%s-endian): "
                "save the file as ASCII or UTF-8",
                little ? "little" : "big");
  if (!read_integer({"the order N", kInteger}, N)) return false;
  const std::int64_t line = item_line_;
  if (!read_real({"the real number X", kReal}, X)) return false;
  scan_.end_record();
  if (N > NMAX)
    return fail(ReadStatus::too_large, line, "the order N = %d is above the limit %d", N, NMAX);
  return true;
}

bool MatrixReader::read_heading(char matrix) {
  const ScannedItem item = scan_.skip_text_record();
  heading_line_ = item.line;
  if (item.status == ScanStatus::item) return true;
  if (item.status == ScanStatus::read_error)
    return fail(ReadStatus::read_error, item.line, "cannot read: %s",
                std::strerror(scan_.source_error()));
  return fail(ReadStatus::early_end, item.line,
              "expected the heading of %c (a text), found the end of the file", matrix);
}

bool MatrixReader::fail_mismatch(std::int64_t line, int i, int j, int row, int col, cplx value) {
  FreeRecord r;
  r.text("Error: Inconsistent (i,j): ").integer(i).integer(j).integer(row).integer(col);
  r.real(value.real()).real(value.imag());
  report_.status = ReadStatus::mismatch;
  report_.line = line;
  report_.expected_row = i;
  report_.expected_col = j;
  report_.row_read = row;
  report_.col_read = col;
  report_.value_read = value;
  report_.length = std::min(r.view().size(), sizeof report_.text - 1);
  std::memcpy(report_.text, r.view().data(), report_.length);
  return false;
}

// One element record, item by item over as many lines as it takes.
bool MatrixReader::read_element_items(char matrix, int i, int j, ElementItems& r) {
  if (!read_integer({"row index", kInteger, matrix, i, j}, r.row)) return false;
  r.line = item_line_;
  if (!read_integer({"column index", kInteger, matrix, i, j}, r.col) ||
      !read_real({"real part", kReal, matrix, i, j}, r.re) ||
      !read_real({"imaginary part", kReal, matrix, i, j}, r.im))
    return false;
  if (item_line_ != r.line) {
    split_i_ = i;
    split_j_ = j;
    split_first_ = r.line;
    split_last_ = item_line_;
  }
  scan_.end_record();
  return true;
}
// The N^2 element records of one matrix, row by row, each checked against
// the element expected before it is stored. A record in the plainest form,
// as programs write them, is read in one pass over its bytes.
//
// Along the way: where each record stands, and the records whose line goes
// on with a number, for the warnings about the matrix.
bool MatrixReader::read_elements(char matrix, cplx* M, int N) {
  const ColMajor<cplx> m(M, NMAX);
  bool exact = true;  // Hermitian to the bit so far
  split_i_ = 0;
  last_after_i_ = 0;
  for (int i = 1; i <= N; ++i) {
    for (int j = 1; j <= N; ++j) {
      ElementItems r;
      const bool plain = scan_.read_plain_element(r);
      if (!plain && !read_element_items(matrix, i, j, r)) {
        warn_number_after(matrix);
        return false;
      }
      const std::span<const char> after = scan_.number_after_record(kShownChars);
      if (!after.empty()) note_number_after(i, j, plain ? r.line : item_line_, after);
      if (r.row != i || r.col != j) {
        warn_number_after(matrix);
        explain_mismatch(matrix, N, r.line, i, j, r.row, r.col);
        return fail_mismatch(r.line, i, j, r.row, r.col, {r.re, r.im});
      }
      m(i, j) = {r.re, r.im};
      line_of(i, j, N) = r.line;
      // The mirror of a lower element was read in an earlier row, and lies
      // in column i, next to that of the element before.
      if (j < i) exact &= m(j, i) == cplx(r.re, -r.im);
      if (j == i) exact &= r.im == 0.0;
    }
  }
  warn_number_after(matrix);
  if (!exact) check_hermitian(matrix, M, N);
  return true;
}

}  // namespace reader

namespace {

// A file read in chunks straight into the scanner's buffer, through the
// system's own calls: no stream buffer to copy through, nothing allocated.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(int fd) : fd_(fd) {}
  std::ptrdiff_t read(char* dst, std::size_t cap) override {
    for (;;) {
      const ssize_t n = ::read(fd_, dst, cap);
      if (n >= 0) return n;
      if (errno != EINTR) {
        error_ = errno;
        return -1;
      }
    }
  }
  int error() const override { return error_; }

 private:
  int fd_;
  int error_ = 0;
};

}  // namespace

using reader::cplx;
using reader::MatrixReader;

ReadStatus read_matrices(ByteSource& source, std::string_view file, cplx* A, cplx* B, int& N,
                         double& X, ReadReport& report) {
  report = ReadReport{};
  MatrixReader reader(source, file, report);
  const bool ok = reader.read_order(N, X) && reader.read_heading('A') &&
                  reader.read_elements('A', A, N) && reader.read_heading('B') &&
                  reader.read_elements('B', B, N);
  return ok ? ReadStatus::ok : report.status;
}

ReadStatus read_text_file(std::string_view name, ReadReport& report,
                          const TextReader& read) {
  static char path[kMaxNameChars + 1];
  const std::string_view file = field_name(name);
  const bool named = to_c_path(file, path);
  const int fd = named ? ::open(path, O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    report = ReadReport{};
    report.status = ReadStatus::cannot_open;
    const int n = std::snprintf(report.text, sizeof report.text, "%.*s: cannot open: %s",
                                static_cast<int>(std::min<std::size_t>(file.size(), 256)),
                                file.data(), named ? std::strerror(errno) : "not a file name");
    report.length = std::min(static_cast<std::size_t>(n), sizeof report.text - 1);
    return report.status;
  }
  FileSource source(fd);
  const ReadStatus status = read.read(source, file, report);
  ::close(fd);
  return status;
}

ReadStatus read_matrix_file(std::string_view name, cplx* A, cplx* B, int& N, double& X,
                            ReadReport& report) {
  struct Matrices final : TextReader {
    cplx *A, *B;
    int& N;
    double& X;
    Matrices(cplx* a, cplx* b, int& n, double& x) : A(a), B(b), N(n), X(x) {}
    ReadStatus read(ByteSource& source, std::string_view file, ReadReport& r) const override {
      return read_matrices(source, file, A, B, N, X, r);
    }
  };
  return read_text_file(name, report, Matrices(A, B, N, X));
}

void rdmtx(const std::string_view& name, cplx* A, cplx* B, int& N, double& X) {
  static ReadReport report;
  const ReadStatus status = read_matrix_file(name, A, B, N, X, report);
  const auto put_line = [](std::string_view line, std::FILE* out) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
  };
  for (int k = 0; k < report.warning_count; ++k) put_line(report.warnings[k].view(), stderr);
  if (status == ReadStatus::ok) return;
  put_line(report.message(), status == ReadStatus::mismatch ? stdout : stderr);
  if (status == ReadStatus::mismatch) put_line(report.companion.view(), stderr);
  std::exit(1);
}

}  // namespace geneig
