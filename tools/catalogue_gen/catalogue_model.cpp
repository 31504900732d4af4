// Reading the catalogue source, expanding it to parts and ordering codes, and
// checking it.
#include "catalogue_model.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "pgmdev_ddb_mgr.h"

namespace catalogue {
namespace {

using Grammar = PGMDEV_DDB_GRAMMAR_MGR;

struct GradeSet {
  std::vector<std::string> catalogue_suffixes;
  std::vector<std::string> variant_suffixes;
};

// Upper-case letters, digits and '_' (names of the name database), optionally
// '-'.
bool is_name(const std::string& text, bool allow_dash) {
  if (text.size() < 2) return false;
  return std::all_of(text.begin(), text.end(), [allow_dash](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || (allow_dash && c == '-');
  });
}

bool is_code(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

bool is_suffix(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  });
}

// "C6P": temperature, speed digit, stage.
bool parse_grade(const std::string& text, Grade& grade) {
  if (text.size() != 3) return false;
  if (std::string("CIAM").find(text[0]) == std::string::npos) return false;
  if (text[1] < '0' || text[1] > '9') return false;
  if (std::string("PEO").find(text[2]) == std::string::npos) return false;
  grade = Grade{text[0], text[1], text[2]};
  return true;
}

std::vector<std::string> split(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(delimiter, start);
    pieces.push_back(
        text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return pieces;
    start = end + 1;
  }
}

class Parser {
 public:
  Parser(const std::string& source_name, Catalogue& out, std::vector<std::string>& errors)
      : m_source(source_name), m_out(out), m_errors(errors) {}

  void parse(const std::string& text) {
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
      ++m_line;
      const size_t hash = line.find('#');
      if (hash != std::string::npos) line.resize(hash);
      std::istringstream words(line);
      std::vector<std::string> tokens;
      for (std::string word; words >> word;) tokens.push_back(word);
      if (tokens.empty()) continue;
      const std::string& keyword = tokens[0];
      if (keyword == "grade") {
        grade_line(tokens);
      } else if (keyword == "gradeset") {
        gradeset_line(tokens);
      } else if (keyword == "familypcf") {
        family_pcf_line(tokens);
      } else if (keyword == "family") {
        family_line(tokens);
      } else if (keyword == "pcf") {
        pcf_line(tokens);
      } else if (keyword == "device") {
        device_line(tokens);
      } else {
        error("unknown keyword '" + keyword + "'");
      }
    }
  }

 private:
  void error(const std::string& message) {
    m_errors.push_back(m_source + ":" + std::to_string(m_line) + ": " + message);
  }

  void grade_line(const std::vector<std::string>& tokens) {
    Grade grade;
    if (tokens.size() != 3 || !is_suffix(tokens[1]) || !parse_grade(tokens[2], grade)) {
      error("grade needs a suffix and a code such as C6P");
      return;
    }
    if (!m_grades.emplace(tokens[1], grade).second) error("grade " + tokens[1] + " given twice");
  }

  void gradeset_line(const std::vector<std::string>& tokens) {
    if (tokens.size() < 3) {
      error("gradeset needs a name and at least one suffix");
      return;
    }
    GradeSet set;
    bool variants = false;
    for (size_t i = 2; i < tokens.size(); ++i) {
      if (tokens[i] == "|") {
        variants = true;
      } else if (!is_suffix(tokens[i])) {
        error("gradeset " + tokens[1] + ": bad suffix '" + tokens[i] + "'");
      } else if (variants) {
        set.variant_suffixes.push_back(tokens[i]);
      } else if (m_grades.count(tokens[i]) == 0) {
        error("gradeset " + tokens[1] + ": suffix " + tokens[i] + " has no grade line");
      } else {
        set.catalogue_suffixes.push_back(tokens[i]);
      }
    }
    if (set.catalogue_suffixes.empty()) error("gradeset " + tokens[1] + " numbers no part");
    if (!m_gradesets.emplace(tokens[1], set).second) {
      error("gradeset " + tokens[1] + " given twice");
    }
  }

