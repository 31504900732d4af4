// Makes the seed corpora of the fuzz targets from the data that the build ships, so that the seeds
// follow the data and the schemas instead of drifting from them:
//
//   make_seeds OUT_DIR GRAMMAR_BLOB OPN_BLOB DEV_INFO_PCF FLASH_PCF DEV_INFO_CSV PARTS_LIST
//              FLASH_CSV
//
// writes OUT_DIR/<target>/<seed> for every target (OUT_DIR is emptied first) and OUT_DIR/stamp
// last. The name-database seeds are the shipped compressed blobs, the OPN body and slices of the
// grammar body (whole records, each section keeping its longest list); the database seeds are the
// generated files and their inflated bodies; the user flash seeds come from the flash-ini dialogue
// run on the answers of docs/user_flash.md; pgm_flash.ini is written by the library's own writer
// with HPS records from the built-in tables; the SFDP images are those the SFDP tests build.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cfg.h"
#include "ddb_blob_writer.h"
#include "fuzz_support.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_flash_ini.h"
#include "pgmdev_flash_manager.h"
#include "pgmdev_hps_mgr.h"
#include "pgmdev_sfdp_test_util.h"

namespace {

using pgmdev_fuzz::Bytes;
namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "make_seeds: %s\n", what.c_str());
  std::exit(1);
}

Bytes read_or_fail(const std::string& path) {
  if (!fs::is_regular_file(path)) fail("cannot read " + path);
  return pgmdev_fuzz::read_file(path);
}

Bytes as_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

class SEEDS {
 public:
  explicit SEEDS(std::string out_dir) : m_out_dir(std::move(out_dir)) {}

  void put(const std::string& target, const std::string& name, const Bytes& bytes) const {
    const std::string directory = m_out_dir + "/" + target;
    fs::create_directories(directory);
    pgmdev_fuzz::write_file(directory + "/" + name, bytes.data(), bytes.size());
  }

 private:
  std::string m_out_dir;
};

Bytes inflate_or_fail(const Bytes& stream, size_t offset, size_t trailer, const char* what) {
  Bytes out;
  if (stream.size() < offset + trailer ||
      !pgmdev_fuzz::inflate_stream(stream.data() + offset, stream.size() - offset - trailer,
                                   64u << 20, out)) {
    fail(std::string("cannot inflate ") + what);
  }
  return out;
}

// ---- Name databases.

// The first `count` records of every section, and the section's record with the longest list.
Bytes grammar_slice(PGMDEV_DDB_GRAMMAR_MGR& grammar, size_t count) {
  std::vector<ddb_writer::Section> sections;
  for (int type = 0; type < PGMDEV_DDB_GRAMMAR_MGR::MAX; ++type) {
    const GRAMMAR_MAP& map =
        *grammar.get_map(static_cast<PGMDEV_DDB_GRAMMAR_MGR::PGMDEV_DDB_GRAMMAR_ENUM>(type));
    ddb_writer::Section section;
    auto longest = map.begin();
    for (auto record = map.begin(); record != map.end(); ++record) {
      if (record->second.size() > longest->second.size()) longest = record;
      if (section.size() < count) section.emplace_back(record->first, record->second);
    }
    if (longest != map.end() && static_cast<size_t>(std::distance(map.begin(), longest)) >= count) {
      section.emplace_back(longest->first, longest->second);
    }
    sections.push_back(std::move(section));
  }
  return ddb_writer::grammar_body(sections);
}

Bytes image_input(bool opn, const Bytes& image, const Bytes& stream) {
  Bytes input(4);
  input[0] = opn ? 1 : 0;
  pgmdev_fuzz::store_le(input.data() + 1, static_cast<uint32_t>(image.size()), 3);
  input.insert(input.end(), stream.begin(), stream.end());
  return input;
}

