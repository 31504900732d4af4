// Feeds a compressed name-database image through the whole loading path of the managers' get_mgr():
// decompression into the declared length, the length check, magic and CRC trailer, then the body
// walk. Input: one byte whose bit 0 chooses the OPN table (else the grammar maps), the declared
// decompressed length in three bytes (least significant first), then the zlib stream.
//
// The mutator inflates the stream, mutates the image, mostly re-seals its CRC trailer and the
// declared length, and deflates it again, so that mutated images get past the frame checks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ddb_blob_writer.h"
#include "fuzz_support.h"
#include "pgmdev_ddb_mgr.h"

namespace {

constexpr size_t kSelectorBytes = 1;
constexpr size_t kLengthBytes = 3;
constexpr size_t kPrefixBytes = kSelectorBytes + kLengthBytes;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPrefixBytes) return 0;
  const bool opn = (data[0] & 1) != 0;
  const pgmdev_ddb::BLOB blob{data + kPrefixBytes, static_cast<unsigned int>(size - kPrefixBytes),
                              pgmdev_fuzz::load_le(data + kSelectorBytes, kLengthBytes)};
  pgmdev_fuzz::completes([&] {
    if (opn) {
      PGMDEV_DDB_OPN_MGR::set_blob_source(&blob);
      PGMDEV_DDB_OPN_MGR* mgr = PGMDEV_DDB_OPN_MGR::get_mgr();
      const unsigned int length = static_cast<unsigned int>(mgr->M_MAP->size());
      if (PGMDEV_DDB_OPN_MGR::get_dev_opn_enum(length) != 0xFFFFFFFF) abort();
      if (length > 0 && PGMDEV_DDB_OPN_MGR::get_opn_enum(mgr->dev_opn_enum(length - 1)) >= length) {
        abort();
      }
    } else {
      PGMDEV_DDB_GRAMMAR_MGR::set_blob_source(&blob);
      // A lookup of every kind, through the singleton as the device-name grammar makes them.
      PGMDEV_DDB_GRAMMAR_MGR::get_pgm_grammar(" qz40bf256 ", false);
      PGMDEV_DDB_GRAMMAR_MGR::get_package_grammar("QZ40BF256C6N", true);
      PGMDEV_DDB_GRAMMAR_MGR::get_dev_pcf_list("QZ60B");
      PGMDEV_DDB_GRAMMAR_MGR::get_family("QZ60B");
    }
  });
  PGMDEV_DDB_GRAMMAR_MGR::delete_mgr();
  PGMDEV_DDB_OPN_MGR::delete_mgr();
  PGMDEV_DDB_GRAMMAR_MGR::set_blob_source(nullptr);
  PGMDEV_DDB_OPN_MGR::set_blob_source(nullptr);
  return 0;
}

#ifdef PGMDEV_LIBFUZZER
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  // The shipped grammar image is below half a megabyte; the declared length holds 24 bits.
  constexpr size_t kInflateLimit = 4u << 20;
  return pgmdev_fuzz::mutate_compressed(
      data, size, max_size, seed, kPrefixBytes, 0, kInflateLimit,
      [](pgmdev_fuzz::Bytes& head, pgmdev_fuzz::Bytes& image, std::minstd_rand& random) {
        const size_t frame = ddb_writer::kMagicBytes + ddb_writer::kTrailerBytes;
        if (image.size() >= frame && random() % 8 != 0) {
          const size_t covered = image.size() - ddb_writer::kTrailerBytes;
          pgmdev_fuzz::store_le(image.data() + covered,
                                pgmhost_crc::crc32_bzip2(image.data(), covered),
                                ddb_writer::kTrailerBytes);
        }
        if (random() % 8 != 0) {
          pgmdev_fuzz::store_le(head.data() + kSelectorBytes, static_cast<uint32_t>(image.size()),
                                kLengthBytes);
        }
      });
}
#endif
