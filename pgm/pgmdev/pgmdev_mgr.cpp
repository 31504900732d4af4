// Part names and OPNs of the device catalogue, and the programming-type name tables with their two
// checks.
#include "pgmdev_mgr.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dev_catalogue.h"
#include "gen.h"
#include "mem.h"
#include "msg.h"
#include "pgm_common.h"
#include "pgmdev_check.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_device_grammar_mgr.h"

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr unsigned int kNoOpnEnum = 0xFFFFFFFF;
constexpr unsigned long long kNoOpnHash = 0xFFFFFFFFFFFFFFFFull;
constexpr unsigned int kShaDigestBytes = 32;
// The OPN hash is the first six digest bytes, least significant first.
constexpr unsigned int kOpnHashBytes = 6;
constexpr unsigned long long kOpnHashMask = 0x0000FFFFFFFFFFFFull;
// Names shorter than this match a part only exactly; longer ones are compared through the grammar
// only with parts that start with the same characters.
constexpr size_t kPrefixLength = 5;

// The part-list passes of the two part-name searches, in order: current commercial production,
// other-grade production, commercial samples, other-grade samples.
constexpr int kPassCount = 4;
bool pass_lists_production(int pass) { return pass <= 1; }
bool pass_lists_commercial(int pass) { return pass == 0 || pass == 2; }

// One pass of the catalogue's part list; false when it lists nothing.
bool list_pass_parts(const DEV_PART_MANAGER& part_mgr, int pass, const std::string& family,
                     std::vector<DEV_PART_ENUM>* parts) {
  return part_mgr.filter_part_list(parts, family, "ANY", "ANY", "ANY", "ANY",
                                   pass_lists_production(pass), pass_lists_commercial(pass), false,
                                   "any") &&
         !parts->empty();
}

// A part number that names an orderable catalogue part.
bool is_usable_part(int part) {
  return part != DEV_PART_INVALID && part != DEV_PART_GENERIC && part < DEV_PART_MAX;
}

std::string upper_case(std::string text) {
  stl_toupper(text);
  return text;
}

unsigned long long opn_hash_of(const std::string& upper_name) {
  const std::unique_ptr<unsigned char[]> digest(
      PGM_COMMON::get_block_sha(reinterpret_cast<const unsigned char*>(upper_name.data()),
                                static_cast<unsigned int>(upper_name.size()), kShaDigestBytes));
  PGMDEV_CHECK(digest != nullptr);
  unsigned long long hash = 0;
  for (unsigned int i = 0; i < kOpnHashBytes; ++i) {
    hash |= static_cast<unsigned long long>(digest[i]) << (8 * i);
  }
  return hash & kOpnHashMask;
}

// The catalogue walk: part numbers from DEV_PART_INVALID + 1 up to the first of DEV_PART_GENERIC
// and DEV_PART_MAX.
int walk_begin() { return DEV_PART_INVALID + 1; }
int walk_end() { return DEV_PART_GENERIC < DEV_PART_MAX ? DEV_PART_GENERIC : DEV_PART_MAX; }

std::string part_name(int part) {
  return upper_case(dstr_get_user_string(static_cast<DEV_PART_ENUM>(part)));
}

// The catalogue parts grouped by the first five characters of their upper-cased names (a shorter
// name is a group of its own), so that the completion of a name visits only the parts that can
// match it. The first use reads every part name once and keeps only its group key; the names of a
// group are fetched when the group is first asked for. The catalogue does not change while the
// library is loaded.
class PART_GROUPS {
 public:
  static PART_GROUPS& get() {
    static PART_GROUPS groups;
    return groups;
  }

  PART_GROUPS(const PART_GROUPS&) = delete;
  PART_GROUPS& operator=(const PART_GROUPS&) = delete;

