// Checking the catalogue and deriving the eight name maps from it.
#include <algorithm>
#include <cctype>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "catalogue_model.h"
#include "pgmdev_ddb_mgr.h"

namespace catalogue {
namespace {

using Grammar = PGMDEV_DDB_GRAMMAR_MGR;

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
    std::vector<std::string> pgm_names, device_names, device_config_pcfs;
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
        if (!pcf_pgms.empty()) sections[Grammar::PGM_PCF].emplace_back(pcf.name, pcf_pgms);
        if (pcf.device_config) device_config_pcfs.push_back(pcf.name);
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
    if (!device_config_pcfs.empty()) {
      sections[Grammar::DEVICE_PCF_FAMILY_PCF].emplace_back(family_pcf.name, device_config_pcfs);
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
