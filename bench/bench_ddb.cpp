// Embedded name databases: building the grammar manager from the embedded blob against the
// floor of inflating and checksumming the same blob, and a reverse lookup through the manager
// against a plain std::unordered_map probe on the same names. Prints both ratios at the end,
// from the medians of CPU time.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "pgm_common.h"
#include "pgmdev_ddb_mgr.h"
#include "zlib_util.h"

namespace {

typedef PGMDEV_DDB_GRAMMAR_MGR GRAMMAR;

constexpr double kLoadTarget = 3.0;
constexpr double kLookupTarget = 2.0;

// Every full part name of the embedded grammar, in a fixed shuffled order, and the package
// name each one reduces to.
struct LookupData {
  std::vector<std::string> names;
  std::unordered_map<std::string, std::string> plain;
};

const LookupData& lookup_data() {
  static const LookupData data = [] {
    LookupData out;
    const GRAMMAR_MAP* map = GRAMMAR::get_mgr()->get_map(GRAMMAR::PACKAGE_GRAMMAR);
    for (const auto& [key, names] : *map) {
      for (const std::string& name : names) {
        out.names.push_back(name);
        out.plain.emplace(name, key);
      }
    }
    std::shuffle(out.names.begin(), out.names.end(), std::mt19937(20240601));
    return out;
  }();
  return data;
}

double thread_cpu_seconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The machine is shared, so each figure is the median of several short runs.
void repeated(benchmark::internal::Benchmark* b) {
  b->MinTime(0.2)->Repetitions(5)->ReportAggregatesOnly(true);
}

void BM_GrammarLoad(benchmark::State& state) {
  // Only the build is timed, in CPU time of this thread like the other figures; releasing the
  // previous manager is not.
  for (auto _ : state) {
    GRAMMAR::delete_mgr();
    const double start = thread_cpu_seconds();
    benchmark::DoNotOptimize(GRAMMAR::get_mgr());
    state.SetIterationTime(thread_cpu_seconds() - start);
  }
  state.SetBytesProcessed(state.iterations() * GRAMMAR::get_blob_source().length);
}
BENCHMARK(BM_GrammarLoad)->Unit(benchmark::kMicrosecond)->UseManualTime()->Apply(repeated);

// Bare inflation into a buffer of the same capacity, and the CRC of the covered bytes.
void BM_GrammarFloor(benchmark::State& state) {
  const pgmdev_ddb::BLOB blob = GRAMMAR::get_blob_source();
  std::vector<unsigned char> buffer(blob.length + pgmdev_ddb::kSlackBytes);
  for (auto _ : state) {
    unsigned int length = static_cast<unsigned int>(buffer.size());
    if (zlib_uncompress(buffer.data(), &length, blob.data, blob.cmp_length) != ZLIB_OK) {
      state.SkipWithError("inflation failed");
      break;
    }
    const DWORD crc = ~PGM_COMMON::msb_calculate_crc32(
        buffer.data(), 0, (length - pgmdev_ddb::kTrailerBytes) * 8, 0xFFFFFFFF, 0x04C11DB7, true);
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(state.iterations() * blob.length);
}
BENCHMARK(BM_GrammarFloor)->Unit(benchmark::kMicrosecond)->Apply(repeated);

// Full part name to package name, as the device-name grammar asks it.
void BM_ReverseLookup(benchmark::State& state) {
  const std::vector<std::string>& names = lookup_data().names;
  size_t next = 0;
  for (auto _ : state) {
    std::string key = GRAMMAR::get_mapping_key(names[next], GRAMMAR::PACKAGE_GRAMMAR);
    benchmark::DoNotOptimize(key);
    if (++next == names.size()) next = 0;
  }
}
BENCHMARK(BM_ReverseLookup)->Apply(repeated);

// The same question to a plain map from full part name to package name.
void BM_PlainProbe(benchmark::State& state) {
  const LookupData& data = lookup_data();
  size_t next = 0;
  for (auto _ : state) {
    const auto found = data.plain.find(data.names[next]);
    std::string key = found == data.plain.end() ? std::string() : found->second;
    benchmark::DoNotOptimize(key);
    if (++next == data.names.size()) next = 0;
  }
}
BENCHMARK(BM_PlainProbe)->Apply(repeated);

// Console output plus the real time of each benchmark, for the closing ratios.
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

  // The ratio of the medians of a and b (of the single runs when run without repetitions), or a
  // negative value when either did not run.
  double ratio(const std::string& a, const std::string& b) const {
    const double x = seconds_of(a);
    const double y = seconds_of(b);
    return x < 0 || y <= 0 ? -1 : x / y;
  }

 private:
  double seconds_of(const std::string& name) const {
    for (const std::string& key : {name + "_median", name}) {
      const auto found = m_seconds.find(key);
      if (found != m_seconds.end()) return found->second;
    }
    return -1;
  }

  // CPU time, which other work on a shared machine disturbs far less than wall time (the load
  // benchmark reports its own thread CPU time as its manual time).
  static double seconds_per_iteration(const Run& run) {
    const bool manual = run.run_name.time_type == "manual_time";
    return (manual ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) /
           benchmark::GetTimeUnitMultiplier(run.time_unit);
  }

  std::map<std::string, double> m_seconds;
};

void print_ratio(const char* what, double ratio, double target) {
  if (ratio < 0) {
    std::printf("%-36s not measured\n", what);
  } else {
    std::printf("%-36s %.2fx (target <= %.0fx): %s\n", what, ratio, target,
                ratio <= target ? "met" : "MISSED");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  print_ratio("grammar load / (inflate + CRC)", reporter.ratio("BM_GrammarLoad", "BM_GrammarFloor"),
              kLoadTarget);
  print_ratio("reverse lookup / plain probe", reporter.ratio("BM_ReverseLookup", "BM_PlainProbe"),
              kLookupTarget);
  benchmark::Shutdown();
  return 0;
}
