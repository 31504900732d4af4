// Feeds a grammar body to the grammar manager's parse steps. The target puts the magic in front of
// the input and the matching CRC-32 trailer behind it, so every input reaches the section walk.
// A body that loads is checked against a plain scan: for list entries of every map (a sample of
// long maps, since the scan is slow), the reverse index must give the smallest key whose list
// holds it, as a scan in key order does; and every key in normal form must be found with its own
// list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ddb_blob_writer.h"
#include "fuzz_support.h"
#include "pgmdev_ddb_mgr.h"

namespace {

typedef PGMDEV_DDB_GRAMMAR_MGR GRAMMAR;

// Names of one map compared with a scan at most.
constexpr size_t kScannedNames = 64;

void check_against_scan(GRAMMAR& mgr) {
  for (int type = 0; type < GRAMMAR::MAX; ++type) {
    GRAMMAR_MAP* map = mgr.get_map(static_cast<GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM>(type));
    GRAMMAR_MAP copy = *map;  // not one of the manager's maps: looked up by a scan
    size_t entries = 0;
    for (const auto& record : *map) entries += record.second.size();
    const size_t stride = entries / kScannedNames + 1;
    size_t entry = 0;
    for (const auto& [key, names] : *map) {
      // A lookup normalizes its key, so only a key stored in normal form is found as itself.
      if (key == GRAMMAR::get_standard_name(key) && mgr.get_key_mapping(key, map) != names) {
        abort();
      }
      for (const std::string& name : names) {
        if (entry++ % stride != 0) continue;
        if (mgr.get_mapping_key(name, map) != mgr.get_mapping_key(name, &copy)) abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // An exactly sized image, so that any read past its end is caught.
  const ddb_writer::Bytes image = ddb_writer::frame(ddb_writer::Bytes(data, data + size));
  pgmdev_fuzz::completes([&] {
    GRAMMAR mgr(image.data(), static_cast<unsigned int>(image.size()));
    check_against_scan(mgr);
  });
  return 0;
}
