// The two embedded name databases: the grammar maps and the OPN table. Internal to the library.
//
// Both are decoded from zlib-compressed images compiled into the library. An image is the magic
// "PGMDEV_DDB", a body and a CRC-32/BZIP2 trailer of magic and body, least significant byte
// first. Loading is split in steps that take a buffer and its bound, so that tests and fuzzers
// can feed crafted images to each of them:
//   pgmdev_ddb::load_image      decompress and check the produced length;
//   pgmdev_ddb::check_frame     magic and CRC trailer;
//   the (data, data_size) constructors: check_frame, then walk the body.
#ifndef PGMDEV_DDB_MGR_H
#define PGMDEV_DDB_MGR_H

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// An ordered map from a key to its list of names, in the order of the blob.
typedef std::map<std::string, std::vector<std::string>> GRAMMAR_MAP;

namespace pgmdev_ddb {

inline constexpr unsigned int kMagicBytes = 10;
inline constexpr unsigned int kTrailerBytes = 4;
// Room beyond the declared length given to the decompressor, so that a stream that inflates
// to a little more than declared is still read whole and then refused by the length check.
inline constexpr unsigned int kSlackBytes = 100;

// A compressed image and its declared decompressed length. The managers read the embedded
// arrays unless a test points them at another blob.
struct BLOB {
  const unsigned char* data;
  unsigned int cmp_length;
  unsigned int length;
};

// Decompresses blob into a zero-filled buffer of blob.length + kSlackBytes bytes and checks that
// it produced exactly blob.length bytes. The condition texts are passed in because they name
// the embedded constants of the blob being loaded. Returns the image (blob.length bytes).
std::vector<unsigned char> load_image(const BLOB& blob, const char* uncompress_condition,
                                      const char* length_condition);

// Checks the magic and then the four trailer bytes against the CRC of all bytes before them.
// An image too short to hold magic and trailer fails the magic check.
void check_frame(const unsigned char* data, unsigned int data_size);

// Reverse index of one grammar map: an open-addressing table from each list entry to the
// smallest key whose list holds it, so a reverse lookup is one hash probe. Names and keys point
// into the map it was built from, which must not change while the index is in use.
class NAME_INDEX {
 public:
  void build(const GRAMMAR_MAP& map);
  // The smallest key whose list holds name, or null. hash is hash_of(name), for a caller that
  // probes several indexes with one name.
  const std::string* find(std::string_view name) const;
  const std::string* find(std::string_view name, unsigned int hash) const;
  // The same as a position among the map's keys in ascending order (key_at gives the key), or
  // kNoKey.
  static constexpr unsigned int kNoKey = 0xFFFFFFFF;
  unsigned int find_position(std::string_view name, unsigned int hash) const;
  const std::string* key_at(unsigned int position) const { return m_keys[position]; }
  size_t key_count() const { return m_keys.size(); }
  static unsigned int hash_of(std::string_view name);

 private:
  // 16 bytes, so that the table stays small.
  struct SLOT {
    const std::string* name;  // null: a free slot
    unsigned int hash;
    unsigned int key;  // position in m_keys
  };
  // The slot where the probe for hash starts.
  size_t home(unsigned int hash) const;

  std::vector<SLOT> m_slots;  // at most two thirds full
  std::vector<const std::string*> m_keys;
};

// The values of one long list, for its duplicate check: positions in the list's views, in an
// open-addressing table that grows to stay at most half full. Reused from record to record.
class VIEW_SET {
 public:
  void clear();
  bool empty() const { return m_used == 0; }
  // Adds views[position] (which is view, or is about to be appended as it); false when an equal
  // view is present, which stays.
  bool insert(const std::vector<std::string_view>& views, size_t position, std::string_view view);

 private:
  std::vector<unsigned int> m_slots;  // position + 1; 0: a free slot
  size_t m_used = 0;
};

// Index of the OPN table: each value to the smallest position holding it, in an open-addressing
// table of value and position pairs that grows to stay at most half full. The shipped table
// repeats 0 at most of its positions, so the index holds far fewer pairs than the table.
class POSITION_INDEX {
 public:
  static constexpr unsigned int kFree = 0xFFFFFFFF;  // no position: the value is not held
  // Records value at position unless the value is held already (at an earlier position).
  void add(unsigned int value, unsigned int position);
  // The position recorded for value, or kFree.
  unsigned int find(unsigned int value) const;

