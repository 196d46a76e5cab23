// The built program, run in a fresh scratch directory for every case: its
// exit status, what it writes on each stream, and what it leaves on disk.
#include "run_program.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace geneig::run;

// The shipped order-2 example: nine records, in order, on the shared layout.
TEST_F(Program, WritesTheResultFileOfTheExample) {
  example("order2");
  const Outcome o = run();
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
  const auto r = records(result());
  ASSERT_EQ(r.size(), 9u);
  // Eigenvalues 2 +- sqrt(3); eigenvectors (0.8880738, 0.3250576 (1 + i))
  // and (0.3250576 (-1 + i), 0.8880738).
  const double tol = 64 * std::numeric_limits<double>::epsilon();
  auto value = [&](std::size_t rec, std::size_t item) { return std::stod(r[rec][item]); };
  EXPECT_NEAR(value(2, 1), 2 + std::sqrt(3.0), 4 * tol);
  EXPECT_NEAR(value(3, 1), 2 - std::sqrt(3.0), 4 * tol);
  const double c = 0.88807383397711526, s = 0.32505758367186816;
  const double expect[4][2] = {{c, 0}, {-s, s}, {s, s}, {c, 0}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(value(5 + k, 2), expect[k][0], tol) << "record " << 6 + k;
    EXPECT_NEAR(value(5 + k, 3), expect[k][1], tol) << "record " << 6 + k;
  }
  EXPECT_EQ(r[0], std::vector<std::string>{"2"});
  EXPECT_EQ(r[1], (std::vector<std::string>{"Eigen", "values"}));
  EXPECT_EQ(r[4], (std::vector<std::string>{"Eigen", "vectors"}));
  const std::vector<std::vector<std::string>> indices{{"1"}, {"2"}, {}, {"1", "1"},
                                                      {"1", "2"}, {"2", "1"}, {"2", "2"}};
  for (std::size_t k = 0; k < indices.size(); ++k) {
    const auto& rec = r[k + 2];
    if (indices[k].empty()) continue;
    ASSERT_EQ(rec.size(), indices[k].size() * 2) << "record " << k + 3;
    EXPECT_TRUE(std::equal(indices[k].begin(), indices[k].end(), rec.begin()))
        << "record " << k + 3;
  }
  EXPECT_EQ(listing(), kInAndOut);
}

TEST_F(Program, ArgumentsAreIgnored) {
  example("order6");
  const Outcome plain = run();
  const std::string written = result();
  const Outcome with_args = run({"--help", "-n", "7", "other.in", ""});
  EXPECT_EQ(with_args.status, plain.status);
  EXPECT_EQ(with_args.out, plain.out);
  EXPECT_EQ(with_args.err, plain.err);
  EXPECT_EQ(result(), written);
  EXPECT_EQ(records(written).size(), 6u * 6u + 6u + 3u);
}

// An order of 0 or below reads no element records and writes three.
// The solver refuses orders below 2 with its own line: the result file is
// written all the same, and the status says the solve failed.
TEST_F(Program, OrderZeroOrBelowGivesThreeRecordsAndStatus3) {
  for (const char* order : {"0", "-4"}) {
    input(std::string(order) + " 1.0\nheading of A\nheading of B\n");
    const Outcome o = run();
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_EQ(o.out, std::string("(SUBR. EIGCH) INVALID ARGUMENT. ") + order + " " + order + "\n");
    EXPECT_EQ(result(), std::string(order) + "\nEigen values\nEigen vectors\n");
  }
}

// Eigenvalues near 1e600 have no double: reported, never a silent inf.
TEST_F(Program, EigenvalueBeyondTheDoubleRangeIsReported) {
  input("2 0.0\nA\n1 1 3e300 0\n1 2 1e300 -1e300\n2 1 1e300 1e300\n2 2 1e300 0\n"
        "B\n1 1 1e-300 0\n1 2 0 0\n2 1 0 0\n2 2 1e-300 0\n");
  const Outcome o = run();
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err,
            "geneig: an eigenvalue of the pencil lies outside the range of double precision; "
            "matrix.out holds the nearest finite double of its sign in its place\n");
  EXPECT_EQ(records(result()).size(), 9u);
}

TEST_F(Program, OrderOneWritesItsRecordsWithStatus3) {
  input("1 0.0\nA\n1 1 6.0 0\nB\n1 1 4.0 0\n");
  const Outcome o = run();
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.out, "(SUBR. EIGCH) INVALID ARGUMENT. 1 1\n");
  EXPECT_EQ(result(), "1\nEigen values\n1 0\nEigen vectors\n1 1 0 0\n");
}

// A B that is not positive definite: the warning on standard output, the
// result file written, status 3.
TEST_F(Program, IndefiniteBWarnsAndExitsWith3) {
  input("2 0.0\nA\n1 1 1 0\n1 2 0 0\n2 1 0 0\n2 2 2 0\nB\n1 1 -1 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\n");
  const Outcome o = run();
  EXPECT_EQ(o.status, 3);
  EXPECT_EQ(o.out, "\"D\" became imaginary number !!\n");
  EXPECT_EQ(records(result()).size(), 9u);
}

