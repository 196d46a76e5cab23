// The bad-input catalogue: every kind of input that users feed the program
// by accident, and every kind of failure it reports, one row each, run
// through the built program in a fresh directory that already holds a
// previous result file. The reader's messages are checked word for word,
// case by case, in io_test; here one row for each kind of them shows the
// stream, the status and what is left on disk. Each row states the
// exit status, the diagnostic on each stream, and whether the previous
// result must survive byte for byte or be replaced by a complete one; a
// result written with status 0 must hold finite numbers only. Where the
// eigenvalues and eigenvectors are known, the result must hold them; every
// row must end within the test's timeout.
#include "run_program.hpp"

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace geneig::run;

enum class Input { text, none, directory };
enum class OldResult { file, directory };
enum class Result { untouched, replaced };

struct Row {
  const char* name;
  const char* program = GENEIG_EXE;  // or GENEIG_STUB_EXE, its solve a stand-in
  std::string text{};  // matrix.in, for Input::text
  Input input = Input::text;
  OldResult old_result = OldResult::file;
  rlim_t file_limit = RLIM_INFINITY;
  int status = 0;
  std::string out{}, err{};  // the streams exactly
  Result result = Result::untouched;
  int order = 0;                    // N of the result written
  std::vector<double> eigenvalues{};  // expected, largest first, when given
  std::vector<std::complex<double>> eigenvectors{};  // expected, column by column, when given
  std::string blank_line_then{};  // when given, matrix.in is text, a line of
                                  // kBlankLine blanks, then this
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

// ---- Building input files --------------------------------------------------

struct Entry {
  int i, j;
  double re, im;
};

// The Hermitian matrix of order n with the given entries of its lower
// triangle (the upper filled in as their conjugates), zero elsewhere.
geneig::oracle::ZMatrix hermitian(int n, const std::vector<Entry>& entries) {
  geneig::oracle::ZMatrix M(n, n);
  for (const Entry& e : entries) {
    M(e.i, e.j) = {e.re, e.im};
    M(e.j, e.i) = {e.re, e.i == e.j ? e.im : -e.im};
  }
  return M;
}

// A complete file of order n: A and B given by their nonzero entries, every
// element record present.
std::string pencil(int n, const std::vector<Entry>& a, const std::vector<Entry>& b) {
  return geneig::test::matrix_in(hermitian(n, a), hermitian(n, b));
}

std::vector<Entry> diagonal(const std::vector<double>& d) {
  std::vector<Entry> m;
  for (std::size_t k = 0; k < d.size(); ++k)
    m.push_back({static_cast<int>(k) + 1, static_cast<int>(k) + 1, d[k], 0});
  return m;
}

// [[2, 1], [1, 2]] times s: eigenvalues 3 s and s.
std::vector<Entry> two_one(double s) { return {{1, 1, 2 * s, 0}, {2, 1, s, 0}, {2, 2, 2 * s, 0}}; }

// The eigenvectors of the order-2 example A = [[3, 1 - i], [1 + i, 1]],
// B = I: (1, (sqrt 3 - 1)(1 + i)/2) and ((-1 + i)/(1 + sqrt 3), 1), each
// over sqrt(3 - sqrt 3), column by column.
std::vector<std::complex<double>> order2_vectors() {
  const double r3 = std::sqrt(3.0), c = 1 / std::sqrt(3 - r3);
  return {c, (r3 - 1) / 2 * std::complex<double>(1, 1) * c,
          std::complex<double>(-1, 1) / (1 + r3) * c, c};
}

using geneig::test::kOrder2A;
using geneig::test::kOrder2B;
const std::string kHead = "2 0.0\nMatrix A\n";
const std::string kOrder2 = kHead + kOrder2A + "Matrix B\n" + kOrder2B;
// A line of blanks far longer than the program's whole memory.
constexpr std::size_t kBlankLine = std::size_t{32} << 20;

std::string expected_item(const char* what, int i, int j, const char* kind, const char* found) {
  return std::string("expected the ") + what + " of A(" + std::to_string(i) + "," +
         std::to_string(j) + ") (" + kind + "), found " + found;
}

const char* const kReal = "a real number";
const std::string kRange =
    "geneig: an eigenvalue of the pencil lies outside the range of double precision; "
    "matrix.out holds the nearest finite double of its sign in its place\n";
const std::string kTooClose =
    "geneig: eigenvalues lie too close together, measured against the largest, for their "
    "eigenvectors to be told apart; matrix.out holds them as computed\n";
const std::string kNotFinite =
    "geneig: the solution holds values that are not finite numbers; matrix.out holds them as "
    "computed\n";
const std::string kImaginary = "\"D\" became imaginary number !!\n";
// The line beside it on standard error, for the pivot of row k.
std::string not_definite(int k, const char* what) {
  return "geneig: B is not positive definite: the pivot of row " + std::to_string(k) +
         " (the factorization runs from the last row up) " + what + "\n";
}

// A graded B = diag(1, 1, g) with an ordinary A: A and B lie in the window,
// the reduced matrix, with its largest entry near 1/g, does not. Measured
// against that largest eigenvalue the other two are 1e-30 apart at g = 2^-400
// already: told apart no more.
std::string graded_b(double g) {
  return pencil(3, {{1, 1, 2, 0}, {2, 1, 1, 0.5}, {3, 1, 0.5, 0}, {3, 2, 0.25, 0}, {3, 3, 1, 0}},
                diagonal({1, 1, g}));
}

// Seven eigenvalues within 1e-30 of 0, far closer together than the norm.
std::string inseparable_cluster() {
  return pencil(8, {{1, 1, 0x1p-455, 0}, {3, 2, 0x1p-300, 0}, {3, 3, 1, 0}},
                diagonal({1, 1, 1, 1, 1, 1, 1, 1}));
}

const std::vector<Row> kCatalogue{
    // ---- The shipped example.
    {.name = "Order2Example",
     .text = slurp(fs::path(GENEIG_SOURCE_DIR) / "examples" / "order2" / "matrix.in"), .status = 0, .result = Result::replaced,
     .order = 2, .eigenvalues = {2 + std::sqrt(3.0), 2 - std::sqrt(3.0)},
     .eigenvectors = order2_vectors()},
    // ---- The input file cannot be read.
    {.name = "MissingInput", .input = Input::none, .status = 1,
     .err = "matrix.in: cannot open: No such file or directory\n"},
    {.name = "InputIsADirectory", .input = Input::directory, .status = 1,
     .err = "matrix.in:1: cannot read: Is a directory\n"},
    // ---- The file ends early.
    {.name = "EndBeforeHeadingOfA", .text = "2 0.0\n", .status = 1,
     .err = "matrix.in:2: expected the heading of A (a text), found the end of the file\n"},
    {.name = "EndInsideB", .text = kHead + kOrder2A + "Matrix B\n1 1 1.0 0.0\n1 2", .status = 1,
     .err = "matrix.in:9: expected the real part of B(1,2) (a real number), found the end of "
            "the file\n"},
    // ---- Malformed items.
    {.name = "BadReal", .text = kHead + "1 1 1.5q 0.0\n", .status = 1,
     .err = "matrix.in:3: " + expected_item("real part", 1, 1, kReal, "\"1.5q\"") + "\n"},
    // ---- An order the arrays cannot hold.
    {.name = "Order201", .text = "201 0.0\nMatrix A\n", .status = 1,
     .err = "matrix.in:1: the order N = 201 is above the limit 200\n"},
    // ---- Element records out of order (standard output).
    {.name = "MismatchInB",
     .text = kHead + kOrder2A + "Matrix B\n1 1 1.0 0.0\n1 2 0.0 0.0\n2 2 1.0 0.0\n", .status = 1,
     .out = "Error: Inconsistent (i,j):  2 1 2 2 1 0\n",
     .err = "matrix.in:10: expected B(2,1), found B(2,2): elements go row by row, the column "
            "index running fastest; the upper triangle only? Every element of both triangles is "
            "needed\n"},
    // ---- Sheer size and noise: read in bounded memory.
    {.name = "HugeBlankLineInsideA", .text = kHead + "1 1 3.0 0.0\n", .status = 0,
     .result = Result::replaced, .order = 2, .eigenvalues = {2 + std::sqrt(3.0), 2 - std::sqrt(3.0)},
     .eigenvectors = order2_vectors(),
     .blank_line_then = "\n1 2 1.0 -1.0\n2 1 1.0 1.0\n2 2 1.0 0.0\nMatrix B\n" + kOrder2B},
    {.name = "HugeBlankLineAtTheEnd", .text = kHead + kOrder2A, .status = 1,
     .err = "matrix.in:7: expected the heading of B (a text), found the end of the file\n",
     .blank_line_then = " "},
    // ---- The result file cannot be written.
    {.name = "ResultIsADirectory", .text = kOrder2, .old_result = OldResult::directory,
     .status = 2, .err = "matrix.out: cannot replace it by matrix.out.tmp: Is a directory\n"},
    {.name = "WriteFailsMidway", .text = identity_pencil(40), .file_limit = 4096, .status = 2,
     .err = "matrix.out: cannot write the temporary file matrix.out.tmp: File too large\n"},
    // ---- Solver stress: solved where the answer is a double, reported where not.
    {.name = "HugeEntries", .text = pencil(2, two_one(1e300), diagonal({1, 1})), .status = 0,
     .result = Result::replaced, .order = 2, .eigenvalues = {3e300, 1e300}},
    {.name = "TinyEntries", .text = pencil(2, two_one(1e-300), diagonal({1, 1})), .status = 0,
     .result = Result::replaced, .order = 2, .eigenvalues = {3e-300, 1e-300}},
    {.name = "HugeAOverHugeB", .text = pencil(2, two_one(1e300), diagonal({1e300, 1e300})),
     .status = 0, .result = Result::replaced, .order = 2, .eigenvalues = {3, 1}},
    {.name = "EntriesFromLargestToSubnormal",
     .text = pencil(3, diagonal({DBL_MAX, 1, 5e-324}), diagonal({1, 1, 1})), .status = 0,
     .result = Result::replaced, .order = 3, .eigenvalues = {DBL_MAX, 1, 5e-324}},
    {.name = "AZero", .text = pencil(3, {}, diagonal({1, 2, 4})), .status = 0,
     .result = Result::replaced, .order = 3, .eigenvalues = {0, 0, 0}},
    {.name = "BGradedBelowItsLargestEntry", .text = graded_b(0x1p-80), .status = 0,
     .result = Result::replaced, .order = 3},
    {.name = "BGradedFarBelowItsLargestEntry", .text = graded_b(0x1p-400), .status = 0,
     .result = Result::replaced, .order = 3},
    {.name = "BZero", .text = pencil(2, two_one(1), {}), .status = 3,
     .out = kImaginary + kImaginary,
     .err = not_definite(2, "is zero") + not_definite(1, "is zero"), .result = Result::replaced,
     .order = 2, .eigenvalues = {0, 0}},
    {.name = "BSingular", .text = pencil(2, two_one(1), {{1, 1, 1, 0}, {2, 1, 1, 0}, {2, 2, 1, 0}}),
     .status = 3, .out = kImaginary, .err = not_definite(1, "is zero"),
     .result = Result::replaced, .order = 2, .eigenvalues = {0, 0}},
    {.name = "BWithSeveralNegativePivots",
     .text = pencil(3, two_one(1), diagonal({-1, -2, -3})), .status = 3,
     .out = kImaginary + kImaginary + kImaginary,
     .err = not_definite(3, "has a negative real part") + not_definite(2, "has a negative real part") +
            not_definite(1, "has a negative real part"),
     .result = Result::replaced, .order = 3},
    {.name = "EigenvalueBeyondTheDoubleRange",
     .text = pencil(2, two_one(1e300), diagonal({1e-300, 1e-300})), .status = 3, .err = kRange,
     .result = Result::replaced, .order = 2},
    {.name = "EigenvalueBelowTheDoubleRange",
     .text = pencil(2, two_one(1e-300), diagonal({1e300, 1e300})), .status = 3, .err = kRange,
     .result = Result::replaced, .order = 2},
    {.name = "LargestDoublesEverywhere",
     .text = pencil(2, {{1, 1, DBL_MAX, 0}, {2, 1, DBL_MAX, 0}, {2, 2, DBL_MAX, 0}},
                    diagonal({1, 1})),
     .status = 3, .err = kRange, .result = Result::replaced, .order = 2},
    {.name = "EigenvaluesFarCloserThanTheNorm", .text = inseparable_cluster(), .status = 0,
     .result = Result::replaced, .order = 8},
    // ---- Failures that only pencils beyond any input file give: the stand-in
    // solver returns them (A(1,1) = 7: ILL = 7, 8: a NaN in V, 9: E(1) = inf).
    {.name = "ClusterNotToldApart", .program = GENEIG_STUB_EXE,
     .text = pencil(2, diagonal({7, 1}), diagonal({1, 1})), .status = 3, .err = kTooClose,
     .result = Result::replaced, .order = 2, .eigenvalues = {7, 1}},
    {.name = "EigenvectorNotFinite", .program = GENEIG_STUB_EXE,
     .text = pencil(2, diagonal({8, 1}), diagonal({1, 1})), .status = 3, .err = kNotFinite,
     .result = Result::replaced, .order = 2, .eigenvalues = {8, 1}},
    {.name = "EigenvalueNotFinite", .program = GENEIG_STUB_EXE,
     .text = pencil(2, diagonal({9, 1}), diagonal({1, 1})), .status = 3, .err = kNotFinite,
     .result = Result::replaced, .order = 2},
    {.name = "OrderOne", .text = "1 0.0\nA\n1 1 6.0 0\nB\n1 1 4.0 0\n", .status = 3,
     .out = "(SUBR. EIGCH) INVALID ARGUMENT. 1 1\n", .result = Result::replaced, .order = 1,
     .eigenvalues = {0}, .eigenvectors = {0}},
};

double number(const std::string& item) {
  char* end = nullptr;
  const double v = std::strtod(item.c_str(), &end);
  EXPECT_EQ(*end, '\0') << item;
  return v;
}

// A complete result file of order n, every real read back; with status 0
// every one of them finite, and the eigenvalues those expected.
void check_result(const std::string& text, const Row& row) {
  const int n = row.order;
  const auto r = records(text);
  ASSERT_EQ(r.size(), static_cast<std::size_t>(n * n + n + 3));
  EXPECT_EQ(r[0], std::vector<std::string>{std::to_string(n)});
  EXPECT_EQ(r[1], (std::vector<std::string>{"Eigen", "values"}));
  EXPECT_EQ(r[n + 2], (std::vector<std::string>{"Eigen", "vectors"}));
  std::vector<double> reals;
  for (int k = 0; k < n; ++k) {
    ASSERT_EQ(r[k + 2].size(), 2u);
    EXPECT_EQ(r[k + 2][0], std::to_string(k + 1));
    reals.push_back(number(r[k + 2][1]));
  }
  for (int k = 0; k < n * n; ++k) {
    const auto& rec = r[n + 3 + k];
    ASSERT_EQ(rec.size(), 4u);
    EXPECT_EQ(rec[0], std::to_string(k / n + 1));
    EXPECT_EQ(rec[1], std::to_string(k % n + 1));
    reals.push_back(number(rec[2]));
    reals.push_back(number(rec[3]));
  }
  if (row.status == 0) {
    for (const double v : reals) EXPECT_TRUE(std::isfinite(v)) << "a non-finite number, status 0";
  }
  EXPECT_EQ(text.find("-nan"), std::string::npos) << "every NaN is written nan";
  for (std::size_t k = 0; k < row.eigenvectors.size(); ++k) {
    const std::complex<double> v(reals[n + 2 * k], reals[n + 2 * k + 1]);
    const std::size_t component = k / n, vector = k % n;  // records run component-outermost
    EXPECT_LE(std::abs(v - row.eigenvectors[component + vector * n]), 30 * n * DBL_EPSILON)
        << "component " << component + 1 << " of eigenvector " << vector + 1;
  }
  if (row.eigenvalues.empty()) return;
  double scale = 0;
  for (const double l : row.eigenvalues) scale = std::max(scale, std::fabs(l));
  for (int k = 0; k < n; ++k)
    EXPECT_LE(std::fabs(reals[k] - row.eigenvalues[k]), 30 * n * DBL_EPSILON * scale)
        << "eigenvalue " << k + 1;
}

class Catalogue : public Program, public ::testing::WithParamInterface<Row> {};

TEST_P(Catalogue, EndsWithItsStatusAndLine) {
  const Row& row = GetParam();
  if (row.input == Input::text) input(row.text);
  if (!row.blank_line_then.empty()) {
    std::ofstream in(run_ / "matrix.in", std::ios::binary | std::ios::app);
    const std::string megabyte(std::size_t{1} << 20, ' ');
    for (std::size_t k = 0; k < kBlankLine; k += megabyte.size()) in << megabyte;
    in << row.blank_line_then;
  }
  if (row.input == Input::directory) fs::create_directory(run_ / "matrix.in");
  const fs::path old = row.old_result == OldResult::file ? run_ / "matrix.out"
                                                          : run_ / "matrix.out" / "kept";
  if (row.old_result == OldResult::directory) fs::create_directory(run_ / "matrix.out");
  put(old, kOldResult);

  const Outcome o = run({}, row.file_limit, row.program);
  EXPECT_EQ(o.status, row.status) << o.out << o.err;
#ifndef __SANITIZE_ADDRESS__
  // The program needs about a megabyte, a reader that held the long line
  // 32 more. Its peak counts this test's own pages, shared with it until
  // it started, so it is bounded by this process's peak plus 16 megabytes.
  if (!row.blank_line_then.empty()) {
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    EXPECT_LT(o.max_rss_kb, self.ru_maxrss + (16 << 10));
  }
#endif
  EXPECT_EQ(o.out, row.out) << "standard output";
  EXPECT_EQ(o.err, row.err) << "standard error";

  if (row.result == Result::untouched) {
    EXPECT_EQ(slurp(old), kOldResult);
  } else {
    check_result(result(), row);
  }
  std::vector<std::string> files{"matrix.out"};
  if (row.input != Input::none) files.insert(files.begin(), "matrix.in");
  EXPECT_EQ(listing(), files) << "no temporary file is left, nothing else is written";
}

INSTANTIATE_TEST_SUITE_P(Rows, Catalogue, ::testing::ValuesIn(kCatalogue),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
