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

TEST_F(Program, LongerPreviousResultLeavesNoLineBehind) {
  std::string old;
  for (int k = 0; k < 5000; ++k) old += "1 1 0.123456789 0.987654321\n";
  put(run_ / "matrix.out", old);
  example("order2");
  EXPECT_EQ(run().status, 0);
  EXPECT_EQ(records(result()).size(), 9u);
  EXPECT_EQ(listing(), kInAndOut);
}

}  // namespace
