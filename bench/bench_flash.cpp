// Flash database: constructing a loaded manager against the floor of reading the same file and
// inflating it with zlib, and one identification mapping that matches near the end of the table.
// Both read the generated share/pgmdev/device_db/programmer/pgm_flash.pcf of the build tree. Ends
// with the rows of the ./dev.sh bench table, from the medians of repeated runs.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "fio.h"
#include "gen.h"
#include "pgmdev_flash_manager.h"

namespace {

constexpr unsigned int kHeaderBytes = 44;
constexpr unsigned int kTrailerBytes = 2;

std::string flash_file_path() { return gen_get_device_db_fullpath() + "/programmer/pgm_flash.pcf"; }

// The floor: what any loader of the file must do, reading it whole and inflating its payload.
std::vector<unsigned char> read_and_inflate(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
  unsigned int length = 0;
  std::memcpy(&length, file.data() + 40, 4);
  std::vector<unsigned char> payload(length);
  if (bench_summary::zlib_inflate(
          payload.data(), length,
          reinterpret_cast<const unsigned char*>(file.data()) + kHeaderBytes,
          file.size() - kHeaderBytes - kTrailerBytes) != length) {
    payload.clear();
  }
  return payload;
}

void BM_ReadAndInflateFloor(benchmark::State& state) {
  const std::string path = flash_file_path();
  for (auto _ : state) {
    benchmark::DoNotOptimize(read_and_inflate(path));
  }
}
BENCHMARK(BM_ReadAndInflateFloor)->Apply(bench_summary::repeated);

// The same with the steps that the manager takes through the host to find the file: the device data
// directory, and the file's existence and status.
void BM_LocateReadAndInflateFloor(benchmark::State& state) {
  for (auto _ : state) {
    const std::string path = flash_file_path();
    struct stat info {};
    const bool found =
        FIO_FILE_SYSTEM::exists(path.c_str()) && FIO_FILE_SYSTEM::status(path.c_str(), &info);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(read_and_inflate(path));
  }
}
BENCHMARK(BM_LocateReadAndInflateFloor)->Apply(bench_summary::repeated);

void BM_ConstructLoadedManager(benchmark::State& state) {
  for (auto _ : state) {
    PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
    benchmark::DoNotOptimize(manager.m_flash_count);
  }
}
BENCHMARK(BM_ConstructLoadedManager)->Apply(bench_summary::repeated);

// Adesto AT25DF641 (1F 48 xx) sits among the last device-id records of the table.
void BM_MappingNearEnd(benchmark::State& state) {
  PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
  unsigned char id[3] = {0x1F, 0x48, 0x00};
  if (!manager.flash_id_database_mapping(false, 0, id)) {
    state.SkipWithError("no record for 1F 48 00");
    return;
  }
  state.counters["index"] = manager.get_flash_mapping_index(0, false);
  state.counters["records"] = manager.m_flash_count;
  for (auto _ : state) {
    benchmark::DoNotOptimize(manager.flash_id_database_mapping(false, 0, id));
  }
}
BENCHMARK(BM_MappingNearEnd)->Apply(bench_summary::repeated);

}  // namespace

int main(int argc, char** argv) {
  bench_summary::SummaryReporter reporter;
  if (!bench_summary::run_benchmarks(&argc, argv, reporter)) return 1;
  bench_summary::print_time_row(reporter, "flash manager / read + zlib inflate of its file",
                                "BM_ConstructLoadedManager", "BM_ReadAndInflateFloor", 1.5);
  bench_summary::print_time_row(reporter, "flash manager / locate + read + zlib inflate",
                                "BM_ConstructLoadedManager", "BM_LocateReadAndInflateFloor", 0);
  benchmark::Shutdown();
  return 0;
}
