// pgmdev-tool flash-ini sfdp, run installed: the SFDP file forms, the id forms, values given,
// the answer for a person and as JSON, refusals and their exit status, and the INI text loaded
// by a flash manager that then finds the flash by its id.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "pgmdev.h"
#include "tool_runner.h"

namespace {

using tool_test::contains;
using tool_test::Json;
using tool_test::run_tool;
using tool_test::ToolRun;

// The 128 Mbit flash with 4, 32 and 64 KB erase types and a 16-DWORD BFPT.
const std::string kFixture = PGMDEV_SOURCE_DIR "/tests/data/sfdp_128mbit_bfpt16.hex";

std::string file_in_temp(const std::string& name, const std::string& bytes) {
  const std::string path = testing::TempDir() + "pgmdev_sfdp_" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// The fixture's bytes, from its hex text.
std::string fixture_bytes() {
  std::ifstream file(kFixture);
  std::string bytes;
  for (std::string pair; file >> pair;) bytes += static_cast<char>(std::stoul(pair, nullptr, 16));
  return bytes;
}

std::vector<std::string> sfdp_command(const std::string& file, const std::string& id,
                                      std::vector<std::string> more = {}) {
  std::vector<std::string> arguments = {"flash-ini", "sfdp",    "--sfdp", file,     "--id",
                                        id,          "--maker", "acme",   "--name", "ac25q128"};
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

TEST(ToolFlashIniSfdp, FixtureToLoadedManager) {
  const ToolRun run = run_tool(sfdp_command(kFixture, "A14018", {"--json"}));
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.err, "") << run;
  const Json answer = run.json();
  ASSERT_FALSE(answer.is_discarded()) << run;
  const Json& record = answer["record"];
  EXPECT_EQ(record.size(), PGMDEV_FLASH_MANAGER::TOTAL_DATABASE_MEMBER);
  EXPECT_EQ(record["manufacturer_name"], "ACME");
  EXPECT_EQ(record["mfc_id"], 0xA1);
  EXPECT_EQ(record["device_bit_size"], 134217728);
  EXPECT_EQ(record["device_sector_byte"], 65536);
  EXPECT_EQ(record["byte4_addressing"], false);
  EXPECT_EQ(record["bulk_erase_time"], 560);
  EXPECT_EQ(record["sec_erase_time"], 3);
  EXPECT_EQ(record["program_utime"], 2816);
  EXPECT_EQ(record["asc_voltage"], "3.3");
  EXPECT_EQ(answer["derived"],
            Json::array({"device_bit_size", "device_sector_byte", "byte4_addressing",
                         "bulk_erase_time", "sec_erase_time", "program_utime"}));
  EXPECT_EQ(answer["clamped"], Json::array());
  EXPECT_EQ(answer["defaulted"].size(), 14u);
  EXPECT_TRUE(answer["notes"].is_array());
  ASSERT_TRUE(answer["ini"].is_string()) << run;
  const std::string ini = answer["ini"];

  // Set as the configuration value, the INI text puts the flash at index 0 of a loaded manager,
  // where the id bytes given find it; without it, the installed database has no such flash.
  unsigned char id[3] = {0xA1, 0x40, 0x18};
  {
    PGMDEV_FLASH_MANAGER plain(false, 1, false, false);
    EXPECT_FALSE(plain.flash_id_database_mapping(false, 0, id));
  }
  setenv("PGM_3RD_PARTY_FLASH_INI", ini.c_str(), 1);
  PGMDEV_FLASH_MANAGER manager(false, 1, false, false);
  unsetenv("PGM_3RD_PARTY_FLASH_INI");
  ASSERT_TRUE(manager.flash_id_database_mapping(false, 0, id));
  EXPECT_EQ(manager.get_flash_mapping_index(0, false), 0u);
  EXPECT_EQ(manager.m_flash_database[0].device_name, "AC25Q128");
  EXPECT_EQ(manager.m_flash_database[0].device_bit_size, 134217728u);

  // The installed tool's own manager finds it the same way.
  const ToolRun found = run_tool({"flash", "id", "A1", "40", "18", "--json"},
                                 tool_test::with_env({{"PGM_3RD_PARTY_FLASH_INI", ini}}));
  ASSERT_EQ(found.status, 0) << found;
  EXPECT_EQ(found.json()["index"], 0) << found;
  EXPECT_EQ(found.json()["record"], record) << found;
}

TEST(ToolFlashIniSfdp, FileAndIdFormsGiveTheSameAnswer) {
  const std::string bytes = fixture_bytes();
  std::string prefixed;  // 0x before every byte, a line of its own for each
  std::string joined;    // one long word
  for (const char byte : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(byte));
    prefixed += std::string("0x") + pair + "\r\n";
    joined += pair;
  }
  const ToolRun reference = run_tool(sfdp_command(kFixture, "A14018", {"--json"}));
  ASSERT_EQ(reference.status, 0) << reference;
  const struct {
    const char* what;
    std::string file;
    std::string id;
    std::string input;  // standard input
  } kCases[] = {
      {"raw bytes", file_in_temp("raw.bin", bytes), "A14018", ""},
      {"hex with 0x, one byte a line", file_in_temp("prefixed.hex", prefixed), "A1 40 18", ""},
      {"hex in one word", file_in_temp("joined.hex", joined), "0xa14018", ""},
      {"the fixture, id with 0x per byte", kFixture, "0xA1 0x40 0x18", ""},
      {"hex on standard input", "-", "A14018", joined},
      {"raw bytes on standard input", "-", "A14018", bytes},
  };
  for (const auto& c : kCases) {
    const ToolRun run =
        run_tool(sfdp_command(c.file, c.id, {"--json"}), tool_test::with_env({}, c.input));
    EXPECT_EQ(run.status, 0) << c.what << "\n" << run;
    EXPECT_EQ(run.out, reference.out) << c.what;
  }
}

TEST(ToolFlashIniSfdp, PersonSeesWhereEachMemberCameFrom) {
  const ToolRun run =
      run_tool(sfdp_command(kFixture, "EF4018", {"die_count=2", "protection_mask=0x3C"}));
  ASSERT_EQ(run.status, 0) << run;
  for (const char* line :
       {"record:\n  manufacturer_name   : ACME\n", "  mfc_id              : 0xEF\n",
        "  die_count           : 2\n", "  protection_mask     : 0x3C\n",
        "derived   : device_bit_size, device_sector_byte, byte4_addressing, bulk_erase_time, "
        "sec_erase_time, program_utime\n",
        "clamped   : -\n",
        "given     : manufacturer_name, device_name, die_count, protection_mask\n",
        "notes:\n  SFDP 1.6: BFPT 1.6 of 16 DWORDs at byte 0x000030 (parameter header 0 of 1)\n",
        "\nini       : "}) {
    EXPECT_TRUE(contains(run.out, line)) << line << "\n" << run;
  }
}

TEST(ToolFlashIniSfdp, RefusalsAndTheirExitStatus) {
  std::string unsigned_bytes = fixture_bytes();
  unsigned_bytes[3] = 'Q';
  const std::string bad_signature = file_in_temp("bad_signature.bin", unsigned_bytes);
  const std::string bad_hex = file_in_temp("bad.hex", "53 46 44 50\n06 01 zz FF\n");
  const std::string odd_hex = file_in_temp("odd.hex", "53 46 4");
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    int status;
    std::string message;  // on standard error
  };
  const Case kCases[] = {
      {"table refused", sfdp_command(bad_signature, "A14018"), 1,
       bad_signature + ": bytes 0-3 are 53 46 44 51, not the signature \"SFDP\""},
      {"a value refused", sfdp_command(kFixture, "A14018", {"die_count=3"}), 1,
       "die_count=3: a flash has 1 or 2 dies"},
      {"a fixed member", sfdp_command(kFixture, "A14018", {"norvik_id=16"}), 1,
       "norvik_id cannot be given"},
      {"a record the loader refuses", sfdp_command(kFixture, "A14018", {"program_utime=10"}), 1,
       "the loader would refuse this flash: program_utime 10"},
      {"an id of two bytes", sfdp_command(kFixture, "A140"), 1, "--id 'A140' gives 2 bytes"},
      {"an id byte FF", sfdp_command(kFixture, "FF4018"), 1, "id byte 0 (manufacturer) is 0xFF"},
      {"no such file", sfdp_command("/nonexistent/sfdp.bin", "A14018"), 3,
       "/nonexistent/sfdp.bin: cannot be read"},
      {"nothing on standard input", sfdp_command("-", "A14018"), 1,
       "standard input: the SFDP header needs 8 bytes, and 0 were given"},
      {"not hexadecimal", sfdp_command(bad_hex, "A14018"), 3,
       bad_hex + ":2:7: 'zz' is not hexadecimal"},
      {"half a byte", sfdp_command(odd_hex, "A14018"), 3,
       odd_hex + ":1:7: '4' is not a whole number of bytes"},
      {"no =", sfdp_command(kFixture, "A14018", {"die_count"}), 2,
       "'die_count' is not MEMBER=VALUE"},
      {"maker twice", sfdp_command(kFixture, "A14018", {"manufacturer_name=x"}), 2,
       "manufacturer_name is given twice (--maker gives it)"},
      {"a member twice", sfdp_command(kFixture, "A14018", {"die_count=1", "die_count=2"}), 2,
       "'die_count=2': die_count is given twice"},
      {"no id",
       {"flash-ini", "sfdp", "--sfdp", kFixture, "--maker", "a", "--name", "b"},
       2,
       "--id is required"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.what << ": " << c.message << "\n" << run;
  }

  // Refused, the JSON answer is still one document, with no INI text.
  const ToolRun refused = run_tool(sfdp_command(bad_signature, "A14018", {"--json"}));
  EXPECT_EQ(refused.status, 1) << refused;
  const Json answer = refused.json();
  ASSERT_FALSE(answer.is_discarded()) << refused;
  EXPECT_TRUE(answer["ini"].is_null());
  EXPECT_TRUE(answer["record"].is_null());
}

}  // namespace