void name_database_seeds(const SEEDS& seeds, const std::string& grammar_path,
                         const std::string& opn_path) {
  const Bytes grammar_blob = read_or_fail(grammar_path);
  const Bytes opn_blob = read_or_fail(opn_path);
  const Bytes grammar_image = inflate_or_fail(grammar_blob, 0, 0, "the grammar blob");
  const Bytes opn_image = inflate_or_fail(opn_blob, 0, 0, "the OPN blob");

  PGMDEV_DDB_GRAMMAR_MGR grammar(grammar_image.data(),
                                 static_cast<unsigned int>(grammar_image.size()));
  for (const size_t count : {1, 3, 12}) {
    seeds.put("fuzz_grammar_body", "slice_" + std::to_string(count), grammar_slice(grammar, count));
  }

  // The managers check the images before any slice is taken of them.
  PGMDEV_DDB_OPN_MGR opn(opn_image.data(), static_cast<unsigned int>(opn_image.size()));
  seeds.put("fuzz_opn_body", "shipped",
            Bytes(opn_image.begin() + ddb_writer::kMagicBytes,
                  opn_image.end() - ddb_writer::kTrailerBytes));
  const std::vector<uint32_t> head(opn.M_MAP->begin(),
                                   opn.M_MAP->begin() + std::min<size_t>(300, opn.M_MAP->size()));
  seeds.put("fuzz_opn_body", "first_300", ddb_writer::opn_body(head));

  seeds.put("fuzz_ddb_image", "grammar_shipped", image_input(false, grammar_image, grammar_blob));
  seeds.put("fuzz_ddb_image", "opn_shipped", image_input(true, opn_image, opn_blob));
  const Bytes small_grammar = ddb_writer::frame(grammar_slice(grammar, 3));
  seeds.put("fuzz_ddb_image", "grammar_slice_3",
            image_input(false, small_grammar, ddb_writer::compress(small_grammar)));
  const Bytes small_opn = ddb_writer::frame(ddb_writer::opn_body(head));
  seeds.put("fuzz_ddb_image", "opn_first_300",
            image_input(true, small_opn, ddb_writer::compress(small_opn)));
}

// ---- Database files.

void database_seeds(const SEEDS& seeds, const std::string& dev_info_path,
                    const std::string& flash_path) {
  constexpr size_t kHeaderBytes = 44;
  constexpr size_t kTrailerBytes = 2;
  const Bytes dev_info = read_or_fail(dev_info_path);
  const Bytes flash = read_or_fail(flash_path);
  seeds.put("fuzz_dev_info_file", "shipped", dev_info);
  seeds.put("fuzz_dev_info_body", "shipped",
            inflate_or_fail(dev_info, kHeaderBytes, kTrailerBytes, dev_info_path.c_str()));
  seeds.put("fuzz_flash_file", "shipped", flash);
  seeds.put("fuzz_flash_body", "shipped",
            inflate_or_fail(flash, kHeaderBytes, kTrailerBytes, flash_path.c_str()));
}

// ---- CSV sources.

std::vector<std::string> lines_of(const Bytes& text) {
  std::vector<std::string> lines;
  std::istringstream input(std::string(text.begin(), text.end()));
  std::string line;
  while (std::getline(input, line)) lines.push_back(line);
  return lines;
}

// The header rows (the first `header_rows` lines that are not blank) and the next `data_rows`.
Bytes csv_slice(const Bytes& csv, size_t header_rows, size_t data_rows) {
  std::string out;
  size_t rows = 0;
  for (const std::string& line : lines_of(csv)) {
    if (rows == header_rows + data_rows) break;
    out += line + "\n";
    if (line.find_first_not_of(" \t\r") != std::string::npos) ++rows;
  }
  return as_bytes(out);
}

void csv_seeds(const SEEDS& seeds, const std::string& dev_info_csv_path,
               const std::string& parts_path, const std::string& flash_csv_path) {
  Bytes dev_info = read_or_fail(dev_info_csv_path);
  const Bytes parts = read_or_fail(parts_path);
  seeds.put("fuzz_dev_info_csv", "shipped_without_parts", dev_info);
  dev_info.push_back(0);
  dev_info.insert(dev_info.end(), parts.begin(), parts.end());
  seeds.put("fuzz_dev_info_csv", "shipped", dev_info);

  const Bytes flash = read_or_fail(flash_csv_path);
  constexpr size_t kFlashHeaderRows = 8;
  seeds.put("fuzz_flash_csv", "shipped", flash);
  seeds.put("fuzz_flash_csv", "first_3_rows", csv_slice(flash, kFlashHeaderRows, 3));
  seeds.put("fuzz_csv_lint", "dev_info", read_or_fail(dev_info_csv_path));
  seeds.put("fuzz_csv_lint", "flash", flash);
  seeds.put("fuzz_csv_lint", "flash_first_3_rows", csv_slice(flash, kFlashHeaderRows, 3));
}

