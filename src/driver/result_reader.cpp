// Reading the eigen result file back: the order, the eigenvalue records and
// the eigenvector records, each index checked against the record expected.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "colmajor.hpp"
#include "diagnostic.hpp"
#include "eigcab.hpp"
#include "matrix_reader.hpp"
#include "read_matrices.hpp"

namespace geneig {

namespace {

using cplx = std::complex<double>;

class ResultReader final : public TextReader {
 public:
  ResultReader(double* E, cplx* V, int& N) : E_(E), V_(V), N_(N) {}

  ReadStatus read(ByteSource& source, std::string_view file, ReadReport& report) const override {
    report = ReadReport{};
    Pass pass{FreeFormatScanner(source), file, report};
    return pass.records(E_, V_, N_) ? ReadStatus::ok : report.status;
  }

 private:
  // One pass over the records; every fault fills the report.
  struct Pass {
    FreeFormatScanner scan;
    std::string_view file;
    ReadReport& report;

    bool records(double* E, cplx* V, int& N) {
      const ColMajor<cplx> v(V, NMAX);
      char what[64];
      if (!integer("the order N", N)) return false;
      scan.end_record();
      if (N > NMAX)
        return fail(ReadStatus::too_large, line_, "the order N = %d is above the limit %d", N,
                    NMAX);
      if (!heading("Eigen values")) return false;
      for (int i = 1; i <= N; ++i) {
        std::snprintf(what, sizeof what, "the record of E(%d)", i);
        if (!index(what, i) || !real(what, E[i - 1])) return false;
        scan.end_record();
      }
      if (!heading("Eigen vectors")) return false;
      for (int i = 1; i <= N; ++i) {
        for (int j = 1; j <= N; ++j) {
          std::snprintf(what, sizeof what, "the record of V(%d,%d)", i, j);
          double re, im;
          if (!index(what, i) || !index(what, j) || !real(what, re) || !real(what, im))
            return false;
          v(i, j) = {re, im};
          scan.end_record();
        }
      }
      return true;
    }

    __attribute__((format(printf, 4, 5))) bool fail(ReadStatus status, std::int64_t line,
                                                    const char* format, ...) {
      report.status = status;
      report.line = line;
      std::va_list args;
      va_start(args, format);
      report.length = format_diagnostic(report.text, sizeof report.text, file, line, format, args);
      va_end(args);
      return false;
    }

    bool next(const char* what, const char* kind, ScannedItem& item) {
      item = scan.next_item();
      line_ = item.line;
      if (item.status == ScanStatus::item) return true;
      if (item.status == ScanStatus::read_error)
        return fail(ReadStatus::read_error, item.line, "cannot read: %s",
                    std::strerror(scan.source_error()));
      return fail(item.status == ScanStatus::end_of_file ? ReadStatus::early_end
                                                          : ReadStatus::malformed,
                  item.line, "expected %s (%s), found %s", what, kind,
                  item.status == ScanStatus::end_of_file ? "the end of the file" : "no item");
    }

    bool fail_number(const char* what, const char* kind, const ScannedItem& item) {
      char shown[reader::kShownItemChars + 1];
      reader::show_item(item.text, shown);
      return fail(ReadStatus::malformed, item.line, "expected %s (%s), found %s", what, kind,
                  shown);
    }

    bool integer(const char* what, int& value) {
      ScannedItem item;
      if (!next(what, reader::kInteger, item)) return false;
      return parse_integer(item.text, value) == NumberStatus::ok ||
             fail_number(what, reader::kInteger, item);
    }

    bool real(const char* what, double& value) {
      ScannedItem item;
      if (!next(what, reader::kReal, item)) return false;
      return parse_real(item.text, value) == NumberStatus::ok ||
             fail_number(what, reader::kReal, item);
    }

    // An index item that must be the one expected.
    bool index(const char* what, int expected) {
      int value = 0;
      if (!integer(what, value)) return false;
      return value == expected ||
             fail(ReadStatus::mismatch, line_, "expected %s, found the index %d in place of %d",
                  what, value, expected);
    }

    bool heading(const char* text) {
      const ScannedItem item = scan.skip_text_record();
      line_ = item.line;
      if (item.status == ScanStatus::item) return true;
      if (item.status == ScanStatus::read_error)
        return fail(ReadStatus::read_error, item.line, "cannot read: %s",
                    std::strerror(scan.source_error()));
      return fail(ReadStatus::early_end, item.line,
                  "expected the heading \"%s\", found the end of the file", text);
    }

    std::int64_t line_ = 0;
  };

  double* E_;
  cplx* V_;
  int& N_;
};

}  // namespace

ReadStatus read_result_file(std::string_view name, double* E, cplx* V, int& N,
                            ReadReport& report) {
  return read_text_file(name, report, ResultReader(E, V, N));
}

}  // namespace geneig
