// The first solve of a fresh process against a warm one ("fresh/N"): each
// iteration starts geneig_cold_solve, which solves the same pencil twice
// in a process of its own and reports the processor time of both solves.
// The iteration's time is that of the first solve; the counter "warm" is
// that of the second, in seconds.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

extern char** environ;

namespace {

// The helper, next to this benchmark's executable.
std::string helper_path() {
  char self[PATH_MAX];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return "geneig_cold_solve";
  std::string path(self, static_cast<std::size_t>(len));
  return path.substr(0, path.rfind('/') + 1) + "geneig_cold_solve";
}

// Runs the helper for order n; false if it could not be run or failed.
bool run_helper(const std::string& path, int n, double& first, double& second) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const std::string order = std::to_string(n);
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(order.c_str()), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  long long ns[2] = {0, 0};
  bool read = false;
  if (FILE* out = fdopen(fds[0], "r")) {
    read = std::fscanf(out, "%lld %lld", &ns[0], &ns[1]) == 2;
    std::fclose(out);
  } else {
    close(fds[0]);
  }
  if (spawned != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return false;
  first = static_cast<double>(ns[0]) * 1e-9;
  second = static_cast<double>(ns[1]) * 1e-9;
  return read;
}

void bench_fresh(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string path = helper_path();
  double warm = 0.0;
  for (auto _ : state) {
    double first = 0.0, second = 0.0;
    if (!run_helper(path, n, first, second)) {
      state.SkipWithError("geneig_cold_solve could not be run");
      break;
    }
    state.SetIterationTime(first);
    warm += second;
  }
  state.counters["warm"] = benchmark::Counter(warm, benchmark::Counter::kAvgIterations);
}

BENCHMARK(bench_fresh)
    ->Name("fresh")
    ->Arg(50)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace
