// Feeds an OPN body (entry count and base-128 entries) to the OPN manager's table walk. The target
// puts the magic in front of the input and the matching CRC-32 trailer behind it, so every input
// reaches the walk. A table that loads is checked through both lookups: the position found for a
// value is the first that holds it, and a position past the end holds nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ddb_blob_writer.h"
#include "fuzz_support.h"
#include "pgmdev_ddb_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const ddb_writer::Bytes image = ddb_writer::frame(ddb_writer::Bytes(data, data + size));
  pgmdev_fuzz::completes([&] {
    PGMDEV_DDB_OPN_MGR mgr(image.data(), static_cast<unsigned int>(image.size()));
    const unsigned int length = static_cast<unsigned int>(mgr.M_MAP->size());
    for (unsigned int position = 0; position < length; ++position) {
      if (mgr.opn_enum(mgr.dev_opn_enum(position)) > position) abort();
    }
    if (mgr.dev_opn_enum(length) != 0xFFFFFFFF) abort();
  });
  return 0;
}