  // The upper-cased names, in walk order, of the parts in the group of the upper-cased name; null
  // when no part is in it. Several threads may ask at once: a group is built once, under the lock,
  // and never changes or moves afterwards.
  const std::vector<std::string>* group_of(std::string_view name) {
    const uint64_t key = group_key(name);
    {
      const std::shared_lock<std::shared_mutex> lock(m_mutex);
      const auto found = m_groups.find(key);
      if (found != m_groups.end()) return &found->second;
    }
    std::vector<std::string> names;
    for (size_t position = 0; position < m_keys.size(); ++position) {
      if (m_keys[position] == key) names.push_back(part_name(walk_begin() + int(position)));
    }
    if (names.empty()) return nullptr;  // not kept: a name that completes to nothing is an error
    const std::unique_lock<std::shared_mutex> lock(m_mutex);
    return &m_groups.try_emplace(key, std::move(names)).first->second;
  }

 private:
  PART_GROUPS() {
    const int begin = walk_begin();
    const int end = walk_end();
    m_keys.reserve(end > begin ? size_t(end - begin) : 0);
    for (int part = begin; part < end; ++part) {
      m_keys.push_back(group_key(dstr_get_user_string(static_cast<DEV_PART_ENUM>(part))));
    }
  }

  // The first five characters, upper-cased, and their count in one number: equal for two names
  // exactly when the groups of their upper-cased forms are equal.
  static uint64_t group_key(std::string_view name) {
    const size_t length = std::min(name.size(), kPrefixLength);
    uint64_t key = length;
    for (size_t i = 0; i < length; ++i) {
      const char c =
          name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
      key |= uint64_t(static_cast<unsigned char>(c)) << (8 * (i + 1));
    }
    return key;
  }

  std::vector<uint64_t> m_keys;  // group key of each part, in walk order
  std::shared_mutex m_mutex;
  std::unordered_map<uint64_t, std::vector<std::string>> m_groups;
};

// OPN hash to the first catalogue part, in walk order, that has it; built on first use.
class OPN_HASH_INDEX {
 public:
  OPN_HASH_INDEX() {
    const int end = walk_end();
    for (int part = walk_begin(); part < end; ++part)
      m_parts.emplace(opn_hash_of(part_name(part)), part);
  }

  static const OPN_HASH_INDEX& get() {
    static const OPN_HASH_INDEX index;
    return index;
  }

  // The upper-cased part name with this 48-bit hash, or "".
  std::string find(unsigned long long hash) const {
    const auto found = m_parts.find(hash);
    return found == m_parts.end() ? std::string() : part_name(found->second);
  }

 private:
  std::unordered_map<unsigned long long, int> m_parts;  // the first part stays
};

// ---- Programming-type name tables ----
// Entry 0 of every table is the empty name; a table's count is its length.

constexpr const char* PGM_RBA_TYPE_NAMES[] = {
    "",
    "CC_CS_0",
    "CC_CS_1",
    "CC_CS_2",
    "CC_CS_3",
    "CC_CS_4",
    "CC_CS_5",
    "CC_CS_6",
    "CC_CS_VIO",
    "DS_DSP",
    "RT_DSPL",
    "RT_DSPR",
    "LA_LAB",
    "LA_MLAB",
    "RT_LABL",
    "RT_LABR",
    "RT_MLABL",
    "RT_MLABR",
    "MM_M20K",
    "MM_M10K",
    "RT_M20KL",
    "RT_M20KR",
    "RT_M10KL",
    "RT_M10KR",
    "RT_BUFL",
    "RT_BUFL_AND_BCAP",
    "RT_BUFL_AND_TCAP",
    "RT_BCAP_HIP_HIOL",
    "RT_BCAP_HIP_HIOR",
    "RT_BCAP_MLABX_ALL",
    "RT_TCAP_HIP_HIOL",
    "RT_TCAP_HIP_HIOR",
    "RT_TCAP_LAB_HIOR_HHP",
    "RT_TCAP_MLABX_ALL",
    "RT_BUFLC",
    "RT_BUFRC",
    "RT_BUFR",
    "RT_HIOL",
    "RT_HIOR",
    "RT_HIOR_HIP",
    "RT_VIO_DSP",
    "RT_VIO_LAB",
    "RT_VIO_LAB_PM",
    "RT_VIO_MLAB",
    "RT_VIO_M_LAB",
    "RT_VIO_M20K",
    "RT_VIO_M10K",
    "BF_LEFT_IO_AUX",
    "BF_RIGHT_IO_AUX",
    "CC_TS_22BUF",
    "CC_TS_22BUF_RED",
    "CC_TS_BASE",
    "CC_TS_BASE_B_0",
    "CC_TS_BASE_B_1",
    "CC_TS_BASE_B_2",
    "CC_TS_BASE_T_0",
    "CC_TS_BASE_T_1",
    "CC_TS_BASE_T_2",
    "CC_TS_SCLKMUX_0",
    "CC_TS_SCLKMUX_1",
    "CC_TS_SCLKMUX_2",
    "CC_TS_SCLKMUX_3",
    "CC_TS_SCLKMUX_4",
    "CC_TS_SCLKMUX_5",
    "CC_TS_SCLKMUX_6",
    "CC_TS_SCLKMUX_7",
    "RT_HIOL_BOT_ALIGN",
    "RT_HIOL_CORE",
    "RT_HIOL_TOP_ALIGN",
    "RT_HIOR_BOT_ALIGN",
    "RT_HIOR_CORE",
    "RT_HIOR_TOP_ALIGN",
    "RT_LABL_SHARED",
    "RT_M20KL_DSPL",
    "RT_M20KR_LABR",
    "TR_Q9_AR",
};

constexpr const char* PGM_FLASH_BLOCK_TYPE_NAMES[] = {
    "", "UFM1", "UFM0", "CFM2", "CFM1", "CFM0", "DSM", "MFM", "DONE_BITS",
};

constexpr const char* PGM_ICB_TYPE_NAMES[] = {
    "",
    "RESERVED1",
    "RESERVED2",
    "RESERVED3",
    "RESERVED4",
    "RESERVED5",
    "RESERVED6",
    "RESERVED7",
    "RESERVED8",
    "RESERVED9",
    "RESERVED10",
    "RESERVED11",
    "RESERVED12",
    "RESERVED13",
    "RESERVED14",
    "RESERVED15",
    "RESERVED16",
    "RESERVED17",
    "RESERVED18",
    "RESERVED19",
    "RESERVED20",
    "AES_KEYS",
    "FALLBACK_ADDR",
    "EPOF_ONLY",
    "TEST_DISABLE",
    "JTAG_SECURITY",
    "SPI_NSDM",
    "PROGRAM_DONE",
    "KEY_PROGRAM_SUCCESS",
    "ICB_PROGRAM_SUCCESS",
    "VERIFY_PROTECT",
    "TEST_ENABLE",
    "WD_TIMEOUT_VALUE",
    "UWEN",
    "FORCE_SSMCLK_TO_ISMCLK",
    "FALLBACK",
    "CFM_ADD",
    "CFM_X2",
    "DELAY_ON",
    "POR_DLY",
    "WP_EN",
    "WP_EN_SPI",
    "CISCO_RU",
};

constexpr const char* PGM_BITASM_GENERIC_ENUM_TYPE_NAMES[] = {
    "",
    "HPS_CONFIG_ORDER_HPS_FIRST",
    "HPS_CONFIG_ORDER_HPS_AFTER_INIT_DONE",
    "HPS_CONFIG_ORDER_HPS_BY_FPGA",
    "SOF_FILE_ERROR_POF_ERROR",
    "SOF_FILE_ERROR_INCOMPLETE_POWER_MANAGEMENT",
    "SOF_FILE_ERROR_INCOMPLETE_HPS_HANDOFF",
    "SOF_FILE_ERROR_INCOMPLETE_HPS_BOOTLOADER",
    "SOF_FILE_ERROR_NOT_SUPPORTED",
    "SOF_FILE_ERROR_NOT_ENABLED",
    "SOF_FILE_ERROR_PRSEC_ERROR",
    "SOF_FILE_ERROR_REV4",
    "SOF_FILE_ERROR_REV5",
    "SOF_FILE_ERROR_REV6",
    "SOF_FILE_ERROR_REV7",
    "SOF_FILE_ERROR_REV8",
    "SOF_FILE_ERROR_REV9",
    "SOF_FILE_ERROR_REV10",
    "HPS_DAP_SPLIT_MODE_DISABLED",
    "HPS_DAP_SPLIT_MODE_USE_SDM_PINS",
    "HPS_DAP_SPLIT_MODE_USE_HPS_PINS",
};

