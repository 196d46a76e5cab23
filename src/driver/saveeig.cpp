// Writing the eigen result file: the records formatted piece by piece into
// one small buffer, each piece handed on as it fills (format_result), and
// the file written through a temporary that takes its place in one rename
// (write_result_file, in result_file.cpp).
#include "saveeig.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "colmajor.hpp"
#include "eigcab.hpp"
#include "free_output.hpp"
#include "shortest_real.hpp"

namespace geneig {

namespace {

using cplx = std::complex<double>;

constexpr std::size_t decimal_digits(int n) { return n < 10 ? 1 : 1 + decimal_digits(n / 10); }

constexpr std::size_t kIndexChars = decimal_digits(NMAX);

// Reals in the free output layout: the same characters as put_real, faster.
static_assert(kShortestRealChars == kMaxRealChars);

// Writes index i (1 <= i <= NMAX) and a blank at p.
char* put_index(char* p, int i) {
  p = std::to_chars(p, p + kIndexChars, i).ptr;
  *p = ' ';
  return p + 1;
}

// The longest record of each kind: every index has at most the digits of
// NMAX, every real at most kMaxRealChars characters, one blank between items
// and a line feed after each record.
constexpr std::string_view kValuesHeading = "Eigen values";
constexpr std::string_view kVectorsHeading = "Eigen vectors";
constexpr std::string_view kInputHeadingA = "Matrix A";
constexpr std::string_view kInputHeadingB = "Matrix B";
constexpr std::size_t kOrderRecordChars = kMaxIntChars + 1;
constexpr std::size_t kValueRecordChars = kIndexChars + 1 + kMaxRealChars + 1;
constexpr std::size_t kVectorRecordChars = 2 * (kIndexChars + 1) + 2 * (kMaxRealChars + 1);

// The records go into this buffer; whenever the next one might not fit, the
// buffer's content is handed to the sink and the buffer starts over.
char g_piece[kResultPieceBytes];

class PieceWriter {
 public:
  explicit PieceWriter(TextSink& sink) : sink_(sink) {}

  // Room for a record of at most n characters (n <= kResultPieceBytes): the
  // position to write it at. Hands the buffer on first if it is too full.
  char* reserve(std::size_t n) {
    if (static_cast<std::size_t>(g_piece + kResultPieceBytes - pos_) < n) flush();
    return pos_;
  }
  // The record written from the last reserve() ends at end.
  void commit(char* end) { pos_ = end; }
  // Hands the rest of the text on; false if the sink refused any piece.
  bool finish() {
    flush();
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  void flush() {
    if (ok_) ok_ = sink_.put({g_piece, static_cast<std::size_t>(pos_ - g_piece)});
    pos_ = g_piece;
  }

  TextSink& sink_;
  char* pos_ = g_piece;
  bool ok_ = true;
};

// A heading record.
void put_heading(PieceWriter& out, std::string_view text) {
  char* p = put_text(out.reserve(text.size() + 1), text);
  *p++ = '\n';
  out.commit(p);
}

// A record of two indices and a complex value: "i j re im".
void put_element(PieceWriter& out, int i, int j, cplx z) {
  char* p = put_index(put_index(out.reserve(kVectorRecordChars), i), j);
  p = put_shortest_real(p, z.real());
  *p++ = ' ';
  p = put_shortest_real(p, z.imag());
  *p++ = '\n';
  out.commit(p);
}

}  // namespace

bool format_result(const double* E, const cplx* V, int N, TextSink& sink) {
  const ColMajor<const cplx> v(V, NMAX);
  PieceWriter out(sink);
  char* p = put_int(out.reserve(kOrderRecordChars), N);
  *p++ = '\n';
  out.commit(p);
  put_heading(out, kValuesHeading);
  for (int i = 1; i <= N; ++i) {
    p = put_index(out.reserve(kValueRecordChars), i);
    p = put_shortest_real(p, E[i - 1]);
    *p++ = '\n';
    out.commit(p);
  }
  put_heading(out, kVectorsHeading);
  for (int i = 1; i <= N && out.ok(); ++i)
    for (int j = 1; j <= N; ++j) put_element(out, i, j, v(i, j));
  return out.finish();
}

bool format_input(const cplx* A, const cplx* B, int N, double X, TextSink& sink) {
  PieceWriter out(sink);
  char* p = put_int(out.reserve(kOrderRecordChars + kMaxRealChars + 1), N);
  *p++ = ' ';
  p = put_shortest_real(p, X);
  *p++ = '\n';
  out.commit(p);
  for (const auto& [heading, M] : {std::pair{kInputHeadingA, A}, std::pair{kInputHeadingB, B}}) {
    const ColMajor<const cplx> m(M, NMAX);
    put_heading(out, heading);
    for (int i = 1; i <= N && out.ok(); ++i)
      for (int j = 1; j <= N; ++j) put_element(out, i, j, m(i, j));
  }
  return out.finish();
}

void saveeig(const std::string_view& name, const double* E, const cplx* V, const int& N) {
  static WriteReport report;
  if (write_result_file(name, E, V, N, report)) return;
  std::fwrite(report.text, 1, report.length, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::exit(2);
}

}  // namespace geneig