 private:
  struct SLOT {
    unsigned int value;
    unsigned int position;  // kFree: an empty slot
  };
  size_t home(unsigned int value) const;
  void grow();

  std::vector<SLOT> m_slots;  // a power of two long
  size_t m_used = 0;
  unsigned int m_shift = 64;
};

}  // namespace pgmdev_ddb

class PGMDEV_DDB_GRAMMAR_MGR {
 public:
  enum PGMDEV_DDB_GRAMMAR_ENUM {
    PACKAGE_GRAMMAR = 0,        // package name -> full part names
    PGM_GRAMMAR = 1,            // pgm name -> package names
    PGM_PCF = 2,                // pcf name -> pgm names
    PGM_FAMILY_PCF = 3,         // family pcf name -> pgm names
    DEV_PCF = 4,                // pcf name -> catalogue device names
    DEV_FAMILY_PCF = 5,         // family pcf name -> catalogue device names
    DEVICE_PCF_FAMILY_PCF = 6,  // family pcf name -> pcf names
    FAMILY = 7,                 // family name -> pcf names
    MAX = 8
  };

  static PGMDEV_DDB_GRAMMAR_MGR* get_mgr();
  static void delete_mgr();

  // Reverse lookups: the smallest key of the map whose list holds the trimmed, upper-cased
  // name, or "" (the two grammar getters return the normalized name on a miss unless
  // empty_on_miss). The caller's string is never changed.
  static std::string get_mapping_key(const std::string& name, PGMDEV_DDB_GRAMMAR_ENUM type);
  static std::string get_package_grammar(const std::string& name, bool empty_on_miss);
  static std::string get_pgm_grammar(const std::string& name, bool empty_on_miss);
  // The pgm name lookup of the device-name grammar with the name normalized and hashed once:
  // the key of PGM_GRAMMAR whose list holds name, else, unless skip_package_conversion, the key
  // of PGM_GRAMMAR whose list holds the package name that PACKAGE_GRAMMAR gives for name. On a
  // miss "" or, unless empty_on_miss, the normalized name. package, when given, receives that
  // package name ("" when the second step did not run or found none).
  static std::string get_pgm_key(const std::string& name, bool skip_package_conversion,
                                 bool empty_on_miss, std::string* package);
  static std::string get_pgm_pcf(const std::string& name);
  static std::string get_pgm_family_pcf(const std::string& name);
  static std::string get_dev_pcf(const std::string& name);
  static std::string get_dev_family_pcf(const std::string& name);
  static std::string get_device_pcf_family_pcf(const std::string& name);
  static std::string get_family(const std::string& name);
  // Forward lookup in DEV_PCF: the catalogue device names under pcf, in stored order.
  static std::vector<std::string> get_dev_pcf_list(const std::string& pcf);
  // name trimmed and upper-cased, as every lookup sees it.
  static std::string get_standard_name(const std::string& name);

  // The compressed grammar image that get_mgr() decodes: the embedded one, or the blob given
  // to set_blob_source (tests). Null restores the embedded blob.
  static pgmdev_ddb::BLOB get_blob_source();
  static void set_blob_source(const pgmdev_ddb::BLOB* blob);

  // Loads the compressed blob (get_blob_source()) and builds the maps.
  PGMDEV_DDB_GRAMMAR_MGR();
  // Builds the maps from a decompressed image of data_size bytes (frame checks included).
  PGMDEV_DDB_GRAMMAR_MGR(const unsigned char* data, unsigned int data_size);
  ~PGMDEV_DDB_GRAMMAR_MGR();
  PGMDEV_DDB_GRAMMAR_MGR(const PGMDEV_DDB_GRAMMAR_MGR&) = delete;
  PGMDEV_DDB_GRAMMAR_MGR& operator=(const PGMDEV_DDB_GRAMMAR_MGR&) = delete;

  GRAMMAR_MAP* get_map(PGMDEV_DDB_GRAMMAR_ENUM type);
  void standardize_name(std::string& name);
  std::string get_mapping_key(const std::string& name, GRAMMAR_MAP* mapping);
  std::vector<std::string> get_key_mapping(const std::string& key, GRAMMAR_MAP* mapping);
  // Parse steps over a body whose bound is data_size; index is advanced past what was read.
  std::string get_string(unsigned int& index, const unsigned char* data, unsigned int data_size);
  void get_mapping(GRAMMAR_MAP*& map, unsigned int& index, const unsigned char* data,
                   unsigned int data_size);

