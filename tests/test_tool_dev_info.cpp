// pgmdev-tool's device-info commands, run installed, compared with the library's own answers.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "dev_catalogue.h"
#include "pgmdev.h"
#include "tool_runner.h"

namespace {

using tool_test::contains;
using tool_test::Json;
using tool_test::run_tool;
using tool_test::ToolRun;

// A record's columns as the CSV writes them: identifiers and enumerations by name.
std::string name_in(const std::vector<PGMDEV_DEV_INFO_NAME>& table, DWORD id) {
  for (const PGMDEV_DEV_INFO_NAME& row : table) {
    if (row.id == id) return row.name;
  }
  return std::to_string(id);
}

template <class MEMBER>
Json column_value(const MEMBER& value, PGMDEV_MANAGER_TYPE type) {
  typedef PGMDEV_DEV_INFO_MANAGER M;
  if constexpr (std::is_same_v<MEMBER, DEV_FAMILY_ENUM>) {
    return name_in(M::m_supported_family_list, DWORD(value));
  } else if constexpr (std::is_same_v<MEMBER, DEV_DEVICE_ENUM>) {
    return name_in(M::m_supported_device_list, DWORD(value));
  } else if constexpr (std::is_same_v<MEMBER, DEV_PART_ENUM>) {
    return name_in(M::m_supported_part_list, DWORD(value));
  } else if constexpr (std::is_same_v<MEMBER, DWORD>) {
    if (type == PGMDEV_MANAGER_ENUM) return name_in(M::m_supported_enum_list, value);
    return value;
  } else {
    return value;
  }
}

Json columns_of(const PGMDEV_DEV_INFO_RECORD& record) {
  Json columns = Json::object();
  unsigned int column = 0;
#define TOOL_TEST_COLUMN(name, type, member_type)                    \
  columns[#name] = column_value(record.name, PGMDEV_MANAGER_##type); \
  EXPECT_EQ(std::string(PGMDEV_DEV_INFO_MANAGER::m_db_name_list[column++]), #name);
  PGMDEV_DEV_INFO_SCHEMA(TOOL_TEST_COLUMN)
#undef TOOL_TEST_COLUMN
  return columns;
}

// The record that applies to a family, device or part, every column under its schema name.
TEST(ToolDevInfo, ShowGivesTheRecordThatApplies) {
  PGMDEV_DEV_INFO_MANAGER manager(false, 0);
  const DEV_PART_ENUM part = dstr_get_dev_part_enum_by_string("QZ40BF256C6N");
  const DEV_DEVICE_ENUM device = dstr_get_dev_device_enum_by_string("QZ60B_DIE");
  struct Case {
    std::vector<std::string> arguments;
    std::function<PGMDEV_DEV_INFO_RECORD*()> library;
  };
  const Case kCases[] = {
      {{"--part", "qz40bf256c6n"}, [&] { return manager.get_db_by_part(part); }},
      {{"--device", "QZ60B_DIE"}, [&] { return manager.get_db_by_device(device); }},
      {{"--family", "Ternfield"}, [&] { return manager.get_db_by_family(DEV_FAMILY_ENUM(1)); }},
      {{"--family", "TERNFIELD"}, [&] { return manager.get_db_by_family(DEV_FAMILY_ENUM(1)); }},
      {{"--family", "generic"}, [&] { return manager.get_db_by_family(DEV_FAMILY_GENERIC); }},
      {{"--part", "GENERIC"}, [&] { return manager.get_db_by_part(DEV_PART_GENERIC); }},
  };
  ASSERT_EQ(dstr_get_family_identifier(DEV_FAMILY_ENUM(1)), "TERNFIELD");
  for (const Case& c : kCases) {
    std::vector<std::string> arguments = {"dev-info", "show"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    arguments.push_back("--json");
    const ToolRun run = run_tool(arguments);
    const std::unique_ptr<PGMDEV_DEV_INFO_RECORD> record(c.library());
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(run.status, 0) << run;
    const Json answer = run.json();
    EXPECT_EQ(answer["record"], manager.m_index) << run;
    EXPECT_EQ(answer["columns"].size(), TOTAL_DEVICE_DATABASE_MEMBER) << run;
    EXPECT_EQ(answer["columns"], columns_of(*record)) << run;
  }
  // A person reads the CSV's words: identifiers, enumeration names, TRUE/FALSE; "-" for empty.
  const ToolRun person = run_tool({"dev-info", "show", "--part", "QZ40BF256C6N"});
  for (const char* line :
       {"  family                           : TERNFIELD\n",
        "  pcf                              : -\n", "  support_legacy_f2p               : TRUE\n",
        "  skip_pof_bitstream_conversion    : FALSE\n"}) {
    EXPECT_TRUE(contains(person.out, line)) << line << "\n" << person;
  }
}

TEST(ToolDevInfo, UnknownNamesAreRefusedWithTheClosestOnes) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    const char* message;
  };
  const Case kCases[] = {
      {{"dev-info", "show", "--device", "QZ60B_DEI"},
       1,
       "no catalogue device is named 'QZ60B_DEI'; closest device names: QZ60B_DIE"},
      {{"dev-info", "show", "--part", "QZ4OBF256C6N"},
       1,
       "no catalogue part is named 'QZ4OBF256C6N'; closest part names: QZ40BF256C6N"},
      {{"dev-info", "show", "--family", "Ternfeild"}, 1, "closest family names: TERNFIELD"},
      {{"dev-info", "show"}, 2, "dev-info show needs --family F, --device D or --part P"},
      {{"dev-info", "show", "--family", "A", "--part", "B"}, 2, "excludes"},
      {{"dev-info", "list", "everything"}, 2, "everything"},
  };
  for (const Case& c : kCases) {
    const ToolRun run = run_tool(c.arguments);
    EXPECT_EQ(run.status, c.status) << run;
    EXPECT_TRUE(contains(run.err, c.message)) << c.message << "\n" << run;
  }
}

// The listings are labelled tables: the records with their users, and the record of every
// family, device and part as the index tables give it.
TEST(ToolDevInfo, ListsAgreeWithTheIndexTables) {
  PGMDEV_DEV_INFO_MANAGER manager(false, 0);
  const ToolRun records = run_tool({"dev-info", "list", "--json"});
  ASSERT_EQ(records.status, 0) << records;
  ASSERT_EQ(records.json().size(), manager.m_device_count);
  int parts_in_records = 0;
  for (const Json& row : records.json()) parts_in_records += row["parts"].get<int>();

  const ToolRun parts = run_tool({"dev-info", "list", "parts", "--json"});
  ASSERT_EQ(parts.status, 0);
  int parts_with_record = 0;
  for (const Json& row : parts.json()) {
    const int number = row["number"];
    const DWORD expected = manager.m_part_table[number];
    EXPECT_EQ(row["part"], dstr_get_user_string(DEV_PART_ENUM(number)));
    if (expected == INVALID_DWORD) {
      EXPECT_TRUE(row["record"].is_null()) << row;
    } else {
      EXPECT_EQ(row["record"], expected) << row;
      ++parts_with_record;
    }
  }
  EXPECT_EQ(parts.json().size(), static_cast<std::size_t>(DEV_PART_MAX - 1));
  EXPECT_EQ(parts_with_record, parts_in_records);

  const ToolRun families = run_tool({"dev-info", "list", "families", "--json"});
  ASSERT_EQ(families.json().size(), static_cast<std::size_t>(DEV_FAMILY_MAX - 1));
  for (const Json& row : families.json()) {
    EXPECT_EQ(row["record"], manager.m_family_table[row["number"].get<int>()]) << row;
  }
  // Every line of the person's table has its columns where the header puts them, empty cells
  // included.
  const ToolRun person = run_tool({"dev-info", "list"});
  std::istringstream lines(person.out);
  std::string header;
  std::getline(lines, header);
  const std::size_t parts_column = header.find("parts");
  ASSERT_NE(parts_column, std::string::npos);
  std::size_t count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_GT(line.size(), parts_column) << line;
    EXPECT_NE(line[parts_column], ' ') << line;
    EXPECT_EQ(line[parts_column - 1], ' ') << line;
  }
  EXPECT_EQ(count, manager.m_device_count);
}

TEST(ToolDevInfo, DebugListingsStayAvailable) {
  const ToolRun run = run_tool({"dev-info", "debug", "families"});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_TRUE(contains(run.out, "Dev Info Manager Debug ")) << run;
  EXPECT_TRUE(contains(run.out, "\tGeneric ")) << run;
  EXPECT_EQ(run.err, "");
}

}  // namespace
