// The built program, run in a fresh scratch directory for every case: its
// exit status, what it writes on each stream, and what it leaves on disk.
#include "run_program.hpp"

#include <string>
#include <vector>

namespace {

using namespace geneig::run;

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
