// Runs every registered benchmark with the usual console report, then sums
// up their medians in three tables: eigcab against its peers (LAPACK's
// zhegvd and zhegv, OpenBLAS's zhegvd, Eigen's generalized solver) for each
// order, the phases of eigcab at order 200 with the time of their input
// copies taken off, and the first solve of a fresh process against a warm
// one.
//
// Names it reads: "eigcab/N", "openblas/N", "zhegvd/N", "eigen/N", "zhegv/N"
// and "copy/N" (one n x n block copied), "phase/NAME" with the counter "copies" (blocks
// copied in each iteration), and "fresh/N" with the counter "warm". Any
// other benchmark appears in the console report only.
#include <benchmark/benchmark.h>

#include "bench_shared.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct Median {
  double seconds;      // real time per iteration
  double cpu_seconds;  // processor time per iteration
  double copies;       // n x n blocks copied in per iteration
  double warm;         // the counter "warm" (seconds), if any
  long long order;     // position of the benchmark among those registered
  double min_cpu_seconds = 0.0;  // the least processor time of a repetition, if known
};

// The console reporter, keeping the median of every benchmark by name, in
// the order of registration whatever order they ran in, and the minimum
// where the benchmark computes one ("min"). A benchmark run without
// repetitions has no median aggregate: its single run stands in.
class MedianCollector : public benchmark::ConsoleReporter {
 public:
  MedianCollector() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min") {
        minima_.emplace_back(r.run_name.function_name + "/" + r.run_name.args,
                             r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit));
        continue;
      }
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
      if (r.error_occurred || !(median || single)) continue;
      std::string name = r.run_name.function_name;
      if (!r.run_name.args.empty()) name += "/" + r.run_name.args;
      const double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
      const auto c = r.counters.find("copies");
      const auto w = r.counters.find("warm");
      const long long order = (r.family_index << 20) + r.per_family_instance_index;
      const Median m{r.GetAdjustedRealTime() / unit, r.GetAdjustedCPUTime() / unit,
                     c == r.counters.end() ? 0.0 : c->second.value,
                     w == r.counters.end() ? 0.0 : w->second.value, order};
      const auto at = std::find_if(medians_.begin(), medians_.end(),
                                   [&](const auto& e) { return e.second.order > order; });
      medians_.emplace(at, name, m);
    }
  }

  const Median* find(std::string_view name) {
    for (auto& [n, m] : medians_)
      if (n == name) {
        for (const auto& [mn, v] : minima_)
          if (mn == name) m.min_cpu_seconds = v;
        return &m;
      }
    return nullptr;
  }
  const std::vector<std::pair<std::string, Median>>& all() const { return medians_; }

 private:
  std::vector<std::pair<std::string, Median>> medians_;
  std::vector<std::pair<std::string, double>> minima_;
};

constexpr double kMs = 1e3;

// The peers of eigcab, each timed on the same pencils in this binary.
constexpr const char* kPeers[] = {"openblas", "zhegvd", "eigen", "zhegv"};

