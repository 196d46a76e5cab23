// The result file under faults: a file-size limit, a signal during the write
// or at the rename, bursts of signals, temporaries left by killed runs,
// standard output a pipe nobody reads, an old matrix.out with a mode of its
// own or one the user may not write. Each case runs the program in a fresh
// directory that holds an old matrix.out and checks its status and message,
// that matrix.out is the old file or the new one whole, with the mode
// expected, and that nothing else is left.
//
// Signals come from the program's test build (GENEIG_FAULT_EXE), which
// raises the signal named in GENEIG_FAULT at a fixed point of the write:
// no timing is involved. A burst from outside is sent while the run stands
// stopped in the middle of its write (GENEIG_FAULT="write 19"): the signal,
// the continue, and the same signal again and again while the first is
// being delivered. Where that second one meets the default action before
// the first's clean-up, the temporary is left: each such row runs many
// times.
//
// The permission rows run the program as an ordinary user: as root (as CI
// runs), in a child that has become nobody (65534) before the exec.
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdlib>

#include <ostream>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace {

using namespace geneig::run;

const std::string kIndefiniteB =
    "2 0\nA\n1 1 1 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\nB\n1 1 1 0\n1 2 0 0\n2 1 0 0\n2 2 -1 0\n";
const std::string kOrderOne = "1 0\nA\n1 1 2 0\nB\n1 1 1 0\n";
const std::string kMismatch = "2 0\nA\n1 2 1 0\n";