// One row per PGM_ENUM_TYPE: the table's entry count and its first entry.
struct PGM_SUPPORTED_ENUM_TYPE {
  DWORD count;
  const char* const* names;
};

#define PGM_SUPPORTED_ENUM_ROW(table) \
  { static_cast<DWORD>(std::size(table)), table }
constexpr PGM_SUPPORTED_ENUM_TYPE PGM_SUPPORTED_ENUM_TYPE_MAP[PGM_ENUM_TYPE_MAX] = {
    PGM_SUPPORTED_ENUM_ROW(PGM_RBA_TYPE_NAMES),                  // PGM_ENUM_TYPE_RBA
    PGM_SUPPORTED_ENUM_ROW(PGM_FLASH_BLOCK_TYPE_NAMES),          // PGM_ENUM_TYPE_FLASH_BLOCK
    PGM_SUPPORTED_ENUM_ROW(PGM_ICB_TYPE_NAMES),                  // PGM_ENUM_TYPE_ICB
    PGM_SUPPORTED_ENUM_ROW(PGM_BITASM_GENERIC_ENUM_TYPE_NAMES),  // PGM_ENUM_TYPE_BITASM_GENERIC
};
#undef PGM_SUPPORTED_ENUM_ROW

// The sizes that the programmer's enumerations have.
static_assert(PGM_SUPPORTED_ENUM_TYPE_MAP[PGM_ENUM_TYPE_RBA].count == 76);
static_assert(PGM_SUPPORTED_ENUM_TYPE_MAP[PGM_ENUM_TYPE_FLASH_BLOCK].count == 9);
static_assert(PGM_SUPPORTED_ENUM_TYPE_MAP[PGM_ENUM_TYPE_ICB].count == 43);
static_assert(PGM_SUPPORTED_ENUM_TYPE_MAP[PGM_ENUM_TYPE_BITASM_GENERIC].count == 21);

const PGM_SUPPORTED_ENUM_TYPE& supported_enum_type(PGM_ENUM_TYPE pgm_enum_type) {
  // Compared unsigned, so that no value outside the enumeration passes.
  PGMDEV_CHECK_TEXT(static_cast<unsigned int>(pgm_enum_type) < PGM_ENUM_TYPE_MAX,
                    "pgm_enum_type < PGM_ENUM_TYPE_MAX");
  return PGM_SUPPORTED_ENUM_TYPE_MAP[pgm_enum_type];
}

}  // namespace

std::string PGMDEV_MGR::get_part_name_from_pcf(std::string pcf) {
  stl_toupper(pcf);
  std::string result;
  const DEV_PART_MANAGER part_mgr;
  std::vector<DEV_PART_ENUM> parts;
  // Every pass runs while the passes before it found a part; a later match replaces an earlier.
  for (int pass = 0; pass < kPassCount; ++pass) {
    if (list_pass_parts(part_mgr, pass, "ANY", &parts)) {
      for (const DEV_PART_ENUM part : parts) {
        const std::string name = dstr_get_user_string(part);
        if (PGM_COMMON::compare_string(pcf, GRAMMAR::get_pgm_part_pcf(name), false)) {
          result = PGMDEV_DDB_GRAMMAR_MGR::get_standard_name(name);
          break;
        }
      }
    }
    if (result.empty()) break;
  }
  return result;
}

