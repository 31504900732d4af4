// The embedded name databases: loading of the compressed images, the grammar maps with their
// reverse indexes, and the OPN table.
#include "pgmdev_ddb_mgr.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <tuple>

#include "gen.h"
#include "mem.h"
#include "pgm_common.h"
#include "pgmdev_check.h"
#include "pgmdev_singleton.h"
#include "zlib_util.h"

// The generated arrays PGMDDB_GRAMMAR_DATA and PGMDDB_OPN_DATA with their compressed and
// decompressed lengths.
#include "pgmddb_data.inc"

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

constexpr char kMagic[] = "PGMDEV_DDB";
constexpr DWORD kCrcInit = 0xFFFFFFFF;
constexpr DWORD kCrcPoly = 0x04C11DB7;
constexpr unsigned int kOpnCountBytes = 4;
constexpr DWORD kNoEntry = 0xFFFFFFFF;

// Blobs that tests put in place of the embedded ones.
std::optional<pgmdev_ddb::BLOB> g_grammar_blob;
std::optional<pgmdev_ddb::BLOB> g_opn_blob;

void set_override(std::optional<pgmdev_ddb::BLOB>& slot, const pgmdev_ddb::BLOB* blob) {
  if (blob == nullptr) {
    slot.reset();
  } else {
    slot = *blob;
  }
}

// Lists at least this long are checked for a repeated value through a hash set rather than by
// comparing each new value with all before it.
constexpr size_t kLongList = 16;

std::string standard_name(const std::string& name) {
  std::string result = gen_remove_leading_and_trailing_white_spaces(name);
  stl_toupper(result);
  return result;
}

// The characters that the host's trim removes.
bool is_white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Whether standard_name(name) would return name unchanged, so that a lookup can skip the copy.
bool is_standard(const std::string& name) {
  if (!name.empty() && (is_white_space(name.front()) || is_white_space(name.back()))) {
    return false;
  }
  return std::none_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// a == b. Names of one list mostly have the same length and differ near their end (speed grade
// and options), so the last eight bytes are compared before the whole texts.
bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() >= sizeof(uint64_t)) {
    uint64_t a_tail;
    uint64_t b_tail;
    std::memcpy(&a_tail, a.data() + a.size() - sizeof a_tail, sizeof a_tail);
    std::memcpy(&b_tail, b.data() + b.size() - sizeof b_tail, sizeof b_tail);
    if (a_tail != b_tail) return false;
  }
  return std::memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Image loading

