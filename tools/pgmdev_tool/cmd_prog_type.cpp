// pgmdev-tool prog-type TYPE [VALUE]: the programming-type checks, whether a name or a number
// is a supported member of the RBA, flash block, ICB or bit-assembler enumeration, or every
// supported member of one.
#include <map>
#include <string>

#include "pgmdev.h"
#include "tool.h"
#include "tool_output.h"

namespace {

using pgmdev_tool::Json;

const std::map<std::string, PGM_ENUM_TYPE> kTypes = {
    {"rba", PGM_ENUM_TYPE_RBA},
    {"flash-block", PGM_ENUM_TYPE_FLASH_BLOCK},
    {"icb", PGM_ENUM_TYPE_ICB},
    {"bitasm-generic", PGM_ENUM_TYPE_BITASM_GENERIC}};

std::string g_type;
std::string g_value;
bool g_value_given = false;

bool is_number(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

int run_prog_type() {
  const PGM_ENUM_TYPE type = kTypes.at(g_type);
  if (!g_value_given) {
    // Every supported member: the numbers from 1 until the first that is not.
    Json rows = Json::array();
    std::string name;
    for (unsigned int number = 1; PGMDEV_MGR::pgm_check_type_enum_supported(type, number, &name);
         ++number) {
      rows.push_back(Json{{"number", number}, {"name", name}});
    }
    pgmdev_tool::print_answer(rows);
    return pgmdev_tool::kExitOk;
  }
  Json answer;
  answer["type"] = g_type;
  bool supported = false;
  if (is_number(g_value)) {
    const unsigned int number = static_cast<unsigned int>(std::stoul(g_value));
    std::string name;
    supported = PGMDEV_MGR::pgm_check_type_enum_supported(type, number, &name);
    answer["number"] = number;
    answer["supported"] = supported;
    answer["name"] = supported ? Json(name) : Json(nullptr);
  } else {
    unsigned int number = 0;
    supported = PGMDEV_MGR::pgm_check_type_name_supported(type, g_value, &number);
    answer["name"] = g_value;
    answer["supported"] = supported;
    answer["number"] = supported ? Json(number) : Json(nullptr);
  }
  pgmdev_tool::print_answer(answer);
  if (supported) return pgmdev_tool::kExitOk;
  pgmdev_tool::tool_message("'" + g_value + "' is no supported " + g_type + " member (prog-type " +
                            g_type + " lists them)");
  return pgmdev_tool::kExitRefused;
}

void add_commands(CLI::App& tool) {
  CLI::App* command = pgmdev_tool::add_command(
      tool, "prog-type",
      "whether a name or number is a supported member of a programming-type enumeration; "
      "without one, every supported member",
      run_prog_type);
  command->add_option("TYPE", g_type, "rba, flash-block, icb or bitasm-generic")
      ->required()
      ->check(CLI::IsMember({"rba", "flash-block", "icb", "bitasm-generic"}));
  command
      ->add_option("VALUE", g_value,
                   "a member name (any case, as given: no blanks removed) or a number")
      ->each([](const std::string&) { g_value_given = true; });
  pgmdev_tool::add_json_flag(command);
  pgmdev_tool::set_example(command, "pgmdev-tool prog-type flash-block cfm0",
                           "type      : flash-block\n"
                           "name      : cfm0\n"
                           "supported : TRUE\n"
                           "number    : 5");
}

}  // namespace

PGMDEV_TOOL_COMMANDS("", 14, add_commands);
