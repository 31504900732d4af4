// Device-name grammar: compositions of the grammar database's lookups, with their fallbacks and
// the optional trace on standard output.
#include "pgmdev_device_grammar_mgr.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cfg.h"
#include "mem.h"
#include "pgmdev_check.h"
#include "pgmdev_ddb_mgr.h"

namespace {

// Registers the module with the host's memory tracker while the library is loaded.
const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);

typedef PGMDEV_DDB_GRAMMAR_MGR DDB;

// Read on every traced call, so that a change of the switch shows at the next call; the name is
// made once.
bool grammar_trace_on() {
  static const std::string kTraceSwitch = "PGMDEV_ENABLE_GRAMMAR_DEBUG";
  return cfg_is_on(kTraceSwitch, false);
}

}  // namespace

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_package_name(const std::string& name,
                                                        bool empty_on_miss) {
  const std::string result = DDB::get_package_grammar(name, empty_on_miss);
  if (grammar_trace_on()) {
    printf("Map Flow   : Strip Speedgrade\n");
    printf("    Input  : %s\n", DDB::get_standard_name(name).c_str());
    printf("    Output : %s\n", result.c_str());
  }
  return result;
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_pgm_name(const std::string& name,
                                                    bool skip_package_conversion,
                                                    bool empty_on_miss) {
  // The name taken as a package name, then as a full part name; the package name found on the
  // way is kept only for the trace.
  const bool trace = grammar_trace_on();
  std::string package;
  const std::string result =
      DDB::get_pgm_key(name, skip_package_conversion, empty_on_miss, trace ? &package : nullptr);
  if (trace) {
    printf("Map Flow   : Strip Package (skip package conversion: %d)\n",
           skip_package_conversion ? 1 : 0);
    printf("    Input0 : %s\n", DDB::get_standard_name(name).c_str());
    printf("    Input1 : %s\n", package.c_str());
    printf("    Output : %s\n", result.c_str());
  }
  return result;
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_pgm_part_pcf(const std::string& name) {
  return DDB::get_pgm_pcf(name);
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_pgm_family_pcf(const std::string& name) {
  return DDB::get_pgm_family_pcf(name);
}

void PGMDEV_DEVICE_GRAMMAR_MGR::get_pgm_pcfs(const std::string& name, std::string& part_pcf,
                                             std::string& family_pcf) {
  const std::string pgm = get_pgm_name(name, false, false);
  part_pcf = DDB::get_pgm_pcf(pgm);
  family_pcf = DDB::get_pgm_family_pcf(pgm);
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_dev_part_pcf(const std::string& name) {
  return DDB::get_dev_pcf(name);
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_dev_family_pcf(const std::string& name) {
  return DDB::get_dev_family_pcf(name);
}

void PGMDEV_DEVICE_GRAMMAR_MGR::get_dev_pcfs(const std::string& name, std::string& part_pcf,
                                             std::string& family_pcf) {
  part_pcf = DDB::get_dev_pcf(name);
  family_pcf = DDB::get_dev_family_pcf(name);
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_pcf_family_pcf(const std::string& pcf) {
  return DDB::get_device_pcf_family_pcf(pcf);
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_pcf_device(const std::string& pcf) {
  const std::vector<std::string> devices = DDB::get_dev_pcf_list(pcf);
  return devices.empty() ? std::string() : devices.front();
}

std::string PGMDEV_DEVICE_GRAMMAR_MGR::get_family(const std::string& name) {
  // The name taken as a pcf name, else as a pgm name, else as a catalogue device name.
  const std::string family = DDB::get_family(name);
  if (!family.empty()) return family;
  std::string pcf = DDB::get_pgm_pcf(name);
  if (pcf.empty()) pcf = DDB::get_dev_pcf(name);
  return pcf.empty() ? std::string() : DDB::get_family(pcf);
}

bool PGMDEV_DEVICE_GRAMMAR_MGR::use_package_name(const std::string& name) {
  const std::string package = get_package_name(name, false);
  const std::string pgm = get_pgm_name(package, true, true);
  return package == pgm;
}

bool PGMDEV_DEVICE_GRAMMAR_MGR::use_full_name(const std::string& name) {
  const std::string package = get_package_name(name, true);
  const std::string pgm = package.empty() ? std::string() : get_pgm_name(package, false, true);
  const std::string standard = DDB::get_standard_name(name);
  return !standard.empty() && standard == package && package == pgm;
}

std::vector<std::string> PGMDEV_DEVICE_GRAMMAR_MGR::get_name_kinds(const std::string& name) {
  DDB* mgr = DDB::get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  const std::string standard = DDB::get_standard_name(name);
  std::vector<std::string> kinds;
  if (standard.empty()) return kinds;
  const auto is_key = [&](DDB::PGMDEV_DDB_GRAMMAR_ENUM type) {
    return mgr->get_map(type)->count(standard) != 0;
  };
  const auto is_entry = [&](DDB::PGMDEV_DDB_GRAMMAR_ENUM type) {
    return !DDB::get_mapping_key(standard, type).empty();
  };
  // Each map's keys and entries are names of one kind (the map list of the grammar database).
  const struct {
    const char* kind;
    bool held;
  } kKinds[] = {
      {"full part name", is_entry(DDB::PACKAGE_GRAMMAR)},
      {"package name", is_key(DDB::PACKAGE_GRAMMAR) || is_entry(DDB::PGM_GRAMMAR)},
      {"pgm name",
       is_key(DDB::PGM_GRAMMAR) || is_entry(DDB::PGM_PCF) || is_entry(DDB::PGM_FAMILY_PCF)},
      {"pcf name", is_key(DDB::PGM_PCF) || is_key(DDB::DEV_PCF) ||
                       is_entry(DDB::DEVICE_PCF_FAMILY_PCF) || is_entry(DDB::FAMILY)},
      {"family pcf name", is_key(DDB::PGM_FAMILY_PCF) || is_key(DDB::DEV_FAMILY_PCF) ||
                              is_key(DDB::DEVICE_PCF_FAMILY_PCF)},
      {"family name", is_key(DDB::FAMILY)},
      {"catalogue device name", is_entry(DDB::DEV_PCF) || is_entry(DDB::DEV_FAMILY_PCF)},
  };
  for (const auto& kind : kKinds) {
    if (kind.held) kinds.push_back(kind.kind);
  }
  return kinds;
}

std::vector<std::string> PGMDEV_DEVICE_GRAMMAR_MGR::get_family_pcfs(const std::string& family) {
  DDB* mgr = DDB::get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  return mgr->get_key_mapping(family, mgr->get_map(DDB::FAMILY));
}

std::vector<std::string> PGMDEV_DEVICE_GRAMMAR_MGR::get_all_names() {
  DDB* mgr = DDB::get_mgr();
  PGMDEV_CHECK(mgr != NULL);
  std::vector<std::string> names;
  for (int type = 0; type < DDB::MAX; ++type) {
    for (const auto& [key, entries] : *mgr->get_map(DDB::PGMDEV_DDB_GRAMMAR_ENUM(type))) {
      names.push_back(DDB::get_standard_name(key));
      for (const std::string& entry : entries) names.push_back(DDB::get_standard_name(entry));
    }
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  if (!names.empty() && names.front().empty()) names.erase(names.begin());
  return names;
}