namespace pgmdev_ddb {

std::vector<unsigned char> load_image(const BLOB& blob, const char* uncompress_condition,
                                      const char* length_condition) {
  // A declared length so large that the buffer size would wrap cannot be an image of ours.
  PGMDEV_CHECK_TEXT(blob.length <= ~0u - kSlackBytes, length_condition);
  unsigned int data_size = blob.length + kSlackBytes;
  std::vector<unsigned char> buffer(data_size, 0);
  unsigned char* data = buffer.data();
  PGMDEV_CHECK_TEXT(zlib_uncompress(data, &data_size, blob.data, blob.cmp_length) == ZLIB_OK,
                    uncompress_condition);
  PGMDEV_CHECK_TEXT(data_size == blob.length, length_condition);
  buffer.resize(data_size);
  return buffer;
}

void check_frame(const unsigned char* data, unsigned int data_size) {
  PGMDEV_CHECK_TEXT(
      data_size >= kMagicBytes + kTrailerBytes && memcmp(data, kMagic, kMagicBytes) == 0,
      "memcmp(data, \"PGMDEV_DDB\", 10) == 0");
  const DWORD crc32 = ~PGM_COMMON::msb_calculate_crc32(data, 0, (data_size - kTrailerBytes) * 8,
                                                       kCrcInit, kCrcPoly, true);
  // The texts are spelled out so that formatting cannot change what is reported.
  PGMDEV_CHECK_TEXT(BYTE(crc32) == data[data_size - 4], "BYTE(crc32) == data[data_size-4]");
  PGMDEV_CHECK_TEXT(BYTE(crc32 >> 8) == data[data_size - 3],
                    "BYTE(crc32 >> 8) == data[data_size-3]");
  PGMDEV_CHECK_TEXT(BYTE(crc32 >> 16) == data[data_size - 2],
                    "BYTE(crc32 >> 16) == data[data_size-2]");
  PGMDEV_CHECK_TEXT(BYTE(crc32 >> 24) == data[data_size - 1],
                    "BYTE(crc32 >> 24) == data[data_size-1]");
}

// Names are short: a multiply-and-fold over eight-byte words, then a final mix, is several times
// cheaper than the standard library's string hash and spreads them as well.
unsigned int NAME_INDEX::hash_of(std::string_view name) {
  constexpr uint64_t kWordMultiplier = 0xBF58476D1CE4E5B9ull;
  constexpr uint64_t kFinalMultiplier = 0x94D049BB133111EBull;
  const char* at = name.data();
  size_t left = name.size();
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ left;
  for (; left >= sizeof(uint64_t); left -= sizeof(uint64_t), at += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    hash = (hash ^ word) * kWordMultiplier;
    hash ^= hash >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, at, left);
  hash = (hash ^ tail) * kFinalMultiplier;
  return static_cast<unsigned int>(hash ^ (hash >> 32));
}

// Maps the hash onto [0, size) by multiplication, so the table need not be a power of two.
size_t NAME_INDEX::home(unsigned int hash) const {
  return static_cast<size_t>((uint64_t{hash} * m_slots.size()) >> 32);
}

// Keys are visited in ascending order and a name already present keeps its key, so each entry
// ends up with the smallest key whose list holds it.
void NAME_INDEX::build(const GRAMMAR_MAP& map) {
  size_t entries = 0;
  for (const auto& record : map) entries += record.second.size();
  m_slots.assign(entries + entries / 2 + 1, SLOT{nullptr, 0, 0});
  m_keys.clear();
  m_keys.reserve(map.size());
  for (const auto& [key, names] : map) {
    const unsigned int key_position = static_cast<unsigned int>(m_keys.size());
    m_keys.push_back(&key);
    for (const std::string& name : names) {
      const unsigned int hash = hash_of(name);
      size_t at = home(hash);
      while (m_slots[at].name != nullptr &&
             !(m_slots[at].hash == hash && *m_slots[at].name == name)) {
        if (++at == m_slots.size()) at = 0;
      }
      if (m_slots[at].name == nullptr) m_slots[at] = SLOT{&name, hash, key_position};
    }
  }
}

const std::string* NAME_INDEX::find(std::string_view name) const {
  return find(name, hash_of(name));
}

const std::string* NAME_INDEX::find(std::string_view name, unsigned int hash) const {
  const unsigned int position = find_position(name, hash);
  return position == kNoKey ? nullptr : m_keys[position];
}

unsigned int NAME_INDEX::find_position(std::string_view name, unsigned int hash) const {
  if (m_slots.empty() || name.empty()) return kNoKey;
  for (size_t at = home(hash); m_slots[at].name != nullptr;) {
    if (m_slots[at].hash == hash && *m_slots[at].name == name) return m_slots[at].key;
    if (++at == m_slots.size()) at = 0;
  }
  return kNoKey;
}

size_t POSITION_INDEX::home(unsigned int value) const {
  // Fibonacci hashing: the top bits of the product pick the slot of a power-of-two table.
  return static_cast<size_t>((uint64_t{value} * 0x9E3779B97F4A7C15ull) >> m_shift);
}

void VIEW_SET::clear() {
  m_slots.clear();
  m_used = 0;
}

bool VIEW_SET::insert(const std::vector<std::string_view>& views, size_t position,
                      std::string_view view) {
  if (2 * (m_used + 1) > m_slots.size()) {
    // Twice the room, and every view so far placed again.
    const size_t used = m_used;
    m_slots.assign(m_slots.empty() ? 64 : 2 * m_slots.size(), 0);
    m_used = 0;
    for (size_t i = 0; i < used; ++i) insert(views, i, views[i]);
  }
  const size_t mask = m_slots.size() - 1;
  for (size_t at = NAME_INDEX::hash_of(view) & mask;; at = (at + 1) & mask) {
    if (m_slots[at] == 0) {
      m_slots[at] = static_cast<unsigned int>(position) + 1;
      ++m_used;
      return true;
    }
    if (views[m_slots[at] - 1] == view) return false;
  }
}

void POSITION_INDEX::add(unsigned int value, unsigned int position) {
  if (2 * (m_used + 1) > m_slots.size()) grow();
  for (size_t at = home(value);; at = (at + 1) & (m_slots.size() - 1)) {
    if (m_slots[at].position == kFree) {
      m_slots[at] = SLOT{value, position};
      ++m_used;
      return;
    }
    if (m_slots[at].value == value) return;  // the earlier position stays
  }
}

unsigned int POSITION_INDEX::find(unsigned int value) const {
  if (m_slots.empty()) return kFree;
  for (size_t at = home(value);; at = (at + 1) & (m_slots.size() - 1)) {
    if (m_slots[at].position == kFree || m_slots[at].value == value) return m_slots[at].position;
  }
}

void POSITION_INDEX::grow() {
  std::vector<SLOT> old(m_slots.empty() ? 32 : 2 * m_slots.size(), SLOT{0, kFree});
  old.swap(m_slots);
  m_shift = 64;
  for (size_t size = m_slots.size(); size > 1; size >>= 1) --m_shift;
  m_used = 0;
  for (const SLOT& slot : old) {
    if (slot.position != kFree) add(slot.value, slot.position);
  }
}

}  // namespace pgmdev_ddb