// ---- User-defined flash.

// The answers of docs/user_flash.md, and a second device that uses 4-byte addresses, a memory type
// that is not compared and no protection divisor.
constexpr char kFirstDevice[] =
    "acme my25q80 14 2 20 1 20 0 n n n n n n 1 8 64 200 2 3000 1c 1c 0 "
    "-1 5 y 3.3";
constexpr char kSecondDevice[] =
    "acme my25q512 20 2 20 -1 20 0 y y n y n y 2 512 4 900 60 "
    "1000000 ff 0 ff -1 -1 n 1.8";

// The line of the dialogue's output that starts with prefix, without the prefix.
std::string output_line(const std::string& output, const std::string& prefix) {
  const size_t at = output.rfind(prefix);
  if (at == std::string::npos) fail("the flash-ini dialogue printed no '" + prefix + "'");
  const size_t end = output.find('\n', at);
  return output.substr(at + prefix.size(), end - at - prefix.size());
}

void user_flash_seeds(const SEEDS& seeds) {
  int index = 0;
  for (const std::string& answers :
       {std::string("1 ") + kFirstDevice, std::string("2 ") + kFirstDevice + " " + kSecondDevice}) {
    std::istringstream input(answers);
    std::ostringstream output;
    PGMDEV_FLASH_MANAGER manager(false, 0, true, false);
    manager.gen_flash_ini(input, output);
    const std::string name = index++ == 0 ? "one_device" : "two_devices";
    seeds.put("fuzz_user_flash_text", name, as_bytes(output_line(output.str(), "INI : ")));
    const std::string raw = output_line(output.str(), "Raw: ");
    // Switches: 1 keeps the check code right, 3 adds the trace, 7 the debug messages.
    seeds.put("fuzz_user_flash_record", name, as_bytes(std::string(1, '\x01') + raw));
    seeds.put("fuzz_user_flash_record", name + "_traced", as_bytes(std::string(1, '\x07') + raw));
  }
}

// ---- pgm_flash.ini.

template <class Record>
void append_records(Bytes& section, const char* signature, const Record* records, size_t count,
                    const PGMDEV_PARAM_TYPE* types, unsigned int field_count) {
  section.insert(section.end(), signature, signature + PGMDEV_HPS_SECTION_SIGNATURE_BYTES);
  for (size_t r = 0; r < count; ++r) {
    Record record(records[r]);
    unsigned int size = 0;
    for (unsigned int f = 0; f < field_count; ++f) {
      PGMDEV_FLASH_INI::calculate_flash_ini_data_size(size, types[f], record.m_param_pointers[f]);
    }
    Bytes encoded(size, 0);
    unsigned int index = 0;
    for (unsigned int f = 0; f < field_count; ++f) {
      PGMDEV_FLASH_INI::fillup_flash_ini_data(encoded.data(), index, types[f],
                                              record.m_param_pointers[f]);
    }
    section.insert(section.end(), encoded.begin(), encoded.end());
  }
}

void write_section(PGMDEV_FLASH_INI_ENUM section, Bytes bytes) {
  if (!PGMDEV_FLASH_INI::write_flash_ini_data(section, bytes.empty() ? nullptr : bytes.data(),
                                              static_cast<unsigned int>(bytes.size()))) {
    fail("cannot write pgm_flash.ini");
  }
}

