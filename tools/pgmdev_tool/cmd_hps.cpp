// pgmdev-tool hps spi|nand list|show|add|remove: the SPI and NAND flash records that the
// controllers of a device's HPS can program, built-in and the user's own from the "HPS SPI" and
// "HPS NAND" sections of pgm_flash.ini. Values typed in (answers to the prompts, FIELD=VALUE
// arguments) go through the library's checked conversion with the field's rules; the section is
// rewritten through the library's file store.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "gen.h"
#include "pgmdev.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_output.h"

namespace {

using pgmdev_tool::Json;

// What differs between the SPI and the NAND records: their schema tables, their section and
// their singleton.
template <class RECORD, class MANAGER>
struct HPS_KIND {
  const char* name;  // "spi", "nand"
  PGMDEV_FLASH_INI_ENUM section;
  const char* signature;
  unsigned int count;
  const char* const* names;
  const PGMDEV_PARAM_TYPE* types;
  const char* const* prompts;
  const unsigned int* const* valid_ranges;
  const unsigned int* const* invalid_rules;
};

const HPS_KIND<PGMDEV_HPS_SPI_STRUCTURE, PGMDEV_HPS_SPI_MGR> kSpi = {
    "spi",
    PGMDEV_FLASH_INI_HPS_SPI,
    PGMDEV_HPS_SPI_MD5,
    PGMDEV_HPS_SPI_PARAM_COUNT,
    PGMDEV_HPS_SPI_PARAM_NAME_LIST,
    PGMDEV_HPS_SPI_PARAM_TYPE_LIST,
    PGMDEV_HPS_SPI_PROMPT_LIST,
    PGMDEV_HPS_SPI_VALID_RANGE_RULES,
    PGMDEV_HPS_SPI_INVALID_RULES};
const HPS_KIND<PGMDEV_HPS_NAND_STRUCTURE, PGMDEV_HPS_NAND_MGR> kNand = {
    "nand",
    PGMDEV_FLASH_INI_HPS_NAND,
    PGMDEV_HPS_NAND_MD5,
    PGMDEV_HPS_NAND_PARAM_COUNT,
    PGMDEV_HPS_NAND_PARAM_NAME_LIST,
    PGMDEV_HPS_NAND_PARAM_TYPE_LIST,
    PGMDEV_HPS_NAND_PROMPT_LIST,
    PGMDEV_HPS_NAND_VALID_RANGE_RULES,
    PGMDEV_HPS_NAND_INVALID_RULES};

// A field is typed in hexadecimal when its prompt says "(hex)", and in the unit its prompt
// names: Mbit and MByte are 2^20 bits or bytes of the record, Kbyte 2^10 bytes.
bool typed_in_hex(const char* prompt) { return std::strstr(prompt, "(hex)") != nullptr; }

unsigned int unit_multiple(const char* prompt) {
  if (std::strstr(prompt, "Mbit") != nullptr || std::strstr(prompt, "MByte") != nullptr) {
    return 1u << 20;
  }
  if (std::strstr(prompt, "Kbyte") != nullptr) return 1u << 10;
  return 1;
}

// ---- Records as answers.

template <class RECORD, class MANAGER>
Json record_json(const HPS_KIND<RECORD, MANAGER>& kind, const RECORD& record, bool user) {
  Json json;
  json["source"] = user ? "pgm_flash.ini" : "built-in";
  for (unsigned int i = 0; i < kind.count; ++i) {
    const void* value = record.m_param_pointers[i];
    switch (kind.types[i]) {
      case PGMDEV_PARAM_STRING:
        json[kind.names[i]] = *static_cast<const std::string*>(value);
        break;
      case PGMDEV_PARAM_BOOL:
        json[kind.names[i]] = *static_cast<const bool*>(value);
        break;
      case PGMDEV_PARAM_QWORD:
        json[kind.names[i]] = *static_cast<const unsigned long long*>(value);
        break;
      default:
        json[kind.names[i]] = *static_cast<const unsigned int*>(value);
        break;
    }
  }
  return json;
}

template <class RECORD, class MANAGER>
pgmdev_tool::PersonView person_view(const HPS_KIND<RECORD, MANAGER>& kind) {
  pgmdev_tool::PersonView view;
  for (unsigned int i = 0; i < kind.count; ++i) {
    if (typed_in_hex(kind.prompts[i])) view.hex_keys.insert(kind.names[i]);
  }
  return view;
}

// Whether a record comes from pgm_flash.ini.
template <class RECORD, class MANAGER>
bool is_user_record(const MANAGER& manager, const RECORD* record) {
  return std::find(manager.m_ini_flash_list.begin(), manager.m_ini_flash_list.end(), record) !=
         manager.m_ini_flash_list.end();
}

// The records as they are after pgm_flash.ini was read now (not when the process started).
template <class MANAGER>
MANAGER& fresh_manager() {
  MANAGER::delete_mgr();
  return *MANAGER::get_mgr();
}

// ---- The identification that show and remove take: an SPI record's siid (and, to tell two
// variants apart, its ext_siid); a NAND record's manufacturer and device ids.

struct ID {
  std::vector<std::string> texts;  // as given
  std::vector<unsigned int> values;
};

unsigned int parse_id(const std::string& text, const char* what) {
  bool ok = false;
  const unsigned long long value = PGMDEV_FLASH_INI::convert_string_to_qword(
      text.rfind("0x", 0) == 0 ? text : "0x" + text, false, &ok);
  if (!ok || value > 0xFFFFFFFFull) {
    throw pgmdev_tool::ToolError(
        pgmdev_tool::kExitUsage,
        std::string(what) + " '" + text + "' is not a hexadecimal number (for example 0x20BA20)");
  }
  return static_cast<unsigned int>(value);
}

bool matches(const PGMDEV_HPS_SPI_STRUCTURE& record, const ID& id) {
  return record.siid == id.values[0] && (id.values.size() < 2 || record.ext_siid == id.values[1]);
}
bool matches(const PGMDEV_HPS_NAND_STRUCTURE& record, const ID& id) {
  return record.manufacturer_id == id.values[0] && record.device_id == id.values[1];
}

std::string id_text(const ID& id, const char* kind) {
  if (std::string(kind) == "spi") {
    return "siid " + id.texts[0] + (id.texts.size() > 1 ? " and ext_siid " + id.texts[1] : "");
  }
  return "manufacturer_id " + id.texts[0] + " and device_id " + id.texts[1];
}

// ---- Typed values.

// The value of field i from text, as the prompt asks for it; false with the reason.
template <class RECORD, class MANAGER>
bool convert_field(const HPS_KIND<RECORD, MANAGER>& kind, unsigned int i, const std::string& text,
                   RECORD& record, std::string& message) {
  void* out = record.m_param_pointers[i];
  switch (kind.types[i]) {
    case PGMDEV_PARAM_STRING:
      *static_cast<std::string*>(out) = text;
      return true;
    case PGMDEV_PARAM_BOOL: {
      std::string upper = text;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (upper == "Y" || upper == "YES") {
        *static_cast<bool*>(out) = true;
      } else if (upper == "N" || upper == "NO") {
        *static_cast<bool*>(out) = false;
      } else {
        message = "answer Y or N";
        return false;
      }
      return true;
    }
    default: {
      unsigned long long value = 0;
      if (!PGMDEV_FLASH_INI::convert_string_to_qword(
              kind.types[i], value, typed_in_hex(kind.prompts[i]), text, false,
              kind.valid_ranges[i], kind.invalid_rules[i], false, unit_multiple(kind.prompts[i]),
              message)) {
        return false;
      }
      if (kind.types[i] == PGMDEV_PARAM_QWORD) {
        *static_cast<unsigned long long*>(out) = value;
      } else {
        *static_cast<unsigned int*>(out) = static_cast<unsigned int>(value);
      }
      return true;
    }
  }
}

std::string trimmed(const std::string& text) {
  return gen_remove_leading_and_trailing_white_spaces(text);
}

// ---- The section: its signature and the user's records, encoded by the library.

template <class RECORD, class MANAGER>
void write_section(const HPS_KIND<RECORD, MANAGER>& kind,
                   const std::vector<const RECORD*>& records) {
  const std::string path = pgmdev_tool::flash_parameter_file().path;
  bool written = false;
  if (records.empty()) {
    written = PGMDEV_FLASH_INI::write_flash_ini_data(kind.section, nullptr, 0);
  } else {
    unsigned int size = PGMDEV_HPS_SECTION_SIGNATURE_BYTES;
    for (const RECORD* record : records) {
      for (unsigned int i = 0; i < kind.count; ++i) {
        PGMDEV_FLASH_INI::calculate_flash_ini_data_size(size, kind.types[i],
                                                        record->m_param_pointers[i]);
      }
    }
    std::vector<unsigned char> section(size, 0);
    std::memcpy(section.data(), kind.signature, PGMDEV_HPS_SECTION_SIGNATURE_BYTES);
    unsigned int index = PGMDEV_HPS_SECTION_SIGNATURE_BYTES;
    for (const RECORD* record : records) {
      for (unsigned int i = 0; i < kind.count; ++i) {
        PGMDEV_FLASH_INI::fillup_flash_ini_data(section.data(), index, kind.types[i],
                                                record->m_param_pointers[i]);
      }
    }
    written = PGMDEV_FLASH_INI::write_flash_ini_data(kind.section, section.data(), size);
  }
  if (!written) {
    pgmdev_tool::data_error("could not write " + path +
                            "; the file is as it was (check the directory's permissions, or set "
                            "PGMDEV_MODULE_DIR to another directory)");
  }
}

// ---- The commands.

struct OPTIONS {
  std::string id[2];  // SIID and EXT_SIID, or MANUFACTURER_ID and DEVICE_ID
  std::vector<std::string> assignments;
};
OPTIONS g_options;

// The columns of a list that a person reads; a script gets every field.
const char* const kListColumns[] = {
    "source",    "siid",         "mask", "ext_siid",       "ext_mask",        "manufacturer_id",
    "device_id", "manufacturer", "name", "flash_bit_size", "flash_byte_size", "sector_byte_size",
    "die_size"};

template <class RECORD, class MANAGER>
int run_list(const HPS_KIND<RECORD, MANAGER>& kind) {
  const MANAGER& manager = fresh_manager<MANAGER>();
  Json records = Json::array();
  for (const RECORD* record : manager.m_flash_list) {
    records.push_back(record_json(kind, *record, is_user_record(manager, record)));
  }
  if (pgmdev_tool::json_requested()) {
    pgmdev_tool::print_answer(records);
    return pgmdev_tool::kExitOk;
  }
  Json rows = Json::array();
  for (const Json& record : records) {
    Json row;
    for (const char* column : kListColumns) {
      if (record.contains(column)) row[column] = record[column];
    }
    rows.push_back(row);
  }
  pgmdev_tool::print_answer(rows, person_view(kind));
  return pgmdev_tool::kExitOk;
}

// Records one after the other for a person, as one array for a script.
void print_records(const Json& records, const pgmdev_tool::PersonView& view) {
  if (pgmdev_tool::json_requested()) {
    pgmdev_tool::print_answer(records);
    return;
  }
  for (size_t i = 0; i < records.size(); ++i) {
    if (i > 0) {
      const pgmdev_tool::LibraryOutputIsAnswer answer;
      std::cout << "\n" << std::flush;
    }
    pgmdev_tool::print_answer(records[i], view);
  }
}

template <class RECORD, class MANAGER>
ID id_of(const HPS_KIND<RECORD, MANAGER>& kind) {
  ID id;
  const char* what[] = {kind.count == PGMDEV_HPS_SPI_PARAM_COUNT ? "siid" : "manufacturer_id",
                        kind.count == PGMDEV_HPS_SPI_PARAM_COUNT ? "ext_siid" : "device_id"};
  for (size_t i = 0; i < 2 && !g_options.id[i].empty(); ++i) {
    id.texts.push_back(g_options.id[i]);
    id.values.push_back(parse_id(g_options.id[i], what[i]));
  }
  return id;
}

template <class RECORD, class MANAGER>
int run_show(const HPS_KIND<RECORD, MANAGER>& kind) {
  const ID id = id_of(kind);
  const MANAGER& manager = fresh_manager<MANAGER>();
  Json records = Json::array();
  for (const RECORD* record : manager.m_flash_list) {
    if (matches(*record, id)) {
      records.push_back(record_json(kind, *record, is_user_record(manager, record)));
    }
  }
  if (records.empty()) {
    pgmdev_tool::refuse("no HPS " + std::string(kind.name) + " record has " +
                        id_text(id, kind.name) + "; 'pgmdev-tool hps " + kind.name +
                        " list' lists them");
  }
  print_records(records, person_view(kind));
  return pgmdev_tool::kExitOk;
}

template <class RECORD, class MANAGER>
int run_add(const HPS_KIND<RECORD, MANAGER>& kind) {
  // FIELD=VALUE arguments first; they name fields of the schema, each once.
  std::map<unsigned int, std::string> given;
  for (const std::string& assignment : g_options.assignments) {
    const size_t equals = assignment.find('=');
    const std::string field = assignment.substr(0, equals);
    unsigned int i = 0;
    while (i < kind.count && field != kind.names[i]) ++i;
    if (equals == std::string::npos || i == kind.count || given.count(i) != 0) {
      std::string fields;
      for (unsigned int f = 0; f < kind.count; ++f)
        fields += std::string(f ? ", " : "") + kind.names[f];
      throw pgmdev_tool::ToolError(
          pgmdev_tool::kExitUsage,
          "'" + assignment + "' is not FIELD=VALUE for a field given once; the fields: " + fields);
    }
    given[i] = assignment.substr(equals + 1);
  }
  RECORD record;
  const bool interactive = isatty(STDIN_FILENO) != 0;
  for (unsigned int i = 0; i < kind.count; ++i) {
    std::string message;
    const auto argument = given.find(i);
    if (argument != given.end()) {
      if (!convert_field(kind, i, trimmed(argument->second), record, message)) {
        pgmdev_tool::refuse(std::string(kind.names[i]) + "=" + argument->second + ": " + message +
                            " (" + kind.prompts[i] + ")");
      }
      continue;
    }
    // Asked on standard error, answered on standard input (echoed when it is no terminal); a
    // refused answer is asked again at a terminal and ends the command otherwise.
    for (;;) {
      std::cerr << kind.prompts[i] << " : " << std::flush;
      std::string answer;
      if (!std::getline(std::cin, answer)) {
        std::cerr << "\n";
        pgmdev_tool::refuse("no answer for " + std::string(kind.names[i]) + " (" + kind.prompts[i] +
                            ")");
      }
      if (!interactive) std::cerr << answer << "\n";
      if (convert_field(kind, i, trimmed(answer), record, message)) break;
      if (!interactive) {
        pgmdev_tool::refuse(std::string(kind.names[i]) + ": '" + trimmed(answer) +
                            "' refused: " + message);
      }
      pgmdev_tool::tool_message(std::string(kind.names[i]) + ": " + message);
    }
  }
  MANAGER& manager = fresh_manager<MANAGER>();
  std::vector<const RECORD*> records(manager.m_ini_flash_list.begin(),
                                     manager.m_ini_flash_list.end());
  records.push_back(&record);
  write_section(kind, records);
  pgmdev_tool::tool_message("added to " + pgmdev_tool::flash_parameter_file().path);
  pgmdev_tool::print_answer(record_json(kind, record, true), person_view(kind));
  MANAGER::delete_mgr();
  return pgmdev_tool::kExitOk;
}

template <class RECORD, class MANAGER>
int run_remove(const HPS_KIND<RECORD, MANAGER>& kind) {
  const ID id = id_of(kind);
  MANAGER& manager = fresh_manager<MANAGER>();
  std::vector<const RECORD*> kept;
  Json removed = Json::array();
  for (const RECORD* record : manager.m_ini_flash_list) {
    if (matches(*record, id)) {
      removed.push_back(record_json(kind, *record, true));
    } else {
      kept.push_back(record);
    }
  }
  if (removed.empty()) {
    const bool built_in = std::any_of(manager.m_flash_list.begin(), manager.m_flash_list.end(),
                                      [&id](const RECORD* record) { return matches(*record, id); });
    pgmdev_tool::refuse(std::string("no record of pgm_flash.ini has ") + id_text(id, kind.name) +
                        (built_in ? "; only the built-in records have it, and those stay" : ""));
  }
  write_section(kind, kept);
  MANAGER::delete_mgr();
  pgmdev_tool::tool_message("removed " + std::to_string(removed.size()) + " record(s) from " +
                            pgmdev_tool::flash_parameter_file().path);
  print_records(removed, person_view(kind));
  return pgmdev_tool::kExitOk;
}

// The id positionals of show and remove: an SPI siid and optional ext_siid, or a NAND
// manufacturer id and device id.
void add_id(CLI::App* command, bool spi) {
  if (spi) {
    command->add_option("SIID", g_options.id[0], "the siid, in hexadecimal")->required();
    command->add_option("EXT_SIID", g_options.id[1],
                        "the ext_siid, in hexadecimal, to tell two variants apart");
  } else {
    command->add_option("MANUFACTURER_ID", g_options.id[0], "in hexadecimal")->required();
    command->add_option("DEVICE_ID", g_options.id[1], "in hexadecimal")->required();
  }
}

// The examples of one kind's commands: each command line after "pgmdev-tool hps KIND " and
// (trimmed) output, real ones.
struct EXAMPLES {
  const char* group_output;  // of "list", the group's example
  const char* list_json;     // of "list --json"
  const char* show_id;
  const char* show_output;
  const char* add_fields;
  const char* add_output;
  const char* remove_id;
};

template <class RECORD, class MANAGER>
void add_kind(CLI::App& hps, const HPS_KIND<RECORD, MANAGER>& kind, const EXAMPLES& examples) {
  const std::string name = kind.name;
  const std::string prefix = "pgmdev-tool hps " + name + " ";
  const bool spi = name == "spi";
  CLI::App* group =
      pgmdev_tool::add_command(hps, name, spi ? "HPS SPI flash records" : "HPS NAND flash records");
  pgmdev_tool::set_example(group, prefix + "list", examples.group_output);

  CLI::App* list = pgmdev_tool::add_command(
      *group, "list",
      "list the " + std::string(spi ? "SPI" : "NAND") +
          " records: the user's from pgm_flash.ini first, then the built-in ones",
      [&kind] { return run_list(kind); });
  pgmdev_tool::add_json_flag(list);
  pgmdev_tool::set_example(list, prefix + "list --json", examples.list_json);

  CLI::App* show = pgmdev_tool::add_command(*group, "show", "show the records with an id",
                                            [&kind] { return run_show(kind); });
  add_id(show, spi);
  pgmdev_tool::add_json_flag(show);
  pgmdev_tool::set_example(show, prefix + "show " + examples.show_id, examples.show_output);

  CLI::App* add = pgmdev_tool::add_command(
      *group, "add",
      "add a record to pgm_flash.ini: fields given as FIELD=VALUE (in the unit of the field's "
      "prompt), the others asked for on the terminal",
      [&kind] { return run_add(kind); });
  add->add_option("FIELD=VALUE", g_options.assignments, "field values");
  pgmdev_tool::add_json_flag(add);
  pgmdev_tool::set_example(
      add, prefix + "add " + examples.add_fields,
      std::string(examples.add_output) + "\npgmdev-tool: added to /opt/suite/bin/pgm_flash.ini");

  CLI::App* remove =
      pgmdev_tool::add_command(*group, "remove", "remove the records of pgm_flash.ini with an id",
                               [&kind] { return run_remove(kind); });
  add_id(remove, spi);
  pgmdev_tool::add_json_flag(remove);
  pgmdev_tool::set_example(remove, prefix + "remove " + examples.remove_id,
                           std::string(examples.add_output) +
                               "\npgmdev-tool: removed 1 record(s) from "
                               "/opt/suite/bin/pgm_flash.ini");
}

void add_commands(CLI::App& tool) {
  CLI::App* hps = pgmdev_tool::add_command(
      tool, "hps", "the SPI and NAND flash records of a device's HPS (built-in and pgm_flash.ini)");
  pgmdev_tool::set_example(hps, "pgmdev-tool hps nand show 0x2C 0x68",
                           "source          : built-in\n"
                           "manufacturer_id : 0x2C\n"
                           "device_id       : 0x68\n"
                           "flash_byte_size : 4294967296");
  add_kind(
      *hps, kSpi,
      {"source    siid      mask      ext_siid  ext_mask  manufacturer  name       "
       "flash_bit_size  sector_byte_size  die_size\n"
       "built-in  0x17BA20  0xFFFFFF  0x00      0x00      MICRON        QSPI_64    "
       "67108864        65536             1\n"
       "...",
       "[\n  {\n    \"source\": \"built-in\",\n    \"siid\": 1554976,\n    \"mask\": 16777215,\n"
       "...",
       "0x20BA20 0x44",
       "source                        : built-in\n"
       "siid                          : 0x20BA20\n"
       "mask                          : 0xFFFFFF\n"
       "ext_siid                      : 0x44\n"
       "...",
       "siid=0x19BA21 mask=FFFFFF ext_siid=0 ext_mask=0 manufacturer=ACME name=QSPI_256 "
       "flash_bit_size=256 sector_byte_size=64 page_byte_size=256 bulk_erase_time=480 "
       "bulk_erase_interval_wait_time=3 sector_erase_time=3 page_program_time=1000 "
       "program_time=1 die_size=1 speed_mode=Y byte4_se_opcode=DC byte4_pp_opcode=12 "
       "byte4_read_opcode=13",
       "source                        : pgm_flash.ini\n"
       "siid                          : 0x19BA21\n"
       "...",
       "0x19BA21"});
  add_kind(*hps, kNand,
           {"source    manufacturer_id  device_id  flash_byte_size\n"
            "built-in  0x2C             0x68       4294967296\n"
            "...",
            "[\n  {\n    \"source\": \"built-in\",\n    \"manufacturer_id\": 44,\n"
            "    \"device_id\": 104,\n"
            "...",
            "0x2C 0x68",
            "source          : built-in\n"
            "manufacturer_id : 0x2C\n"
            "device_id       : 0x68\n"
            "flash_byte_size : 4294967296",
            "manufacturer_id=C2 device_id=DC flash_byte_size=512",
            "source          : pgm_flash.ini\n"
            "manufacturer_id : 0xC2\n"
            "device_id       : 0xDC\n"
            "flash_byte_size : 536870912",
            "0xC2 0xDC"});
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 70, add_commands);
