// Embedded name databases: building the grammar manager from the embedded blob against the
// floor of inflating and checksumming the same blob, and a reverse lookup through the manager
// against a plain std::unordered_map probe on the same names. Prints both ratios at the end,
// from the medians of CPU time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_summary.h"
#include "pgm_common.h"
#include "pgmdev_ddb_mgr.h"
#include "zlib_util.h"

namespace {

typedef PGMDEV_DDB_GRAMMAR_MGR GRAMMAR;
using bench_summary::print_ratio;
using bench_summary::repeated;
using bench_summary::thread_cpu_seconds;

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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench_summary::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  print_ratio("grammar load / (inflate + CRC)", reporter.ratio("BM_GrammarLoad", "BM_GrammarFloor"),
              kLoadTarget);
  print_ratio("reverse lookup / plain probe", reporter.ratio("BM_ReverseLookup", "BM_PlainProbe"),
              kLookupTarget);
  benchmark::Shutdown();
  return 0;
}
