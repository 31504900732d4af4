// pgmdev-tool report, run installed: the supported-devices page read back with an HTML parser
// (gumbo) and every row compared with the library's answers; text that needs escaping and the
// records of a user's pgm_flash.ini; the errors; and the page in a real browser (headless
// Chromium), opened with ?q= and read back from its rendered DOM.
#include <gtest/gtest.h>
#include <gumbo.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "dev_catalogue.h"
#include "fio.h"
#include "gen.h"
#include "pgmdev.h"
#include "pgmdev_flash_ini_test_util.h"
#include "tool_runner.h"
#include "ver.h"

namespace {

using tool_test::contains;
using tool_test::run_program;
using tool_test::run_tool;
using tool_test::ToolRun;
using tool_test::with_env;
typedef PGMDEV_DEVICE_GRAMMAR_MGR GRAMMAR;

constexpr unsigned int kNoOpnEnum = 0xFFFFFFFF;
constexpr unsigned long long kNoOpnHash = 0xFFFFFFFFFFFFFFFFull;

// ---- Reading a page.

struct HtmlRow {
  std::vector<std::string> cells;
  bool hidden = false;
};

struct HtmlTable {
  bool hidden = false;
  std::size_t limit = 0;  // rows that the page shows at once
  std::vector<std::string> headers;
  std::vector<HtmlRow> rows;
};

const char* attribute(const GumboNode* node, const char* name) {
  if (node->type != GUMBO_NODE_ELEMENT) return nullptr;
  const GumboAttribute* found = gumbo_get_attribute(&node->v.element.attributes, name);
  return found == nullptr ? nullptr : found->value;
}

const GumboVector* children(const GumboNode* node) {
  if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
    return &node->v.element.children;
  }
  if (node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
  return nullptr;
}

void append_text(const GumboNode* node, std::string& out) {
  if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
      node->type == GUMBO_NODE_CDATA) {
    out += node->v.text.text;
    return;
  }
  const GumboVector* list = children(node);
  if (list == nullptr) return;
  for (unsigned int i = 0; i < list->length; ++i) {
    append_text(static_cast<const GumboNode*>(list->data[i]), out);
  }
}

std::string text_of(const GumboNode* node) {
  std::string text;
  append_text(node, text);
  return text;
}

// The element children of node with tag.
std::vector<const GumboNode*> elements(const GumboNode* node, GumboTag tag) {
  std::vector<const GumboNode*> found;
  const GumboVector* list = children(node);
  for (unsigned int i = 0; list != nullptr && i < list->length; ++i) {
    const GumboNode* child = static_cast<const GumboNode*>(list->data[i]);
    if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == tag) found.push_back(child);
  }
  return found;
}

// Every element under node, in document order.
void all_elements(const GumboNode* node, std::vector<const GumboNode*>& out) {
  if (node->type == GUMBO_NODE_ELEMENT) out.push_back(node);
  const GumboVector* list = children(node);
  for (unsigned int i = 0; list != nullptr && i < list->length; ++i) {
    all_elements(static_cast<const GumboNode*>(list->data[i]), out);
  }
}

class HtmlPage {
 public:
  explicit HtmlPage(std::string html)
      : m_html(std::move(html)),
        m_output(gumbo_parse_with_options(&kGumboDefaultOptions, m_html.data(), m_html.size())) {
    all_elements(m_output->document, m_elements);
  }
  ~HtmlPage() { gumbo_destroy_output(&kGumboDefaultOptions, m_output); }
  HtmlPage(const HtmlPage&) = delete;
  HtmlPage& operator=(const HtmlPage&) = delete;

  const std::vector<const GumboNode*>& all() const { return m_elements; }

  const GumboNode* by_id(const std::string& id) const {
    for (const GumboNode* node : m_elements) {
      const char* value = attribute(node, "id");
      if (value != nullptr && id == value) return node;
    }
    return nullptr;
  }

  std::string text(const std::string& id) const {
    const GumboNode* node = by_id(id);
    return node == nullptr ? "(no element #" + id + ")" : text_of(node);
  }

  bool hidden(const std::string& id) const {
    const GumboNode* node = by_id(id);
    return node != nullptr && attribute(node, "hidden") != nullptr;
  }

  // The table of section name: its header texts and its rows' cell texts.
  HtmlTable table(const std::string& name) const {
    HtmlTable table;
    const GumboNode* node = by_id(name + "-table");
    if (node == nullptr) {
      ADD_FAILURE() << "no table " << name;
      return table;
    }
    table.hidden = attribute(node, "hidden") != nullptr;
    const char* limit = attribute(node, "data-limit");
    table.limit = limit == nullptr ? 0 : std::stoul(limit);
    for (const GumboNode* head : elements(node, GUMBO_TAG_THEAD)) {
      for (const GumboNode* row : elements(head, GUMBO_TAG_TR)) {
        for (const GumboNode* cell : elements(row, GUMBO_TAG_TH)) {
          table.headers.push_back(text_of(cell));
        }
      }
    }
    for (const GumboNode* body : elements(node, GUMBO_TAG_TBODY)) {
      for (const GumboNode* row : elements(body, GUMBO_TAG_TR)) {
        HtmlRow cells;
        cells.hidden = attribute(row, "hidden") != nullptr;
        for (const GumboNode* cell : elements(row, GUMBO_TAG_TD)) {
          cells.cells.push_back(text_of(cell));
        }
        table.rows.push_back(std::move(cells));
      }
    }
    return table;
  }

