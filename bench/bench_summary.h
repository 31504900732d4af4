// Shared pieces of the benchmarks that close with ratios: a console reporter that keeps each
// benchmark's time per iteration, thread CPU time for hand-timed sections, the repetition settings,
// and the ratio line.
#ifndef PGMDEV_BENCH_SUMMARY_H
#define PGMDEV_BENCH_SUMMARY_H

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

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

// Console output plus the time per iteration of each benchmark, for the closing ratios.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) name += "_" + run.aggregate_name;
      m_seconds[name] = seconds_per_iteration(run);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median seconds per iteration of a benchmark (of its single run when run without
  // repetitions), or a negative value when it did not run.
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
  // CPU time, which other work on a shared machine disturbs far less than wall time (a hand-timed
  // benchmark reports its own thread CPU time as its manual time).
  static double seconds_per_iteration(const Run& run) {
    const bool manual = run.run_name.time_type == "manual_time";
    return (manual ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) /
           benchmark::GetTimeUnitMultiplier(run.time_unit);
  }

  std::map<std::string, double> m_seconds;
};

// One closing line: the ratio, and whether it meets the target (an upper bound) when given.
inline void print_ratio(const char* what, double ratio, double target = 0) {
  if (ratio < 0) {
    std::printf("%-44s not measured\n", what);
  } else if (target <= 0) {
    std::printf("%-44s %.2fx\n", what, ratio);
  } else {
    std::printf("%-44s %.2fx (target <= %.0fx): %s\n", what, ratio, target,
                ratio <= target ? "met" : "MISSED");
  }
}

}  // namespace bench_summary

#endif  // PGMDEV_BENCH_SUMMARY_H
