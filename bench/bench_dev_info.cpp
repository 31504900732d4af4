// Cost of the device-info database: constructing a loaded manager from the generated file,
// against the floor of reading the same file and inflating its body; and one get_db_by_part
// call. The ratio to the floor is printed after the runs; with --benchmark_repetitions it is
// the ratio of the medians (on a shared machine add --benchmark_enable_random_interleaving).
//
// A manager holds about 110 kB while it lives. Freeing it can leave more than glibc's default
// trim threshold free at the top of the heap; the allocator then hands the pages back and the
// next construction faults them in again, which makes a loop of constructions two to three
// times slower or not depending on what ran before in the process. A host builds its manager
// once, so main() raises the trim threshold for every benchmark alike; pass --keep-trim to
// measure with the allocator's default.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cfg.h"
#include "pgmdev_dev_info_manager.h"
#include "zlib_util.h"

namespace {

// The database that the build generated into its share directory.
const std::string kDeviceDbDir = std::string(PGMDEV_BINARY_DIR) + "/share/pgmdev/device_db";
const std::string kDatabase = kDeviceDbDir + "/programmer/pgm_dev_info.pcf";

constexpr unsigned int kHeaderBytes = 44;
constexpr unsigned int kTrailerBytes = 2;

// Reads the file and inflates its body, as any reader of the file must at the least.
void BM_ReadAndInflateFloor(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream input(kDatabase, std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(input)),
                                          std::istreambuf_iterator<char>());
    const unsigned int memory_size =
        file[40] | file[41] << 8 | file[42] << 16 | static_cast<unsigned int>(file[43]) << 24;
    std::unique_ptr<unsigned char[]> body(new unsigned char[memory_size]());
    unsigned int produced = memory_size;
    if (zlib_uncompress(body.get(), &produced, file.data() + kHeaderBytes,
                        static_cast<unsigned int>(file.size()) - kHeaderBytes - kTrailerBytes) !=
        ZLIB_OK) {
      state.SkipWithError("the generated database does not inflate");
      return;
    }
    benchmark::DoNotOptimize(body.get());
  }
}
BENCHMARK(BM_ReadAndInflateFloor);

void BM_ConstructLoadedManager(benchmark::State& state) {
  for (auto _ : state) {
    const PGMDEV_DEV_INFO_MANAGER manager(false, 0);
    benchmark::DoNotOptimize(manager.m_device_database.get());
  }
}
BENCHMARK(BM_ConstructLoadedManager);

void BM_GetDbByPart(benchmark::State& state) {
  PGMDEV_DEV_INFO_MANAGER manager(false, 0);
  const DWORD parts = DWORD(DEV_PART_MAX);
  DWORD part = 1;
  for (auto _ : state) {
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> info(manager.get_db_by_part(DEV_PART_ENUM(part)));
    benchmark::DoNotOptimize(info.get());
    if (++part == parts) part = 1;
  }
}
BENCHMARK(BM_GetDbByPart);

// Console output plus the real time per iteration of each benchmark, for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations <= 0) continue;
      const std::string name = run.run_name.function_name;
      const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      // With repetitions the median stands for the benchmark; otherwise its one run.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        m_seconds[name] = seconds;
        m_from_median.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !m_from_median.count(name)) {
        m_seconds[name] = seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void print_ratio(const char* what, const std::string& measured, const std::string& floor) {
    const auto m = m_seconds.find(measured);
    const auto f = m_seconds.find(floor);
    if (m == m_seconds.end() || f == m_seconds.end() || f->second <= 0) return;
    std::printf("%-40s %9.2f us / %9.2f us = %6.2fx (target: within 2x)\n", what, m->second * 1e6,
                f->second * 1e6, m->second / f->second);
  }

 private:
  std::map<std::string, double> m_seconds;
  std::set<std::string> m_from_median;
};

}  // namespace

int main(int argc, char** argv) {
  bool keep_trim = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--keep-trim") {
      keep_trim = true;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  if (!keep_trim) mallopt(M_TRIM_THRESHOLD, 64 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  cfg_set_value("PGMDEV_DEVICE_DB_DIR", kDeviceDbDir);
  std::ifstream probe(kDatabase, std::ios::binary | std::ios::ate);
  if (!probe.good()) {
    std::fprintf(stderr, "no generated database at %s: build the default target first\n",
                 kDatabase.c_str());
    return 1;
  }
  std::printf("pgm_dev_info.pcf: %lld bytes, %u parts in the catalogue; heap trimming %s\n",
              static_cast<long long>(probe.tellg()), DWORD(DEV_PART_MAX),
              keep_trim ? "at the allocator's default" : "raised to 64 MiB");
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatio to reading the file and inflating its body:\n");
  reporter.print_ratio("loaded manager / read + inflate", "BM_ConstructLoadedManager",
                       "BM_ReadAndInflateFloor");
  benchmark::Shutdown();
  return 0;
}
