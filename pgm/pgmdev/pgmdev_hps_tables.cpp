// Constant tables of the HPS flash parameters: the register map, the SPI and NAND schemas and
// the built-in SPI and NAND devices. Each table is written once, here.
#include <cstddef>

#include "mem.h"
#include "pgmdev_check.h"
#include "pgmdev_hps_mgr.h"

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

// ---- Register map ----

// A run of words of a register-map record: count words from first on, the first holding start
// and each next one step more. Words that no run covers hold 0xFFFFFFFF (not used by that HPS).
// docs/hps_tables.md describes the layout.
struct HpsWordRun {
  unsigned int first;
  unsigned int count;
  unsigned int start;
  unsigned int step;
};

constexpr unsigned int kHpsNotUsed = 0xFFFFFFFFu;

constexpr HpsWordRun kHpsRecord0Runs[] = {
    {0, 1, 0x4BA00477, 0},   // identification code (key)
    {1, 1, 335, 0},          // words in the record
    {2, 1, 0, 0},            // register-map generation
    {3, 1, 4, 0},            // SPI chip selects
    {4, 1, 1, 0},            // NAND chip selects
    {5, 23, 0x000, 4},       // flash controller register offsets, first generation
    {28, 1, 0xFF705000, 0},  // SPI flash controller registers
    {29, 1, 0xFF706000, 0},  // NAND flash controller registers
    {30, 1, 0xFF800000, 0},  // SPI flash data window
    {31, 1, 0xFF900000, 0},  // NAND flash data window
    {32, 26, 0, 1},          // field bit positions, first generation
    {58, 164, 0x100, 4},     // register offsets of both generations
};

constexpr HpsWordRun kHpsRecord1Runs[] = {
    {0, 1, 0x4BA00478, 0},   // identification code (key)
    {1, 1, 335, 0},          // words in the record
    {2, 1, 1, 0},            // register-map generation
    {3, 1, 4, 0},            // SPI chip selects
    {4, 1, 1, 0},            // NAND chip selects
    {5, 3, 0x000, 4},        // flash controller register offsets shared with generation 0
    {28, 1, 0xFF809000, 0},  // SPI flash controller registers
    {29, 1, 0xFFD03000, 0},  // NAND flash controller registers
    {31, 1, 0xFFB90000, 0},  // NAND flash data window (no separate SPI data window)
    {58, 164, 0x200, 4},     // register offsets of both generations
    {222, 113, 0x400, 4},    // register offsets, second generation only
};

template <size_t N>
constexpr PGMDEV_HPS_RECORD build_hps_record(const HpsWordRun (&runs)[N]) {
  PGMDEV_HPS_RECORD record{};
  for (unsigned int& word : record) word = kHpsNotUsed;
  for (const HpsWordRun& run : runs) {
    for (unsigned int i = 0; i < run.count; ++i) record[run.first + i] = run.start + i * run.step;
  }
  return record;
}

// ---- Schema rule lists ----

constexpr unsigned int kSiidInvalid[] = {6,    0xFF, 0,      0xFF00, 0,        0xFF0000, 0,
                                         0xFF, 0xFF, 0xFF00, 0xFF00, 0xFF0000, 0xFF0000};
constexpr unsigned int kMaskValid[] = {2, 0xFFFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
constexpr unsigned int kExtMaskValid[] = {2, 0, 0, 0xFF, 0xFF};
constexpr unsigned int kFlashBitSizeValid[] = {1, 1, 2048};
constexpr unsigned int kSectorByteSizeValid[] = {1, 1, 1024};
constexpr unsigned int kBulkEraseTimeValid[] = {1, 1, 900};
constexpr unsigned int kBulkEraseIntervalValid[] = {1, 2, 10};
constexpr unsigned int kSectorEraseTimeValid[] = {1, 1, 60};
constexpr unsigned int kPageProgramTimeValid[] = {1, 1000, 1000000};
constexpr unsigned int kProgramTimeValid[] = {1, 1, 5};
constexpr unsigned int kDieSizeValid[] = {3, 1, 1, 2, 2, 4, 4};
constexpr unsigned int kOpcodeValid[] = {1, 1, 0xFE};

constexpr unsigned int kNandIdInvalid[] = {2, 0xFFFFFFFF, 0, 0xFF, 0xFF};
constexpr unsigned int kNandByteSizeValid[] = {1, 1, 65536};

}  // namespace