 private:
  std::string m_html;
  GumboOutput* m_output;
  std::vector<const GumboNode*> m_elements;
};

// ---- Files and values.

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A new empty directory of this test process, removed with the object (ctest runs the cases
// of this file in processes of their own, side by side).
class Scratch {
 public:
  explicit Scratch(const std::string& name)
      : m_path(testing::TempDir() + "pgmdev_report_" + std::to_string(getpid()) + "_" + name) {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

std::string grouped(unsigned long long value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::string::npos;) {
    parts.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  parts.push_back(text.substr(from));
  return parts;
}

unsigned long long hex_value(const std::string& text) {
  std::size_t used = 0;
  const unsigned long long value = std::stoull(text, &used, 16);
  EXPECT_EQ(used, text.size()) << text;
  return value;
}

// "128 Mbit" or "64 KB" back to a count of the base unit; units[i] is worth 1024^i.
unsigned long long unit_value(const std::string& text, const std::vector<std::string>& units) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) {
    ADD_FAILURE() << "no unit in '" << text << "'";
    return 0;
  }
  const unsigned long long number = std::stoull(text.substr(0, blank));
  const std::string unit = text.substr(blank + 1);
  unsigned long long scale = 1;
  for (const std::string& known : units) {
    if (known == unit) return number * scale;
    scale *= 1024;
  }
  ADD_FAILURE() << "unknown unit in '" << text << "'";
  return 0;
}

const std::vector<std::string> kBitUnits = {"bit", "Kbit", "Mbit", "Gbit"};
const std::vector<std::string> kByteUnits = {"bytes", "KB", "MB", "GB"};

std::string installed_db_dir() { return tool_test::installed_prefix() + "/share/pgmdev/device_db"; }
std::string installed_page() {
  return tool_test::installed_prefix() + "/share/doc/pgmdev/supported/index.html";
}

// The identification bytes that a flash record compares, by position: -1 where it compares
// none; empty for a silicon-id record.
std::map<unsigned int, unsigned int> compared_bytes(const PGMDEV_SFL_FLASH_INFO& record) {
  std::map<unsigned int, unsigned int> bytes;
  if (record.silicon_id) return bytes;
  bytes[record.mfc_id_index] = record.mfc_id;
  if (record.memory_type_index != 0xFF) bytes[record.memory_type_index] = record.memory_type;
  bytes[record.memory_id_index] = record.memory_id;
  return bytes;
}

// Whether an HPS SPI record's siid (manufacturer code lowest, under its mask) holds every byte
// that the flash record compares.
bool hps_has_flash_id(const PGMDEV_HPS_SPI_STRUCTURE& hps, const PGMDEV_SFL_FLASH_INFO& flash) {
  const std::map<unsigned int, unsigned int> bytes = compared_bytes(flash);
  if (bytes.empty()) return false;
  for (const auto& [position, value] : bytes) {
    if (position >= 4) return false;
    const unsigned int shift = 8 * position;
    if (((hps.mask >> shift) & 0xFF) == 0 || ((hps.siid >> shift) & 0xFF) != value) return false;
  }
  return true;
}

// Loads the installed flash records and the HPS list in this process, with the data the
// installed tool reads.
class LibraryData {
 public:
  LibraryData() {
    cfg_set_value("PGMDEV_DEVICE_DB_DIR", installed_db_dir());
    cfg_set_value("PGMDEV_MODULE_DIR", tool_test::installed_prefix() + "/bin");
  }
  ~LibraryData() {
    cfg_unset_value("PGMDEV_DEVICE_DB_DIR");
    cfg_unset_value("PGMDEV_MODULE_DIR");
  }
  std::vector<PGMDEV_SFL_FLASH_INFO> flash() const {
    return PGMDEV_FLASH_MANAGER::read_file_records(
        FIO_PATH(installed_db_dir() + "/programmer/pgm_flash.pcf"));
  }
  const std::vector<PGMDEV_HPS_SPI_STRUCTURE*>& hps() const {
    return PGMDEV_HPS_SPI_MGR::get_mgr()->m_flash_list;
  }
};

// ---- The shipped data's page, written once by the installed tool.

class ShippedPage : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_scratch = new Scratch("shipped");
    s_directory = new std::string(s_scratch->path());
    // A page of an earlier run is replaced whole.
    std::ofstream(*s_directory + "/index.html") << "an older page";
    s_run = new ToolRun(run_tool({"report", "--html", *s_directory, "--json"}));
    s_html = new std::string(read_text(*s_directory + "/index.html"));
    s_page = new HtmlPage(*s_html);
  }
  static void TearDownTestSuite() {
    delete s_page;
    delete s_html;
    delete s_run;
    delete s_directory;
    delete s_scratch;
  }

  const HtmlPage& page() const { return *s_page; }

  static Scratch* s_scratch;
  static std::string* s_directory;
  static ToolRun* s_run;
  static std::string* s_html;
  static HtmlPage* s_page;
};

Scratch* ShippedPage::s_scratch = nullptr;
std::string* ShippedPage::s_directory = nullptr;
ToolRun* ShippedPage::s_run = nullptr;
std::string* ShippedPage::s_html = nullptr;
HtmlPage* ShippedPage::s_page = nullptr;