void print_solve_table(MedianCollector& r) {
  std::printf(
      "\neigcab against its peers on the same pencils, one thread: LAPACK's zhegvd\n"
      "(divide and conquer) and zhegv from\n  %s,\n"
      "zhegvd from OpenBLAS (\"openblas\")\n  %s,\n"
      "and Eigen's GeneralizedSelfAdjointEigenSolver. Times are medians of real time;\n"
      "each includes copying A and B in (two n x n blocks, \"copy in\").\n",
      bench::lapack_library(),
      bench::openblas_library() ? bench::openblas_library() : "(not found: no \"openblas\" rows)");
  std::printf("%5s %10s", "N", "eigcab ms");
  for (const char* peer : kPeers) std::printf(" %9s ms", peer);
  std::printf(" %11s\n", "copy in ms");
  for (const auto& [name, eig] : r.all()) {
    if (!name.starts_with("eigcab/")) continue;
    const std::string order = name.substr(7);
    std::printf("%5s %10.3f", order.c_str(), eig.seconds * kMs);
    for (const char* peer : kPeers) {
      const Median* m = r.find(std::string(peer) + "/" + order);
      if (m)
        std::printf(" %12.3f", m->seconds * kMs);
      else
        std::printf(" %12s", "-");
    }
    const Median* copy = r.find("copy/" + order);
    if (copy)
      std::printf(" %11.4f\n", 2.0 * copy->seconds * kMs);
    else
      std::printf(" %11s\n", "-");
  }
  std::printf(
      "\nRatios eigcab/peer of processor time, which a busy machine disturbs less\n"
      "than real time: of the medians, and in brackets of the least repetitions\n"
      "(a busy machine only ever adds time)\n");
  std::printf("%5s", "N");
  for (const char* peer : kPeers) std::printf(" %*s/%s", 16 - static_cast<int>(std::strlen(peer)), "eigcab", peer);
  std::printf("\n");
  for (const auto& [name, eig] : r.all()) {
    if (!name.starts_with("eigcab/")) continue;
    const std::string order = name.substr(7);
    const Median* self = r.find(name);
    std::printf("%5s", order.c_str());
    for (const char* peer : kPeers) {
      const Median* m = r.find(std::string(peer) + "/" + order);
      if (m && self->min_cpu_seconds > 0.0 && m->min_cpu_seconds > 0.0)
        std::printf(" %9.3f (%.3f)", self->cpu_seconds / m->cpu_seconds,
                    self->min_cpu_seconds / m->min_cpu_seconds);
      else if (m)
        std::printf(" %17.3f", self->cpu_seconds / m->cpu_seconds);
      else
        std::printf(" %17s", "-");
    }
    std::printf("\n");
  }
}

void print_phase_table(MedianCollector& r) {
  const Median* copy = r.find("copy/200");
  const Median* eig = r.find("eigcab/200");
  if (!copy || !eig) return;
  const double whole = eig->seconds - 2.0 * copy->seconds;
  std::printf(
      "\nPhases of eigcab at N = 200 (medians; net = median less the blocks copied in,\n"
      "one block %.4f ms; share of eigcab/200 less its own two copies, %.3f ms)\n",
      copy->seconds * kMs, whole * kMs);
  std::printf("  %-24s %10s %7s %10s %8s\n", "phase", "median ms", "copies", "net ms", "share");
  double sum = 0.0;
  for (const auto& [name, m] : r.all()) {
    if (!name.starts_with("phase/")) continue;
    const double net = m.seconds - m.copies * copy->seconds;
    sum += net;
    std::printf("  %-24s %10.3f %7.0f %10.3f %7.1f%%\n", name.substr(6).c_str(), m.seconds * kMs,
                m.copies, net * kMs, 100.0 * net / whole);
  }
  std::printf("  %-24s %10s %7s %10.3f %7.1f%%\n", "sum of the phases", "", "", sum * kMs,
              100.0 * sum / whole);
  // Each phase is timed alone; in eigcab the back-transformations run
  // inside the Sturm passes, so the sum exceeds the whole by what the
  // schedule saves.
  std::printf("  %-24s %10s %7s %10.3f %7.1f%%\n", "saved by the schedule", "", "",
              (sum - whole) * kMs, 100.0 * (sum - whole) / whole);
}

void print_fresh_table(MedianCollector& r) {
  bool header = false;
  for (const auto& [name, m] : r.all()) {
    if (!name.starts_with("fresh/")) continue;
    if (!header) {
      std::printf(
          "\nThe first solve of a fresh process against the second solve in the same\n"
          "process (medians of processor time)\n");
      std::printf("%5s %14s %14s %12s\n", "N", "first ms", "second ms", "first/second");
      header = true;
    }
    std::printf("%5s %14.3f %14.3f %12.3f\n", name.substr(6).c_str(), m.seconds * kMs,
                m.warm * kMs, m.seconds / m.warm);
  }
}

}  // namespace

// Repetitions of different benchmarks run interleaved in random order, so
// that a change of load on a shared machine falls on eigcab and zhegv
// alike rather than on one of them. Flags given on the command line come
// after this default and override it.
int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + std::min(argc, 1), interleave);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  MedianCollector reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  print_solve_table(reporter);
  print_phase_table(reporter);
  print_fresh_table(reporter);
  benchmark::Shutdown();
  return 0;
}
