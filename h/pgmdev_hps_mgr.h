// Flash parameters of a device's hard processor system (HPS): the HPS register map selected by
// the HPS identification code, and the lists of SPI and NAND flash devices that the HPS flash
// controllers can program, made of the user's records from the "HPS SPI" and "HPS NAND"
// sections of pgm_flash.ini followed by the built-in records.
#ifndef PGMDEV_HPS_MGR_H
#define PGMDEV_HPS_MGR_H

#include <array>
#include <string>
#include <vector>

#include "pgmdev_export.h"
#include "pgmdev_types.h"

// ---- Register map ----

constexpr unsigned int PGMDEV_HPS_RECORD_COUNT = 2;
constexpr unsigned int PGMDEV_HPS_RECORD_WORDS = 335;
using PGMDEV_HPS_RECORD = std::array<unsigned int, PGMDEV_HPS_RECORD_WORDS>;

// Two records; word 0 is the HPS identification code that selects the record (0x4BA00477,
// 0x4BA00478), the other words are addresses, register offsets, field masks and bit numbers
// for the caller's programming sequence, 0xFFFFFFFF where a word does not apply to that HPS.
extern PGMDEV_API const std::array<PGMDEV_HPS_RECORD, PGMDEV_HPS_RECORD_COUNT> PGMDEV_HPS_DATABASE;
// Identifier of the register map's layout (32 characters); not consulted by the library.
extern PGMDEV_API const char PGMDEV_HPS_MD5[33];

// ---- Flash records ----

// The fields of an SPI flash record, in record, schema and file order: storage type, name,
// parameter type. The record, its name and type tables, its copy and its pointer array derive
// from this list.
#define PGMDEV_HPS_SPI_FIELDS(X)                                     \
  X(unsigned int, siid, PGMDEV_PARAM_DWORD)                          \
  X(unsigned int, mask, PGMDEV_PARAM_DWORD)                          \
  X(unsigned int, ext_siid, PGMDEV_PARAM_DWORD)                      \
  X(unsigned int, ext_mask, PGMDEV_PARAM_DWORD)                      \
  X(std::string, manufacturer, PGMDEV_PARAM_STRING)                  \
  X(std::string, name, PGMDEV_PARAM_STRING)                          \
  X(unsigned long long, flash_bit_size, PGMDEV_PARAM_QWORD)          \
  X(unsigned int, sector_byte_size, PGMDEV_PARAM_DWORD)              \
  X(unsigned int, page_byte_size, PGMDEV_PARAM_DWORD)                \
  X(unsigned int, bulk_erase_time, PGMDEV_PARAM_DWORD)               \
  X(unsigned int, bulk_erase_interval_wait_time, PGMDEV_PARAM_DWORD) \
  X(unsigned int, sector_erase_time, PGMDEV_PARAM_DWORD)             \
  X(unsigned int, page_program_time, PGMDEV_PARAM_DWORD)             \
  X(unsigned int, program_time, PGMDEV_PARAM_DWORD)                  \
  X(unsigned int, die_size, PGMDEV_PARAM_DWORD)                      \
  X(bool, speed_mode, PGMDEV_PARAM_BOOL)                             \
  X(unsigned int, byte4_se_opcode, PGMDEV_PARAM_DWORD)               \
  X(unsigned int, byte4_pp_opcode, PGMDEV_PARAM_DWORD)               \
  X(unsigned int, byte4_read_opcode, PGMDEV_PARAM_DWORD)

// The fields of a NAND flash record, in the same form.
#define PGMDEV_HPS_NAND_FIELDS(X)                      \
  X(unsigned int, manufacturer_id, PGMDEV_PARAM_DWORD) \
  X(unsigned int, device_id, PGMDEV_PARAM_DWORD)       \
  X(unsigned long long, flash_byte_size, PGMDEV_PARAM_QWORD)

#define PGMDEV_HPS_COUNT_FIELD(storage, field, type) +1
#define PGMDEV_HPS_DECLARE_FIELD(storage, field, type) storage field;

constexpr unsigned int PGMDEV_HPS_SPI_PARAM_COUNT = 0 PGMDEV_HPS_SPI_FIELDS(PGMDEV_HPS_COUNT_FIELD);
constexpr unsigned int PGMDEV_HPS_NAND_PARAM_COUNT =
    0 PGMDEV_HPS_NAND_FIELDS(PGMDEV_HPS_COUNT_FIELD);

// One SPI flash device. m_param_pointers points at this object's own fields 0 to 18 in order
// (the values array of PGMDEV_FLASH_INI::assign_flash_ini_data), after every construction,
// copy and assignment.
struct PGMDEV_API PGMDEV_HPS_SPI_STRUCTURE {
  PGMDEV_HPS_SPI_FIELDS(PGMDEV_HPS_DECLARE_FIELD)
  void* m_param_pointers[PGMDEV_HPS_SPI_PARAM_COUNT];

