// The device-info database: the programming facts of every device family, configuration
// name, generic device and generic part, kept in the installed file
// programmer/pgm_dev_info.pcf under the device data directory. PGMDEV_DEV_INFO_MANAGER loads it,
// answers which record applies to a family, device or part, generates it from its CSV source
// and lists it for developers.
#ifndef PGMDEV_DEV_INFO_MANAGER_H
#define PGMDEV_DEV_INFO_MANAGER_H

#include <memory>
#include <string>
#include <vector>

#include "dev_catalogue.h"
#include "fio.h"
#include "pgmdev_csv.h"
#include "pgmdev_export.h"
#include "pgmdev_types.h"
#include "pgmhost_export.h"

// The 86 columns of a record, in file and CSV order: X(name, type, member type), where type is
// the PGMDEV_MANAGER_TYPE without its prefix. The record, the name and type lists, the record
// reader, the CSV writer, the listing and the record copy are all made from this one list.
#define PGMDEV_DEV_INFO_SCHEMA(X)                   \
  X(family, DEVID_ENUM, DEV_FAMILY_ENUM)            \
  X(pcf, DEVID_STR, std::string)                    \
  X(device, DEVID_ENUM, DEV_DEVICE_ENUM)            \
  X(part, DEVID_ENUM, DEV_PART_ENUM)                \
  X(skip_pof_bitstream_conversion, BOOL, bool)      \
  X(no_flash_option_for_unvm, BOOL, bool)           \
  X(ini_fbgen_flow, BOOL, bool)                     \
  X(support_legacy_f2p, BOOL, bool)                 \
  X(support_cpf, BOOL, bool)                        \
  X(support_ba_flow, BOOL, bool)                    \
  X(support_ob, BOOL, bool)                         \
  X(support_download_mode, BOOL, bool)              \
  X(support_sld, BOOL, bool)                        \
  X(support_asc, BOOL, bool)                        \
  X(support_asc_ini, STRING, std::string)           \
  X(support_remote_local_update, BOOL, bool)        \
  X(need_quorval_padding_mask, BOOL, bool)          \
  X(support_aes_wo_ini, BOOL, bool)                 \
  X(unsupported_by_dravel, BOOL, bool)              \
  X(unsupported_by_quorval, BOOL, bool)             \
  X(allow_partial_frame, BOOL, bool)                \
  X(jtag_program_initialize_in_rti, BOOL, bool)     \
  X(issue_apf_disengage, BOOL, bool)                \
  X(jtag_program_initialize_microsec, DWORD, DWORD) \
  X(jtag_configuration_prepad_bits, DWORD, DWORD)   \
  X(jtag_program_startup_tck, DWORD, DWORD)         \
  X(aes_n_fuse_bits, DWORD, DWORD)                  \
  X(aes_fuse_bit_location, DWORD, DWORD)            \
  X(aes_n_nv_key_bits, DWORD, DWORD)                \
  X(aes_n_v_key_bits, DWORD, DWORD)                 \
  X(aes_n_verify_bits, DWORD, DWORD)                \
  X(n_iv_bits, DWORD, DWORD)                        \
  X(ekp_alg_family, ENUM, DWORD)                    \
  X(ps_cmp_dclk_ratio, BYTE, BYTE)                  \
  X(fpp_cmp_dclk_ratio, BYTE, BYTE)                 \
  X(fppx16_cmp_dclk_ratio, BYTE, BYTE)              \
  X(fppx32_cmp_dclk_ratio, BYTE, BYTE)              \
  X(cmp_fbgen_start_block, ENUM, DWORD)             \
  X(cmp_fbgen_end_block, ENUM, DWORD)               \
  X(cmp_end_padding_alignement, DWORD, DWORD)       \
  X(cmp_end_pad_with_one, BOOL, bool)               \
  X(support_prpof, BOOL, bool)                      \
  X(need_factory_instr, BOOL, bool)                 \
  X(need_config_io_instr, BOOL, bool)               \
  X(n_tck_ticks_after_config_io, DWORD, DWORD)      \
  X(advanced_family, BOOL, bool)                    \
  X(as_cb_hold_time_issue, BOOL, bool)              \
  X(as_cb_4byte_addressing, BOOL, bool)             \
  X(as_read_in_two_steps, BOOL, bool)               \
  X(as_second_offset_addr, DWORD, DWORD)            \
  X(asx1_second_offset_extra_bytes, DWORD, DWORD)   \
  X(asx4_second_offset_extra_bytes, DWORD, DWORD)   \
  X(asc_dummy_cycle, BYTE, BYTE)                    \
  X(spi_dummy_clk_x1_128mb, BYTE, BYTE)             \
  X(spi_dummy_clk_x1_256mb, BYTE, BYTE)             \
  X(spi_dummy_clk_x4_128mb, BYTE, BYTE)             \
  X(spi_dummy_clk_x4_256mb, BYTE, BYTE)             \
  X(supported_max_cascaded_asc_count, DWORD, DWORD) \
  X(as_minimum_flash_density, DWORD, DWORD)         \
  X(skip_fbgen, BOOL, bool)                         \
  X(cfg_dev, STRING, std::string)                   \
  X(cvp_post_iocsr_padding_cbws, DWORD, DWORD)      \
  X(hps_post_iocsr_padding_cbws, DWORD, DWORD)      \
  X(cvp_pre_core_padding_cbws, DWORD, DWORD)        \
  X(cvp_pre_cmp_core_padding_cbws, DWORD, DWORD)    \
  X(cvp_pre_enc_core_padding_cbws, DWORD, DWORD)    \
  X(fbgen_cvp_core_start_block, ENUM, DWORD)        \
  X(fbgen_hps_core_start_block, ENUM, DWORD)        \
  X(support_ru_cvp, BOOL, bool)                     \
  X(support_ru_hps, BOOL, bool)                     \
  X(support_fi, BOOL, bool)                         \
  X(fi_program_twice, BOOL, bool)                   \
  X(use_sdm, BOOL, bool)                            \
  X(flash_width_bits, DWORD, DWORD)                 \
  X(default_prog_mode, ENUM, DWORD)                 \
  X(cmf_flash_block_size, DWORD, DWORD)             \
  X(asc_voltage, STRING, std::string)               \
  X(support_sdmmc, BOOL, bool)                      \
  X(support_vab, BOOL, bool)                        \
  X(support_sdos, BOOL, bool)                       \
  X(use_subidcode, BOOL, bool)                      \
  X(dummy_string, STRING, std::string)              \
  X(dummy_byte, BYTE, BYTE)                         \
  X(dummy_word, WORD, WORD)                         \
  X(dummy_dword, DWORD, DWORD)                      \
  X(dummy_bool, BOOL, bool)

