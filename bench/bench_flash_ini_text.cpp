// User-defined flash: what every flash manager pays for a user flash in the configuration (decode,
// check code, assignment and checks) next to its decoding and its check code alone; and the
// generator's encoding of one entry.
#include <benchmark/benchmark.h>

#include <string>

#include "cfg.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_flash_manager_ini.h"

namespace {

constexpr const char kRecord[] =
    "@ACME@MY25Q80@0@20@2@32@1@32@0@32@1@NONE@0@0@0@0@0@0@1@8388608@65536@0@0@200@2@3000@28@28@0@"
    "255@32@1@3.3@";

std::string entry() {
  return std::string(kRecord) + "#" + PGMDEV_FLASH_MANAGER::gen_ini_password(kRecord) + ";";
}

void BM_DecodeIni(benchmark::State& state) {
  const std::string text = PGMDEV_FLASH_MANAGER::encode_ini(entry());
  for (auto _ : state) benchmark::DoNotOptimize(PGMDEV_FLASH_MANAGER::decode_ini(text));
}
BENCHMARK(BM_DecodeIni);

void BM_ParseExtFlashInfo(benchmark::State& state) {
  cfg_set_value(pgmdev_flash_ini_config_key(), PGMDEV_FLASH_MANAGER::encode_ini(entry()));
  PGMDEV_FLASH_MANAGER manager(false, 1, true, false);
  for (auto _ : state) {
    manager.parse_ext_flash_info();
    benchmark::DoNotOptimize(manager.m_ini_flash.device_name.data());
  }
  if (manager.m_ini_flash.device_name.empty()) state.SkipWithError("the user flash was refused");
  cfg_unset_value(pgmdev_flash_ini_config_key());
}
BENCHMARK(BM_ParseExtFlashInfo);

void BM_GenIniPassword(benchmark::State& state) {
  const std::string record = kRecord;
  for (auto _ : state) benchmark::DoNotOptimize(PGMDEV_FLASH_MANAGER::gen_ini_password(record));
}
BENCHMARK(BM_GenIniPassword);

void BM_EncodeIni(benchmark::State& state) {
  const std::string text = entry();
  for (auto _ : state) benchmark::DoNotOptimize(PGMDEV_FLASH_MANAGER::encode_ini(text));
}
BENCHMARK(BM_EncodeIni);

}  // namespace

BENCHMARK_MAIN();