TEST_F(Program, LongerPreviousResultLeavesNoLineBehind) {
  std::string old;
  for (int k = 0; k < 5000; ++k) old += "1 1 0.123456789 0.987654321\n";
  put(run_ / "matrix.out", old);
  example("order2");
  EXPECT_EQ(run().status, 0);
  EXPECT_EQ(records(result()).size(), 9u);
  EXPECT_EQ(listing(), kInAndOut);
}

// Input that cannot be used: exit status 1, one line on the right stream,
// and an existing result file left exactly as it was.
struct UnusableInput {
  const char* name;
  std::string text;  // matrix.in; "<dir>" makes it a directory, "<none>" leaves it out
  std::string out, err;
};

const std::string kA2 = "1 1 3 0\n1 2 1 -1\n2 1 1 1\n2 2 1 0\n";

const std::vector<UnusableInput> kUnusable{
    {"Missing", "<none>", "", "matrix.in: cannot open: No such file or directory\n"},
    {"Directory", "<dir>", "", "matrix.in:1: cannot read: Is a directory\n"},
    {"Empty", "", "",
     "matrix.in:1: expected the order N (an integer), found the end of the file\n"},
    {"EndInsideB", "2 0\nA\n" + kA2 + "B\n1 1 1 0\n", "",
     "matrix.in:9: expected the row index of B(1,2) (an integer), found the end of the file\n"},
    {"IndexAsReal", "2 0\nA\n1.0 1 3 0\n", "",
     "matrix.in:3: expected the row index of A(1,1) (an integer), found \"1.0\"\n"},
    {"RealOverflows", "2 0\nA\n1 1 3 1e999\n", "",
     "matrix.in:3: expected the imaginary part of A(1,1) (a real number), found \"1e999\" "
     "(beyond the range of a double)\n"},
    {"NotANumber", "2 0\nA\n1 1 nan 0\n", "",
     "matrix.in:3: expected the real part of A(1,1) (a real number), found \"nan\"\n"},
    {"OrderAboveCapacity", "201 0\n", "", "matrix.in:1: the order N = 201 is above the limit 200\n"},
    {"OrderLargest", "2147483647 0\n", "",
     "matrix.in:1: the order N = 2147483647 is above the limit 200\n"},
    {"MismatchInA", "2 0\nA\n1 1 3 0 1 2 1 -1\n2 1 1 1\n", "Error: Inconsistent (i,j):  1 2 2 1 1 1\n",
     "matrix.in:3: warning: the record of A(1,1) goes on after its fourth item with \"1 2 1 -1\": "
     "a decimal comma, or a second record on one line? The rest of the line is skipped\n"
     "matrix.in:4: expected A(1,2), found A(2,1): elements go row by row, the column index "
     "running fastest; the line of A(1,1), line 3, goes on with a number: a second record on "
     "one line is never read\n"},
    {"MismatchInB", "2 0\nA\n" + kA2 + "B\n1 1 1 0\n2 1 0.5 -0.25\n",
     "Error: Inconsistent (i,j):  1 2 2 1 0.5 -0.25\n",
     "matrix.in:9: expected B(1,2), found B(2,1): elements go row by row, the column index "
     "running fastest; column-major order?\n"},
};

class UnusableInputs : public Program, public ::testing::WithParamInterface<UnusableInput> {};

TEST_P(UnusableInputs, ExitOneAndOldResultUntouched) {
  const UnusableInput& c = GetParam();
  if (c.text == "<dir>") {
    fs::create_directory(run_ / "matrix.in");
  } else if (c.text != "<none>") {
    input(c.text);
  }
  put(run_ / "matrix.out", kOldResult);
  const Outcome o = run();
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, c.out);
  EXPECT_EQ(o.err, c.err);
  EXPECT_EQ(result(), kOldResult);
  EXPECT_EQ(listing(), c.text == "<none>" ? std::vector<std::string>{"matrix.out"} : kInAndOut);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnusableInputs, ::testing::ValuesIn(kUnusable),
                         [](const auto& info) { return std::string(info.param.name); });

// Write failures: exit status 2, the previous result intact, no temporary
// file left behind.
TEST_F(Program, ResultFileIsADirectory) {
  example("order2");
  fs::create_directory(run_ / "matrix.out");
  put(run_ / "matrix.out" / "kept", kOldResult);
  const Outcome o = run();
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "matrix.out: cannot replace it by matrix.out.tmp: Is a directory\n");
  EXPECT_EQ(slurp(run_ / "matrix.out" / "kept"), kOldResult);
  EXPECT_EQ(listing(), kInAndOut);
}

TEST_F(Program, WriteFailsPastTheFileSizeLimit) {
  input(identity_pencil(40));  // a result file of well over 4096 bytes
  put(run_ / "matrix.out", kOldResult);
  const Outcome o = run({}, 4096);
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "matrix.out: cannot write the temporary file matrix.out.tmp: File too large\n");
  EXPECT_EQ(result(), kOldResult);
  EXPECT_EQ(listing(), kInAndOut);
}

}  // namespace
