// HPS register-map selection and the HPS SPI and NAND flash lists, read from the "HPS SPI" and
// "HPS NAND" sections of pgm_flash.ini and completed with the built-in records.
#include "pgmdev_hps_mgr.h"

#include <cstring>
#include <memory>
#include <utility>

#include "mem.h"
#include "pgmdev_check.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_singleton.h"

PGMDEV_HPS_MGR* PGMDEV_HPS_MGR::m_mgr = nullptr;
PGMDEV_HPS_SPI_MGR* PGMDEV_HPS_SPI_MGR::m_mgr = nullptr;
PGMDEV_HPS_NAND_MGR* PGMDEV_HPS_NAND_MGR::m_mgr = nullptr;

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

constexpr unsigned int kNoHps = 0xFFFFFFFFu;

// Points a record's pointer array at its own fields, in field order.
#define PGMDEV_HPS_POINT_AT_FIELD(storage, field, type) \
  record.m_param_pointers[i++] = &record.field;
#define PGMDEV_HPS_COPY_FIELD(storage, field, type) to.field = from.field;

void point_at_fields(PGMDEV_HPS_SPI_STRUCTURE& record) {
  unsigned int i = 0;
  PGMDEV_HPS_SPI_FIELDS(PGMDEV_HPS_POINT_AT_FIELD)
}

void point_at_fields(PGMDEV_HPS_NAND_STRUCTURE& record) {
  unsigned int i = 0;
  PGMDEV_HPS_NAND_FIELDS(PGMDEV_HPS_POINT_AT_FIELD)
}

void copy_fields(PGMDEV_HPS_SPI_STRUCTURE& to, const PGMDEV_HPS_SPI_STRUCTURE& from) {
  PGMDEV_HPS_SPI_FIELDS(PGMDEV_HPS_COPY_FIELD)
}

void copy_fields(PGMDEV_HPS_NAND_STRUCTURE& to, const PGMDEV_HPS_NAND_STRUCTURE& from) {
  PGMDEV_HPS_NAND_FIELDS(PGMDEV_HPS_COPY_FIELD)
}

#undef PGMDEV_HPS_POINT_AT_FIELD
#undef PGMDEV_HPS_COPY_FIELD

// What the reading of a section needs to know about one kind of flash record.
template <class Record>
struct FlashKind;

template <>
struct FlashKind<PGMDEV_HPS_SPI_STRUCTURE> {
  static constexpr PGMDEV_FLASH_INI_ENUM kSection = PGMDEV_FLASH_INI_HPS_SPI;
  static constexpr unsigned int kFieldCount = PGMDEV_HPS_SPI_PARAM_COUNT;
  static const char* signature() { return PGMDEV_HPS_SPI_MD5; }
  static const PGMDEV_PARAM_TYPE* types() { return PGMDEV_HPS_SPI_PARAM_TYPE_LIST; }
};

template <>
struct FlashKind<PGMDEV_HPS_NAND_STRUCTURE> {
  static constexpr PGMDEV_FLASH_INI_ENUM kSection = PGMDEV_FLASH_INI_HPS_NAND;
  static constexpr unsigned int kFieldCount = PGMDEV_HPS_NAND_PARAM_COUNT;
  static const char* signature() { return PGMDEV_HPS_NAND_MD5; }
  static const PGMDEV_PARAM_TYPE* types() { return PGMDEV_HPS_NAND_PARAM_TYPE_LIST; }
};

