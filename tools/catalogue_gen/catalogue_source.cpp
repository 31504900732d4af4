// Reading the catalogue source and expanding it to devices, parts and ordering codes.
#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <unordered_map>

#include "catalogue_model.h"

namespace catalogue {

// Upper-case letters, digits and '_' (names of the name database), optionally '-'.
bool is_name(const std::string& text, bool allow_dash) {
  if (text.size() < 2) return false;
  return std::all_of(text.begin(), text.end(), [allow_dash](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || (allow_dash && c == '-');
  });
}

namespace {

struct GradeSet {
  std::vector<std::string> catalogue_suffixes;
  std::vector<std::string> variant_suffixes;
};

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
    const bool device_config = tokens.size() == 3 && tokens[2] == "devcfg";
    if ((tokens.size() != 2 && !device_config) || !is_name(tokens[1], false)) {
      error("pcf needs one name and optionally 'devcfg'");
      return;
    }
    if (m_family == kNone || m_out.families[m_family].family_pcf == kNone) {
      error("pcf " + tokens[1] + " stands in no family of a family pcf");
      return;
    }
    m_pcf = static_cast<int>(m_out.pcfs.size());
    m_out.pcfs.push_back(Pcf{tokens[1], device_config, m_family, {}, m_line});
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

}  // namespace

bool parse_catalogue(const std::string& text, const std::string& source_name, Catalogue& out,
                     std::vector<std::string>& errors) {
  const size_t before = errors.size();
  Parser(source_name, out, errors).parse(text);
  return errors.size() == before;
}

}  // namespace catalogue