const std::array<PGMDEV_HPS_RECORD, PGMDEV_HPS_RECORD_COUNT> PGMDEV_HPS_DATABASE = {
    build_hps_record(kHpsRecord0Runs), build_hps_record(kHpsRecord1Runs)};
const char PGMDEV_HPS_MD5[33] = "0ae4a9a5aba12ef2b93ad36c7e92330b";

// ---- SPI schema ----

#define PGMDEV_HPS_FIELD_NAME(storage, field, type) #field,
#define PGMDEV_HPS_FIELD_TYPE(storage, field, type) type,

const char* const PGMDEV_HPS_SPI_PARAM_NAME_LIST[PGMDEV_HPS_SPI_PARAM_COUNT] = {
    PGMDEV_HPS_SPI_FIELDS(PGMDEV_HPS_FIELD_NAME)};
const PGMDEV_PARAM_TYPE PGMDEV_HPS_SPI_PARAM_TYPE_LIST[PGMDEV_HPS_SPI_PARAM_COUNT] = {
    PGMDEV_HPS_SPI_FIELDS(PGMDEV_HPS_FIELD_TYPE)};
const char* const PGMDEV_HPS_NAND_PARAM_NAME_LIST[PGMDEV_HPS_NAND_PARAM_COUNT] = {
    PGMDEV_HPS_NAND_FIELDS(PGMDEV_HPS_FIELD_NAME)};
const PGMDEV_PARAM_TYPE PGMDEV_HPS_NAND_PARAM_TYPE_LIST[PGMDEV_HPS_NAND_PARAM_COUNT] = {
    PGMDEV_HPS_NAND_FIELDS(PGMDEV_HPS_FIELD_TYPE)};

#undef PGMDEV_HPS_FIELD_NAME
#undef PGMDEV_HPS_FIELD_TYPE

const char* const PGMDEV_HPS_SPI_PROMPT_LIST[PGMDEV_HPS_SPI_PARAM_COUNT] = {
    "Silicon ID (hex) [Cannot be all 0's or all 1's]",
    "Silicon ID Mask (hex) [FFFFFF/FFFFFFFF]",
    "Extensive Silicon ID (hex)",
    "Extensive Silicon Mask (hex) [0/FF]",
    "Manufacturer",
    "Device name",
    "Memory Density [1 - 2048 Mbit]",
    "Sector Size [1 - 1024 Kbyte]",
    "Page BYTE size",
    "Bulk Erase time [1 - 900 seconds]",
    "Bulk erase time interval time [2 - 10 seconds]",
    "Sector Erase Time [1 - 60 seconds]",
    "Page Program Time [1000 - 1000000 microseconds]",
    "Program time polling time [1 - 5 seconds]",
    "Die size [1/2/4]",
    "Speed Mode [Y/N]",
    "Byte4 SE Opcode (hex) [1 - FE]",
    "Byte4 PP Opcode (hex) [1 - FE]",
    "Byte4 Read Opcode (hex) [1 - FE]",
};

const unsigned int* const PGMDEV_HPS_SPI_VALID_RANGE_RULES[PGMDEV_HPS_SPI_PARAM_COUNT] = {
    nullptr,                  // siid
    kMaskValid,               // mask
    nullptr,                  // ext_siid
    kExtMaskValid,            // ext_mask
    nullptr,                  // manufacturer
    nullptr,                  // name
    kFlashBitSizeValid,       // flash_bit_size
    kSectorByteSizeValid,     // sector_byte_size
    nullptr,                  // page_byte_size
    kBulkEraseTimeValid,      // bulk_erase_time
    kBulkEraseIntervalValid,  // bulk_erase_interval_wait_time
    kSectorEraseTimeValid,    // sector_erase_time
    kPageProgramTimeValid,    // page_program_time
    kProgramTimeValid,        // program_time
    kDieSizeValid,            // die_size
    nullptr,                  // speed_mode
    kOpcodeValid,             // byte4_se_opcode
    kOpcodeValid,             // byte4_pp_opcode
    kOpcodeValid,             // byte4_read_opcode
};