TEST_F(ShippedPage, TheCommandWritesOnlyThePageAndSaysWhatItHolds) {
  ASSERT_EQ(s_run->status, 0) << *s_run;
  EXPECT_EQ(s_run->err, "") << *s_run;
  const tool_test::Json answer = s_run->json();
  EXPECT_EQ(answer["page"], *s_directory + "/index.html") << *s_run;
  EXPECT_EQ(answer["bytes"], s_html->size()) << *s_run;
  EXPECT_EQ(answer["families"], DEV_FAMILY_GENERIC - 1) << *s_run;
  EXPECT_EQ(answer["parts"], DEV_PART_MAX - 2) << *s_run;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(*s_directory)) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"index.html"});
}

TEST_F(ShippedPage, NeedsNothingFromOutside) {
  int scripts = 0;
  for (const GumboNode* node : page().all()) {
    const GumboTag tag = node->v.element.tag;
    EXPECT_EQ(attribute(node, "src"), nullptr) << gumbo_normalized_tagname(tag);
    EXPECT_NE(tag, GUMBO_TAG_LINK);
    EXPECT_NE(tag, GUMBO_TAG_IFRAME);
    if (tag == GUMBO_TAG_A) {
      const char* href = attribute(node, "href");
      EXPECT_TRUE(href != nullptr && href[0] == '#') << "a link out of the page";
    }
    if (tag == GUMBO_TAG_SCRIPT) ++scripts;
    if (tag == GUMBO_TAG_STYLE) {
      EXPECT_FALSE(contains(text_of(node), "url(")) << "the style loads something";
      EXPECT_FALSE(contains(text_of(node), "@import"));
    }
  }
  EXPECT_EQ(scripts, 1);
}

TEST_F(ShippedPage, HeaderGivesVersionsDataFilesAndCounts) {
  const LibraryData library;
  std::string facts;
  for (const GumboNode* node : page().all()) {
    if (node->v.element.tag == GUMBO_TAG_DD) facts += text_of(node) + "\n";
  }
  EXPECT_TRUE(contains(facts, "pgmdev " + PGMDEV_MGR::get_library_version())) << facts;
  EXPECT_TRUE(contains(facts, ver_get_version() + " (version number ")) << facts;
  for (const char* file : {"pgm_dev_info.pcf", "pgm_flash.pcf"}) {
    const std::string path = installed_db_dir() + "/programmer/" + file;
    const auto size = std::filesystem::file_size(path);
    EXPECT_TRUE(contains(facts, std::string("programmer/") + file)) << facts;
    EXPECT_TRUE(contains(facts, "(" + grouped(size) + " bytes)")) << file << "\n" << facts;
  }
  EXPECT_TRUE(contains(facts, "pgm_flash.ini \u00b7 none")) << facts;

  const std::vector<PGMDEV_SFL_FLASH_INFO> flash = library.flash();
  unsigned long long gated = 0;
  for (const PGMDEV_SFL_FLASH_INFO& record : flash) gated += gen_stricmp(record.ini, "NONE") != 0;
  const std::string counts = page().text("counts");
  for (const std::string& count :
       {grouped(DEV_FAMILY_GENERIC - 1) + " families", grouped(DEV_PART_MAX - 2) + " parts",
        grouped(flash.size()) + " flash records (" + grouped(gated) + " behind a gate)",
        grouped(library.hps().size()) + " HPS SPI records (0 from pgm_flash.ini)"}) {
    EXPECT_TRUE(contains(counts, count)) << count << "\n" << counts;
  }
  for (const char* name : {"families", "parts", "flash", "hps-spi"}) {
    EXPECT_EQ(page().text(std::string(name) + "-count"), grouped(page().table(name).rows.size()));
    EXPECT_TRUE(page().hidden(std::string(name) + "-none")) << name;
  }
}

TEST_F(ShippedPage, FamilyRowsAreTheCataloguesAndTheDeviceInfoRecords) {
  const LibraryData library;
  PGMDEV_DEV_INFO_MANAGER dev_info(false, 0);
  const DEV_PART_MANAGER catalogue;
  const HtmlTable table = page().table("families");
  ASSERT_EQ(table.rows.size(), static_cast<std::size_t>(DEV_FAMILY_GENERIC - 1));
  for (std::size_t row = 0; row < table.rows.size() && !HasFailure(); ++row) {
    const DEV_FAMILY_ENUM family = static_cast<DEV_FAMILY_ENUM>(row + 1);
    const std::vector<std::string>& cells = table.rows[row].cells;
    ASSERT_EQ(cells.size(), 6u);
    const std::string identifier = dstr_get_family_identifier(family);
    EXPECT_EQ(cells[0], dstr_get_user_string(family));
    EXPECT_EQ(cells[1], identifier);
    EXPECT_EQ(split(cells[2], ", "), GRAMMAR::get_family_pcfs(identifier)) << identifier;
    int devices = 0;
    for (int device = 1; device < DEV_DEVICE_MAX; ++device) {
      devices += catalogue.get_family_of(static_cast<DEV_DEVICE_ENUM>(device)) == family;
    }
    int parts = 0;
    for (int part = 1; part < DEV_PART_MAX; ++part) {
      parts += catalogue.get_family_of(catalogue.get_device_of(static_cast<DEV_PART_ENUM>(part))) ==
               family;
    }
    EXPECT_EQ(cells[3], std::to_string(devices)) << identifier;
    EXPECT_EQ(cells[4], std::to_string(parts)) << identifier;
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record(dev_info.get_db_by_family(family));
    ASSERT_NE(record, nullptr) << "every family has a record: its own or GENERIC's";
    const std::string label = record->family != DEV_FAMILY_INVALID
                                  ? dstr_get_family_identifier(record->family)
                                  : "pcf " + record->pcf;
    EXPECT_EQ(cells[5], label + " (record " + std::to_string(dev_info.m_index) + ")");
  }
  // Two families whose answers the tests rely on elsewhere.
  const auto row_of = [&table](const std::string& identifier) {
    for (const HtmlRow& row : table.rows) {
      if (row.cells.size() == 6 && row.cells[1] == identifier) return row.cells;
    }
    return std::vector<std::string>(6);
  };
  EXPECT_TRUE(contains(row_of("TERNFIELD")[2], "QZ60B"));
  EXPECT_TRUE(contains(row_of("TERNFIELD")[5], "TERNFIELD (record "));
}

TEST_F(ShippedPage, PartRowsAreTheLibrarysNamesOpnsAndGrades) {
  const DEV_PART_MANAGER catalogue;
  const HtmlTable table = page().table("parts");
  EXPECT_EQ(table.headers, (std::vector<std::string>{"Part", "Package", "pgm name", "pcf", "Family",
                                                     "OPN", "OPN hash", "Grade", "Status"}));
  std::set<int> seen;
  // filter_part_list's answer for one grade and status, by "C6 production".
  std::map<std::string, std::set<int>> listed;
  for (const HtmlRow& row : table.rows) {
    const std::vector<std::string>& cells = row.cells;
    ASSERT_EQ(cells.size(), 9u);
    const std::string& name = cells[0];
    const DEV_PART_ENUM part = dstr_get_dev_part_enum_by_string(name);
    ASSERT_NE(part, DEV_PART_INVALID) << name;
    ASSERT_NE(part, DEV_PART_GENERIC) << name;
    EXPECT_TRUE(seen.insert(part).second) << name << " is listed twice";
    const std::string pgm = GRAMMAR::get_pgm_name(name, false, true);
    EXPECT_EQ(cells[1], GRAMMAR::get_package_name(name, true)) << name;
    EXPECT_EQ(cells[2], pgm) << name;
    EXPECT_EQ(cells[3], pgm.empty() ? "" : GRAMMAR::get_pgm_part_pcf(pgm)) << name;
    EXPECT_EQ(cells[4],
              dstr_get_user_string(catalogue.get_family_of(catalogue.get_device_of(part))))
        << name;
    const unsigned int ordinal = PGMDEV_MGR::get_opn_enum(name);
    EXPECT_EQ(cells[5], ordinal == kNoOpnEnum ? "" : std::to_string(ordinal)) << name;
    const unsigned long long hash = PGMDEV_MGR::get_opn_hash(name);
    if (hash == kNoOpnHash) {
      EXPECT_EQ(cells[6], "") << name;
    } else {
      EXPECT_EQ(cells[6].size(), 14u) << "0x and 12 digits: " << cells[6];
      EXPECT_EQ(cells[6].substr(0, 2), "0x");
      EXPECT_EQ(hex_value(cells[6].substr(2)), hash) << name;
    }
    const std::string& grade = cells[7];
    const std::string& status = cells[8];
    ASSERT_EQ(grade.size(), 2u) << name;
    const std::string key = grade + " " + status;
    if (listed.count(key) == 0) {
      std::vector<DEV_PART_ENUM> parts;
      catalogue.filter_part_list(&parts, "ANY", "ANY", "ANY", grade.substr(1), grade.substr(0, 1),
                                 status != "sample", grade[0] == 'C', true, status);
      listed[key] = std::set<int>(parts.begin(), parts.end());
    }
    EXPECT_EQ(listed[key].count(part), 1u) << name << " is not listed as " << key;
    if (HasFailure()) break;
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(DEV_PART_MAX - 2));
}

