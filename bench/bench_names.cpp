// Part-name and OPN services: the OPN hash lookup against one SHA-256 of a part name (a walk would
// cost one digest per part), the warm completion of a pgm name (bench_process times its first,
// cold call), and the grammar's full-part-name-to-pgm-name conversion against a plain
// std::unordered_map probe with the same normalisation. Ends with the rows of the ./dev.sh bench
// table, from the medians of CPU time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_summary.h"
#include "dev_catalogue.h"
#include "gen.h"
#include "pgm_common.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_device_grammar_mgr.h"
#include "pgmdev_mgr.h"

namespace {

using bench_summary::repeated;

constexpr double kHashLookupTarget = 2.0;
constexpr double kPgmNameTarget = 1.5;
// The pgm name that the completion benchmark asks for.
constexpr char kPgmName[] = "QZ60B";
constexpr unsigned int kShaDigestBytes = 32;

// Every catalogue part name with its OPN hash, and every full part name of the grammar with its pgm
// name, each list in a fixed shuffled order.
struct NameData {
  std::vector<std::string> parts;
  std::vector<unsigned long long> hashes;
  std::vector<std::string> full_names;
  std::unordered_map<std::string, std::string> plain_pgm;
};

const NameData& name_data() {
  static const NameData data = [] {
    NameData out;
    for (int part = DEV_PART_INVALID + 1; part != DEV_PART_GENERIC && part < DEV_PART_MAX; ++part) {
      out.parts.push_back(dstr_get_user_string(static_cast<DEV_PART_ENUM>(part)));
    }
    std::mt19937 random(20240601);
    std::shuffle(out.parts.begin(), out.parts.end(), random);
    for (const std::string& part : out.parts) out.hashes.push_back(PGMDEV_MGR::get_opn_hash(part));

    typedef PGMDEV_DDB_GRAMMAR_MGR DDB;
    const GRAMMAR_MAP& packages = *DDB::get_mgr()->get_map(DDB::PACKAGE_GRAMMAR);
    const GRAMMAR_MAP& pgms = *DDB::get_mgr()->get_map(DDB::PGM_GRAMMAR);
    std::unordered_map<std::string, std::string> pgm_of_package;
    for (const auto& [pgm, list] : pgms) {
      for (const std::string& package : list) pgm_of_package.emplace(package, pgm);
    }
    for (const auto& [package, list] : packages) {
      for (const std::string& full_name : list) {
        out.full_names.push_back(full_name);
        out.plain_pgm.emplace(full_name, pgm_of_package[package]);
      }
    }
    std::shuffle(out.full_names.begin(), out.full_names.end(), random);
    return out;
  }();
  return data;
}

// OPN hash to part name through the library's index, built before the first timed call.
void BM_OpnFromHashWarm(benchmark::State& state) {
  const std::vector<unsigned long long>& hashes = name_data().hashes;
  benchmark::DoNotOptimize(PGMDEV_MGR::get_opn_from_hash(hashes.front()));
  size_t next = 0;
  for (auto _ : state) {
    std::string name = PGMDEV_MGR::get_opn_from_hash(hashes[next]);
    benchmark::DoNotOptimize(name);
    if (++next == hashes.size()) next = 0;
  }
}
BENCHMARK(BM_OpnFromHashWarm)->Apply(repeated);

// One SHA-256 digest of a part name through the host, as a walk would compute per part.
void BM_PartNameSha256(benchmark::State& state) {
  const std::vector<std::string>& parts = name_data().parts;
  size_t next = 0;
  for (auto _ : state) {
    const std::string& part = parts[next];
    const std::unique_ptr<unsigned char[]> digest(
        PGM_COMMON::get_block_sha(reinterpret_cast<const unsigned char*>(part.data()),
                                  static_cast<unsigned int>(part.size()), kShaDigestBytes));
    benchmark::DoNotOptimize(digest[0]);
    if (++next == parts.size()) next = 0;
  }
}
BENCHMARK(BM_PartNameSha256)->Apply(repeated);

// The completion of a pgm name once its first call has been made.
void BM_PossibleFullNameWarm(benchmark::State& state) {
  benchmark::DoNotOptimize(PGMDEV_MGR::get_possible_full_name(kPgmName));
  for (auto _ : state) {
    std::string name = PGMDEV_MGR::get_possible_full_name(kPgmName);
    benchmark::DoNotOptimize(name);
  }
}
BENCHMARK(BM_PossibleFullNameWarm)->Apply(repeated);

// Full part name to pgm name through the grammar.
void BM_GetPgmName(benchmark::State& state) {
  const std::vector<std::string>& names = name_data().full_names;
  size_t next = 0;
  for (auto _ : state) {
    std::string pgm = PGMDEV_DEVICE_GRAMMAR_MGR::get_pgm_name(names[next], false, true);
    benchmark::DoNotOptimize(pgm);
    if (++next == names.size()) next = 0;
  }
}
BENCHMARK(BM_GetPgmName)->Apply(repeated);

// The same question to a plain map, after the same trimming and upper-casing.
void BM_PlainPgmProbe(benchmark::State& state) {
  const NameData& data = name_data();
  size_t next = 0;
  for (auto _ : state) {
    std::string key = gen_remove_leading_and_trailing_white_spaces(data.full_names[next]);
    stl_toupper(key);
    const auto found = data.plain_pgm.find(key);
    std::string pgm = found == data.plain_pgm.end() ? std::string() : found->second;
    benchmark::DoNotOptimize(pgm);
    if (++next == data.full_names.size()) next = 0;
  }
}
BENCHMARK(BM_PlainPgmProbe)->Apply(repeated);

}  // namespace

int main(int argc, char** argv) {
  bench_summary::SummaryReporter reporter;
  if (!bench_summary::run_benchmarks(&argc, argv, reporter)) return 1;
  bench_summary::print_time_row(reporter, "get_opn_from_hash, warm / one SHA-256",
                                "BM_OpnFromHashWarm", "BM_PartNameSha256", kHashLookupTarget);
  bench_summary::print_time_row(reporter, "get_pgm_name / plain probe (trim, upper-case)",
                                "BM_GetPgmName", "BM_PlainPgmProbe", kPgmNameTarget);
  benchmark::Shutdown();
  return 0;
}