  GRAMMAR_MAP* m_maps[MAX];
  static PGMDEV_DDB_GRAMMAR_MGR* m_mgr;

 private:
  // Reverse lookup of the two grammar getters: on a miss the normalized name, or "".
  static std::string get_grammar_key(const std::string& name, PGMDEV_DDB_GRAMMAR_ENUM type,
                                     bool empty_on_miss);

  // get_string's checks, returning a view of the string in data.
  std::string_view read_string(unsigned int& index, const unsigned char* data,
                               unsigned int data_size);
  void build(const unsigned char* data, unsigned int data_size);
  void parse_sections(const unsigned char* data, unsigned int data_size);
  // get_mapping, inserting the record at hint when it belongs there; returns the record.
  GRAMMAR_MAP::iterator read_record(GRAMMAR_MAP* map, GRAMMAR_MAP::iterator hint,
                                    unsigned int& index, const unsigned char* data,
                                    unsigned int data_size);
  // The reverse index of map slot, built on the first reverse lookup of that map.
  const pgmdev_ddb::NAME_INDEX& reverse_index(unsigned int slot) const;
  void free_maps();
  // The smallest key of mapping whose list holds the normalized name, or null.
  const std::string* find_key(std::string_view standard, GRAMMAR_MAP* mapping) const;

  // The pgm name of a package: the key of PGM_GRAMMAR whose list holds the package key (by its
  // position in PACKAGE_GRAMMAR's index), or null; looked up once per package.
  const std::string* pgm_of_package(unsigned int position) const;

  // One reverse index per map, each built once, on first use.
  mutable pgmdev_ddb::NAME_INDEX m_reverse[MAX];
  mutable std::once_flag m_reverse_built[MAX];
  // pgm_of_package's answers, one per package key, marked unknown until asked. Threads that ask for
  // the same package at once find and store the same answer.
  mutable std::unique_ptr<std::atomic<const std::string*>[]> m_package_pgm;
  mutable std::once_flag m_package_pgm_made;
  // Scratch of get_mapping: the values of the record being read, as views of the image, and the
  // duplicate check of long lists.
  std::vector<std::string_view> m_content_views;
  pgmdev_ddb::VIEW_SET m_long_list;
};

class PGMDEV_DDB_OPN_MGR {
 public:
  static PGMDEV_DDB_OPN_MGR* get_mgr();
  static void delete_mgr();

  static unsigned int get_opn_enum(unsigned int dev_enum);
  static unsigned int get_dev_opn_enum(unsigned int opn_enum);

  // The compressed OPN image that get_mgr() decodes; see PGMDEV_DDB_GRAMMAR_MGR.
  static pgmdev_ddb::BLOB get_blob_source();
  static void set_blob_source(const pgmdev_ddb::BLOB* blob);

  // Loads the compressed blob (get_blob_source()) and builds the table.
  PGMDEV_DDB_OPN_MGR();
  // Builds the table from a decompressed image of data_size bytes (frame checks included).
  PGMDEV_DDB_OPN_MGR(const unsigned char* data, unsigned int data_size);
  ~PGMDEV_DDB_OPN_MGR();
  PGMDEV_DDB_OPN_MGR(const PGMDEV_DDB_OPN_MGR&) = delete;
  PGMDEV_DDB_OPN_MGR& operator=(const PGMDEV_DDB_OPN_MGR&) = delete;

  // Smallest position holding dev_enum, or 0xFFFFFFFF.
  unsigned int opn_enum(unsigned int dev_enum);
  // Value at position opn_enum, or 0xFFFFFFFF past the end.
  unsigned int dev_opn_enum(unsigned int opn_enum);
  // Reads one base-128 integer of the table at index, whose trailer starts at data_size - 4.
  // The value is returned in 64 bits (the host's QWORD) so that the caller can refuse one that
  // does not fit 32. This header names no host type: the catalogue generator includes it.
  unsigned long long get_integer(unsigned int& index, const unsigned char* data,
                                 unsigned int data_size);

  std::vector<unsigned int>* M_MAP;
  static PGMDEV_DDB_OPN_MGR* m_mgr;

 private:
  void build(const unsigned char* data, unsigned int data_size);

  // Value -> smallest position holding it, built on the first opn_enum call.
  pgmdev_ddb::POSITION_INDEX m_positions;
  std::once_flag m_positions_built;
};

#endif  // PGMDEV_DDB_MGR_H
