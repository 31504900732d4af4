// Cost of the flash parameter file: building the HPS SPI list from a file of 100 user records
// against the bare read of the file plus copies of the 27 built-in records, and one read and one
// write of a section, each against the bare read (or write) of the same bytes. Ends with the rows
// of the ./dev.sh bench table.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_hps_section.h"
#include "bench_summary.h"
#include "cfg.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_hps_mgr.h"

namespace {

constexpr int kUserRecords = 100;

struct Fixture {
  std::string dir;
  std::string ini_path;
  std::string bare_path;
  std::vector<unsigned char> section;  // the "HPS SPI" section of 100 records
  std::vector<unsigned char> file;     // pgm_flash.ini as written
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

bool set_up() {
  Fixture& f = fixture();
  char pattern[] = "/tmp/pgmdev_bench_flash_ini_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  f.dir = pattern;
  f.ini_path = f.dir + "/pgm_flash.ini";
  f.bare_path = f.dir + "/bare_copy";
  cfg_set_value("PGMDEV_MODULE_DIR", f.dir);
  f.section = bench_hps_section::make_spi_section(kUserRecords);
  if (!PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_SPI, f.section.data(),
                                              static_cast<unsigned int>(f.section.size()))) {
    return false;
  }
  const int fd = open(f.ini_path.c_str(), O_RDONLY);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) return false;
  f.file.resize(static_cast<size_t>(info.st_size));
  const bool ok = read(fd, f.file.data(), f.file.size()) == static_cast<ssize_t>(f.file.size());
  close(fd);
  return ok;
}

// The floor of every read: open, size, read the whole file, close.
void bare_read(const std::string& path, std::vector<unsigned char>& buffer) {
  const int fd = open(path.c_str(), O_RDONLY);
  struct stat info {};
  fstat(fd, &info);
  buffer.resize(static_cast<size_t>(info.st_size));
  benchmark::DoNotOptimize(read(fd, buffer.data(), buffer.size()));
  close(fd);
}

void BM_BareFileRead(benchmark::State& state) {
  const Fixture& f = fixture();
  std::vector<unsigned char> buffer;
  for (auto _ : state) bare_read(f.ini_path, buffer);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.file.size()));
}

// The floor of the SPI list: the bare read, and copies of built-in records made and freed as the
// list makes and frees its records: 27, the copies that every list holds (the floor), or 127, as
// many records as the list of 100 user records holds (what any list of that many owned records
// pays, with no decoding at all).
void read_and_copy(benchmark::State& state, int records) {
  const Fixture& f = fixture();
  std::vector<unsigned char> buffer;
  std::vector<PGMDEV_HPS_SPI_STRUCTURE*> copies;
  for (auto _ : state) {
    bare_read(f.ini_path, buffer);
    for (int i = 0; i < records; ++i) {
      copies.push_back(
          new PGMDEV_HPS_SPI_STRUCTURE(PGMDEV_HPS_SPI_DATABASE[i % PGMDEV_HPS_SPI_DATABASE_COUNT]));
    }
    benchmark::DoNotOptimize(copies.data());
    while (!copies.empty()) {
      delete copies.back();
      copies.pop_back();
    }
  }
}

void BM_BareReadAndBuiltInCopies(benchmark::State& state) {
  read_and_copy(state, PGMDEV_HPS_SPI_DATABASE_COUNT);
}
void BM_BareReadAndListCopies(benchmark::State& state) {
  read_and_copy(state, kUserRecords + PGMDEV_HPS_SPI_DATABASE_COUNT);
}

void BM_SpiMgrBuild100Records(benchmark::State& state) {
  for (auto _ : state) {
    PGMDEV_HPS_SPI_MGR* mgr = PGMDEV_HPS_SPI_MGR::get_mgr();
    if (mgr->m_ini_flash_list.size() != kUserRecords) state.SkipWithError("records lost");
    PGMDEV_HPS_SPI_MGR::delete_mgr();
  }
}

void BM_ReadSection(benchmark::State& state) {
  for (auto _ : state) {
    unsigned int size = 0;
    unsigned char* data = PGMDEV_FLASH_INI::read_flash_ini_data(PGMDEV_FLASH_INI_HPS_SPI, size);
    benchmark::DoNotOptimize(data);
    delete[] data;
  }
}

// Writes the file's bytes to a file beside it, optionally synced: the floors of a write.
void bare_write(benchmark::State& state, bool sync) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    const int fd = open(f.bare_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    benchmark::DoNotOptimize(write(fd, f.file.data(), f.file.size()));
    if (sync) fsync(fd);
    close(fd);
  }
}

void BM_BareFileWrite(benchmark::State& state) { bare_write(state, false); }
void BM_BareFileWriteSynced(benchmark::State& state) { bare_write(state, true); }

void BM_WriteSection(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    if (!PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_SPI, f.section.data(),
                                                static_cast<unsigned int>(f.section.size()))) {
      state.SkipWithError("write failed");
    }
  }
}

BENCHMARK(BM_BareFileRead)->Apply(bench_summary::repeated);
BENCHMARK(BM_BareReadAndBuiltInCopies)->Apply(bench_summary::repeated);
BENCHMARK(BM_BareReadAndListCopies)->Apply(bench_summary::repeated);
BENCHMARK(BM_SpiMgrBuild100Records)->Apply(bench_summary::repeated);
BENCHMARK(BM_ReadSection)->Apply(bench_summary::repeated);
// Writes wait on the file system (an fsync above all): their wall time is the cost.
BENCHMARK(BM_BareFileWrite)->UseRealTime();
BENCHMARK(BM_BareFileWriteSynced)->UseRealTime();
BENCHMARK(BM_WriteSection)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!set_up()) {
    std::fprintf(stderr, "cannot set up the benchmark files\n");
    return 1;
  }
  std::printf("pgm_flash.ini: %zu bytes, HPS SPI section of %d records: %zu bytes\n",
              fixture().file.size(), kUserRecords, fixture().section.size());
  // CPU time for the reads, whose file is cached; the writes are marked for wall time.
  bench_summary::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  bench_summary::print_time_row(reporter, "HPS SPI list, 100 user records / read + 27 copies",
                                "BM_SpiMgrBuild100Records", "BM_BareReadAndBuiltInCopies", 3);
  bench_summary::print_time_row(reporter, "  bound: read + 127 copies / same floor",
                                "BM_BareReadAndListCopies", "BM_BareReadAndBuiltInCopies", 3);
  bench_summary::print_time_row(reporter, "section read / bare read", "BM_ReadSection",
                                "BM_BareFileRead", 0);
  bench_summary::print_time_row(reporter, "section write / bare write + fsync", "BM_WriteSection",
                                "BM_BareFileWriteSynced", 0);
  benchmark::Shutdown();
  cfg_unset_value("PGMDEV_MODULE_DIR");
  std::error_code ignored;
  std::filesystem::remove_all(fixture().dir, ignored);
  return 0;
}