struct Case {
  const char* name;
  std::string input;
  const char* fault = nullptr;  // GENEIG_FAULT: "<point> <signal>"
  bool named = false;           // the temporary named from the start
  int stale = 0;                // temporaries left by ended runs: .tmp, .tmp1, ...
  const char* live = nullptr;   // a temporary of a run still writing (locked)
  rlim_t file_limit = RLIM_INFINITY;
  bool closed_stdout = false;   // standard output a pipe without a reader
  bool hup_ignored = false;     // started with SIGHUP ignored
  bool burst_inside = false;    // the handler raises all three signals on entry
  int burst = 0;                // this signal sent from outside, in a burst, ...
  int rounds = 1;               // ... in each of this many runs
  mode_t old_mode = 0;          // the old matrix.out's mode, when given
  bool as_user = false;         // run as an ordinary user (nobody when root)
  bool foreign = false;         // the old matrix.out another user's (root's)
  int umask = -1;               // the run's umask, when given
  int status = 0;
  std::string err{};            // standard error, whole
  bool replaced = true;         // matrix.out is the new file (else the old one)
  std::vector<std::string> left{};  // what else is left after the run
  bool rerun = false;           // a normal run follows, and cleans up
  mode_t mode = 0;              // matrix.out's mode afterwards, when given
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::string kTooLarge =
    "matrix.out: cannot write the temporary file matrix.out.tmp: File too large\n";
const std::string kNotWritable = "matrix.out: cannot write: Permission denied\n";
constexpr const char* kStopInTheWrite = "write 19";
constexpr int kRounds = 60;

const Case kCases[] = {
    {.name = "FileSizeLimit", .input = identity_pencil(40), .file_limit = 4096, .status = 2,
     .err = kTooLarge, .replaced = false},
    {.name = "FileSizeLimitNamed", .input = identity_pencil(40), .named = true,
     .file_limit = 4096, .status = 2, .err = kTooLarge, .replaced = false},
    {.name = "TermDuringWrite", .input = identity_pencil(3), .fault = "write 15", .status = 143,
     .replaced = false},
    {.name = "IntDuringWriteNamed", .input = identity_pencil(3), .fault = "write 2",
     .named = true, .status = 130, .replaced = false},
    {.name = "HupDuringWriteNamed", .input = identity_pencil(3), .fault = "write 1",
     .named = true, .status = 129, .replaced = false},
    {.name = "HupIgnoredFromTheStart", .input = identity_pencil(3), .fault = "write 1",
     .named = true, .hup_ignored = true},
    {.name = "TermAtTheRenameWaitsForIt", .input = identity_pencil(3), .fault = "rename 15",
     .status = 143},
    {.name = "KillAtTheRename", .input = identity_pencil(3), .fault = "rename 9", .status = 137,
     .replaced = false, .left = {"matrix.out.tmp"}, .rerun = true},
    {.name = "KillAtTheRenameNamed", .input = identity_pencil(3), .fault = "rename 9",
     .named = true, .status = 137, .replaced = false, .left = {"matrix.out.tmp"}, .rerun = true},
    {.name = "KillDuringWriteNamed", .input = identity_pencil(3), .fault = "write 9",
     .named = true, .status = 137, .replaced = false, .left = {"matrix.out.tmp"}, .rerun = true},
    {.name = "StaleTemporaries", .input = identity_pencil(3), .stale = 120},
    {.name = "StaleTemporariesBesideALiveOne", .input = identity_pencil(3), .stale = 120,
     .live = "matrix.out.tmp7", .left = {"matrix.out.tmp7"}},
    {.name = "LiveTemporaryKeepsItsNameNamed", .input = identity_pencil(3), .named = true,
     .stale = 3, .live = "matrix.out.tmp", .left = {"matrix.out.tmp"}},
    {.name = "BurstInsideTheHandlerWaitsForTheCleanUpNamed", .input = identity_pencil(3),
     .fault = "write 15", .named = true, .burst_inside = true, .status = 143, .replaced = false},
    {.name = "BurstInsideTheHandlerAtTheRename", .input = identity_pencil(3),
     .fault = "rename 2", .burst_inside = true, .status = 130},
    {.name = "TermBurstNamed", .input = identity_pencil(3), .fault = kStopInTheWrite,
     .named = true, .burst = SIGTERM, .rounds = kRounds, .status = 143, .replaced = false},
    {.name = "IntBurstNamed", .input = identity_pencil(3), .fault = kStopInTheWrite,
     .named = true, .burst = SIGINT, .rounds = kRounds, .status = 130, .replaced = false},
    {.name = "HupBurstNamed", .input = identity_pencil(3), .fault = kStopInTheWrite,
     .named = true, .burst = SIGHUP, .rounds = kRounds, .status = 129, .replaced = false},
    {.name = "TermBurstUnnamed", .input = identity_pencil(3), .fault = kStopInTheWrite,
     .burst = SIGTERM, .rounds = kRounds / 4, .status = 143, .replaced = false},
    {.name = "PrivateResultStaysPrivate", .input = identity_pencil(3), .old_mode = 0600,
     .as_user = true, .umask = 022, .mode = 0600},
    {.name = "PrivateResultStaysPrivateNamed", .input = identity_pencil(3), .named = true,
     .old_mode = 0640, .as_user = true, .umask = 0, .mode = 0640},
    {.name = "ModeKeptWhateverTheUmask", .input = identity_pencil(3), .old_mode = 0664,
     .as_user = true, .umask = 077, .mode = 0664},
    {.name = "ReadOnlyResultRefused", .input = identity_pencil(3), .old_mode = 0444,
     .as_user = true, .status = 2, .err = kNotWritable, .replaced = false, .mode = 0444},
    {.name = "AnotherUsersResultRefused", .input = identity_pencil(3), .old_mode = 0644,
     .as_user = true, .foreign = true, .status = 2, .err = kNotWritable, .replaced = false,
     .mode = 0644},
    {.name = "AnotherUsersWritableResultReplaced", .input = identity_pencil(3),
     .old_mode = 0666, .as_user = true, .foreign = true, .mode = 0666},
    {.name = "ClosedStdoutIndefiniteB", .input = kIndefiniteB, .closed_stdout = true,
     .status = 3,
     .err = "geneig: B is not positive definite: the pivot of row 2 (the factorization runs from "
            "the last row up) has a negative real part\n"},
    {.name = "ClosedStdoutOrderOne", .input = kOrderOne, .closed_stdout = true, .status = 3},
    {.name = "ClosedStdoutMismatch", .input = kMismatch, .closed_stdout = true, .status = 1,
     .err = "matrix.in:3: expected A(1,1), found A(1,2): elements go row by row, the column "
            "index running fastest; the heading of A was taken from line 2: is the heading line "
            "missing?\n",
     .replaced = false},
};

// The ordinary user the permission rows run as when the tests run as root.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Whether a child can become nobody (root without the capability cannot).
bool can_become_nobody() {
  const pid_t pid = fork();
  if (pid == 0) _exit(setgroups(0, nullptr) == 0 && setgid(kNogroup) == 0 && setuid(kNobody) == 0 ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class Faults : public Program, public ::testing::WithParamInterface<Case> {
 protected:
  // Runs exe in run_ as the case sets it up; with normal, as a plain run.
  // The permission rows run a copy of exe beside run_ (wherever the build
  // lies, nobody can run that), as nobody when the tests run as root.
  Outcome launch(const char* exe, const Case& c, bool normal = false) {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const bool drop = !normal && c.as_user && geteuid() == 0;
    const fs::path copy = dir_ / "program";
    if (!normal && c.as_user) {
      fs::copy_file(exe, copy, fs::copy_options::overwrite_existing);
      exe = copy.c_str();
    }
    const pid_t pid = fork();
    if (pid == 0) {
      int o = -1;
      if (c.closed_stdout && !normal) {
        int p[2];
        if (pipe(p) != 0) _exit(127);
        close(p[0]);
        o = p[1];
      } else {
        o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      }
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(run_.c_str()) != 0)
        _exit(127);
      for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) std::signal(s, SIG_DFL);
      if (!normal) {
        if (c.fault != nullptr) setenv("GENEIG_FAULT", c.fault, 1);
        if (c.named) setenv("GENEIG_FAULT_NAMED", "1", 1);
        if (c.burst_inside) setenv("GENEIG_FAULT_BURST", "1", 1);
        if (c.hup_ignored) std::signal(SIGHUP, SIG_IGN);
        if (c.umask >= 0) umask(static_cast<mode_t>(c.umask));
        const rlimit limit{c.file_limit, c.file_limit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        if (drop && (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0))
          _exit(127);
      }
      execl(exe, exe, static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    if (!normal && c.burst != 0) {
      // Stopped in the middle of its write, the temporary created: the
      // signal, the continue, and the signal again while the first is being
      // delivered.
      waitpid(pid, &status, WUNTRACED);
      if (WIFSTOPPED(status)) {
        kill(pid, c.burst);
        kill(pid, SIGCONT);
        for (int k = 0; k < 64; ++k) kill(pid, c.burst);
      }
    }
    waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {code, normal || !c.closed_stdout ? slurp(out) : "", slurp(err)};
  }

  // The directory's names other than matrix.in and matrix.out.
  std::vector<std::string> others() const {
    std::vector<std::string> names = listing();
    std::erase_if(names, [](const std::string& n) { return n == "matrix.in" || n == "matrix.out"; });
    return names;
  }

  // One run of the case in run_, which holds the old matrix.out, and
  // what it must leave.
  void run_case(const Case& c, const std::string& fresh) {
    for (int k = 0; k < c.stale; ++k)
      put(run_ / ("matrix.out.tmp" + (k == 0 ? std::string() : std::to_string(k))), "1\nEigen");
    int live = -1;
    if (c.live != nullptr) {
      put(run_ / c.live, "being written");
      live = open((run_ / c.live).c_str(), O_RDWR);
      ASSERT_EQ(flock(live, LOCK_EX | LOCK_NB), 0);
    }
    const bool hooked = c.fault != nullptr || c.named;
    const Outcome o = launch(hooked ? GENEIG_FAULT_EXE : GENEIG_EXE, c);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(result() == (c.replaced ? fresh : kOldResult)) << result();
    EXPECT_EQ(others(), c.left);
    if (c.mode != 0) {
      EXPECT_EQ(fs::status(run_ / "matrix.out").permissions(), fs::perms(c.mode));
    }
    if (c.rerun) {
      const Outcome again = launch(GENEIG_EXE, c, true);
      EXPECT_EQ(again.status, 0);
      EXPECT_EQ(again.err, "");
      EXPECT_TRUE(result() == fresh);
      EXPECT_EQ(others(), std::vector<std::string>{});
    }
    if (live >= 0) {
      EXPECT_EQ(slurp(run_ / c.live), "being written");
      close(live);
    }
  }
};

TEST_P(Faults, OldOrNewResultWholeAndNothingElseLeft) {
  const Case& c = GetParam();
  if (c.as_user && geteuid() == 0 && !can_become_nobody())
    GTEST_SKIP() << "running as root, and a child cannot become nobody (65534) to run as an "
                    "ordinary user";
  if (c.foreign && geteuid() != 0)
    GTEST_SKIP() << "making a matrix.out of another user takes root";
  // The new result: what a plain run writes for this input.
  input(c.input);
  launch(GENEIG_EXE, c, true);
  const std::string fresh = result();
  for (int round = 0; round < c.rounds; ++round) {
    SCOPED_TRACE(round);
    fs::remove(run_ / "matrix.out");
    put(run_ / "matrix.out", kOldResult);
    if (c.old_mode != 0) fs::permissions(run_ / "matrix.out", fs::perms(c.old_mode));
    if (c.as_user && geteuid() == 0) {
      // nobody works in run_ and reaches it through the scratch directory;
      // the old file is nobody's own unless it is another user's.
      fs::permissions(dir_, fs::perms(0711));
      ASSERT_EQ(chown(run_.c_str(), kNobody, kNogroup), 0);
      if (!c.foreign) {
        ASSERT_EQ(chown((run_ / "matrix.out").c_str(), kNobody, kNogroup), 0);
      }
    }
    run_case(c, fresh);
    if (HasFailure()) break;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Faults, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A term left out of the reduction of A (the test build's GENEIG_FAULT_TERM)
// gives a result that looks like one: finite, with no report from the
// solver. The program's residual check catches it: status 3 and its line,
// the result file written as computed. Without the fault the same build
// solves the same files cleanly.
TEST_F(Program, TermDroppedFromTheReductionFailsTheResidualCheck) {
  const std::string line_start = "geneig: the result fails its residual check (";
  const std::string line_end = " times the bound); matrix.out holds it as computed\n";
  for (const int n : {3, 12, 60}) {
    SCOPED_TRACE(n);
    geneig::oracle::Rng rng(geneig::oracle::kSeed + static_cast<unsigned>(n));
    const geneig::oracle::ZMatrix A = geneig::oracle::random_hermitian(n, rng);
    const geneig::oracle::ZMatrix B = geneig::oracle::random_hpd(n, rng);
    input(geneig::test::matrix_in(A, B));
    const Outcome clean = run({}, RLIM_INFINITY, GENEIG_FAULT_EXE);
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.err, "");
    setenv("GENEIG_FAULT_TERM", "1", 1);
    const Outcome o = run({}, RLIM_INFINITY, GENEIG_FAULT_EXE);
    unsetenv("GENEIG_FAULT_TERM");
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "");
    ASSERT_TRUE(o.err.starts_with(line_start) && o.err.ends_with(line_end)) << o.err;
    EXPECT_GT(std::stod(o.err.substr(line_start.size())), 1.0);
    EXPECT_EQ(records(result()).size(), static_cast<std::size_t>(n * n + n + 3));
  }
}

}  // namespace
