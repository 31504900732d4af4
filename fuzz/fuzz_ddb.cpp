// Feeds arbitrary images to the name-database loading steps. The first input byte chooses:
//   bit 0: use the rest as the whole image (magic and CRC as given) instead of framing it with
//          a valid magic and CRC, which lets the fuzzer reach the body walks;
//   bit 1: the OPN table instead of the grammar maps;
//   bit 2: treat the rest as a compressed stream and load it through the blob source, with the
//          declared length taken from the next two bytes.
// A damaged image must end in an internal-error report, never in a read outside the buffer.
// A grammar image that loads is checked against a plain scan: every reverse lookup through the
// index must give the smallest key that a scan in key order finds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "msg.h"
#include "pgm_common.h"
#include "pgmdev_ddb_mgr.h"

namespace {

typedef PGMDEV_DDB_GRAMMAR_MGR GRAMMAR;
typedef PGMDEV_DDB_OPN_MGR OPN;

constexpr unsigned char kMagic[] = {'P', 'G', 'M', 'D', 'E', 'V', '_', 'D', 'D', 'B'};

std::vector<unsigned char> framed(const uint8_t* body, size_t size) {
  std::vector<unsigned char> image(kMagic, kMagic + sizeof kMagic);
  image.insert(image.end(), body, body + size);
  const DWORD crc = ~PGM_COMMON::msb_calculate_crc32(
      image.data(), 0, static_cast<unsigned int>(image.size() * 8), 0xFFFFFFFF, 0x04C11DB7, true);
  for (int shift = 0; shift < 32; shift += 8) image.push_back((crc >> shift) & 0xFF);
  return image;
}

void check_against_scan(GRAMMAR& mgr) {
  for (int type = 0; type < GRAMMAR::MAX; ++type) {
    GRAMMAR_MAP* map = mgr.get_map(static_cast<GRAMMAR::PGMDEV_DDB_GRAMMAR_ENUM>(type));
    GRAMMAR_MAP copy = *map;  // not one of the manager's maps: looked up by a scan
    for (const auto& record : *map) {
      for (const std::string& name : record.second) {
        if (mgr.get_mapping_key(name, map) != mgr.get_mapping_key(name, &copy)) abort();
      }
    }
  }
}

void load_compressed(bool opn, const uint8_t* data, size_t size) {
  if (size < 2) return;
  const pgmdev_ddb::BLOB blob{data + 2, static_cast<unsigned int>(size - 2),
                              static_cast<unsigned int>(data[0] | (data[1] << 8))};
  if (opn) {
    OPN::set_blob_source(&blob);
    OPN::get_mgr();
  } else {
    GRAMMAR::set_blob_source(&blob);
    GRAMMAR::get_mgr();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const uint8_t mode = data[0];
  const bool raw = mode & 1;
  const bool opn = mode & 2;
  const bool compressed = mode & 4;
  ++data;
  --size;
  try {
    if (compressed) {
      load_compressed(opn, data, size);
    } else {
      // An exactly sized copy, so that any read past the end is caught.
      const std::vector<unsigned char> image =
          raw ? std::vector<unsigned char>(data, data + size) : framed(data, size);
      const unsigned int image_size = static_cast<unsigned int>(image.size());
      if (opn) {
        OPN mgr(image.data(), image_size);
        for (unsigned int position = 0; position < mgr.M_MAP->size(); ++position) {
          if (mgr.opn_enum(mgr.dev_opn_enum(position)) > position) abort();
        }
      } else {
        GRAMMAR mgr(image.data(), image_size);
        check_against_scan(mgr);
      }
    }
  } catch (const MSG_INTERNAL_ERROR_EXCEPTION&) {
    // A damaged image: the expected outcome for nearly every input.
  }
  GRAMMAR::delete_mgr();
  OPN::delete_mgr();
  GRAMMAR::set_blob_source(nullptr);
  OPN::set_blob_source(nullptr);
  return 0;
}