std::string PGMDEV_MGR::get_part_name_from_dev(std::string device) {
  const DEV_PART_MANAGER part_mgr;
  const DEV_DEVICE_ENUM device_enum = dstr_get_dev_device_enum_by_string(device);
  const DEV_FAMILY_ENUM family = part_mgr.get_family_of(device_enum);
  PGMDEV_CHECK_TEXT(
      dstr_is_valid_dev_device_enum(device_enum) && dstr_is_valid_dev_family_enum(family),
      "Device is not valid in DEV database");
  const std::string family_name = dstr_get_user_string(family);
  std::vector<DEV_PART_ENUM> parts;
  for (int pass = 0; pass < kPassCount; ++pass) {
    if (!list_pass_parts(part_mgr, pass, family_name, &parts)) continue;
    for (const DEV_PART_ENUM part : parts) {
      if (part_mgr.get_device_of(part) == device_enum) return dstr_get_user_string(part);
    }
  }
  return "";
}

std::string PGMDEV_MGR::get_possible_full_name(std::string name) {
  stl_toupper(name);
  // The parts outside name's group fail the exact comparison and the prefix test alike, so visiting
  // the group in walk order finds the part that the whole walk would.
  if (const std::vector<std::string>* group = PART_GROUPS::get().group_of(name)) {
    for (const std::string& candidate : *group) {
      if (candidate == name) return candidate;
      if (candidate.size() >= kPrefixLength && name.size() >= kPrefixLength) {
        if (PGM_COMMON::compare_string(name, GRAMMAR::get_package_name(candidate, false), false) ||
            PGM_COMMON::compare_string(name, GRAMMAR::get_pgm_name(candidate, false, false),
                                       false)) {
          return candidate;
        }
      }
    }
  }
  MSG_INTERNAL_ERROR::report_varg(PGMDEV_MODULE, __FILE__, __LINE__,
                                  "Unable to retrieve full device name from database for %s",
                                  name.c_str());
}

unsigned int PGMDEV_MGR::get_opn_enum(std::string part_name) {
  const DEV_PART_ENUM part = dstr_get_dev_part_enum_by_string(part_name);
  if (!is_usable_part(part)) return kNoOpnEnum;
  return PGMDEV_DDB_OPN_MGR::get_opn_enum(static_cast<unsigned int>(part));
}

std::string PGMDEV_MGR::get_opn(unsigned int opn_enum) {
  const unsigned int part = PGMDEV_DDB_OPN_MGR::get_dev_opn_enum(opn_enum);
  if (part == kNoOpnEnum || !is_usable_part(static_cast<int>(part))) return "";
  return upper_case(dstr_get_user_string(static_cast<DEV_PART_ENUM>(part)));
}

unsigned long long PGMDEV_MGR::get_opn_hash(std::string part_name) {
  if (!is_usable_part(dstr_get_dev_part_enum_by_string(part_name))) return kNoOpnHash;
  stl_toupper(part_name);
  return opn_hash_of(part_name);
}

std::string PGMDEV_MGR::get_opn_from_hash(unsigned long long hash) {
  return OPN_HASH_INDEX::get().find(hash & kOpnHashMask);
}

bool PGMDEV_MGR::pgm_check_type_name_supported(PGM_ENUM_TYPE pgm_enum_type, std::string name,
                                               unsigned int* index) {
  const PGM_SUPPORTED_ENUM_TYPE& type = supported_enum_type(pgm_enum_type);
  stl_toupper(name);
  for (DWORD entry = 0; entry < type.count; ++entry) {
    if (name == type.names[entry]) {
      if (index != nullptr) *index = entry;
      return true;
    }
  }
  return false;
}

bool PGMDEV_MGR::pgm_check_type_enum_supported(PGM_ENUM_TYPE pgm_enum_type, unsigned int value,
                                               std::string* name) {
  const PGM_SUPPORTED_ENUM_TYPE& type = supported_enum_type(pgm_enum_type);
  const bool supported = value != 0 && value < type.count;
  if (supported && name != nullptr) *name = type.names[value];
  return supported;
}

std::string PGMDEV_MGR::get_library_version() { return PGMDEV_LIBRARY_VERSION; }