TEST_F(ShippedPage, FlashRowsAreTheFileRecordsAndTheirBytesIdentifyThem) {
  const LibraryData library;
  const std::vector<PGMDEV_SFL_FLASH_INFO> records = library.flash();
  const std::vector<PGMDEV_HPS_SPI_STRUCTURE*>& hps = library.hps();
  const HtmlTable table = page().table("flash");
  ASSERT_EQ(table.rows.size(), records.size());
  // A manager per gate, loaded with that gate's switch on.
  std::map<std::string, std::unique_ptr<PGMDEV_FLASH_MANAGER>> managers;
  for (std::size_t index = 0; index < records.size() && !HasFailure(); ++index) {
    const PGMDEV_SFL_FLASH_INFO& record = records[index];
    const std::vector<std::string>& cells = table.rows[index].cells;
    ASSERT_EQ(cells.size(), 13u);
    EXPECT_EQ(cells[0], record.manufacturer_name);
    EXPECT_EQ(cells[1], record.device_name);
    // The bytes shown, in the order read from the flash.
    std::vector<unsigned char> id;
    if (record.silicon_id) {
      ASSERT_EQ(cells[2].rfind("silicon id ", 0), 0u) << cells[2];
      id.push_back(static_cast<unsigned char>(hex_value(cells[2].substr(11))));
      EXPECT_EQ(id[0], record.memory_id) << record.device_name;
    } else {
      const std::map<unsigned int, unsigned int> compared = compared_bytes(record);
      const std::vector<std::string> bytes = split(cells[2], " ");
      ASSERT_EQ(bytes.size(), compared.rbegin()->first + 1) << cells[2];
      for (unsigned int position = 0; position < bytes.size(); ++position) {
        const auto found = compared.find(position);
        if (found == compared.end()) {
          EXPECT_EQ(bytes[position], "xx") << cells[2];
          id.push_back(0);
        } else {
          EXPECT_EQ(hex_value(bytes[position]), found->second) << cells[2];
          id.push_back(static_cast<unsigned char>(hex_value(bytes[position])));
        }
      }
    }
    std::unique_ptr<PGMDEV_FLASH_MANAGER>& manager = managers[record.ini];
    if (!manager) {
      cfg_set_value("PGM_ALLOW_" + record.ini, "1");
      manager = std::make_unique<PGMDEV_FLASH_MANAGER>(false, 1, false, false);
      cfg_unset_value("PGM_ALLOW_" + record.ini);
    }
    EXPECT_TRUE(manager->flash_id_database_mapping(record.silicon_id, 0, id.data(),
                                                   static_cast<unsigned int>(id.size())))
        << record.device_name << ": the bytes " << cells[2] << " select no record";
    EXPECT_EQ(unit_value(cells[3], kBitUnits), record.device_bit_size) << cells[3];
    EXPECT_EQ(unit_value(cells[4], kByteUnits), record.device_sector_byte) << cells[4];
    EXPECT_EQ(cells[5], record.byte4_addressing ? "yes" : "no");
    EXPECT_EQ(cells[6], std::to_string(record.die_count));
    EXPECT_EQ(cells[7], std::to_string(record.bulk_erase_time) + " s");
    EXPECT_EQ(cells[8], std::to_string(record.sec_erase_time) + " s");
    EXPECT_EQ(cells[9], std::to_string(record.program_utime) + " \u00b5s");
    EXPECT_EQ(cells[10], record.default_dev ? "yes" : "no");
    EXPECT_EQ(cells[11],
              gen_stricmp(record.ini, "NONE") == 0 ? "always" : "PGM_ALLOW_" + record.ini);
    std::vector<std::string> expected_hps;
    for (std::size_t k = 0; k < hps.size(); ++k) {
      if (hps_has_flash_id(*hps[k], record)) {
        expected_hps.push_back("#" + std::to_string(k + 1) + "\u00a0" + hps[k]->name);
      }
    }
    EXPECT_EQ(split(cells[12], ", "), expected_hps) << record.device_name;
  }
  // The pairs a reader looks for: a Micron 128 Mbit quad flash beside its HPS records.
  bool micron_128 = false;
  for (const HtmlRow& row : table.rows) {
    if (row.cells.size() == 13 && row.cells[2] == "20 BA 18") {
      micron_128 = contains(row.cells[12], "QSPI_128");
    }
  }
  EXPECT_TRUE(micron_128);
}

TEST_F(ShippedPage, HpsRowsAreTheHpsListWithTheFlashRecordsTheyServe) {
  const LibraryData library;
  const std::vector<PGMDEV_SFL_FLASH_INFO> flash = library.flash();
  const std::vector<PGMDEV_HPS_SPI_STRUCTURE*>& hps = library.hps();
  const HtmlTable table = page().table("hps-spi");
  ASSERT_EQ(table.rows.size(), hps.size());
  for (std::size_t index = 0; index < hps.size() && !HasFailure(); ++index) {
    const PGMDEV_HPS_SPI_STRUCTURE& record = *hps[index];
    const std::vector<std::string>& cells = table.rows[index].cells;
    ASSERT_EQ(cells.size(), 14u);
    EXPECT_EQ(cells[0], std::to_string(index + 1));
    EXPECT_EQ(cells[1], "built-in");
    EXPECT_EQ(cells[2], record.manufacturer);
    EXPECT_EQ(cells[3], record.name);
    // The bytes, manufacturer first, make up the masked siid.
    unsigned int siid = 0;
    const std::vector<std::string> bytes = split(cells[4], " ");
    for (std::size_t position = 0; position < bytes.size(); ++position) {
      siid |= static_cast<unsigned int>(hex_value(bytes[position])) << (8 * position);
    }
    EXPECT_EQ(siid, record.siid & record.mask) << cells[4];
    if (record.ext_mask == 0) {
      EXPECT_EQ(cells[5], "") << record.name;
    } else {
      EXPECT_EQ(hex_value(cells[5]), record.ext_siid & record.ext_mask) << record.name;
    }
    EXPECT_EQ(unit_value(cells[6], kBitUnits), record.flash_bit_size);
    EXPECT_EQ(unit_value(cells[7], kByteUnits), record.sector_byte_size);
    EXPECT_EQ(unit_value(cells[8], kByteUnits), record.page_byte_size);
    EXPECT_EQ(cells[9], std::to_string(record.die_size));
    EXPECT_EQ(cells[10], std::to_string(record.bulk_erase_time) + " s");
    EXPECT_EQ(cells[11], std::to_string(record.sector_erase_time) + " s");
    EXPECT_EQ(cells[12], std::to_string(record.page_program_time) + " \u00b5s");
    std::vector<std::string> served;
    for (const PGMDEV_SFL_FLASH_INFO& flash_record : flash) {
      if (hps_has_flash_id(record, flash_record) &&
          std::find(served.begin(), served.end(), flash_record.device_name) == served.end()) {
        served.push_back(flash_record.device_name);
      }
    }
    EXPECT_EQ(split(cells[13], ", "), served) << record.name;
  }
}