  void family_pcf_line(const std::vector<std::string>& tokens) {
    if (tokens.size() != 2 || (tokens[1] != "-" && !is_name(tokens[1], false))) {
      error("familypcf needs one name (or '-')");
      return;
    }
    m_family_pcf = kNone;
    if (tokens[1] == "-") return;
    m_family_pcf = static_cast<int>(m_out.family_pcfs.size());
    m_out.family_pcfs.push_back(FamilyPcf{tokens[1], {}, m_line});
  }

  void family_line(const std::vector<std::string>& tokens) {
    const bool opn = tokens.size() == 3 && tokens[2] == "opn";
    if ((tokens.size() != 2 && !opn) || !std::isalpha(static_cast<unsigned char>(tokens[1][0]))) {
      error("family needs a name and optionally 'opn'");
      return;
    }
    Family family;
    family.user_name = tokens[1];
    for (char c : tokens[1]) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') {
        error("family name " + tokens[1] + " may hold letters, digits and '-' only");
        return;
      }
      family.identifier.push_back(
          c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    family.family_pcf = m_family_pcf;
    family.opn = opn;
    family.line = m_line;
    m_family = static_cast<int>(m_out.families.size());
    if (m_family_pcf != kNone) m_out.family_pcfs[m_family_pcf].families.push_back(m_family);
    m_out.families.push_back(family);
    m_pcf = kNone;
  }

  void pcf_line(const std::vector<std::string>& tokens) {
    if (tokens.size() != 2 || !is_name(tokens[1], false)) {
      error("pcf needs one name");
      return;
    }
    if (m_family == kNone || m_out.families[m_family].family_pcf == kNone) {
      error("pcf " + tokens[1] + " stands in no family of a family pcf");
      return;
    }
    m_pcf = static_cast<int>(m_out.pcfs.size());
    m_out.pcfs.push_back(Pcf{tokens[1], m_family, {}, m_line});
    m_out.families[m_family].pcfs.push_back(m_pcf);
  }

  void device_line(const std::vector<std::string>& tokens) {
    if (tokens.size() < 2 || !is_name(tokens[1], false)) {
      error("device needs a name");
      return;
    }
    if (m_family == kNone) {
      error("device " + tokens[1] + " stands before any family");
      return;
    }
    const int device_index = static_cast<int>(m_out.devices.size());
    Device device;
    device.name = tokens[1];
    device.family = m_family;
    device.pcf = m_pcf;
    device.line = m_line;
    if (m_pcf != kNone) m_out.pcfs[m_pcf].devices.push_back(device_index);
    for (size_t i = 2; i < tokens.size(); ++i) {
      Pgm pgm;
      if (!pgm_spec(tokens[i], pgm)) continue;
      pgm.device = device_index;
      device.pgms.push_back(static_cast<int>(m_out.pgms.size()));
      m_out.pgms.push_back(pgm);
    }
    m_out.devices.push_back(device);
    add_parts(device_index);
  }