// Appends the records of the kind's section to both lists: the section must be longer than its
// signature and open with it; records are decoded one after the other and a broken record ends
// the reading. Records are taken as they decode, without the schema's rule checks.
template <class Record>
void append_ini_records(std::vector<Record*>& flash_list, std::vector<Record*>& ini_flash_list) {
  using Kind = FlashKind<Record>;
  unsigned int size = 0;
  unsigned char* data = PGMDEV_FLASH_INI::read_flash_ini_data(Kind::kSection, size);
  if (data == nullptr) return;
  if (size > PGMDEV_HPS_SECTION_SIGNATURE_BYTES &&
      std::memcmp(data, Kind::signature(), PGMDEV_HPS_SECTION_SIGNATURE_BYTES) == 0) {
    unsigned int index = PGMDEV_HPS_SECTION_SIGNATURE_BYTES;
    bool ok = true;
    while (index < size && ok) {
      // Decoded straight into a new record (its pointer array points at its own fields); a record
      // that does not decode whole is dropped.
      std::unique_ptr<Record> record(new Record());
      ok = PGMDEV_FLASH_INI::assign_flash_ini_data(data, index, size, Kind::kFieldCount,
                                                   Kind::types(), record->m_param_pointers);
      if (ok) {
        flash_list.push_back(record.get());
        ini_flash_list.push_back(record.release());
      }
    }
  }
  delete[] data;
}

template <class Record, size_t N>
void append_built_in_records(std::vector<Record*>& flash_list, const Record (&table)[N]) {
  for (const Record& built_in : table) flash_list.push_back(new Record(built_in));
}

// Frees every record of the owning list, last first.
template <class Record>
void free_records(std::vector<Record*>& flash_list) {
  while (!flash_list.empty()) {
    delete flash_list.back();
    flash_list.pop_back();
  }
}

}  // namespace

// ---- Records ----

PGMDEV_HPS_SPI_STRUCTURE::PGMDEV_HPS_SPI_STRUCTURE()
    : PGMDEV_HPS_SPI_STRUCTURE(0, 0, 0, 0, "", "", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, 0, 0, 0) {}

PGMDEV_HPS_SPI_STRUCTURE::PGMDEV_HPS_SPI_STRUCTURE(
    unsigned int siid, unsigned int mask, unsigned int ext_siid, unsigned int ext_mask,
    std::string manufacturer, std::string name, unsigned long long flash_bit_size,
    unsigned int sector_byte_size, unsigned int page_byte_size, unsigned int bulk_erase_time,
    unsigned int bulk_erase_interval_wait_time, unsigned int sector_erase_time,
    unsigned int page_program_time, unsigned int program_time, unsigned int die_size,
    bool speed_mode, unsigned int byte4_se_opcode, unsigned int byte4_pp_opcode,
    unsigned int byte4_read_opcode)
    : siid(siid),
      mask(mask),
      ext_siid(ext_siid),
      ext_mask(ext_mask),
      manufacturer(std::move(manufacturer)),
      name(std::move(name)),
      flash_bit_size(flash_bit_size),
      sector_byte_size(sector_byte_size),
      page_byte_size(page_byte_size),
      bulk_erase_time(bulk_erase_time),
      bulk_erase_interval_wait_time(bulk_erase_interval_wait_time),
      sector_erase_time(sector_erase_time),
      page_program_time(page_program_time),
      program_time(program_time),
      die_size(die_size),
      speed_mode(speed_mode),
      byte4_se_opcode(byte4_se_opcode),
      byte4_pp_opcode(byte4_pp_opcode),
      byte4_read_opcode(byte4_read_opcode) {
  point_at_fields(*this);
}

PGMDEV_HPS_SPI_STRUCTURE::PGMDEV_HPS_SPI_STRUCTURE(const PGMDEV_HPS_SPI_STRUCTURE& other) {
  copy_fields(*this, other);
  point_at_fields(*this);
}

PGMDEV_HPS_SPI_STRUCTURE& PGMDEV_HPS_SPI_STRUCTURE::operator=(
    const PGMDEV_HPS_SPI_STRUCTURE& other) {
  copy_fields(*this, other);  // the pointer array keeps pointing at this object's fields
  return *this;
}

PGMDEV_HPS_SPI_STRUCTURE::~PGMDEV_HPS_SPI_STRUCTURE() = default;

