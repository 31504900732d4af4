// Embedded name databases: building the grammar and OPN managers from their embedded blobs against
// the floor of inflating (with zlib) and checksumming the same blobs, and a reverse lookup through
// the manager against a plain std::unordered_map probe after the same trimming and upper-casing.
// Ends with the rows of the ./dev.sh bench table, from the medians of CPU time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_summary.h"
#include "gen.h"
#include "pgmdev_ddb_mgr.h"
#include "zlib_util.h"

namespace {

typedef PGMDEV_DDB_GRAMMAR_MGR GRAMMAR;
typedef PGMDEV_DDB_OPN_MGR OPN;
using bench_summary::repeated;
using bench_summary::thread_cpu_seconds;

constexpr double kLoadTarget = 1.5;
constexpr double kLookupTarget = 1.2;

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

// Builds a singleton from its embedded blob; only the build is timed, in CPU time of this thread
// like the floors; releasing the previous instance is not.
template <class MGR>
void load(benchmark::State& state) {
  for (auto _ : state) {
    MGR::delete_mgr();
    const double start = thread_cpu_seconds();
    benchmark::DoNotOptimize(MGR::get_mgr());
    state.SetIterationTime(thread_cpu_seconds() - start);
  }
  state.SetBytesProcessed(state.iterations() * MGR::get_blob_source().length);
}

// zlib's inflation of the same blob into a buffer of the same capacity, and the CRC of the covered
// bytes.
template <class MGR>
void floor(benchmark::State& state) {
  const pgmdev_ddb::BLOB blob = MGR::get_blob_source();
  std::vector<unsigned char> buffer(blob.length + pgmdev_ddb::kSlackBytes);
  for (auto _ : state) {
    const size_t length =
        bench_summary::zlib_inflate(buffer.data(), buffer.size(), blob.data, blob.cmp_length);
    if (length != blob.length) {
      state.SkipWithError("inflation failed");
      break;
    }
    benchmark::DoNotOptimize(bench_summary::image_crc(buffer.data(), length));
  }
  state.SetBytesProcessed(state.iterations() * blob.length);
}

// What any loader that builds the eight GRAMMAR_MAPs pays at the least: the library's inflation
// and the CRC of the blob, and the allocation and filling of the same maps, here copied from the
// loaded ones (no parsing at all). Only those steps are timed; freeing the copies is not.
void BM_GrammarMapsLowerBound(benchmark::State& state) {
  const pgmdev_ddb::BLOB blob = GRAMMAR::get_blob_source();
  std::vector<unsigned char> buffer(blob.length + pgmdev_ddb::kSlackBytes);
  GRAMMAR* loaded = GRAMMAR::get_mgr();
  for (auto _ : state) {
    std::vector<GRAMMAR_MAP> copies;
    copies.reserve(GRAMMAR::MAX);
    const double start = thread_cpu_seconds();
    unsigned int length = static_cast<unsigned int>(buffer.size());
    if (zlib_uncompress(buffer.data(), &length, blob.data, blob.cmp_length) != ZLIB_OK) {
      state.SkipWithError("inflation failed");
      break;
    }
    benchmark::DoNotOptimize(bench_summary::image_crc(buffer.data(), length));
    for (int type = 0; type < GRAMMAR::MAX; ++type) {
      copies.push_back(*loaded->get_map(GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM(type)));
    }
    state.SetIterationTime(thread_cpu_seconds() - start);
  }
}
BENCHMARK(BM_GrammarMapsLowerBound)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Apply(repeated);

void BM_GrammarLoad(benchmark::State& state) { load<GRAMMAR>(state); }
void BM_GrammarFloor(benchmark::State& state) { floor<GRAMMAR>(state); }
void BM_OpnLoad(benchmark::State& state) { load<OPN>(state); }
void BM_OpnFloor(benchmark::State& state) { floor<OPN>(state); }
BENCHMARK(BM_GrammarLoad)->Unit(benchmark::kMicrosecond)->UseManualTime()->Apply(repeated);
BENCHMARK(BM_GrammarFloor)->Unit(benchmark::kMicrosecond)->Apply(repeated);
BENCHMARK(BM_OpnLoad)->Unit(benchmark::kMicrosecond)->UseManualTime()->Apply(repeated);
BENCHMARK(BM_OpnFloor)->Unit(benchmark::kMicrosecond)->Apply(repeated);

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

// The same question to a plain map from full part name to package name, after the same trimming
// and upper-casing.
void BM_PlainProbe(benchmark::State& state) {
  const LookupData& data = lookup_data();
  size_t next = 0;
  for (auto _ : state) {
    std::string name = gen_remove_leading_and_trailing_white_spaces(data.names[next]);
    stl_toupper(name);
    const auto found = data.plain.find(name);
    std::string key = found == data.plain.end() ? std::string() : found->second;
    benchmark::DoNotOptimize(key);
    if (++next == data.names.size()) next = 0;
  }
}
BENCHMARK(BM_PlainProbe)->Apply(repeated);

}  // namespace

int main(int argc, char** argv) {
  bench_summary::SummaryReporter reporter;
  if (!bench_summary::run_benchmarks(&argc, argv, reporter)) return 1;
  bench_summary::print_time_row(reporter, "grammar manager / (zlib inflate + CRC) of its blob",
                                "BM_GrammarLoad", "BM_GrammarFloor", kLoadTarget);
  bench_summary::print_time_row(reporter,
                                "  bound: library inflate + CRC + copying the 8 maps / same floor",
                                "BM_GrammarMapsLowerBound", "BM_GrammarFloor", kLoadTarget);
  bench_summary::print_time_row(reporter, "OPN manager / (zlib inflate + CRC) of its blob",
                                "BM_OpnLoad", "BM_OpnFloor", kLoadTarget);
  bench_summary::print_time_row(reporter, "get_mapping_key / plain probe (trim, upper-case)",
                                "BM_ReverseLookup", "BM_PlainProbe", kLookupTarget);
  benchmark::Shutdown();
  return 0;
}
