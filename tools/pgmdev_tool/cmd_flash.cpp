// pgmdev-tool flash: the flash database. flash id BYTES... identifies a flash by the bytes read
// from it (and on a miss names the gate that would let a record match), flash list lists every
// record of the file with its gate, flash show NAME shows every record of one device name.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cfg.h"
#include "gen.h"
#include "msg.h"
#include "pgmdev.h"
#include "tool.h"
#include "tool_data.h"
#include "tool_id.h"
#include "tool_output.h"
#include "tool_records.h"

namespace {

using pgmdev_tool::Json;

constexpr const char kAlwaysAvailable[] = "NONE";
constexpr const char kGateSwitchPrefix[] = "PGM_ALLOW_";
constexpr BYTE kNotCompared = 0xFF;

std::vector<std::string> g_id_words;
bool g_silicon = false;
std::string g_device_name;
unsigned int g_variant = 0;
int g_index = -1;

// The identification bytes a record compares, in the order read ("--" where none is compared);
// a silicon id is its one byte.
std::string record_id_text(const PGMDEV_SFL_FLASH_INFO& record) {
  if (record.silicon_id) return pgmdev_tool::hex_text(record.memory_id).substr(2) + " (silicon)";
  std::vector<std::string> bytes;
  const auto place = [&bytes](BYTE position, BYTE value) {
    if (position == kNotCompared) return;
    if (bytes.size() <= position) bytes.resize(position + 1u, "--");
    bytes[position] = pgmdev_tool::hex_text(value).substr(2);
  };
  place(record.mfc_id_index, record.mfc_id);
  place(record.memory_type_index, record.memory_type);
  place(record.memory_id_index, record.memory_id);
  std::string text;
  for (const std::string& byte : bytes) text += (text.empty() ? "" : " ") + byte;
  return text;
}

bool always_available(const std::string& gate) { return gen_stricmp(gate, kAlwaysAvailable) == 0; }

std::string gate_switch(const std::string& gate) { return kGateSwitchPrefix + gate; }

bool gate_open(const std::string& gate) {
  return always_available(gate) || cfg_is_on(gate_switch(gate), false);
}

bool same_record(const PGMDEV_SFL_FLASH_INFO& a, const PGMDEV_SFL_FLASH_INFO& b) {
  bool same = true;
#define PGMDEV_TOOL_SAME_MEMBER(member, kind) same = same && a.member == b.member;
  PGMDEV_SFL_FLASH_SCHEMA(PGMDEV_TOOL_SAME_MEMBER)
#undef PGMDEV_TOOL_SAME_MEMBER
  return same;
}

// One record of the file with where it stands: its variant among the records of its device
// name (counted from 1 in file order) and its index in the loaded table, or -1 when its gate
// keeps it out.
struct FileRecord {
  PGMDEV_SFL_FLASH_INFO record;
  unsigned int variant;
  int index;
};

// The records of the installed file, and the loaded table they are matched against.
struct FlashData {
  std::unique_ptr<PGMDEV_FLASH_MANAGER> manager;
  std::vector<FileRecord> records;
  bool user_flash;  // the loaded table starts with a user-defined flash
};

FlashData load_flash_data() {
  FlashData data;
  data.manager = pgmdev_tool::load_flash();
  const pgmdev_tool::DataFile file = pgmdev_tool::flash_file();
  std::vector<PGMDEV_SFL_FLASH_INFO> records;
  {
    const pgmdev_tool::DataFileScope scope(file.path);
    records = PGMDEV_FLASH_MANAGER::read_file_records(FIO_PATH(file.path));
  }
  data.user_flash = !data.manager->m_ini_flash.device_name.empty();
  unsigned int next = data.user_flash ? 1 : 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    FileRecord entry{records[i], 1, -1};
    for (std::size_t j = 0; j < i; ++j) {
      if (gen_stricmp(records[j].device_name, records[i].device_name) == 0) ++entry.variant;
    }
    // The loaded table keeps the allowed records in file order.
    if (gate_open(records[i].ini) && next < data.manager->m_flash_count &&
        same_record(data.manager->m_flash_database[next], records[i])) {
      entry.index = static_cast<int>(next++);
    }
    data.records.push_back(entry);
  }
  return data;
}

Json index_json(int index) { return index < 0 ? Json(nullptr) : Json(index); }

Json list_row(const PGMDEV_SFL_FLASH_INFO& record, const char* source, unsigned int variant,
              int index) {
  Json row;
  row["index"] = index_json(index);
  row["source"] = source;
  row["manufacturer_name"] = record.manufacturer_name;
  row["device_name"] = record.device_name;
  row["variant"] = variant;
  row["id"] = record_id_text(record);
  row["density_mbit"] = record.device_bit_size >> 20;
  row["default_dev"] = record.default_dev;
  row["ini"] = record.ini;
  row["loaded"] = index >= 0;
  return row;
}

