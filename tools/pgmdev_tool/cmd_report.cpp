// pgmdev-tool report --html DIR: the supported-devices page. Writes DIR/index.html, one
// self-contained page of the families, parts, flash memories and HPS SPI flash records that the
// installed data knows, every cell an answer of the library's own lookups, so that the page
// cannot disagree with what the programmer does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dev_catalogue.h"
#include "fio.h"
#include "gen.h"
#include "pgmdev.h"
#include "report_page.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_output.h"
#include "tool_records.h"
#include "ver.h"

namespace {

using pgmdev_tool::Json;
using pgmdev_tool::ReportColumn;
using pgmdev_tool::ReportTable;
typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr unsigned int kNoOpnEnum = 0xFFFFFFFF;
constexpr unsigned long long kNoOpnHash = 0xFFFFFFFFFFFFFFFFull;
constexpr unsigned long long kOpnHashDigits = 12;  // 48 bits
// memory_type_index of a flash record that does not compare the memory-type byte.
constexpr unsigned char kByteNotCompared = 0xFF;
// Identification bytes that an HPS SPI record's siid holds, manufacturer code lowest.
constexpr unsigned int kSiidBytes = 4;

std::string g_html_dir;

std::string hex_byte(unsigned int byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte & 0xFFu);
  return text;
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

// Every orderable part of the catalogue, in part-number order (the generic part stands for
// none).
std::vector<DEV_PART_ENUM> catalogue_parts() {
  std::vector<DEV_PART_ENUM> parts;
  for (int number = DEV_PART_INVALID + 1; number < DEV_PART_MAX; ++number) {
    if (number != DEV_PART_GENERIC) parts.push_back(static_cast<DEV_PART_ENUM>(number));
  }
  return parts;
}

// ---- Grades and ordering status, as filter_part_list reports them.

// Sets labels[part] = label for every part that filter_part_list lists for the speed grade,
// temperature grade and status filters. The lists of the four production / commercial flag
// combinations, with obsolete parts let in, together hold every part.
void label_listed(const std::string& speed, const std::string& temperature,
                  const std::string& status, const std::string& label,
                  std::vector<std::string>& labels) {
  const DEV_PART_MANAGER catalogue;
  for (const bool production : {true, false}) {
    for (const bool commercial : {true, false}) {
      std::vector<DEV_PART_ENUM> parts;
      if (!catalogue.filter_part_list(&parts, "ANY", "ANY", "ANY", speed, temperature, production,
                                      commercial, true, status)) {
        continue;
      }
      for (const DEV_PART_ENUM part : parts) labels[static_cast<std::size_t>(part)] = label;
    }
  }
}

struct PartGrades {
  std::vector<std::string> temperature;  // C, I, A, M
  std::vector<std::string> speed;        // one digit
  std::vector<std::string> status;       // production, sample, obsolete
};

PartGrades part_grades() {
  const std::size_t size = static_cast<std::size_t>(DEV_PART_MAX);
  PartGrades grades{std::vector<std::string>(size), std::vector<std::string>(size),
                    std::vector<std::string>(size)};
  for (const char* temperature : {"C", "I", "A", "M"}) {
    label_listed("ANY", temperature, "any", temperature, grades.temperature);
  }
  for (char digit = '0'; digit <= '9'; ++digit) {
    const std::string speed(1, digit);
    label_listed(speed, "ANY", "any", speed, grades.speed);
  }
  for (const char* status : {"production", "sample", "obsolete"}) {
    label_listed("ANY", "ANY", status, status, grades.status);
  }
  return grades;
}

// ---- Families.

// The device-info record that a lookup handed out, as "TERNFIELD (record 12)": what the record
// stands for (a family identifier, a configuration name, the generic device or part) and its
// number. "" when there is none.
std::string record_text(const PGMDEV_DEV_INFO_RECORD* record, DWORD index) {
  if (record == nullptr) return "";
  const Json columns = pgmdev_tool::dev_info_record_json(*record);
  std::string label = columns["family"].get<std::string>();
  if (label.empty() && !record->pcf.empty()) label = "pcf " + record->pcf;
  if (label.empty() && !columns["device"].get<std::string>().empty()) label = "GENERIC device";
  if (label.empty() && !columns["part"].get<std::string>().empty()) label = "GENERIC part";
  return label + " (record " + std::to_string(index) + ")";
}

ReportTable families_table(PGMDEV_DEV_INFO_MANAGER& dev_info) {
  const DEV_PART_MANAGER catalogue;
  std::vector<unsigned long long> devices(DEV_FAMILY_MAX);
  std::vector<unsigned long long> parts(DEV_FAMILY_MAX);
  for (int device = DEV_DEVICE_INVALID + 1; device < DEV_DEVICE_MAX; ++device) {
    ++devices[catalogue.get_family_of(static_cast<DEV_DEVICE_ENUM>(device))];
  }
  for (const DEV_PART_ENUM part : catalogue_parts()) {
    ++parts[catalogue.get_family_of(catalogue.get_device_of(part))];
  }
  ReportTable table{
      .name = "families",
      .title = "Families",
      .singular = "family",
      .note =
          "Each device family of the catalogue: the pcf names under which the name database "
          "groups its devices, how many devices and orderable parts it has, and the device-info "
          "record that serves it (a family without a record of its own is served by GENERIC).",
      .columns =
          {
              {"Family", "The family's name in the device catalogue"},
              {"Identifier", "The family's identifier in the device-info CSV and the name database",
               false, true},
              {"pcf names", "The pcf names of the family in the name database", false, true, true},
              {"Devices", "Devices (dies) of the family in the catalogue", true},
              {"Parts", "Orderable parts of the family in the catalogue", true},
              {"Device-info record", "The record that the device-info database gives the family"},
          },
      .rows = {},
  };
  for (int number = DEV_FAMILY_INVALID + 1; number < DEV_FAMILY_GENERIC; ++number) {
    const DEV_FAMILY_ENUM family = static_cast<DEV_FAMILY_ENUM>(number);
    const std::string identifier = dstr_get_family_identifier(family);
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record(dev_info.get_db_by_family(family));
    table.rows.push_back({dstr_get_user_string(family), identifier,
                          joined(GRAMMAR::get_family_pcfs(identifier), ", "),
                          std::to_string(devices[number]), std::to_string(parts[number]),
                          record_text(record.get(), dev_info.m_index)});
  }
  return table;
}

// ---- Parts.

ReportTable parts_table() {
  const DEV_PART_MANAGER catalogue;
  const PartGrades grades = part_grades();
  ReportTable table{
      .name = "parts",
      .title = "Parts",
      .singular = "part",
      .note =
          "Every orderable part of the device catalogue with the names the programmer derives "
          "from it. Grade: temperature grade (C commercial, I industrial, A automotive, M "
          "military) and speed grade. OPN: the part's ordinal in the ordering-part table and its "
          "48-bit OPN hash.",
      .columns =
          {
              {"Part", "Full part name, as ordered", false, true},
              {"Package", "Package name: the part name without its grade suffix", false, true},
              {"pgm name", "The name under which the programmer handles the device", false, true},
              {"pcf", "The pcf name of the pgm name", false, true},
              {"Family", "The family of the part's device"},
              {"OPN", "Ordinal of the part in the ordering-part table", true},
              {"OPN hash", "48-bit OPN hash of the part name, in hexadecimal", false, true},
              {"Grade", "Temperature grade letter and speed grade digit"},
              {"Status", "Ordering status: production, sample (engineering sample) or obsolete"},
          },
      .rows = {},
  };
  for (const DEV_PART_ENUM part : catalogue_parts()) {
    const std::string name = dstr_get_user_string(part);
    const std::string pgm = GRAMMAR::get_pgm_name(name, false, true);
    const unsigned int ordinal = PGMDEV_MGR::get_opn_enum(name);
    const unsigned long long hash = PGMDEV_MGR::get_opn_hash(name);
    char hash_text[24] = "";
    if (hash != kNoOpnHash) {
      std::snprintf(hash_text, sizeof hash_text, "0x%0*llX", static_cast<int>(kOpnHashDigits),
                    hash);
    }
    const std::size_t slot = static_cast<std::size_t>(part);
    table.rows.push_back(
        {name, GRAMMAR::get_package_name(name, true), pgm,
         pgm.empty() ? "" : GRAMMAR::get_pgm_part_pcf(pgm),
         dstr_get_user_string(catalogue.get_family_of(catalogue.get_device_of(part))),
         ordinal == kNoOpnEnum ? "" : std::to_string(ordinal), hash_text,
         grades.temperature[slot] + grades.speed[slot], grades.status[slot]});
  }
  return table;
}

// ---- Flash memories and HPS SPI records.

// The identification bytes that a device-id record compares, by position; a position that it
// does not compare is absent (-1). Empty for a silicon-id record.
std::vector<int> compared_id_bytes(const PGMDEV_SFL_FLASH_INFO& record) {
  std::vector<int> bytes;
  if (record.silicon_id) return bytes;
  const auto put = [&bytes](unsigned int position, unsigned char value) {
    if (bytes.size() <= position) bytes.resize(position + 1, -1);
    bytes[position] = value;
  };
  put(record.mfc_id_index, record.mfc_id);
  if (record.memory_type_index != kByteNotCompared) {
    put(record.memory_type_index, record.memory_type);
  }
  put(record.memory_id_index, record.memory_id);
  return bytes;
}

// Identification bytes as a datasheet prints them, "EF 40 18", with xx for a byte that is not
// compared (-1).
std::string id_text(const std::vector<int>& bytes) {
  std::vector<std::string> texts;
  for (const int byte : bytes) {
    texts.push_back(byte < 0 ? "xx" : hex_byte(static_cast<unsigned int>(byte)));
  }
  return joined(texts, " ");
}

// A flash record's identification: its bytes, or "silicon id 13" for a silicon-id record.
std::string flash_id_text(const PGMDEV_SFL_FLASH_INFO& record) {
  if (record.silicon_id) return "silicon id " + hex_byte(record.memory_id);
  return id_text(compared_id_bytes(record));
}

// The identification bytes that an HPS SPI record's mask selects, manufacturer first; -1 for
// a byte that the mask leaves out.
std::vector<int> hps_id_bytes(const PGMDEV_HPS_SPI_STRUCTURE& record) {
  std::vector<int> bytes;
  for (unsigned int position = 0; position < kSiidBytes; ++position) {
    if (((record.mask >> (8 * position)) & 0xFFu) != 0) bytes.resize(position + 1, -1);
  }
  for (std::size_t position = 0; position < bytes.size(); ++position) {
    const unsigned int shift = 8 * static_cast<unsigned int>(position);
    if (((record.mask >> shift) & 0xFFu) != 0) {
      bytes[position] = static_cast<int>((record.siid & record.mask) >> shift & 0xFFu);
    }
  }
  return bytes;
}

// Whether an HPS SPI record serves the flash of a device-id record: every byte that the flash
// record compares is the HPS record's byte at that position. (An HPS record may compare a
// fourth or an extended byte that flash records do not hold.)
bool hps_serves(const PGMDEV_HPS_SPI_STRUCTURE& hps, const PGMDEV_SFL_FLASH_INFO& flash) {
  const std::vector<int> flash_bytes = compared_id_bytes(flash);
  if (flash_bytes.empty()) return false;
  const std::vector<int> hps_bytes = hps_id_bytes(hps);
  for (std::size_t position = 0; position < flash_bytes.size(); ++position) {
    if (flash_bytes[position] < 0) continue;
    if (position >= hps_bytes.size() || hps_bytes[position] != flash_bytes[position]) {
      return false;
    }
  }
  return true;
}

// An HPS SPI record by its position in the HPS table and its name, "#2 QSPI_128", joined by a
// no-break space so that a list of them wraps between records only.
std::string hps_label(const std::vector<PGMDEV_HPS_SPI_STRUCTURE*>& list, std::size_t index) {
  return "#" + std::to_string(index + 1) + "\u00a0" + list[index]->name;
}

std::string gate_text(const std::string& gate) {
  return gen_stricmp(gate, "NONE") == 0 ? "always" : "PGM_ALLOW_" + gate;
}

std::string yes_no(bool value) { return value ? "yes" : "no"; }

std::string with_unit(unsigned long long value, const char* unit) {
  return std::to_string(value) + " " + unit;
}

ReportTable flash_table(const std::vector<PGMDEV_SFL_FLASH_INFO>& records,
                        const std::vector<PGMDEV_HPS_SPI_STRUCTURE*>& hps) {
  ReportTable table{
      .name = "flash",
      .title = "Flash memories",
      .singular = "flash memory",
      .note =
          "The serial flash records of the flash database, in the order in which the programmer "
          "searches them: the first record whose identification bytes match is used. ID: the bytes "
          "that the flash answers with, in hexadecimal, manufacturer first (xx: not compared). A "
          "record with a gate is loaded only while that configuration switch is on. HPS SPI: the "
          "records below with the same identification bytes.",
      .columns =
          {
              {"Maker", "Manufacturer"},
              {"Device", "Device name; records of one device name differ in their identification",
               false, true},
              {"ID", "Identification bytes in hexadecimal, manufacturer first", false, true},
              {"Density", "Memory size", true},
              {"Sector", "Erase sector size", true},
              {"4-byte", "Uses 4-byte addresses"},
              {"Dies", "Number of dies", true},
              {"Chip erase", "Bulk erase time-out", true},
              {"Sector erase", "Sector erase time-out", true},
              {"Page program", "Page program time-out", true},
              {"Default", "The default record of its device name"},
              {"Gate", "When the record is loaded: always, or while the configuration switch is on",
               false, true},
              {"HPS SPI", "HPS SPI flash records with the same identification bytes", false, false,
               true},
          },
      .rows = {},
  };
  for (const PGMDEV_SFL_FLASH_INFO& record : records) {
    std::vector<std::string> serving;
    for (std::size_t index = 0; index < hps.size(); ++index) {
      if (hps_serves(*hps[index], record)) serving.push_back(hps_label(hps, index));
    }
    table.rows.push_back(
        {record.manufacturer_name, record.device_name, flash_id_text(record),
         pgmdev_tool::bits_text(record.device_bit_size),
         pgmdev_tool::bytes_text(record.device_sector_byte), yes_no(record.byte4_addressing),
         std::to_string(record.die_count), with_unit(record.bulk_erase_time, "s"),
         with_unit(record.sec_erase_time, "s"), with_unit(record.program_utime, "\u00b5s"),
         yes_no(record.default_dev), gate_text(record.ini), joined(serving, ", ")});
  }
  return table;
}

ReportTable hps_table(const std::vector<PGMDEV_HPS_SPI_STRUCTURE*>& hps, std::size_t user_count,
                      const std::vector<PGMDEV_SFL_FLASH_INFO>& flash) {
  ReportTable table{
      .name = "hps-spi",
      .title = "HPS SPI flash records",
      .singular = "HPS SPI record",
      .note =
          "Parameters for the SPI flash behind a device's hard processor system (HPS): the records "
          "of pgm_flash.ini first, then the built-in ones, in the order the lists hold them. ID: "
          "the "
          "identification bytes that the record's mask compares, manufacturer first; Ext: a "
          "further "
          "identification byte that it compares.",
      .columns =
          {
              {"#", "Position in the HPS SPI list", true},
              {"Source", "built-in, or pgm_flash.ini (a user's record)"},
              {"Maker", "Manufacturer"},
              {"Name", "Device name", false, true},
              {"ID", "Identification bytes in hexadecimal, manufacturer first", false, true},
              {"Ext", "Extended identification byte, when compared", false, true},
              {"Density", "Memory size", true},
              {"Sector", "Erase sector size", true},
              {"Page", "Program page size", true},
              {"Dies", "Die count", true},
              {"Chip erase", "Bulk erase time", true},
              {"Sector erase", "Sector erase time", true},
              {"Page program", "Page program time", true},
              {"Flash records", "Flash database records with the same identification bytes", false,
               true, true},
          },
      .rows = {},
  };
  for (std::size_t index = 0; index < hps.size(); ++index) {
    const PGMDEV_HPS_SPI_STRUCTURE& record = *hps[index];
    std::vector<std::string> served;
    for (const PGMDEV_SFL_FLASH_INFO& flash_record : flash) {
      if (hps_serves(record, flash_record) &&
          std::find(served.begin(), served.end(), flash_record.device_name) == served.end()) {
        served.push_back(flash_record.device_name);
      }
    }
    table.rows.push_back(
        {std::to_string(index + 1), index < user_count ? "pgm_flash.ini" : "built-in",
         record.manufacturer, record.name, id_text(hps_id_bytes(record)),
         (record.ext_mask & 0xFFu) != 0 ? hex_byte(record.ext_siid & record.ext_mask) : "",
         pgmdev_tool::bits_text(record.flash_bit_size),
         pgmdev_tool::bytes_text(record.sector_byte_size),
         pgmdev_tool::bytes_text(record.page_byte_size), std::to_string(record.die_size),
         with_unit(record.bulk_erase_time, "s"), with_unit(record.sector_erase_time, "s"),
         with_unit(record.page_program_time, "\u00b5s"), joined(served, ", ")});
  }
  return table;
}

// ---- The page.

unsigned long long file_size(const std::string& path) {
  struct stat info {};
  return FIO_FILE_SYSTEM::status(path, &info) ? static_cast<unsigned long long>(info.st_size) : 0;
}

std::string suite_text() {
  const unsigned int index = ver_get_current_version_index_number();
  char number[80];
  std::snprintf(number, sizeof number, " (version number 0x%06X: build %u, service pack %u)", index,
                (index >> 8) & 0xFFFFu, index & 0xFFu);
  return ver_get_version() + number;
}

// Writes html to directory/index.html whole: a temporary file beside it, synced, then renamed
// over it. Returns the page's path.
std::string write_page(const std::string& directory, const std::string& html) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    pgmdev_tool::refuse("cannot create the directory " + directory + ": " + error.message() +
                        "; give --html a directory that can be written");
  }
  const std::string path = directory + "/index.html";
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  const auto fail = [&](const std::string& what, int code) {
    FIO_FILE::unlink(temporary.c_str());
    pgmdev_tool::refuse("cannot " + what + " " + path + ": " + std::strerror(code) +
                        "; give --html a directory that can be written");
  };
  const int fd = FIO_FILE::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail("write", errno);
  std::size_t written = 0;
  while (written < html.size()) {
    const ssize_t put = FIO_FILE::write(fd, html.data() + written, html.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      const int code = put < 0 ? errno : EIO;
      FIO_FILE::close(fd);
      fail("write", code);
    }
    written += static_cast<std::size_t>(put);
  }
  if (FIO_FILE::sync(fd) != 0) {
    const int code = errno;
    FIO_FILE::close(fd);
    fail("write", code);
  }
  if (FIO_FILE::close(fd) != 0) fail("write", errno);
  if (FIO_FILE::rename(temporary.c_str(), path.c_str()) != 0) fail("replace", errno);
  return path;
}