// ---------------------------------------------------------------------------------------------
// Grammar maps

PGMDEV_DDB_GRAMMAR_MGR* PGMDEV_DDB_GRAMMAR_MGR::m_mgr = nullptr;

PGMDEV_DDB_GRAMMAR_MGR* PGMDEV_DDB_GRAMMAR_MGR::get_mgr() { return pgmdev_singleton_get(m_mgr); }

void PGMDEV_DDB_GRAMMAR_MGR::delete_mgr() { pgmdev_singleton_delete(m_mgr); }

pgmdev_ddb::BLOB PGMDEV_DDB_GRAMMAR_MGR::get_blob_source() {
  return g_grammar_blob.value_or(
      pgmdev_ddb::BLOB{PGMDDB_GRAMMAR_DATA, PGMDDB_GRAMMAR_CMP_LENGTH, PGMDDB_GRAMMAR_LENGTH});
}

void PGMDEV_DDB_GRAMMAR_MGR::set_blob_source(const pgmdev_ddb::BLOB* blob) {
  set_override(g_grammar_blob, blob);
}

PGMDEV_DDB_GRAMMAR_MGR::PGMDEV_DDB_GRAMMAR_MGR() : m_maps{} {
  const std::vector<unsigned char> image = pgmdev_ddb::load_image(
      get_blob_source(),
      "zlib_uncompress(data, &data_size, PGMDDB_GRAMMAR_DATA, PGMDDB_GRAMMAR_CMP_LENGTH) == "
      "ZLIB_OK",
      "data_size == PGMDDB_GRAMMAR_LENGTH");
  build(image.data(), static_cast<unsigned int>(image.size()));
}

PGMDEV_DDB_GRAMMAR_MGR::PGMDEV_DDB_GRAMMAR_MGR(const unsigned char* data, unsigned int data_size)
    : m_maps{} {
  build(data, data_size);
}

PGMDEV_DDB_GRAMMAR_MGR::~PGMDEV_DDB_GRAMMAR_MGR() { free_maps(); }

void PGMDEV_DDB_GRAMMAR_MGR::free_maps() {
  for (GRAMMAR_MAP*& map : m_maps) {
    if (map != nullptr) {
      delete map;
      map = nullptr;
    }
  }
}

// A constructor that fails does not run the destructor, so the maps are freed here.
void PGMDEV_DDB_GRAMMAR_MGR::build(const unsigned char* data, unsigned int data_size) {
  try {
    pgmdev_ddb::check_frame(data, data_size);
    for (GRAMMAR_MAP*& map : m_maps) map = new GRAMMAR_MAP();
    parse_sections(data, data_size);
    // The parse's scratch is not kept with the maps.
    m_content_views = std::vector<std::string_view>();
    m_long_list = pgmdev_ddb::VIEW_SET();
  } catch (...) {
    free_maps();
    throw;
  }
}

