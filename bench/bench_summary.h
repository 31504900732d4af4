// Shared pieces of the benchmarks that close with ratios: a console reporter that keeps each
// benchmark's time per iteration, thread CPU time for hand-timed sections, the repetition settings,
// the ratio lines and the rows of the table that ./dev.sh bench prints.
#ifndef PGMDEV_BENCH_SUMMARY_H
#define PGMDEV_BENCH_SUMMARY_H

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_floors.h"

namespace bench_summary {

inline double thread_cpu_seconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The machine is shared, so each figure is the median of several short runs.
inline void repeated(benchmark::internal::Benchmark* b) {
  b->MinTime(0.2)->Repetitions(5)->ReportAggregatesOnly(true);
}

// Which time per iteration the reporter keeps. CPU time is disturbed far less by other work on a
// shared machine; wall time is the one to compare when waiting is part of the cost (a file read
// or an fsync). A hand-timed benchmark reports its own time as its manual time under either, and
// one marked UseRealTime() its wall time.
enum class Clock { kCpu, kWall };

// Console output plus the time per iteration of each benchmark, for the closing ratios.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  explicit SummaryReporter(Clock clock = Clock::kCpu) : m_clock(clock) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      if (run.run_type == Run::RT_Aggregate) name += "_" + run.aggregate_name;
      m_seconds[name] = seconds_per_iteration(run, m_clock);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median seconds per iteration of a benchmark, named "BM_X" or "BM_X/ARG" (of its single
  // run when run without repetitions), or a negative value when it did not run.
  double seconds_of(const std::string& name) const {
    for (const std::string& key : {name + "_median", name}) {
      const auto found = m_seconds.find(key);
      if (found != m_seconds.end()) return found->second;
    }
    return -1;
  }

  // The ratio of the medians of a and b, or a negative value when either did not run.
  double ratio(const std::string& a, const std::string& b) const {
    const double x = seconds_of(a);
    const double y = seconds_of(b);
    return x < 0 || y <= 0 ? -1 : x / y;
  }

 private:
  static double seconds_per_iteration(const Run& run, Clock clock) {
    const bool real = clock == Clock::kWall || run.run_name.time_type == "manual_time" ||
                      run.run_name.time_type == "real_time";
    return (real ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) /
           benchmark::GetTimeUnitMultiplier(run.time_unit);
  }

  Clock m_clock;
  std::map<std::string, double> m_seconds;
};

// The end of a ratio line: the ratio, and whether it meets the target (an upper bound) when given.
inline void print_ratio_tail(double ratio, double target) {
  if (target <= 0) {
    std::printf("%.2fx\n", ratio);
  } else {
    std::printf("%.2fx (target <= %.0fx): %s\n", ratio, target, ratio <= target ? "met" : "MISSED");
  }
}

// One closing line: the ratio, and whether it meets the target when given.
inline void print_ratio(const char* what, double ratio, double target = 0) {
  if (ratio < 0) {
    std::printf("%-44s not measured\n", what);
    return;
  }
  std::printf("%-44s ", what);
  print_ratio_tail(ratio, target);
}

// One closing line with both times per iteration shown before their ratio (seconds_of values).
inline void print_timed_ratio(const char* what, double seconds, double floor_seconds,
                              double target = 0) {
  if (seconds < 0 || floor_seconds <= 0) {
    std::printf("%-44s not measured\n", what);
    return;
  }
  std::printf("%-44s %9.2f us / %9.2f us = ", what, seconds * 1e6, floor_seconds * 1e6);
  print_ratio_tail(seconds / floor_seconds, target);
}

// Initializes the library with the program's arguments and runs the benchmarks they select into
// the reporter; false when an argument is not understood.
inline bool run_benchmarks(int* argc, char** argv, SummaryReporter& reporter) {
  benchmark::Initialize(argc, argv);
  if (benchmark::ReportUnrecognizedArguments(*argc, argv)) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  return true;
}

// ---- The table of ./dev.sh bench

// One row: what is measured, our figure and its floor's (already formatted with their unit), the
// ratio and its target (an upper bound; 0 or less: none). The line starts with "BENCH_ROW|" so
// that the script can pick the rows out of the benchmarks' own output.
inline void print_row(const std::string& operation, const std::string& ours,
                      const std::string& floor, double ratio, double target) {
  char ratio_text[32] = "-";
  char target_text[32] = "-";
  const char* verdict = "-";
  if (ratio >= 0) std::snprintf(ratio_text, sizeof ratio_text, "%.2fx", ratio);
  if (target > 0) {
    std::snprintf(target_text, sizeof target_text, "<= %.2fx", target);
    verdict = ratio < 0 ? "not measured" : ratio <= target ? "met" : "MISSED";
  }
  std::printf("BENCH_ROW|%s|%s|%s|%s|%s|%s\n", operation.c_str(), ours.c_str(), floor.c_str(),
              ratio_text, target_text, verdict);
}

// A time in a readable unit.
inline std::string time_text(double seconds) {
  char text[32];
  if (seconds < 0) return "-";
  if (seconds < 1e-6) {
    std::snprintf(text, sizeof text, "%.1f ns", seconds * 1e9);
  } else if (seconds < 1e-3) {
    std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
  }
  return text;
}

// A row of two medians of this reporter.
inline void print_time_row(const SummaryReporter& reporter, const std::string& operation,
                           const std::string& ours, const std::string& floor, double target) {
  print_row(operation, time_text(reporter.seconds_of(ours)), time_text(reporter.seconds_of(floor)),
            reporter.ratio(ours, floor), target);
}

}  // namespace bench_summary

#endif  // PGMDEV_BENCH_SUMMARY_H