  // Every number 0, speed_mode false, both texts empty.
  PGMDEV_HPS_SPI_STRUCTURE();
  PGMDEV_HPS_SPI_STRUCTURE(unsigned int siid, unsigned int mask, unsigned int ext_siid,
                           unsigned int ext_mask, std::string manufacturer, std::string name,
                           unsigned long long flash_bit_size, unsigned int sector_byte_size,
                           unsigned int page_byte_size, unsigned int bulk_erase_time,
                           unsigned int bulk_erase_interval_wait_time,
                           unsigned int sector_erase_time, unsigned int page_program_time,
                           unsigned int program_time, unsigned int die_size, bool speed_mode,
                           unsigned int byte4_se_opcode, unsigned int byte4_pp_opcode,
                           unsigned int byte4_read_opcode);
  PGMDEV_HPS_SPI_STRUCTURE(const PGMDEV_HPS_SPI_STRUCTURE& other);
  PGMDEV_HPS_SPI_STRUCTURE& operator=(const PGMDEV_HPS_SPI_STRUCTURE& other);
  ~PGMDEV_HPS_SPI_STRUCTURE();
};

// One NAND flash device, with m_param_pointers at its own three fields.
struct PGMDEV_API PGMDEV_HPS_NAND_STRUCTURE {
  PGMDEV_HPS_NAND_FIELDS(PGMDEV_HPS_DECLARE_FIELD)
  void* m_param_pointers[PGMDEV_HPS_NAND_PARAM_COUNT];

  // Every number 0.
  PGMDEV_HPS_NAND_STRUCTURE();
  PGMDEV_HPS_NAND_STRUCTURE(unsigned int manufacturer_id, unsigned int device_id,
                            unsigned long long flash_byte_size);
  PGMDEV_HPS_NAND_STRUCTURE(const PGMDEV_HPS_NAND_STRUCTURE& other);
  PGMDEV_HPS_NAND_STRUCTURE& operator=(const PGMDEV_HPS_NAND_STRUCTURE& other);
  ~PGMDEV_HPS_NAND_STRUCTURE();
};

#undef PGMDEV_HPS_COUNT_FIELD
#undef PGMDEV_HPS_DECLARE_FIELD

// ---- Schemas, for the tools that let a user define a device ----
// Rule lists are in the form of PGMDEV_FLASH_INI::convert_string_to_qword (count-prefixed
// pairs); a null entry means no rule.

extern PGMDEV_API const char* const PGMDEV_HPS_SPI_PARAM_NAME_LIST[PGMDEV_HPS_SPI_PARAM_COUNT];
extern PGMDEV_API const PGMDEV_PARAM_TYPE
    PGMDEV_HPS_SPI_PARAM_TYPE_LIST[PGMDEV_HPS_SPI_PARAM_COUNT];
extern PGMDEV_API const char* const PGMDEV_HPS_SPI_PROMPT_LIST[PGMDEV_HPS_SPI_PARAM_COUNT];
extern PGMDEV_API const unsigned int* const
    PGMDEV_HPS_SPI_VALID_RANGE_RULES[PGMDEV_HPS_SPI_PARAM_COUNT];
extern PGMDEV_API const unsigned int* const
    PGMDEV_HPS_SPI_INVALID_RULES[PGMDEV_HPS_SPI_PARAM_COUNT];
extern PGMDEV_API const PGMDEV_HPS_SPI_STRUCTURE PGMDEV_HPS_SPI_DEFAULT_VALUE_RULES;

extern PGMDEV_API const char* const PGMDEV_HPS_NAND_PARAM_NAME_LIST[PGMDEV_HPS_NAND_PARAM_COUNT];
extern PGMDEV_API const PGMDEV_PARAM_TYPE
    PGMDEV_HPS_NAND_PARAM_TYPE_LIST[PGMDEV_HPS_NAND_PARAM_COUNT];
extern PGMDEV_API const char* const PGMDEV_HPS_NAND_PROMPT_LIST[PGMDEV_HPS_NAND_PARAM_COUNT];
extern PGMDEV_API const unsigned int* const
    PGMDEV_HPS_NAND_VALID_RANGE_RULES[PGMDEV_HPS_NAND_PARAM_COUNT];
extern PGMDEV_API const unsigned int* const
    PGMDEV_HPS_NAND_INVALID_RULES[PGMDEV_HPS_NAND_PARAM_COUNT];
extern PGMDEV_API const PGMDEV_HPS_NAND_STRUCTURE PGMDEV_HPS_NAND_DEFAULT_VALUE_RULES;

// ---- Built-in devices and section signatures ----