const unsigned int* const PGMDEV_HPS_SPI_INVALID_RULES[PGMDEV_HPS_SPI_PARAM_COUNT] = {
    kSiidInvalid, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr,      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

const PGMDEV_HPS_SPI_STRUCTURE PGMDEV_HPS_SPI_DEFAULT_VALUE_RULES;

// ---- NAND schema ----

const char* const PGMDEV_HPS_NAND_PROMPT_LIST[PGMDEV_HPS_NAND_PARAM_COUNT] = {
    "Manufacturer ID (hex) [Cannot be all 0's or all 1's]",
    "Device ID (hex) [Cannot be all 0's or all 1's]",
    "Memory Density [1 - 64k MByte]",
};
const unsigned int* const PGMDEV_HPS_NAND_VALID_RANGE_RULES[PGMDEV_HPS_NAND_PARAM_COUNT] = {
    nullptr, nullptr, kNandByteSizeValid};
const unsigned int* const PGMDEV_HPS_NAND_INVALID_RULES[PGMDEV_HPS_NAND_PARAM_COUNT] = {
    kNandIdInvalid, kNandIdInvalid, nullptr};
const PGMDEV_HPS_NAND_STRUCTURE PGMDEV_HPS_NAND_DEFAULT_VALUE_RULES;

// ---- Built-in devices ----

// clang-format off
const PGMDEV_HPS_SPI_STRUCTURE PGMDEV_HPS_SPI_DATABASE[PGMDEV_HPS_SPI_DATABASE_COUNT] = {
    // siid, mask, ext_siid, ext_mask, manufacturer, name, flash_bit_size, sector_byte_size,
    // page_byte_size, bulk_erase_time, bulk_erase_interval_wait_time, sector_erase_time,
    // page_program_time, program_time, die_size, speed_mode, byte4 SE / PP / read opcodes
    {0x17BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_64", 0x4000000, 0x10000, 256, 120, 2, 3, 1000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x18BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_128", 0x8000000, 0x10000, 256, 250, 2, 3, 1000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x19BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_256", 0x10000000, 0x10000, 256, 480, 3, 3, 1000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x20BA20, 0xFFFFFF, 0x44, 0xFF, "MICRON", "QSPI_512", 0x20000000, 0x10000, 256, 460, 3, 1, 1000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x20BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_512", 0x20000000, 0x10000, 256, 480, 3, 3, 1000, 1, 2, false, 0xD8, 0x2, 0x3},
    {0x21BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_1024", 0x40000000, 0x10000, 256, 480, 3, 3, 1000, 1, 4, false, 0xD8, 0x2, 0x3},
    {0x22BA20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_2048", 0x80000000, 0x10000, 256, 460, 3, 1, 1000, 1, 4, true, 0xD8, 0x2, 0x3},
    {0x18BB20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_128", 0x8000000, 0x10000, 256, 250, 2, 3, 1000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x19BB20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_256", 0x10000000, 0x10000, 256, 480, 3, 3, 1000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x20BB20, 0xFFFFFF, 0x44, 0xFF, "MICRON", "QSPI_512", 0x20000000, 0x10000, 256, 460, 3, 1, 1000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x20BB20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_512", 0x20000000, 0x10000, 256, 480, 3, 3, 1000, 1, 2, false, 0xD8, 0x2, 0x3},
    {0x21BB20, 0xFFFFFF, 0x44, 0xFF, "MICRON", "QSPI_1024", 0x40000000, 0x10000, 256, 460, 3, 1, 1000, 1, 2, true, 0xD8, 0x2, 0x3},
    {0x21BB20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_1024", 0x40000000, 0x10000, 256, 480, 3, 3, 1000, 1, 4, false, 0xD8, 0x2, 0x3},
    {0x22BB20, 0xFFFFFF, 0x0, 0x0, "MICRON", "QSPI_2048", 0x80000000, 0x10000, 256, 460, 3, 1, 1000, 1, 4, true, 0xD8, 0x2, 0x3},
    {0x132020, 0xFFFFFF, 0x0, 0x0, "MICRON", "SPI_4", 0x400000, 0x10000, 256, 10, 2, 3, 3000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x152020, 0xFFFFFF, 0x0, 0x0, "MICRON", "SPI_16", 0x1000000, 0x10000, 256, 40, 2, 3, 3000, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x182001, 0xFFFFFF, 0x1, 0xFF, "SPANSION", "QSPI_128", 0x8000000, 0x10000, 256, 256, 2, 11, 2200, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x182001, 0xFFFFFF, 0x0, 0xFF, "SPANSION", "QSPI_128", 0x8000000, 0x40000, 256, 256, 2, 11, 2200, 1, 1, true, 0xD8, 0x2, 0x3},
    {0x190201, 0xFFFFFF, 0x1, 0xFF, "SPANSION", "QSPI_256", 0x10000000, 0x10000, 256, 330, 3, 11, 2200, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x190201, 0xFFFFFF, 0x0, 0xFF, "SPANSION", "QSPI_256", 0x10000000, 0x40000, 256, 330, 3, 11, 2200, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x200201, 0xFFFFFF, 0x0, 0xFF, "SPANSION", "QSPI_512", 0x20000000, 0x40000, 512, 460, 3, 3, 2200, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x1820C2, 0xFFFFFF, 0x0, 0x0, "MACRONIX", "QSPI_128", 0x8000000, 0x10000, 256, 80, 3, 1, 1500, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x1920C2, 0xFFFFFF, 0x0, 0x0, "MACRONIX", "QSPI_256", 0x10000000, 0x10000, 256, 300, 3, 2, 3000, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x1A20C2, 0xFFFFFF, 0x0, 0x0, "MACRONIX", "QSPI_512", 0x20000000, 0x10000, 256, 300, 3, 3, 1500, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x3A25C2, 0xFFFFFF, 0x0, 0x0, "MACRONIX", "QSPI_512", 0x20000000, 0x10000, 256, 320, 3, 3, 3000, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x1B20C2, 0xFFFFFF, 0x0, 0x0, "MACRONIX", "QSPI_1024", 0x40000000, 0x10000, 256, 600, 3, 2, 1000, 1, 1, true, 0xDC, 0x12, 0x13},
    {0x1840C8, 0xFFFFFF, 0x0, 0x0, "GIGADEVICE", "QSPI_128", 0x8000000, 0x10000, 256, 300, 3, 3, 3000, 1, 1, true, 0xDC, 0x12, 0x13},
};

const PGMDEV_HPS_NAND_STRUCTURE PGMDEV_HPS_NAND_DATABASE[PGMDEV_HPS_NAND_DATABASE_COUNT] = {
    {0x2C, 0x68, 0x100000000}, {0x2C, 0x48, 0x80000000}, {0x2C, 0xA1, 0x40000000},
    {0x2C, 0xF1, 0x40000000},  {0x01, 0xF1, 0x8000000},  {0x01, 0xDA, 0x10000000},
    {0x01, 0xDC, 0x20000000},  {0x01, 0xC1, 0x8000000},  {0x01, 0xCA, 0x10000000},
    {0x01, 0xCC, 0x20000000},
};
// clang-format on

const char PGMDEV_HPS_SPI_MD5[PGMDEV_HPS_SECTION_SIGNATURE_BYTES + 1] =
    "9095cbfc6f5b69d3eb5d625df882a316";
const char PGMDEV_HPS_NAND_MD5[PGMDEV_HPS_SECTION_SIGNATURE_BYTES + 1] =
    "79b884d001a0760b19c475920183ef66";