void flash_ini_seeds(const SEEDS& seeds, const std::string& out_dir) {
  const std::string module_dir = out_dir + "/module";
  fs::create_directories(module_dir);
  cfg_set_value("PGMDEV_MODULE_DIR", module_dir);
  const std::string path = module_dir + "/pgm_flash.ini";

  Bytes spi;
  append_records(spi, PGMDEV_HPS_SPI_MD5, PGMDEV_HPS_SPI_DATABASE, 3,
                 PGMDEV_HPS_SPI_PARAM_TYPE_LIST, PGMDEV_HPS_SPI_PARAM_COUNT);
  Bytes nand;
  append_records(nand, PGMDEV_HPS_NAND_MD5, PGMDEV_HPS_NAND_DATABASE, 2,
                 PGMDEV_HPS_NAND_PARAM_TYPE_LIST, PGMDEV_HPS_NAND_PARAM_COUNT);
  write_section(PGMDEV_FLASH_INI_HPS_NAND, nand);
  seeds.put("fuzz_flash_ini", "nand_only", pgmdev_fuzz::read_file(path));
  write_section(PGMDEV_FLASH_INI_HPS_SPI, spi);
  write_section(PGMDEV_FLASH_INI_SFL_FLASH, as_bytes("@ACME@MY25Q80@"));
  seeds.put("fuzz_flash_ini", "three_sections", pgmdev_fuzz::read_file(path));
  fs::remove_all(module_dir);
}

// ---- SFDP tables.

// An SFDP input: the image, the user's values as "member=value" lines, and their length.
Bytes sfdp_input(Bytes image, const std::string& values) {
  image.insert(image.end(), values.begin(), values.end());
  image.push_back(static_cast<unsigned char>(values.size()));
  return image;
}

// A 16-DWORD BFPT of a 128 Mbit flash after a gap (alone, with values that replace and add to
// the table's, and with a value the dialogue refuses), the 9 DWORDs of a first-revision table,
// and two BFPT headers (1.0 and 1.8) with a vendor table between them.
void sfdp_seeds(const SEEDS& seeds) {
  seeds.put("fuzz_sfdp", "bfpt16_128mbit", sfdp_input(sfdp_image::fixture_image(), ""));
  seeds.put("fuzz_sfdp", "bfpt16_given_values",
            sfdp_input(sfdp_image::fixture_image(),
                       "die_count=2\nprogram_utime=5000\nprotection_mask=0x3C\nsdm_support=n"));
  seeds.put("fuzz_sfdp", "bfpt16_refused_value",
            sfdp_input(sfdp_image::fixture_image(), "bottom_value=3\ndevice_name=A@B"));

  sfdp_image::Bfpt first_revision;
  first_revision.dwords = 9;
  sfdp_image::Image old_image;
  old_image.minor = 0;
  old_image.tables[0] = sfdp_image::Table{0xFF00, 1, 0, first_revision.build()};
  seeds.put("fuzz_sfdp", "bfpt9",
            sfdp_input(old_image.build(), "bulk_erase_time=200\nsec_erase_time=2"));

  sfdp_image::Bfpt latest;
  latest.dwords = 20;
  sfdp_image::Image two_headers;
  two_headers.minor = 8;
  two_headers.tables = {old_image.tables[0],
                        sfdp_image::Table{0xFF84, 1, 0, std::vector<uint32_t>(4, 0)},
                        sfdp_image::Table{0xFF00, 1, 8, latest.build()}};
  seeds.put("fuzz_sfdp", "bfpt_two_headers", sfdp_input(two_headers.build(), ""));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 9) {
    std::fprintf(stderr,
                 "usage: make_seeds OUT_DIR GRAMMAR_BLOB OPN_BLOB DEV_INFO_PCF FLASH_PCF "
                 "DEV_INFO_CSV PARTS_LIST FLASH_CSV\n");
    return 2;
  }
  const std::string out_dir = argv[1];
  std::error_code ignored;
  fs::remove_all(out_dir, ignored);
  fs::create_directories(out_dir);
  const SEEDS seeds(out_dir);
  try {
    name_database_seeds(seeds, argv[2], argv[3]);
    database_seeds(seeds, argv[4], argv[5]);
    csv_seeds(seeds, argv[6], argv[7], argv[8]);
    user_flash_seeds(seeds);
    flash_ini_seeds(seeds, out_dir);
    sfdp_seeds(seeds);
  } catch (const std::exception& error) {
    fail(error.what());
  }
  pgmdev_fuzz::write_file(out_dir + "/stamp", nullptr, 0);
  return 0;
}