int run_list() {
  const FlashData data = load_flash_data();
  Json rows = Json::array();
  if (data.user_flash) {
    rows.push_back(list_row(data.manager->m_flash_database[0], "user", 1, 0));
  }
  for (const FileRecord& entry : data.records) {
    rows.push_back(list_row(entry.record, "file", entry.variant, entry.index));
  }
  pgmdev_tool::print_answer(rows);
  return pgmdev_tool::kExitOk;
}

Json shown_record(const PGMDEV_SFL_FLASH_INFO& record, const char* source, unsigned int variant,
                  int index) {
  Json shown;
  shown["source"] = source;
  shown["variant"] = variant;
  shown["index"] = index_json(index);
  shown["loaded"] = index >= 0;
  shown["gate_switch"] = always_available(record.ini) ? "" : gate_switch(record.ini);
  shown["record"] = pgmdev_tool::flash_record_json(record);
  return shown;
}

int run_show() {
  if (g_device_name.empty() && g_index < 0) {
    pgmdev_tool::usage_error("flash show needs a NAME or --index N; see flash show --help");
  }
  const FlashData data = load_flash_data();
  Json answer;
  Json records = Json::array();
  if (g_index >= 0) {
    const unsigned int index = static_cast<unsigned int>(g_index);
    if (index >= data.manager->m_flash_count) {
      pgmdev_tool::refuse("the loaded flash table has " +
                          std::to_string(data.manager->m_flash_count) + " records (index 0 to " +
                          std::to_string(data.manager->m_flash_count - 1) + "), not " +
                          std::to_string(index));
    }
    const bool user = data.user_flash && index == 0;
    unsigned int variant = 1;
    for (const FileRecord& entry : data.records) {
      if (entry.index == g_index) variant = entry.variant;
    }
    records.push_back(shown_record(data.manager->m_flash_database[index], user ? "user" : "file",
                                   variant, g_index));
    answer["records"] = records;
    pgmdev_tool::print_answer(answer, pgmdev_tool::flash_view());
    return pgmdev_tool::kExitOk;
  }
  answer["device_name"] = g_device_name;
  if (data.user_flash &&
      gen_stricmp(data.manager->m_flash_database[0].device_name, g_device_name) == 0 &&
      (g_variant == 0 || g_variant == 1)) {
    records.push_back(shown_record(data.manager->m_flash_database[0], "user", 1, 0));
  }
  unsigned int variants = 0;
  for (const FileRecord& entry : data.records) {
    if (gen_stricmp(entry.record.device_name, g_device_name) != 0) continue;
    ++variants;
    if (g_variant != 0 && entry.variant != g_variant) continue;
    records.push_back(shown_record(entry.record, "file", entry.variant, entry.index));
  }
  answer["records"] = records;
  if (records.empty()) {
    pgmdev_tool::print_answer(answer);
    if (variants > 0) {
      pgmdev_tool::refuse("flash " + g_device_name + " has " + std::to_string(variants) +
                          " variant" + (variants == 1 ? "" : "s") + ", not " +
                          std::to_string(g_variant));
    }
    pgmdev_tool::refuse("no flash record is named " + g_device_name +
                        " (flash list shows every name)");
  }
  pgmdev_tool::print_answer(answer, pgmdev_tool::flash_view());
  return pgmdev_tool::kExitOk;
}

// The gates that would let a record of the file match id: for each closed gate, the table
// loaded with that gate open is asked, so the library's own matching rule decides.
Json gated_matches(const FlashData& data, const std::vector<unsigned char>& id) {
  std::set<std::string> tried;
  Json matches = Json::array();
  for (const FileRecord& entry : data.records) {
    const std::string& gate = entry.record.ini;
    if (gate_open(gate) || !tried.insert(gate).second) continue;
    cfg_set_value(gate_switch(gate), "1");
    try {
      const std::unique_ptr<PGMDEV_FLASH_MANAGER> opened = pgmdev_tool::load_flash();
      if (opened->flash_id_database_mapping(g_silicon, 0, id.data(),
                                            static_cast<unsigned int>(id.size()))) {
        const PGMDEV_SFL_FLASH_INFO& record =
            opened->m_flash_database[opened->get_flash_mapping_index(0, false)];
        matches.push_back(Json{{"manufacturer_name", record.manufacturer_name},
                               {"device_name", record.device_name},
                               {"ini", record.ini},
                               {"gate_switch", gate_switch(gate)}});
      }
    } catch (const MSG_INTERNAL_ERROR_EXCEPTION& error) {
      pgmdev_tool::tool_warning("with " + gate_switch(gate) +
                                " on, the flash database does not load: " + error.what());
    }
    cfg_unset_value(gate_switch(gate));
  }
  return matches;
}

