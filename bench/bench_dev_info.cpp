// Cost of the device-info database: constructing a loaded manager from the generated file,
// against the floor of reading the same file and inflating its body with zlib; and one
// get_db_by_part call. Ends with the row of the ./dev.sh bench table, from the medians of
// repeated runs.
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
#include <memory>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "cfg.h"
#include "pgmdev_dev_info_manager.h"

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
    if (bench_summary::zlib_inflate(body.get(), memory_size, file.data() + kHeaderBytes,
                                    file.size() - kHeaderBytes - kTrailerBytes) != memory_size) {
      state.SkipWithError("the generated database does not inflate");
      return;
    }
    benchmark::DoNotOptimize(body.get());
  }
}
BENCHMARK(BM_ReadAndInflateFloor)->Apply(bench_summary::repeated);

void BM_ConstructLoadedManager(benchmark::State& state) {
  for (auto _ : state) {
    const PGMDEV_DEV_INFO_MANAGER manager(false, 0);
    benchmark::DoNotOptimize(manager.m_device_database.get());
  }
}
BENCHMARK(BM_ConstructLoadedManager)->Apply(bench_summary::repeated);

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
  // CPU time (the kernel's share of reading the cached file included): wall time on a shared
  // machine measures the other work as much as ours.
  bench_summary::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  bench_summary::print_time_row(reporter, "device-info manager / read + zlib inflate of its file",
                                "BM_ConstructLoadedManager", "BM_ReadAndInflateFloor", 1.3);
  benchmark::Shutdown();
  return 0;
}