  // "QZ40B:F256,U169/STD:F484/WIDE" (packages and their grade sets) or
  // "QZ10A=C6P" (one part named by its pgm name).
  bool pgm_spec(const std::string& token, Pgm& pgm) {
    const size_t equals = token.find('=');
    if (equals != std::string::npos) {
      pgm.name = token.substr(0, equals);
      Grade grade;
      if (!is_name(pgm.name, false) || !parse_grade(token.substr(equals + 1), grade)) {
        error("bad pgm-named part '" + token + "'");
        return false;
      }
      m_self_grades[pgm.name] = grade;
      pgm.packages.push_back(Package{pgm.name, "", {pgm.name}});
      return true;
    }
    const std::vector<std::string> groups = split(token, ':');
    pgm.name = groups[0];
    if (!is_name(pgm.name, false) || groups.size() < 2) {
      error("bad pgm entry '" + token + "'");
      return false;
    }
    for (size_t g = 1; g < groups.size(); ++g) {
      const std::vector<std::string> codes_and_set = split(groups[g], '/');
      const auto set =
          codes_and_set.size() == 2 ? m_gradesets.find(codes_and_set[1]) : m_gradesets.end();
      if (set == m_gradesets.end()) {
        error("pgm " + pgm.name + ": '" + groups[g] + "' names no known gradeset");
        return false;
      }
      for (const std::string& code : split(codes_and_set[0], ',')) {
        if (!is_code(code)) {
          error("pgm " + pgm.name + ": bad package code '" + code + "'");
          return false;
        }
        Package package{pgm.name + code, code, {}};
        for (const std::string& suffix : set->second.catalogue_suffixes) {
          package.full_names.push_back(package.name + suffix);
          m_suffix_grades[package.full_names.back()] = m_grades.at(suffix);
        }
        for (const std::string& suffix : set->second.variant_suffixes) {
          package.full_names.push_back(package.name + suffix);
        }
        pgm.packages.push_back(package);
      }
    }
    return true;
  }

  // Numbers the device's parts and lists its ordering codes, in source order.
  void add_parts(int device_index) {
    const Device& device = m_out.devices[device_index];
    const bool opn = m_out.families[device.family].opn;
    for (int pgm_index : device.pgms) {
      for (const Package& package : m_out.pgms[pgm_index].packages) {
        for (const std::string& name : package.full_names) {
          uint32_t opn_value = 0;
          const Grade* grade = nullptr;
          if (package.code.empty()) {
            grade = &m_self_grades.at(name);
          } else if (auto found = m_suffix_grades.find(name); found != m_suffix_grades.end()) {
            grade = &found->second;
          }
          if (grade) {
            m_out.parts.push_back(Part{name, package.code, device_index, *grade});
            // Part numbers start at 1 (0 is the invalid part).
            if (opn) opn_value = static_cast<uint32_t>(m_out.parts.size());
          }
          m_out.ordering_codes.push_back(name);
          m_out.opn_values.push_back(opn_value);
        }
      }
    }
  }

  const std::string m_source;
  Catalogue& m_out;
  std::vector<std::string>& m_errors;
  int m_line = 0;
  int m_family_pcf = kNone;
  int m_family = kNone;
  int m_pcf = kNone;
  std::map<std::string, Grade> m_grades;
  std::map<std::string, GradeSet> m_gradesets;
  // Grades of the catalogue parts, by full part name (a duplicate name is
  // reported later).
  std::unordered_map<std::string, Grade> m_suffix_grades;
  std::unordered_map<std::string, Grade> m_self_grades;
};

// Reports every name that stands more than once in names, with what it is.
void check_unique(const std::vector<std::string>& names, const std::string& what,
                  std::vector<std::string>& errors) {
  std::unordered_set<std::string> seen;
  std::set<std::string> reported;
  for (const std::string& name : names) {
    if (!seen.insert(name).second && reported.insert(name).second) {
      errors.push_back(what + " " + name + " is given more than once");
    }
  }
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Key of every value of a section; reports a value under two keys.
std::unordered_map<std::string, std::string> reverse_index(const ddb_writer::Section& section,
                                                           const std::string& map_name,
                                                           std::vector<std::string>& errors) {
  std::unordered_map<std::string, std::string> index;
  for (const auto& [key, values] : section) {
    for (const std::string& value : values) {
      const auto [where, inserted] = index.emplace(value, key);
      if (!inserted && where->second != key) {
        errors.push_back(map_name + ": " + value + " is listed under both " + where->second +
                         " and " + key);
      }
    }
  }
  return index;
}

std::set<std::string> keys_of(const ddb_writer::Section& section) {
  std::set<std::string> keys;
  for (const auto& record : section) keys.insert(record.first);
  return keys;
}

std::set<std::string> values_of(const ddb_writer::Section& section) {
  std::set<std::string> values;
  for (const auto& record : section) values.insert(record.second.begin(), record.second.end());
  return values;
}

// Reports the names of `have` missing from `want` ("... is not ...").
void check_subset(const std::set<std::string>& have, const std::set<std::string>& want,
                  const std::string& message, std::vector<std::string>& errors) {
  for (const std::string& name : have) {
    if (want.count(name) == 0) errors.push_back(name + " " + message);
  }
}

}  // namespace