// Records in a generated database, and columns of a record.
constexpr DWORD TOTAL_DATABASE_DEVICE = 78;
constexpr DWORD TOTAL_DEVICE_DATABASE_MEMBER = 86;

// One row of the database: one member per column, named as the column. A new record holds 0,
// false and "" everywhere.
struct PGMDEV_API PGMDEV_DEV_INFO_RECORD {
#define PGMDEV_DEV_INFO_MEMBER(name, type, member_type) member_type name{};
  PGMDEV_DEV_INFO_SCHEMA(PGMDEV_DEV_INFO_MEMBER)
#undef PGMDEV_DEV_INFO_MEMBER
};

// One line of the parts list: a part and a device that use the record of a configuration name.
struct PGMDEV_API PGMDEV_DEVICE_INFO_PCF_MAP {
  DEV_PART_ENUM part{};
  DEV_DEVICE_ENUM device{};
  std::string pcf;
};

// One row of an enumeration name table: a CSV name and its number.
struct PGMDEV_API PGMDEV_DEV_INFO_NAME {
  std::string name;
  DWORD id;
};

// Members used only inside the library (the record reader, the CSV writer, the copy and the
// listing line); callers use the lookups.
#if defined(_WIN32)
#define PGMDEV_DEV_INFO_INTERNAL
#else
#define PGMDEV_DEV_INFO_INTERNAL __attribute__((visibility("hidden")))
#endif

// Loads and answers the device-info database. Made and owned by its caller; each manager holds
// its own copy of the data. Every broken invariant (a damaged file, an out-of-range number) is
// an internal error; an ordinary miss is a null record or false.
//
// The readers and the writers of the file's fields take the length of the array they work on
// (data_size) and never read or write past it.
class PGMDEV_API PGMDEV_DEV_INFO_MANAGER {
 public:
  // Loads the installed database unless no_database is true (the generator's empty manager).
  // debug_mode 1 to 4 prints a listing after loading: records, families, devices or parts.
  PGMDEV_DEV_INFO_MANAGER(bool no_database, unsigned int debug_mode);
  ~PGMDEV_DEV_INFO_MANAGER();
  PGMDEV_DEV_INFO_MANAGER(const PGMDEV_DEV_INFO_MANAGER&) = delete;
  PGMDEV_DEV_INFO_MANAGER& operator=(const PGMDEV_DEV_INFO_MANAGER&) = delete;

  // ---- Loading.
  void initialize_device_database(FIO_PATH device_file);
  // Parses an inflated body of data_size bytes. With only_records it stops after "END2";
  // otherwise it reads the index tables and prints the debug listing.
  void parse_database(unsigned char* data, unsigned int data_size, bool only_records);
  PGMDEV_DEV_INFO_INTERNAL void get_database(unsigned char* data, unsigned int data_size,
                                             unsigned int& index, unsigned int record);
  void get_table(unsigned char* data, unsigned int data_size, unsigned int& index);
  void confirm_data_type_end(unsigned char* data, unsigned int data_size, unsigned int& index);
  void confirm_database_end(unsigned char* data, unsigned int data_size, unsigned int& index);

