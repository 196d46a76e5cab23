// Fuzz target: arbitrary bytes as the matrix input file, read from memory.
//
// Whatever the bytes, the reader must return (never end the process, never
// touch memory it does not own) with a status and a one-line diagnostic of
// printable characters; a file it accepts has an order within the arrays
// and finite elements. The same bytes handed out a few at a time must give
// the same outcome: where the scanner's buffer is refilled never changes
// what is read.
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "colmajor.hpp"
#include "eigcab.hpp"
#include "read_matrices.hpp"

namespace {

using cplx = std::complex<double>;
using geneig::NMAX;
using geneig::ReadReport;
using geneig::ReadStatus;

// One read's results: both matrices of the largest order.
struct Reading {
  cplx A[NMAX * NMAX];
  cplx B[NMAX * NMAX];
  int N;
  double X;
  ReadReport report;
  ReadStatus status;
};

Reading whole, chunked;

[[noreturn]] void violation(const char* what, const Reading& r) {
  std::fprintf(stderr, "fuzz_reader: %s (status %d, message \"%.*s\")\n", what,
               static_cast<int>(r.status), static_cast<int>(r.report.length), r.report.text);
  std::abort();
}

void read(std::string_view text, std::size_t chunk, Reading& r) {
  geneig::TextSource source(text, chunk);
  r.N = 0;
  r.X = 0;
  r.status = geneig::read_matrices(source, "matrix.in", r.A, r.B, r.N, r.X, r.report);
}

// The contract of one read's outcome.
void check_outcome(const Reading& r) {
  if (r.status != r.report.status) violation("returned status differs from the report's", r);
  const std::string_view m = r.report.message();
  if (m.size() >= sizeof r.report.text) violation("message overruns its buffer", r);
  // The message, the warnings and the line beside a mismatch: each one
  // printable line.
  const auto one_line = [&](std::string_view line) {
    for (const char c : line)
      if (c < 0x20 || c > 0x7e) violation("message holds a line end or unprintable byte", r);
  };
  one_line(m);
  for (int k = 0; k < r.report.warning_count; ++k) {
    const std::string_view w = r.report.warnings[k].view();
    if (!w.starts_with("matrix.in:")) violation("warning does not name the file", r);
    one_line(w);
  }
  one_line(r.report.companion.view());
  if ((r.status == ReadStatus::mismatch) != (r.report.companion.length > 0))
    violation("no line beside the mismatch line, or one without a mismatch", r);
  switch (r.status) {
    case ReadStatus::ok:
      if (!m.empty()) violation("a message with status ok", r);
      if (r.N > NMAX) violation("order above the capacity accepted", r);
      break;
    case ReadStatus::mismatch:
      if (!m.starts_with("Error: Inconsistent (i,j): ")) violation("mismatch message", r);
      break;
    case ReadStatus::read_error:
    case ReadStatus::early_end:
    case ReadStatus::malformed:
    case ReadStatus::too_large:
      if (!m.starts_with("matrix.in:")) violation("message does not name the file", r);
      break;
    default:
      violation("status outside the reader's faults", r);
  }
  if (r.status == ReadStatus::ok) {
    const geneig::ColMajor<const cplx> a(r.A, NMAX), b(r.B, NMAX);
    for (int j = 1; j <= r.N; ++j)
      for (int i = 1; i <= r.N; ++i)
        for (const cplx z : {a(i, j), b(i, j)})
          if (!std::isfinite(z.real()) || !std::isfinite(z.imag()))
            violation("a non-finite element accepted", r);
    if (!std::isfinite(r.X)) violation("a non-finite X accepted", r);
  }
}

bool same_bits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

// Two reads of the same bytes agree on everything they report and store.
void check_same(const Reading& r, const Reading& s) {
  if (r.status != s.status || r.report.message() != s.report.message() ||
      r.report.line != s.report.line || r.report.companion.view() != s.report.companion.view() ||
      r.report.warning_count != s.report.warning_count)
    violation("chunked read reports differently", s);
  for (int k = 0; k < r.report.warning_count; ++k)
    if (r.report.warnings[k].view() != s.report.warnings[k].view())
      violation("chunked read warns differently", s);
  if (r.status == ReadStatus::ok || r.status == ReadStatus::too_large ||
      r.status == ReadStatus::mismatch)
    if (r.N != s.N || !same_bits(r.X, s.X)) violation("chunked read gives another N or X", s);
  if (r.status != ReadStatus::ok) return;
  const geneig::ColMajor<const cplx> a(r.A, NMAX), b(r.B, NMAX), c(s.A, NMAX), d(s.B, NMAX);
  for (int j = 1; j <= r.N; ++j)
    for (int i = 1; i <= r.N; ++i)
      if (!same_bits(a(i, j).real(), c(i, j).real()) ||
          !same_bits(a(i, j).imag(), c(i, j).imag()) ||
          !same_bits(b(i, j).real(), d(i, j).real()) || !same_bits(b(i, j).imag(), d(i, j).imag()))
        violation("chunked read stores other elements", s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  read(text, SIZE_MAX, whole);
  check_outcome(whole);
  // Chunks of 1 to 7 bytes, chosen by the input so that every size is tried.
  read(text, 1 + size % 7, chunked);
  check_outcome(chunked);
  check_same(whole, chunked);
  return 0;
}