bool parse_catalogue(const std::string& text, const std::string& source_name, Catalogue& out,
                     std::vector<std::string>& errors) {
  const size_t before = errors.size();
  Parser(source_name, out, errors).parse(text);
  return errors.size() == before;
}

void check_catalogue(const Catalogue& catalogue, bool check_sizes,
                     std::vector<std::string>& errors) {
  // The generic family and device take the last numbers; the invalid ones take
  // 0.
  constexpr size_t kFamilies = 71;
  constexpr size_t kDevices = 989;
  constexpr size_t kMaxParts = 65533;  // part numbers are stored as 16-bit values
  if (check_sizes && catalogue.families.size() != kFamilies) {
    errors.push_back("the catalogue has " + std::to_string(catalogue.families.size()) +
                     " families, not " + std::to_string(kFamilies));
  }
  if (check_sizes && catalogue.devices.size() != kDevices) {
    errors.push_back("the catalogue has " + std::to_string(catalogue.devices.size()) +
                     " devices, not " + std::to_string(kDevices));
  }
  if (catalogue.families.size() > kFamilies || catalogue.devices.size() > kDevices ||
      catalogue.parts.size() > kMaxParts) {
    errors.push_back("the catalogue has more entries than its numbers allow");
  }
  std::vector<std::string> names;
  for (const Family& family : catalogue.families) names.push_back(upper(family.user_name));
  names.push_back("GENERIC");
  check_unique(names, "family", errors);
  names.clear();
  for (const Device& device : catalogue.devices) names.push_back(device.name);
  names.push_back("GENERIC_DIE");
  check_unique(names, "device", errors);
  names.clear();
  for (const Part& part : catalogue.parts) names.push_back(upper(part.name));
  names.push_back("GENERIC");
  check_unique(names, "part", errors);
  for (const FamilyPcf& family_pcf : catalogue.family_pcfs) {
    if (family_pcf.families.empty()) {
      errors.push_back("family pcf " + family_pcf.name + " holds no family");
    }
  }
  for (const Pcf& pcf : catalogue.pcfs) {
    if (pcf.devices.empty()) errors.push_back("pcf " + pcf.name + " lists no device");
  }
}

std::vector<ddb_writer::Section> grammar_sections(const Catalogue& catalogue) {
  std::vector<ddb_writer::Section> sections(Grammar::MAX);
  for (const FamilyPcf& family_pcf : catalogue.family_pcfs) {
    std::vector<std::string> pgm_names, device_names, device_only_pcfs;
    for (int family_index : family_pcf.families) {
      const Family& family = catalogue.families[family_index];
      std::vector<std::string> family_pcfs;
      for (int pcf_index : family.pcfs) {
        const Pcf& pcf = catalogue.pcfs[pcf_index];
        std::vector<std::string> pcf_pgms, pcf_devices;
        for (int device_index : pcf.devices) {
          const Device& device = catalogue.devices[device_index];
          pcf_devices.push_back(device.name);
          for (int pgm_index : device.pgms) {
            const Pgm& pgm = catalogue.pgms[pgm_index];
            pcf_pgms.push_back(pgm.name);
            std::vector<std::string> package_names;
            for (const Package& package : pgm.packages) {
              package_names.push_back(package.name);
              sections[Grammar::PACKAGE_GRAMMAR].emplace_back(package.name, package.full_names);
            }
            sections[Grammar::PGM_GRAMMAR].emplace_back(pgm.name, package_names);
          }
        }
        if (pcf_pgms.empty()) {
          device_only_pcfs.push_back(pcf.name);
        } else {
          sections[Grammar::PGM_PCF].emplace_back(pcf.name, pcf_pgms);
        }
        sections[Grammar::DEV_PCF].emplace_back(pcf.name, pcf_devices);
        family_pcfs.push_back(pcf.name);
        pgm_names.insert(pgm_names.end(), pcf_pgms.begin(), pcf_pgms.end());
        device_names.insert(device_names.end(), pcf_devices.begin(), pcf_devices.end());
      }
      if (!family_pcfs.empty())
        sections[Grammar::FAMILY].emplace_back(family.identifier, family_pcfs);
    }
    // Empty lists are left out: a record holds at least one value. A family pcf
    // missing from one of the two family maps is reported by check_grammar.
    if (!pgm_names.empty())
      sections[Grammar::PGM_FAMILY_PCF].emplace_back(family_pcf.name, pgm_names);
    if (!device_names.empty()) {
      sections[Grammar::DEV_FAMILY_PCF].emplace_back(family_pcf.name, device_names);
    }
    if (!device_only_pcfs.empty()) {
      sections[Grammar::DEVICE_PCF_FAMILY_PCF].emplace_back(family_pcf.name, device_only_pcfs);
    }
  }
  return sections;
}