TEST_F(ShippedPage, IsTheBuildsAndTheInstalledPage) {
  EXPECT_TRUE(read_text(std::string(PGMDEV_BINARY_DIR) +
                        "/share/doc/pgmdev/supported/index.html") == *s_html)
      << "the build tree's page differs from a fresh run";
  EXPECT_TRUE(read_text(installed_page()) == *s_html)
      << "the installed page differs from a fresh run";
}

// ---- Text that needs escaping, gates and the user's HPS records.

// The flash CSV's header rows and a data row of the shipped CSV with the given maker, device
// name, gate and default flag.
std::string flash_csv(const std::vector<std::vector<std::string>>& changes) {
  std::ifstream in(std::string(PGMDEV_SOURCE_DIR) + "/data/flash/pgm_flash.csv");
  std::string csv;
  std::string line;
  std::string sample;
  for (int row = 0; std::getline(in, line); ++row) {
    if (row < 8) csv += line + "\n";
    if (line.find("W25Q128JV") != std::string::npos && sample.empty()) sample = line;
  }
  std::vector<std::string> fields = split(sample, ",");
  for (std::string& field : fields) field = gen_remove_leading_and_trailing_white_spaces(field);
  for (const std::vector<std::string>& change : changes) {
    std::vector<std::string> row = fields;
    row[0] = change[0];   // manufacturer_name
    row[1] = change[1];   // device_name
    row[10] = change[3];  // default_dev
    row[11] = change[2];  // ini
    std::string text;
    for (const std::string& field : row) text += (text.empty() ? "" : ", ") + field;
    csv += text + "\n";
  }
  return csv;
}

TEST(ToolReport, EscapesTextAndShowsGatesAndTheUsersHpsRecords) {
  const Scratch data_directory("fixture_data");
  const Scratch module_directory("fixture_module");
  const Scratch page_directory("fixture_page");
  const std::string& data = data_directory.path();
  const std::string& module = module_directory.path();
  const std::string& out = page_directory.path();
  std::filesystem::create_directories(data + "/programmer");
  std::filesystem::copy_file(installed_db_dir() + "/programmer/pgm_dev_info.pcf",
                             data + "/programmer/pgm_dev_info.pcf");
  const std::string maker = "A&B<i>C";
  const std::string device = "Q\"U'O<T>E";
  std::ofstream(data + "/flash.csv")
      << flash_csv({{maker, device, "NONE", "TRUE"}, {"GATED", "G&1", "BETA", "TRUE"}});
  const ToolRun generated =
      run_tool({"gen-flash", data + "/flash.csv", data + "/programmer/pgm_flash.pcf"});
  ASSERT_EQ(generated.status, 0) << generated;

  // One user record in pgm_flash.ini with the W25Q128JV's bytes (EF 40 18).
  {
    cfg_set_value("PGMDEV_MODULE_DIR", module);
    PGMDEV_HPS_SPI_STRUCTURE user(0x1840EF, 0xFFFFFF, 0, 0, "ME&YOU", "<SPI>", 0x8000000, 0x10000,
                                  256, 80, 3, 1, 1500, 1, 1, true, 0xDC, 0x12, 0x13);
    Bytes section(PGMDEV_HPS_SPI_MD5, PGMDEV_HPS_SPI_MD5 + PGMDEV_HPS_SECTION_SIGNATURE_BYTES);
    append(section, encode_record(PGMDEV_HPS_SPI_PARAM_TYPE_LIST, user.m_param_pointers,
                                  PGMDEV_HPS_SPI_PARAM_COUNT));
    ASSERT_TRUE(write_section(PGMDEV_FLASH_INI_HPS_SPI, section));
    cfg_unset_value("PGMDEV_MODULE_DIR");
  }

  const ToolRun run =
      run_tool({"report", "--html", out},
               with_env({{"PGMDEV_DEVICE_DB_DIR", data}, {"PGMDEV_MODULE_DIR", module}}));
  ASSERT_EQ(run.status, 0) << run;
  const std::string html = read_text(out + "/index.html");
  EXPECT_FALSE(contains(html, maker)) << "the maker's name went into the page unescaped";
  const HtmlPage page(html);
  const HtmlTable flash = page.table("flash");
  ASSERT_EQ(flash.rows.size(), 2u);
  ASSERT_EQ(flash.rows[0].cells.size(), 13u);
  ASSERT_EQ(flash.rows[1].cells.size(), 13u);
  EXPECT_EQ(flash.rows[0].cells[0], maker);
  EXPECT_EQ(flash.rows[0].cells[1], device);
  EXPECT_EQ(flash.rows[0].cells[11], "always");
  EXPECT_EQ(flash.rows[0].cells[12], "#1\u00a0<SPI>");
  EXPECT_EQ(flash.rows[1].cells[1], "G&1");
  EXPECT_EQ(flash.rows[1].cells[11], "PGM_ALLOW_BETA");
  const HtmlTable hps = page.table("hps-spi");
  ASSERT_EQ(hps.rows.size(), PGMDEV_HPS_SPI_DATABASE_COUNT + 1);
  ASSERT_EQ(hps.rows[0].cells.size(), 14u);
  ASSERT_EQ(hps.rows[1].cells.size(), 14u);
  EXPECT_EQ(hps.rows[0].cells[1], "pgm_flash.ini");
  EXPECT_EQ(hps.rows[0].cells[2], "ME&YOU");
  EXPECT_EQ(hps.rows[0].cells[3], "<SPI>");
  EXPECT_EQ(hps.rows[0].cells[4], "EF 40 18");
  EXPECT_EQ(hps.rows[0].cells[13], device + ", G&1");
  EXPECT_EQ(hps.rows[1].cells[1], "built-in");
  const std::string counts = page.text("counts");
  EXPECT_TRUE(contains(counts, "2 flash records (1 behind a gate)")) << counts;
  EXPECT_TRUE(contains(counts, std::to_string(PGMDEV_HPS_SPI_DATABASE_COUNT + 1) +
                                   " HPS SPI records (1 from pgm_flash.ini)"))
      << counts;
}

