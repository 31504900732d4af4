// Memory that each manager holds after construction, counted by the global operator new and
// operator delete of this program (which every allocation of the library and the host goes
// through), printed beside the size of the data the manager decoded. Ends with the rows of the
// ./dev.sh bench table. The counts do not depend on the machine's load; nothing is timed.
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bench_hps_section.h"
#include "bench_summary.h"
#include "cfg.h"
#include "gen.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_dev_info_manager.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_hps_mgr.h"

// ---- Counting allocator: each block carries its size in front of it.

namespace {

std::atomic<long long> g_live_bytes{0};
constexpr size_t kHeader = alignof(std::max_align_t);

void* counted_new(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  g_live_bytes += static_cast<long long>(size);
  return static_cast<char*>(block) + kHeader;
}

void counted_delete(void* pointer) {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  g_live_bytes -= static_cast<long long>(*static_cast<size_t*>(block));
  std::free(block);
}

}  // namespace

void* operator new(size_t size) { return counted_new(size); }
void* operator new[](size_t size) { return counted_new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return counted_new(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* pointer) noexcept { counted_delete(pointer); }
void operator delete[](void* pointer) noexcept { counted_delete(pointer); }
void operator delete(void* pointer, size_t) noexcept { counted_delete(pointer); }
void operator delete[](void* pointer, size_t) noexcept { counted_delete(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { counted_delete(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { counted_delete(pointer); }

namespace {

typedef PGMDEV_DDB_GRAMMAR_MGR GRAMMAR;
typedef PGMDEV_DDB_OPN_MGR OPN;

constexpr double kGrammarTarget = 3.0;
constexpr int kSpiUserRecords = 100;

std::string bytes_text(long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld B", bytes);
  return text;
}

// Bytes that make() leaves allocated.
template <class MAKE>
long long held_by(MAKE make) {
  const long long before = g_live_bytes;
  make();
  return g_live_bytes - before;
}

void print_memory_row(const std::string& operation, long long held, long long decoded,
                      double target) {
  bench_summary::print_row(operation, bytes_text(held), bytes_text(decoded),
                           decoded > 0 ? double(held) / double(decoded) : -1, target);
}

// The length of the decoded body of a generated database file (its header's memory size).
long long body_length(const std::string& name) {
  const std::vector<unsigned char> file =
      bench_summary::read_whole_file(gen_get_device_db_fullpath() + "/programmer/" + name);
  if (file.size() < 44) return -1;
  return file[40] | file[41] << 8 | file[42] << 16 | static_cast<long long>(file[43]) << 24;
}

// A singleton's instance, made once before so that what the host keeps for good (its caches, its
// once-built tables) is not counted.
template <class MGR>
long long singleton_bytes() {
  MGR::get_mgr();
  MGR::delete_mgr();
  return held_by([] { MGR::get_mgr(); });
}

}  // namespace

int main() {
  const std::string device_db = std::string(PGMDEV_BINARY_DIR) + "/share/pgmdev/device_db";
  cfg_set_value("PGMDEV_DEVICE_DB_DIR", device_db);
  char pattern[] = "/tmp/pgmdev_bench_memory_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string module_dir = pattern;
  cfg_set_value("PGMDEV_MODULE_DIR", module_dir);
  std::vector<unsigned char> section = bench_hps_section::make_spi_section(kSpiUserRecords);
  if (!PGMDEV_FLASH_INI::write_flash_ini_data(PGMDEV_FLASH_INI_HPS_SPI, section.data(),
                                              static_cast<unsigned int>(section.size()))) {
    std::fprintf(stderr, "cannot write %s/pgm_flash.ini\n", module_dir.c_str());
    return 1;
  }

  const long long grammar = singleton_bytes<GRAMMAR>();
  // The reverse indexes are built on the first lookup of each map.
  const long long indexes = held_by([] {
    for (int type = 0; type < GRAMMAR::MAX; ++type) {
      GRAMMAR::get_mapping_key("QZ40BF256C6N", GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM(type));
    }
  });
  long long maps = 0;
  for (int type = 0; type < GRAMMAR::MAX; ++type) {
    const GRAMMAR_MAP& map = *GRAMMAR::get_mgr()->get_map(GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM(type));
    maps += held_by([&map] { new GRAMMAR_MAP(map); });  // leaked on purpose: only counted
  }
  const long long grammar_image = GRAMMAR::get_blob_source().length;
  print_memory_row("grammar manager memory / decompressed blob", grammar, grammar_image,
                   kGrammarTarget);
  print_memory_row("  of which copies of its 8 GRAMMAR_MAPs alone", maps, grammar_image, 0);
  print_memory_row("  and, once every map was looked up in, its 8 reverse indexes", indexes,
                   grammar_image, 0);
  print_memory_row("OPN manager memory / decompressed blob", singleton_bytes<OPN>(),
                   OPN::get_blob_source().length, 0);

  std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> dev_info;
  dev_info.reset(new PGMDEV_DEV_INFO_MANAGER(false, 0));
  dev_info.reset();
  print_memory_row("device-info manager memory / decoded body",
                   held_by([&dev_info] { dev_info.reset(new PGMDEV_DEV_INFO_MANAGER(false, 0)); }),
                   body_length("pgm_dev_info.pcf"), 0);
  std::unique_ptr<PGMDEV_FLASH_MANAGER> flash;
  flash.reset(new PGMDEV_FLASH_MANAGER(false, 1, false, false));
  flash.reset();
  print_memory_row("flash manager memory / decoded payload", held_by([&flash] {
                     flash.reset(new PGMDEV_FLASH_MANAGER(false, 1, false, false));
                   }),
                   body_length("pgm_flash.pcf"), 0);
  print_memory_row("HPS SPI manager memory (100 user records) / section",
                   singleton_bytes<PGMDEV_HPS_SPI_MGR>(), (long long)section.size(), 0);
  print_memory_row("HPS NAND manager memory (built-in records only) / section",
                   singleton_bytes<PGMDEV_HPS_NAND_MGR>(), 0, 0);

  cfg_unset_value("PGMDEV_MODULE_DIR");
  std::error_code ignored;
  std::filesystem::remove_all(module_dir, ignored);
  return 0;
}