int run_id() {
  const std::vector<unsigned char> id = pgmdev_tool::parse_id(g_id_words);
  const FlashData data = load_flash_data();
  PGMDEV_FLASH_MANAGER* manager = data.manager.get();
  const bool found = manager->m_flash_count > 0 &&
                     manager->flash_id_database_mapping(g_silicon, 0, id.data(),
                                                        static_cast<unsigned int>(id.size()));
  Json answer;
  answer["id"] = pgmdev_tool::id_text(id);
  answer["silicon_id"] = g_silicon;
  answer["found"] = found;
  if (!found) {
    // A record behind a closed gate may be the one: say which switch lets it load.
    answer["gated_matches"] = gated_matches(data, id);
    pgmdev_tool::print_answer(answer);
    std::string message = "no flash record matches " +
                          std::string(g_silicon ? "silicon id " : "id ") + pgmdev_tool::id_text(id);
    for (const Json& match : answer["gated_matches"]) {
      message += "; " + match["manufacturer_name"].get<std::string>() + " " +
                 match["device_name"].get<std::string>() + " would match with " +
                 match["gate_switch"].get<std::string>() + "=1 (its gate " +
                 match["ini"].get<std::string>() + " is off)";
    }
    pgmdev_tool::tool_message(message);
    return pgmdev_tool::kExitRefused;
  }
  const unsigned int index = manager->get_flash_mapping_index(0, false);
  answer["index"] = index;
  answer["source"] = data.user_flash && index == 0 ? "user" : "file";
  answer["record"] = pgmdev_tool::flash_record_json(manager->m_flash_database[index]);
  pgmdev_tool::print_answer(answer, pgmdev_tool::flash_view());
  return pgmdev_tool::kExitOk;
}

void add_commands(CLI::App& tool) {
  CLI::App* flash = pgmdev_tool::add_command(tool, "flash", "query the flash database");
  pgmdev_tool::set_example(flash, "pgmdev-tool flash show EN25Q64",
                           "device_name : EN25Q64\n"
                           "records 1:\n"
                           "  source      : file\n"
                           "  variant     : 1\n"
                           "  index       : -\n"
                           "  loaded      : FALSE\n"
                           "  gate_switch : PGM_ALLOW_EON\n"
                           "  ...");
  CLI::App* id = pgmdev_tool::add_command(
      *flash, "id",
      "identify a flash by the identification bytes read from it: the record that the "
      "programmer would use",
      run_id);
  id->add_option("BYTES", g_id_words,
                 "hexadecimal bytes in the order read: EF 40 18, EF4018, 0xEF4018 or "
                 "0xEF 0x40 0x18")
      ->required();
  id->add_flag("--silicon", g_silicon, "match one-byte silicon ids instead of device ids");
  pgmdev_tool::add_json_flag(id);
  pgmdev_tool::set_example(id, "pgmdev-tool flash id EF 40 18",
                           "id         : EF 40 18\n"
                           "silicon_id : FALSE\n"
                           "found      : TRUE\n"
                           "index      : 22\n"
                           "source     : file\n"
                           "record:\n"
                           "  manufacturer_name   : WINBOND\n"
                           "  device_name         : W25Q128JV\n"
                           "  ...\n"
                           "(On a miss: exit 1, and the PGM_ALLOW_ switch of a gated record that "
                           "would match.)");

  CLI::App* list = pgmdev_tool::add_command(
      *flash, "list",
      "list every record of the flash database file with its identification bytes, density, "
      "default and gate, and its index in the table loaded now (a user-defined flash first)",
      run_list);
  pgmdev_tool::add_json_flag(list);
  pgmdev_tool::set_example(
      list, "pgmdev-tool flash list",
      "index  source  manufacturer_name  device_name   variant  id            density_mbit  "
      "default_dev  ini        loaded\n"
      "0      file    MICRON             M25P40        1        20 20 13      4             "
      "TRUE         NONE       TRUE\n"
      "...");

  CLI::App* show = pgmdev_tool::add_command(
      *flash, "show",
      "show every record of one flash device name with all 33 members (or one variant of it, or "
      "the record at an index of the loaded table)",
      run_show);
  CLI::Option* name = show->add_option("NAME", g_device_name, "the flash device name (any case)");
  CLI::Option* variant =
      show->add_option("--variant", g_variant,
                       "only the N-th record of that name, counted from 1 in file order")
          ->check(CLI::PositiveNumber);
  CLI::Option* index =
      show->add_option(
              "--index", g_index,
              "the record at index N of the table loaded now (the index moves with gates and a "
              "user-defined flash)")
          ->check(CLI::NonNegativeNumber);
  variant->needs(name);
  index->excludes(name);
  index->excludes(variant);
  pgmdev_tool::add_json_flag(show);
  pgmdev_tool::set_example(show, "pgmdev-tool flash show W25Q128JV --variant 2",
                           "device_name : W25Q128JV\n"
                           "records 1:\n"
                           "  source      : file\n"
                           "  variant     : 2\n"
                           "  index       : 23\n"
                           "  loaded      : TRUE\n"
                           "  gate_switch : -\n"
                           "  record:\n"
                           "    manufacturer_name   : WINBOND\n"
                           "    device_name         : W25Q128JV\n"
                           "    ...");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 40, add_commands);