TEST(ToolReport, RefusesWhatItCannotReadOrWrite) {
  const Scratch scratch("refusals");
  const std::string blocker = scratch.path() + "/a_file";
  std::ofstream(blocker) << "not a directory";
  const std::string damaged = scratch.path() + "/damaged";
  std::filesystem::create_directories(damaged + "/programmer");
  std::filesystem::copy_file(installed_db_dir() + "/programmer/pgm_dev_info.pcf",
                             damaged + "/programmer/pgm_dev_info.pcf");
  std::ofstream(damaged + "/programmer/pgm_flash.pcf") << std::string(100, 'x');
  const std::string missing = scratch.path() + "/no_such_directory";
  const std::string out = scratch.path() + "/unwritten";
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> env;
    int status;
    std::string message;  // on standard error
  };
  const Case kCases[] = {
      {"no directory given", {"report"}, {}, 2, "--html is required"},
      {"directory under a file",
       {"report", "--html", blocker + "/page"},
       {},
       1,
       "cannot create the directory " + blocker + "/page"},
      {"no device data directory",
       {"report", "--html", out},
       {{"PGMDEV_DEVICE_DB_DIR", missing}},
       3,
       "the device data directory " + missing + " does not exist"},
      {"damaged flash database",
       {"report", "--html", out},
       {{"PGMDEV_DEVICE_DB_DIR", damaged}},
       3,
       "while reading " + damaged + "/programmer/pgm_flash.pcf"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments, with_env(c.env));
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.what << ": " << c.message << "\n" << run;
    EXPECT_EQ(run.out, "") << c.what << "\n" << run;
  }
  EXPECT_FALSE(std::filesystem::exists(out)) << "a failed run wrote a page";
}

// ---- In a browser.

// Chromium from Debian's package (./dev.sh deps installs it); "" when it is not there.
std::string chromium_path() {
  for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (std::filesystem::exists(candidate)) return candidate;
  }
  return "";
}

// Runs headless Chromium on url with a fresh profile; the action flags come after the common
// ones.
ToolRun chromium(const std::string& url, const std::vector<std::string>& action) {
  static int profiles = 0;
  const Scratch profile("chromium_profile_" + std::to_string(++profiles));
  std::vector<std::string> arguments = {"240",
                                        chromium_path(),
                                        "--headless",
                                        "--no-sandbox",
                                        "--disable-gpu",
                                        "--disable-quic",
                                        "--no-first-run",
                                        "--disable-background-networking",
                                        "--disable-component-update",
                                        "--disable-sync",
                                        "--hide-scrollbars",
                                        "--user-data-dir=" + profile.path(),
                                        "--virtual-time-budget=10000"};
  arguments.insert(arguments.end(), action.begin(), action.end());
  arguments.push_back(url);
  return run_program("timeout", arguments);
}