void check_grammar(const Catalogue& catalogue, const std::vector<ddb_writer::Section>& sections,
                   std::vector<std::string>& errors) {
  static const char* const kMapNames[] = {"PACKAGE_GRAMMAR",       "PGM_GRAMMAR", "PGM_PCF",
                                          "PGM_FAMILY_PCF",        "DEV_PCF",     "DEV_FAMILY_PCF",
                                          "DEVICE_PCF_FAMILY_PCF", "FAMILY"};
  if (sections.size() != Grammar::MAX) {
    errors.push_back("the name database needs 8 maps");
    return;
  }
  std::vector<std::unordered_map<std::string, std::string>> key_of;
  for (size_t map = 0; map < sections.size(); ++map) {
    const std::string map_name = kMapNames[map];
    std::set<std::string> keys;
    for (const auto& [key, values] : sections[map]) {
      if (!is_name(key, false)) errors.push_back(map_name + ": bad key '" + key + "'");
      if (!keys.insert(key).second) errors.push_back(map_name + ": key " + key + " given twice");
      if (values.empty()) errors.push_back(map_name + ": key " + key + " lists nothing");
      std::set<std::string> seen;
      for (const std::string& value : values) {
        // Only full part names (values of the first map) may hold '-'.
        if (!is_name(value, map == Grammar::PACKAGE_GRAMMAR)) {
          errors.push_back(map_name + ": bad name '" + value + "' under " + key);
        }
        if (!seen.insert(value).second) {
          errors.push_back(map_name + ": " + value + " is listed twice under " + key);
        }
      }
    }
    key_of.push_back(reverse_index(sections[map], map_name, errors));
  }
  const auto keys = [&](int map) { return keys_of(sections[map]); };
  const auto values = [&](int map) { return values_of(sections[map]); };
  check_subset(values(Grammar::PGM_GRAMMAR), keys(Grammar::PACKAGE_GRAMMAR),
               "is a package of PGM_GRAMMAR but no key of PACKAGE_GRAMMAR", errors);
  check_subset(keys(Grammar::PACKAGE_GRAMMAR), values(Grammar::PGM_GRAMMAR),
               "is a key of PACKAGE_GRAMMAR but no package of any pgm name", errors);
  for (int map : {Grammar::PGM_PCF, Grammar::PGM_FAMILY_PCF}) {
    check_subset(values(map), keys(Grammar::PGM_GRAMMAR),
                 std::string("is listed in ") + kMapNames[map] + " but is no key of PGM_GRAMMAR",
                 errors);
    check_subset(keys(Grammar::PGM_GRAMMAR), values(map),
                 std::string("is a pgm name missing from ") + kMapNames[map], errors);
  }
  check_subset(keys(Grammar::PGM_PCF), keys(Grammar::DEV_PCF),
               "is a key of PGM_PCF but not of DEV_PCF", errors);
  check_subset(values(Grammar::DEV_PCF), values(Grammar::DEV_FAMILY_PCF),
               "is listed in DEV_PCF but not in DEV_FAMILY_PCF", errors);
  check_subset(values(Grammar::DEV_FAMILY_PCF), values(Grammar::DEV_PCF),
               "is listed in DEV_FAMILY_PCF but not in DEV_PCF", errors);
  check_subset(keys(Grammar::PGM_FAMILY_PCF), keys(Grammar::DEV_FAMILY_PCF),
               "is a key of PGM_FAMILY_PCF but not of DEV_FAMILY_PCF", errors);
  check_subset(keys(Grammar::DEV_FAMILY_PCF), keys(Grammar::PGM_FAMILY_PCF),
               "is a key of DEV_FAMILY_PCF but not of PGM_FAMILY_PCF", errors);
  check_subset(keys(Grammar::DEVICE_PCF_FAMILY_PCF), keys(Grammar::PGM_FAMILY_PCF),
               "is a key of DEVICE_PCF_FAMILY_PCF but no family pcf", errors);
  check_subset(values(Grammar::DEVICE_PCF_FAMILY_PCF), keys(Grammar::DEV_PCF),
               "is listed in DEVICE_PCF_FAMILY_PCF but is no key of DEV_PCF", errors);
  check_subset(values(Grammar::FAMILY), keys(Grammar::DEV_PCF),
               "is listed in FAMILY but is no key of DEV_PCF", errors);

  // A name of one kind must not pass for another: a package name that is also a
  // pgm name, or a full part name that is also a package name, must be the same
  // device named by its pgm name.
  const std::set<std::string> package_keys = keys(Grammar::PACKAGE_GRAMMAR);
  for (const auto& [pgm, packages] : sections[Grammar::PGM_GRAMMAR]) {
    if (std::find(packages.begin(), packages.end(), pgm) == packages.end() &&
        (package_keys.count(pgm) || key_of[Grammar::PACKAGE_GRAMMAR].count(pgm))) {
      errors.push_back("pgm name " + pgm + " is also the name of another package or part");
    }
  }
  for (const auto& [full_name, package] : key_of[Grammar::PACKAGE_GRAMMAR]) {
    if (package_keys.count(full_name) && full_name != package) {
      errors.push_back("full part name " + full_name + " is also the name of another package");
    }
  }
  std::unordered_set<std::string> device_names;
  for (const Device& device : catalogue.devices) device_names.insert(device.name);
  for (const std::string& device : values(Grammar::DEV_PCF)) {
    if (device_names.count(device) == 0) {
      errors.push_back("DEV_PCF lists " + device + ", which is no catalogue device");
    }
  }
  // Every catalogue part that the name database knows reaches, through its
  // package and pgm name, the pcf under which its device is listed.
  for (const Part& part : catalogue.parts) {
    const Device& device = catalogue.devices[part.device];
    const auto package = key_of[Grammar::PACKAGE_GRAMMAR].find(part.name);
    if (device.pcf == kNone || package == key_of[Grammar::PACKAGE_GRAMMAR].end()) continue;
    const auto pgm = key_of[Grammar::PGM_GRAMMAR].find(package->second);
    const auto pgm_pcf = pgm == key_of[Grammar::PGM_GRAMMAR].end()
                             ? key_of[Grammar::PGM_PCF].end()
                             : key_of[Grammar::PGM_PCF].find(pgm->second);
    const auto dev_pcf = key_of[Grammar::DEV_PCF].find(device.name);
    if (pgm_pcf == key_of[Grammar::PGM_PCF].end() || dev_pcf == key_of[Grammar::DEV_PCF].end() ||
        pgm_pcf->second != dev_pcf->second) {
      errors.push_back("part " + part.name + " does not reach the pcf of its device " +
                       device.name);
    }
  }
}

}  // namespace catalogue