  // ---- Field readers.
  DWORD get_dword(unsigned char* data, unsigned int data_size, unsigned int& index);
  void get_string_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                       bool allow_empty, std::string* out);
  void get_bool_data(unsigned char* data, unsigned int data_size, unsigned int& index, bool* out);
  void get_byte_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                     unsigned char* out);
  void get_word_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                     unsigned short* out);
  void get_dword_data(unsigned char* data, unsigned int data_size, unsigned int& index,
                      unsigned int* out);

  // ---- Field writers: *data has room for data_size bytes.
  void dump_string_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                               bool allow_empty, std::string string, PGMDEV_MANAGER_TYPE type);
  void dump_bool_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                             std::string string);
  void dump_value_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                              std::string string, unsigned int count);
  // type_name "family", "device" or "part" selects that name table, "" the general enumeration
  // table; the name must be in it, exactly.
  void dump_enum_to_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                             std::string string, std::string type_name);
  void dump_dword_database(unsigned char** data, unsigned int data_size, unsigned int& index,
                           unsigned int value);
  DWORD get_dword_from_string(std::string string);

  // ---- Whole buffers. The returned arrays belong to the caller (delete[]).
  unsigned char* compress_data(unsigned char* data, unsigned long offset, unsigned long count,
                               unsigned long& new_count);
  unsigned char* decompress_data(unsigned char* data, unsigned long decompressed_count,
                                 unsigned long original_count);
  unsigned short calculate_crc16(const unsigned char* data, unsigned int bit_count);
  // Bytes of the three index tables: 4271 + 4 x DEV_PART_MAX.
  unsigned int get_table_size();

  // ---- Lookups. A returned record is a new copy that the caller deletes; null when the
  // number has no record. Each leaves the record number it settled on in m_index.
  PGMDEV_DEV_INFO_RECORD* get_db_by_family(DEV_FAMILY_ENUM family);
  PGMDEV_DEV_INFO_RECORD* get_db_by_device(DEV_DEVICE_ENUM device);
  PGMDEV_DEV_INFO_RECORD* get_db_by_part(DEV_PART_ENUM part);
  PGMDEV_DEV_INFO_INTERNAL PGMDEV_DEV_INFO_RECORD* copy_database();
  bool search_family(DEV_FAMILY_ENUM family, bool allow_invalid);
  bool search_device(DEV_DEVICE_ENUM device, bool allow_invalid);
  bool search_part(DEV_PART_ENUM part, bool allow_invalid);
  bool search_pcf_for_device(DEV_DEVICE_ENUM device);
  bool search_pcf_for_part(DEV_PART_ENUM part);

  // ---- Generation from CSV (on a manager built with no_database true).
  void generate_device_database(FIO_PATH csv_file, FIO_PATH device_file);
  // Checks the CSV's rows; returns the record section's length, device_count the data rows.
  unsigned int check_device_file(FIO_PATH csv_file, unsigned int& device_count);
  PGMDEV_DEV_INFO_INTERNAL void dump_to_database(unsigned char** data, unsigned int data_size,
                                                 unsigned int& index,
                                                 std::vector<std::string> fields);
  void parse_pgm_parts();
  void print_table(unsigned char** data, unsigned int data_size, unsigned int& index);

  // ---- CSV cells. Whether the generator takes `cell` in data column `column` (below 86) as it
  // stands: a name of the column's name table (family, device, part and enumeration columns), a
  // text of at most 255 bytes, TRUE, FALSE or an empty flag, a number that converts and fits the
  // column. Otherwise false, with the rule and message in problem (its line and column are the
  // caller's). The generator itself refuses every problem but a byte or word column's "width":
  // such a number keeps its low bytes there.
  static bool check_csv_cell(unsigned int column, const std::string& cell,
                             PGMDEV_CSV_PROBLEM& problem);

  // ---- Debug listing.
  PGMDEV_DEV_INFO_INTERNAL void print_database(unsigned int index, std::string name);
  std::string convert_id_enum_to_string(std::string type_name, unsigned int id);

  // The schema as lists indexed by column number.
  static const char* const m_db_name_list[TOTAL_DEVICE_DATABASE_MEMBER];
  static const PGMDEV_MANAGER_TYPE m_db_type_list[TOTAL_DEVICE_DATABASE_MEMBER];
  // The name tables of the enumeration columns, searched in row order.
  static const std::vector<PGMDEV_DEV_INFO_NAME> m_supported_family_list;
  static const std::vector<PGMDEV_DEV_INFO_NAME> m_supported_device_list;
  static const std::vector<PGMDEV_DEV_INFO_NAME> m_supported_part_list;
  static const std::vector<PGMDEV_DEV_INFO_NAME> m_supported_enum_list;

  DWORD m_version;
  DWORD m_device_count;
  DWORD m_type_count;
  DWORD m_index;
  DWORD m_csv_memory_size;
  std::unique_ptr<PGMDEV_DEV_INFO_RECORD[]> m_device_database;
  DWORD m_debug_mode;
  std::unique_ptr<DWORD[]> m_family_table;
  std::unique_ptr<DWORD[]> m_device_table;
  std::unique_ptr<DWORD[]> m_part_table;
  std::vector<std::unique_ptr<PGMDEV_DEVICE_INFO_PCF_MAP>> m_pcf_map_list;
};

#endif  // PGMDEV_DEV_INFO_MANAGER_H