std::string compact_upper(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (!std::isspace(static_cast<unsigned char>(c))) {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

TEST(ToolReportBrowser, OpensFilteredByTheQueryInItsAddress) {
  ASSERT_NE(chromium_path(), "") << "Chromium is not installed: run ./dev.sh deps";
  // The parts whose package is QZ40BF256, by the library.
  std::set<std::string> qz40bf256_parts;
  for (int number = 1; number < DEV_PART_GENERIC; ++number) {
    const std::string name = dstr_get_user_string(static_cast<DEV_PART_ENUM>(number));
    if (GRAMMAR::get_package_name(name, true) == "QZ40BF256") qz40bf256_parts.insert(name);
  }
  ASSERT_FALSE(qz40bf256_parts.empty());
  // The flash device names that hold W25Q128, by the flash file.
  std::set<std::string> w25q128_flash;
  {
    const LibraryData library;
    for (const PGMDEV_SFL_FLASH_INFO& record : library.flash()) {
      if (contains(record.device_name, "W25Q128")) w25q128_flash.insert(record.device_name);
    }
  }
  ASSERT_FALSE(w25q128_flash.empty());
  const std::set<std::string> every_table = {"families", "parts", "flash", "hps-spi"};
  struct Case {
    const char* query;           // as the reader means it
    const char* in_url;          // as it stands after ?q=
    std::set<std::string> kept;  // the tables that keep rows
    int key_column;              // the column whose values are listed below
    std::set<std::string> rows;  // those values (empty: whatever holds the query)
  };
  const Case kCases[] = {
      {"W25Q128", "W25Q128", {"flash"}, 1, w25q128_flash},
      {"qz40bf256", "qz40bf256", {"parts"}, 0, qz40bf256_parts},
      {" ef 40 18 ", "%20ef%2040%2018%20", {"flash"}, 2, {"EF 40 18"}},
      {"no such device", "no%20such%20device", {}, 0, {}},
      {"QZ", "QZ", {"families", "parts"}, 0, {}},
      {"", "", every_table, 0, {}},
  };
  for (const Case& c : kCases) {
    const ToolRun run = chromium("file://" + installed_page() + "?q=" + c.in_url, {"--dump-dom"});
    ASSERT_EQ(run.status, 0) << c.query << "\n" << run;
    const HtmlPage dom(run.out);
    const std::string query = compact_upper(c.query);
    for (const std::string& name : every_table) {
      const HtmlTable table = dom.table(name);
      ASSERT_FALSE(table.rows.empty()) << name << " of the rendered page\n" << run.err;
      ASSERT_GT(table.limit, 0) << name;
      // A row is shown when it holds the query and fewer than the table's limit of rows
      // before it do.
      std::size_t matches = 0;
      std::set<std::string> keys;
      for (const HtmlRow& row : table.rows) {
        ASSERT_EQ(row.cells.size(), table.headers.size()) << name;
        bool holds = false;
        for (const std::string& cell : row.cells) {
          holds = holds || contains(compact_upper(cell), query);
        }
        const bool shown = holds && matches < table.limit;
        matches += holds;
        EXPECT_EQ(row.hidden, !shown) << c.query << ": " << name << " row " << row.cells[0];
        if (shown) keys.insert(row.cells[static_cast<std::size_t>(c.key_column)]);
      }
      EXPECT_EQ(matches > 0, c.kept.count(name) == 1)
          << c.query << ": " << name << " keeps " << matches << " rows";
      EXPECT_EQ(table.hidden, matches == 0) << c.query << ": " << name;
      EXPECT_EQ(dom.hidden(name + "-none"), matches != 0) << c.query << ": " << name;
      EXPECT_EQ(dom.hidden(name + "-more"), matches <= table.limit) << c.query << ": " << name;
      EXPECT_EQ(dom.text(name + "-count"),
                query.empty() ? grouped(table.rows.size())
                              : grouped(matches) + " of " + grouped(table.rows.size()))
          << c.query << ": " << name;
      if (c.kept.count(name) == 1 && !c.rows.empty()) {
        EXPECT_EQ(keys, c.rows) << c.query;
      }
    }
  }
}

TEST(ToolReportBrowser, ShowAllBringsBackEveryMatchingRow) {
  ASSERT_NE(chromium_path(), "") << "Chromium is not installed: run ./dev.sh deps";
  // The page as a reader leaves it after pressing the part table's "Show all".
  const Scratch scratch("show_all");
  std::string page = read_text(installed_page());
  const std::size_t end = page.rfind("</body>");
  ASSERT_NE(end, std::string::npos);
  page.insert(end, "<script>document.querySelector('#parts-more button').click();</script>\n");
  std::ofstream(scratch.path() + "/index.html") << page;
  const ToolRun run = chromium("file://" + scratch.path() + "/index.html?q=c6", {"--dump-dom"});
  ASSERT_EQ(run.status, 0) << run;
  const HtmlPage dom(run.out);
  const HtmlTable parts = dom.table("parts");
  std::size_t shown = 0;
  for (const HtmlRow& row : parts.rows) {
    bool holds = false;
    for (const std::string& cell : row.cells) holds = holds || contains(compact_upper(cell), "C6");
    EXPECT_EQ(row.hidden, !holds) << row.cells[0];
    shown += !row.hidden;
  }
  EXPECT_GT(shown, parts.limit) << "the search should match more rows than are shown at once";
  EXPECT_TRUE(dom.hidden("parts-more"));
  EXPECT_EQ(dom.text("parts-count"), grouped(shown) + " of " + grouped(parts.rows.size()));
}

TEST(ToolReportBrowser, ScreenshotsForAPersonToLookAt) {
  ASSERT_NE(chromium_path(), "") << "Chromium is not installed: run ./dev.sh deps";
  const std::string directory = std::string(PGMDEV_BINARY_DIR) + "/screenshots";
  std::filesystem::create_directories(directory);
  // The page scrolled into the part table, in a frame (a headless screenshot shows a scrolled
  // page only inside one): the column headers stay under the search bar.
  std::string scrolled = read_text(installed_page());
  const std::size_t end = scrolled.rfind("</body>");
  ASSERT_NE(end, std::string::npos);
  scrolled.insert(end,
                  "<script>scrollTo(0, document.getElementById('parts-table').offsetTop + "
                  "2000);</script>\n");
  std::ofstream(directory + "/scrolled.html") << scrolled;
  std::ofstream(directory + "/frame.html")
      << "<!DOCTYPE html><body style=\"margin:0\"><iframe src=\"scrolled.html\" "
         "style=\"border:0;width:1366px;height:768px\"></iframe>\n";
  struct Case {
    const char* file;
    std::string url;
  };
  const Case kCases[] = {
      {"supported-page.png", "file://" + installed_page()},
      {"supported-page-W25Q128.png", "file://" + installed_page() + "?q=W25Q128"},
      {"supported-page-scrolled.png", "file://" + directory + "/frame.html"},
  };
  for (const Case& c : kCases) {
    const std::string path = directory + "/" + c.file;
    std::filesystem::remove(path);
    const ToolRun run = chromium(c.url, {"--window-size=1366,768", "--screenshot=" + path});
    ASSERT_EQ(run.status, 0) << run;
    const std::string png = read_text(path);
    ASSERT_GT(png.size(), 8u) << path;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << path;
    std::printf("screenshot: %s\n", path.c_str());
  }
}

}  // namespace