PGMDEV_HPS_NAND_STRUCTURE::PGMDEV_HPS_NAND_STRUCTURE() : PGMDEV_HPS_NAND_STRUCTURE(0, 0, 0) {}

PGMDEV_HPS_NAND_STRUCTURE::PGMDEV_HPS_NAND_STRUCTURE(unsigned int manufacturer_id,
                                                     unsigned int device_id,
                                                     unsigned long long flash_byte_size)
    : manufacturer_id(manufacturer_id), device_id(device_id), flash_byte_size(flash_byte_size) {
  point_at_fields(*this);
}

PGMDEV_HPS_NAND_STRUCTURE::PGMDEV_HPS_NAND_STRUCTURE(const PGMDEV_HPS_NAND_STRUCTURE& other) {
  copy_fields(*this, other);
  point_at_fields(*this);
}

PGMDEV_HPS_NAND_STRUCTURE& PGMDEV_HPS_NAND_STRUCTURE::operator=(
    const PGMDEV_HPS_NAND_STRUCTURE& other) {
  copy_fields(*this, other);
  return *this;
}

PGMDEV_HPS_NAND_STRUCTURE::~PGMDEV_HPS_NAND_STRUCTURE() = default;

// ---- Register-map selection ----

PGMDEV_HPS_MGR::PGMDEV_HPS_MGR() : m_current_hps(kNoHps) {}

PGMDEV_HPS_MGR* PGMDEV_HPS_MGR::get_mgr() { return pgmdev_singleton_get(m_mgr); }

void PGMDEV_HPS_MGR::delete_mgr() { pgmdev_singleton_delete(m_mgr); }

bool PGMDEV_HPS_MGR::set_current_hps(unsigned int hps_id) {
  m_current_hps = kNoHps;
  for (unsigned int i = 0; i < PGMDEV_HPS_RECORD_COUNT; ++i) {
    if (hps_id == PGMDEV_HPS_DATABASE[i][0]) {
      m_current_hps = i;
      return true;
    }
  }
  return false;
}

const unsigned int* PGMDEV_HPS_MGR::get_current_hps() const {
  if (m_current_hps >= PGMDEV_HPS_RECORD_COUNT) return nullptr;
  return PGMDEV_HPS_DATABASE[m_current_hps].data();
}

// ---- Flash lists ----

PGMDEV_HPS_SPI_MGR::PGMDEV_HPS_SPI_MGR() {
  initialize_ini_file();
  append_built_in_records(m_flash_list, PGMDEV_HPS_SPI_DATABASE);
}

PGMDEV_HPS_SPI_MGR::~PGMDEV_HPS_SPI_MGR() { free_records(m_flash_list); }

PGMDEV_HPS_SPI_MGR* PGMDEV_HPS_SPI_MGR::get_mgr() { return pgmdev_singleton_get(m_mgr); }

void PGMDEV_HPS_SPI_MGR::delete_mgr() { pgmdev_singleton_delete(m_mgr); }

void PGMDEV_HPS_SPI_MGR::initialize_ini_file() {
  append_ini_records(m_flash_list, m_ini_flash_list);
}

PGMDEV_HPS_NAND_MGR::PGMDEV_HPS_NAND_MGR() {
  initialize_ini_file();
  append_built_in_records(m_flash_list, PGMDEV_HPS_NAND_DATABASE);
}

PGMDEV_HPS_NAND_MGR::~PGMDEV_HPS_NAND_MGR() { free_records(m_flash_list); }

PGMDEV_HPS_NAND_MGR* PGMDEV_HPS_NAND_MGR::get_mgr() { return pgmdev_singleton_get(m_mgr); }

void PGMDEV_HPS_NAND_MGR::delete_mgr() { pgmdev_singleton_delete(m_mgr); }

void PGMDEV_HPS_NAND_MGR::initialize_ini_file() {
  append_ini_records(m_flash_list, m_ini_flash_list);
}