int run_report() {
  const pgmdev_tool::DataFile dev_info_file = pgmdev_tool::dev_info_file();
  const pgmdev_tool::DataFile flash_file = pgmdev_tool::flash_file();
  const pgmdev_tool::DataFile parameter_file = pgmdev_tool::flash_parameter_file();
  pgmdev_tool::require_present(flash_file);
  const std::unique_ptr<PGMDEV_DEV_INFO_MANAGER> dev_info = pgmdev_tool::load_dev_info();
  std::vector<PGMDEV_SFL_FLASH_INFO> flash;
  {
    const pgmdev_tool::DataFileScope scope(flash_file.path);
    flash = PGMDEV_FLASH_MANAGER::read_file_records(FIO_PATH(flash_file.path));
  }
  const PGMDEV_HPS_SPI_MGR* hps = PGMDEV_HPS_SPI_MGR::get_mgr();

  pgmdev_tool::ReportPage page;
  page.title = "Supported devices and flash memories";
  page.library_version = PGMDEV_MGR::get_library_version();
  page.tables.push_back(families_table(*dev_info));
  page.tables.push_back(parts_table());
  page.tables.push_back(flash_table(flash, hps->m_flash_list));
  page.tables.push_back(hps_table(hps->m_flash_list, hps->m_ini_flash_list.size(), flash));

  unsigned long long gated = 0;
  for (const PGMDEV_SFL_FLASH_INFO& record : flash) gated += gate_text(record.ini) != "always";
  const ReportTable& families = page.tables[0];
  const ReportTable& parts = page.tables[1];
  using pgmdev_tool::grouped_number;
  page.counts = grouped_number(families.rows.size()) + " families \u00b7 " +
                grouped_number(parts.rows.size()) + " parts \u00b7 " +
                grouped_number(flash.size()) + " flash records (" + grouped_number(gated) +
                " behind a gate) \u00b7 " + grouped_number(hps->m_flash_list.size()) +
                " HPS SPI records (" + grouped_number(hps->m_ini_flash_list.size()) +
                " from pgm_flash.ini)";

  page.facts.push_back({"Library", {"pgmdev " + page.library_version}});
  page.facts.push_back({"Suite", {suite_text()}});
  std::vector<std::string> files;
  for (const pgmdev_tool::DataFile& file : {dev_info_file, flash_file}) {
    files.push_back("programmer/" + FIO_PATH(file.path).basename() + " \u00b7 " + file.what +
                    " \u00b7 " + pgmdev_tool::file_size_text(file_size(file.path)));
  }
  files.push_back(parameter_file.present
                      ? "pgm_flash.ini \u00b7 " + parameter_file.what + " \u00b7 " +
                            pgmdev_tool::file_size_text(file_size(parameter_file.path))
                      : "pgm_flash.ini \u00b7 none (built-in HPS records only)");
  page.facts.push_back({"Data files", files});
  // Devices 1 up to the generic device, which stands for none.
  const unsigned long long devices = DEV_DEVICE_GENERIC - DEV_DEVICE_INVALID - 1;
  page.facts.push_back(
      {"Catalogue",
       {grouped_number(families.rows.size()) + " families, " + grouped_number(devices) +
        " devices, " + grouped_number(parts.rows.size()) + " parts"}});

  const std::string html = pgmdev_tool::render_report_html(page);
  Json answer;
  answer["page"] = write_page(g_html_dir, html);
  answer["bytes"] = html.size();
  answer["families"] = families.rows.size();
  answer["parts"] = parts.rows.size();
  answer["flash_records"] = flash.size();
  answer["hps_spi_records"] = hps->m_flash_list.size();
  pgmdev_tool::print_answer(answer);
  return pgmdev_tool::kExitOk;
}

void add_commands(CLI::App& tool) {
  CLI::App* command = pgmdev_tool::add_command(
      tool, "report",
      "write the supported-devices page: families, parts, flash memories and HPS SPI flash "
      "records of the installed data, searchable, in one self-contained HTML file",
      run_report);
  command->add_option("--html", g_html_dir, "directory to write index.html into (made if needed)")
      ->required()
      ->type_name("DIR");
  pgmdev_tool::add_json_flag(command);
  pgmdev_tool::set_example(command, "pgmdev-tool report --html supported",
                           "page            : supported/index.html\n"
                           "bytes           : 1109724\n"
                           "families        : 71\n"
                           "parts           : 9389\n"
                           "flash_records   : 95\n"
                           "hps_spi_records : 27\n"
                           "(open supported/index.html; index.html?q=W25Q128 opens it filtered)");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 90, add_commands);