constexpr unsigned int PGMDEV_HPS_SPI_DATABASE_COUNT = 27;
constexpr unsigned int PGMDEV_HPS_NAND_DATABASE_COUNT = 10;
extern PGMDEV_API const PGMDEV_HPS_SPI_STRUCTURE
    PGMDEV_HPS_SPI_DATABASE[PGMDEV_HPS_SPI_DATABASE_COUNT];
extern PGMDEV_API const PGMDEV_HPS_NAND_STRUCTURE
    PGMDEV_HPS_NAND_DATABASE[PGMDEV_HPS_NAND_DATABASE_COUNT];

// An "HPS SPI" or "HPS NAND" section opens with these 32 characters (no terminator); records
// follow at offset 32.
constexpr unsigned int PGMDEV_HPS_SECTION_SIGNATURE_BYTES = 32;
extern PGMDEV_API const char PGMDEV_HPS_SPI_MD5[PGMDEV_HPS_SECTION_SIGNATURE_BYTES + 1];
extern PGMDEV_API const char PGMDEV_HPS_NAND_MD5[PGMDEV_HPS_SECTION_SIGNATURE_BYTES + 1];

// ---- Singletons ----

// Selection of the HPS register map.
class PGMDEV_API PGMDEV_HPS_MGR {
 public:
  static PGMDEV_HPS_MGR* get_mgr();
  static void delete_mgr();

  // Selects the record whose key is hps_id; false (and no selection) when no key matches.
  bool set_current_hps(unsigned int hps_id);
  // First word of the selected record, or null when none is selected.
  const unsigned int* get_current_hps() const;

  static PGMDEV_HPS_MGR* m_mgr;
  // Index of the selected record, 0xFFFFFFFF when none.
  unsigned int m_current_hps;

 private:
  PGMDEV_HPS_MGR();
  ~PGMDEV_HPS_MGR() = default;
  PGMDEV_HPS_MGR(const PGMDEV_HPS_MGR&) = delete;
  PGMDEV_HPS_MGR& operator=(const PGMDEV_HPS_MGR&) = delete;
  template <class T>
  friend T* pgmdev_singleton_get(T*& slot);
  template <class T>
  friend void pgmdev_singleton_delete(T*& slot);
};

// The SPI flash list: m_flash_list owns the user's records from the "HPS SPI" section, in
// file order, followed by copies of the built-in records; m_ini_flash_list holds the same
// pointers for the user's records only and owns nothing. Built once, at the first get_mgr().
class PGMDEV_API PGMDEV_HPS_SPI_MGR {
 public:
  static PGMDEV_HPS_SPI_MGR* get_mgr();
  static void delete_mgr();

  // Appends the records of the "HPS SPI" section to both lists (the constructor calls it; a
  // later call appends them again behind what the lists hold).
  void initialize_ini_file();

  static PGMDEV_HPS_SPI_MGR* m_mgr;
  std::vector<PGMDEV_HPS_SPI_STRUCTURE*> m_flash_list;
  std::vector<PGMDEV_HPS_SPI_STRUCTURE*> m_ini_flash_list;

 private:
  PGMDEV_HPS_SPI_MGR();
  ~PGMDEV_HPS_SPI_MGR();
  PGMDEV_HPS_SPI_MGR(const PGMDEV_HPS_SPI_MGR&) = delete;
  PGMDEV_HPS_SPI_MGR& operator=(const PGMDEV_HPS_SPI_MGR&) = delete;
  template <class T>
  friend T* pgmdev_singleton_get(T*& slot);
  template <class T>
  friend void pgmdev_singleton_delete(T*& slot);
};

// The NAND flash list, the same over the "HPS NAND" section and the built-in NAND records.
class PGMDEV_API PGMDEV_HPS_NAND_MGR {
 public:
  static PGMDEV_HPS_NAND_MGR* get_mgr();
  static void delete_mgr();

  void initialize_ini_file();

  static PGMDEV_HPS_NAND_MGR* m_mgr;
  std::vector<PGMDEV_HPS_NAND_STRUCTURE*> m_flash_list;
  std::vector<PGMDEV_HPS_NAND_STRUCTURE*> m_ini_flash_list;

 private:
  PGMDEV_HPS_NAND_MGR();
  ~PGMDEV_HPS_NAND_MGR();
  PGMDEV_HPS_NAND_MGR(const PGMDEV_HPS_NAND_MGR&) = delete;
  PGMDEV_HPS_NAND_MGR& operator=(const PGMDEV_HPS_NAND_MGR&) = delete;
  template <class T>
  friend T* pgmdev_singleton_get(T*& slot);
  template <class T>
  friend void pgmdev_singleton_delete(T*& slot);
};

#endif  // PGMDEV_HPS_MGR_H
