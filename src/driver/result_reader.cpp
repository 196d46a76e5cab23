// Reading the eigen result file back: the order, the eigenvalue records and
// the eigenvector records, each index checked against the record expected.
#include <algorithm>
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
    Pass pass(source, file, report);
    return pass.records(E_, V_, N_) ? ReadStatus::ok : report.status;
  }

 private:
  // One pass over the records; every fault fills the report.
  struct Pass : private reader::ItemReader {
    using ItemReader::ItemReader;

    bool records(double* E, cplx* V, int& N) {
      const ColMajor<cplx> v(V, NMAX);
      char what[64];
      if (!read_integer({"the order N", reader::kInteger}, N)) return false;
      scan_.end_record();
      if (N > NMAX)
        return fail(ReadStatus::too_large, item_line_, "the order N = %d is above the limit %d",
                    N, NMAX);
      if (!heading("Eigen values")) return false;
      for (int i = 1; i <= N; ++i) {
        std::snprintf(what, sizeof what, "the record of E(%d)", i);
        if (!index(what, i) || !read_real({what, reader::kReal}, E[i - 1])) return false;
        scan_.end_record();
      }
      if (!heading("Eigen vectors")) return false;
      for (int i = 1; i <= N; ++i) {
        for (int j = 1; j <= N; ++j) {
          std::snprintf(what, sizeof what, "the record of V(%d,%d)", i, j);
          double re, im;
          if (!index(what, i) || !index(what, j) || !read_real({what, reader::kReal}, re) ||
              !read_real({what, reader::kReal}, im))
            return false;
          v(i, j) = {re, im};
          scan_.end_record();
        }
      }
      return true;
    }

    // An index item that must be the one expected.
    bool index(const char* what, int expected) {
      int value = 0;
      if (!read_integer({what, reader::kInteger}, value)) return false;
      return value == expected ||
             fail(ReadStatus::mismatch, item_line_,
                  "expected %s, found the index %d in place of %d", what, value, expected);
    }

    bool heading(const char* text) {
      const ScannedItem item = scan_.skip_text_record();
      item_line_ = item.line;
      if (item.status == ScanStatus::item) return true;
      if (item.status == ScanStatus::read_error)
        return fail(ReadStatus::read_error, item.line, "cannot read: %s",
                    std::strerror(scan_.source_error()));
      return fail(ReadStatus::early_end, item.line,
                  "expected the heading \"%s\", found the end of the file", text);
    }
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