void PGMDEV_DDB_GRAMMAR_MGR::parse_sections(const unsigned char* data, unsigned int data_size) {
  const unsigned int bound = data_size - pgmdev_ddb::kTrailerBytes;
  unsigned int index = pgmdev_ddb::kMagicBytes;
  DWORD pointer_index = 0;
  // Records mostly come in runs of ascending keys, so each is inserted next to the one before.
  GRAMMAR_MAP::iterator previous;
  bool section_start = true;
  while (index < bound) {
    PGMDEV_CHECK(pointer_index < DWORD(PGMDEV_DDB_GRAMMAR_ENUM::MAX));
    GRAMMAR_MAP* map = m_maps[pointer_index];
    previous =
        read_record(map, section_start ? map->end() : std::next(previous), index, data, bound);
    section_start = false;
    // read_record leaves index below the bound. A 0x00 there closes the section.
    if (data[index] == 0) {
      ++index;
      ++pointer_index;
      section_start = true;
    }
  }
  PGMDEV_CHECK(pointer_index == DWORD(PGMDEV_DDB_GRAMMAR_ENUM::MAX));
}

// Several threads may make the first reverse lookup of a map at once: one builds the index, the
// others wait for it.
const pgmdev_ddb::NAME_INDEX& PGMDEV_DDB_GRAMMAR_MGR::reverse_index(unsigned int slot) const {
  std::call_once(m_reverse_built[slot], [this, slot] { m_reverse[slot].build(*m_maps[slot]); });
  return m_reverse[slot];
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_string(unsigned int& index, const unsigned char* data,
                                               unsigned int data_size) {
  return std::string(read_string(index, data, data_size));
}

std::string_view PGMDEV_DDB_GRAMMAR_MGR::read_string(unsigned int& index, const unsigned char* data,
                                                     unsigned int data_size) {
  PGMDEV_CHECK(index < data_size);
  PGMDEV_CHECK(data[index] != 0);
  const unsigned int start = index;
  const void* terminator = memchr(data + index, 0, data_size - index);
  index = terminator == nullptr
              ? data_size
              : static_cast<unsigned int>(static_cast<const unsigned char*>(terminator) - data);
  PGMDEV_CHECK(index < data_size && data[index] == 0);
  const std::string_view result(reinterpret_cast<const char*>(data + start), index - start);
  ++index;
  PGMDEV_CHECK(index < data_size);
  return result;
}

void PGMDEV_DDB_GRAMMAR_MGR::get_mapping(GRAMMAR_MAP*& map, unsigned int& index,
                                         const unsigned char* data, unsigned int data_size) {
  read_record(map, map->end(), index, data, data_size);
}

GRAMMAR_MAP::iterator PGMDEV_DDB_GRAMMAR_MGR::read_record(GRAMMAR_MAP* map,
                                                          GRAMMAR_MAP::iterator hint,
                                                          unsigned int& index,
                                                          const unsigned char* data,
                                                          unsigned int data_size) {
  const std::string_view key = read_string(index, data, data_size);
  // The values are first taken as views of the image, so that the record's list can be made at
  // its exact size with each string built in place.
  std::vector<std::string_view>& contents = m_content_views;
  contents.clear();
  m_long_list.clear();
  // A key followed directly by the list's 0x00 (or by the bound) has no values and fails the
  // size check below.
  if (index < data_size && data[index] != 0) {
    do {
      const std::string_view content = read_string(index, data, data_size);
      PGMDEV_CHECK(content.size());
      // The same test as a search of contents; long lists use a set.
      bool unique;
      if (contents.size() < kLongList) {
        unique = std::none_of(contents.begin(), contents.end(), [content](std::string_view other) {
          return same_text(content, other);
        });
      } else {
        if (m_long_list.empty()) {
          for (size_t i = 0; i < contents.size(); ++i) m_long_list.insert(contents, i, contents[i]);
        }
        unique = m_long_list.insert(contents, contents.size(), content);
      }
      PGMDEV_CHECK_TEXT(unique,
                        "std::find(contents.begin(), contents.end(), content) == contents.end()");
      contents.push_back(content);
    } while (index < data_size && data[index] != 0);
    PGMDEV_CHECK(index < data_size && data[index] == 0);
  }
  PGMDEV_CHECK(contents.size());
  // Inserted at the hint when the key belongs there; the size tells whether the key was new.
  const size_t keys_before = map->size();
  const GRAMMAR_MAP::iterator record =
      map->emplace_hint(hint, std::piecewise_construct, std::forward_as_tuple(key), std::tuple<>());
  PGMDEV_CHECK_TEXT(map->size() != keys_before, "map->find(key) == map->end()");
  std::vector<std::string>& names = record->second;
  names.reserve(contents.size());
  for (const std::string_view content : contents) names.emplace_back(content);
  ++index;
  PGMDEV_CHECK(index < data_size);
  return record;
}

GRAMMAR_MAP* PGMDEV_DDB_GRAMMAR_MGR::get_map(PGMDEV_DDB_GRAMMAR_ENUM type) {
  PGMDEV_CHECK(type < PGMDEV_DDB_GRAMMAR_ENUM::MAX);
  return m_maps[type];
}

void PGMDEV_DDB_GRAMMAR_MGR::standardize_name(std::string& name) { name = standard_name(name); }

std::string PGMDEV_DDB_GRAMMAR_MGR::get_standard_name(const std::string& name) {
  return standard_name(name);
}

// One probe of the map's reverse index; a map that is not one of ours is scanned in key order.
const std::string* PGMDEV_DDB_GRAMMAR_MGR::find_key(std::string_view standard,
                                                    GRAMMAR_MAP* mapping) const {
  for (unsigned int slot = 0; slot < MAX; ++slot) {
    if (m_maps[slot] == mapping) return reverse_index(slot).find(standard);
  }
  for (const auto& [key, names] : *mapping) {
    if (std::find(names.begin(), names.end(), standard) != names.end()) return &key;
  }
  return nullptr;
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_mapping_key(const std::string& name, GRAMMAR_MAP* mapping) {
  PGMDEV_CHECK(mapping != NULL);
  const std::string* key =
      is_standard(name) ? find_key(name, mapping) : find_key(standard_name(name), mapping);
  return key == nullptr ? std::string() : *key;
}

std::vector<std::string> PGMDEV_DDB_GRAMMAR_MGR::get_key_mapping(const std::string& key,
                                                                 GRAMMAR_MAP* mapping) {
  PGMDEV_CHECK(mapping != NULL);
  std::string standard = key;
  standardize_name(standard);
  const auto found = mapping->find(standard);
  return found == mapping->end() ? std::vector<std::string>() : found->second;
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_mapping_key(const std::string& name,
                                                    PGMDEV_DDB_GRAMMAR_ENUM type) {
  PGMDEV_DDB_GRAMMAR_MGR* mgr = get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  return mgr->get_mapping_key(name, mgr->get_map(type));
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_grammar_key(const std::string& name,
                                                    PGMDEV_DDB_GRAMMAR_ENUM type,
                                                    bool empty_on_miss) {
  PGMDEV_DDB_GRAMMAR_MGR* mgr = get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  const bool already_standard = is_standard(name);
  const std::string copy = already_standard ? std::string() : standard_name(name);
  const std::string& standard = already_standard ? name : copy;
  const std::string* key = mgr->find_key(standard, mgr->get_map(type));
  if (key != nullptr) return *key;
  return empty_on_miss ? std::string() : standard;
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_pgm_key(const std::string& name,
                                                bool skip_package_conversion, bool empty_on_miss,
                                                std::string* package) {
  PGMDEV_DDB_GRAMMAR_MGR* mgr = get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  const bool already_standard = is_standard(name);
  const std::string copy = already_standard ? std::string() : standard_name(name);
  const std::string& standard = already_standard ? name : copy;
  // One hash serves the two probes of the name.
  const unsigned int hash = pgmdev_ddb::NAME_INDEX::hash_of(standard);
  const pgmdev_ddb::NAME_INDEX& pgms = mgr->reverse_index(PGM_GRAMMAR);
  const std::string* key = pgms.find(standard, hash);
  const std::string* package_key = nullptr;
  if (key == nullptr && !skip_package_conversion) {
    const pgmdev_ddb::NAME_INDEX& packages = mgr->reverse_index(PACKAGE_GRAMMAR);
    const unsigned int position = packages.find_position(standard, hash);
    if (position != pgmdev_ddb::NAME_INDEX::kNoKey) {
      package_key = packages.key_at(position);
      key = mgr->pgm_of_package(position);
    }
  }
  if (package != nullptr) *package = package_key == nullptr ? std::string() : *package_key;
  if (key != nullptr) return *key;
  return empty_on_miss ? std::string() : standard;
}

namespace {
// Marks an answer of pgm_of_package not looked up yet: no key of a map is this string.
const std::string kNotLookedUp;
const std::string* const kUnknownPgm = &kNotLookedUp;
}  // namespace

const std::string* PGMDEV_DDB_GRAMMAR_MGR::pgm_of_package(unsigned int position) const {
  const pgmdev_ddb::NAME_INDEX& packages = reverse_index(PACKAGE_GRAMMAR);
  std::call_once(m_package_pgm_made, [this, &packages] {
    m_package_pgm.reset(new std::atomic<const std::string*>[packages.key_count()]);
    for (size_t i = 0; i < packages.key_count(); ++i) m_package_pgm[i] = kUnknownPgm;
  });
  std::atomic<const std::string*>& answer = m_package_pgm[position];
  const std::string* pgm = answer.load(std::memory_order_relaxed);
  if (pgm == kUnknownPgm) {
    // A key is looked up like any name, normalized (keys of our blobs already are).
    const std::string& package = *packages.key_at(position);
    const pgmdev_ddb::NAME_INDEX& pgms = reverse_index(PGM_GRAMMAR);
    pgm = is_standard(package) ? pgms.find(package) : pgms.find(standard_name(package));
    answer.store(pgm, std::memory_order_relaxed);
  }
  return pgm;
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_package_grammar(const std::string& name,
                                                        bool empty_on_miss) {
  return get_grammar_key(name, PACKAGE_GRAMMAR, empty_on_miss);
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_pgm_grammar(const std::string& name, bool empty_on_miss) {
  return get_grammar_key(name, PGM_GRAMMAR, empty_on_miss);
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_pgm_pcf(const std::string& name) {
  return get_mapping_key(name, PGM_PCF);
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_pgm_family_pcf(const std::string& name) {
  return get_mapping_key(name, PGM_FAMILY_PCF);
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_dev_pcf(const std::string& name) {
  return get_mapping_key(name, DEV_PCF);
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_dev_family_pcf(const std::string& name) {
  return get_mapping_key(name, DEV_FAMILY_PCF);
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_device_pcf_family_pcf(const std::string& name) {
  return get_mapping_key(name, DEVICE_PCF_FAMILY_PCF);
}

std::string PGMDEV_DDB_GRAMMAR_MGR::get_family(const std::string& name) {
  return get_mapping_key(name, FAMILY);
}

std::vector<std::string> PGMDEV_DDB_GRAMMAR_MGR::get_dev_pcf_list(const std::string& pcf) {
  PGMDEV_DDB_GRAMMAR_MGR* mgr = get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  return mgr->get_key_mapping(pcf, mgr->get_map(DEV_PCF));
}

// ---------------------------------------------------------------------------------------------
// OPN table

PGMDEV_DDB_OPN_MGR* PGMDEV_DDB_OPN_MGR::m_mgr = nullptr;

PGMDEV_DDB_OPN_MGR* PGMDEV_DDB_OPN_MGR::get_mgr() { return pgmdev_singleton_get(m_mgr); }

void PGMDEV_DDB_OPN_MGR::delete_mgr() { pgmdev_singleton_delete(m_mgr); }

pgmdev_ddb::BLOB PGMDEV_DDB_OPN_MGR::get_blob_source() {
  return g_opn_blob.value_or(
      pgmdev_ddb::BLOB{PGMDDB_OPN_DATA, PGMDDB_OPN_CMP_LENGTH, PGMDDB_OPN_LENGTH});
}

void PGMDEV_DDB_OPN_MGR::set_blob_source(const pgmdev_ddb::BLOB* blob) {
  set_override(g_opn_blob, blob);
}

unsigned int PGMDEV_DDB_OPN_MGR::get_opn_enum(unsigned int dev_enum) {
  PGMDEV_DDB_OPN_MGR* mgr = get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  return mgr->opn_enum(dev_enum);
}

unsigned int PGMDEV_DDB_OPN_MGR::get_dev_opn_enum(unsigned int opn_enum) {
  PGMDEV_DDB_OPN_MGR* mgr = get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  return mgr->dev_opn_enum(opn_enum);
}

PGMDEV_DDB_OPN_MGR::PGMDEV_DDB_OPN_MGR() : M_MAP(nullptr) {
  const std::vector<unsigned char> image = pgmdev_ddb::load_image(
      get_blob_source(),
      "zlib_uncompress(data, &data_size, PGMDDB_OPN_DATA, PGMDDB_OPN_CMP_LENGTH) == ZLIB_OK",
      "data_size == PGMDDB_OPN_LENGTH");
  build(image.data(), static_cast<unsigned int>(image.size()));
}

PGMDEV_DDB_OPN_MGR::PGMDEV_DDB_OPN_MGR(const unsigned char* data, unsigned int data_size)
    : M_MAP(nullptr) {
  build(data, data_size);
}

PGMDEV_DDB_OPN_MGR::~PGMDEV_DDB_OPN_MGR() {
  if (M_MAP != nullptr) {
    delete M_MAP;
    M_MAP = nullptr;
  }
}

// A constructor that fails does not run the destructor, so the table is freed here.
void PGMDEV_DDB_OPN_MGR::build(const unsigned char* data, unsigned int data_size) {
  pgmdev_ddb::check_frame(data, data_size);
  M_MAP = new std::vector<unsigned int>();
  try {
    unsigned int index = pgmdev_ddb::kMagicBytes;
    DWORD enum_count = 0;
    for (unsigned int byte = 0; byte < kOpnCountBytes; ++byte) {
      enum_count |= DWORD(data[index + byte]) << (8 * byte);
    }
    PGMDEV_CHECK(enum_count > 0);
    index += kOpnCountBytes;
    // Every entry takes at least one byte, so a count larger than the image is refused by the
    // walk below before the table could grow that far.
    M_MAP->reserve(std::min<DWORD>(enum_count, data_size));
    const unsigned int bound = data_size - pgmdev_ddb::kTrailerBytes;
    for (DWORD entry = 0; entry < enum_count; ++entry) {
      // Most entries take one byte: read here what get_integer would, with the same checks.
      if (index < bound && data[index] < 0x80) {
        M_MAP->push_back(data[index++]);
        continue;
      }
      const QWORD dev_enum = get_integer(index, data, data_size);
      PGMDEV_CHECK(dev_enum <= QWORD(0xFFFFFFFF));
      M_MAP->push_back(static_cast<unsigned int>(dev_enum));
    }
    PGMDEV_CHECK(index == (data_size - 4));
  } catch (...) {
    delete M_MAP;
    M_MAP = nullptr;
    throw;
  }
}

QWORD PGMDEV_DDB_OPN_MGR::get_integer(unsigned int& index, const unsigned char* data,
                                      unsigned int data_size) {
  // A bound below the trailer's 4 bytes would wrap the subtraction: it holds no integer at all.
  PGMDEV_CHECK_TEXT(data_size >= 4 && index < (data_size - 4), "index < (data_size - 4)");
  QWORD dev_enum = data[index] & 0x7F;
  if (data[index] & 0x80) {
    QWORD shift = 7;
    do {
      ++index;
      PGMDEV_CHECK_TEXT(index < (data_size - 4), "index < (data_size - 4)");
      // Past 63 bits the groups cannot matter: the shift check below refuses the integer.
      if (shift < 64) dev_enum |= QWORD(data[index] & 0x7F) << shift;
      shift += 7;
    } while (data[index] & 0x80);
    PGMDEV_CHECK(shift <= 35);
  }
  ++index;
  return dev_enum;
}

unsigned int PGMDEV_DDB_OPN_MGR::opn_enum(unsigned int dev_enum) {
  PGMDEV_CHECK(M_MAP != NULL);
  // Built on the first lookup by part number; several threads may make it at once.
  std::call_once(m_positions_built, [this] {
    for (unsigned int position = 0; position < M_MAP->size(); ++position) {
      m_positions.add((*M_MAP)[position], position);  // the first position stays
    }
  });
  return m_positions.find(dev_enum);
}

unsigned int PGMDEV_DDB_OPN_MGR::dev_opn_enum(unsigned int opn_enum) {
  PGMDEV_CHECK(M_MAP != NULL);
  return opn_enum < M_MAP->size() ? (*M_MAP)[opn_enum] : kNoEntry;
}
