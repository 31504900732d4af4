// Device-name grammar: compositions of the grammar database's lookups, with their fallbacks and
// the optional trace on standard output.
#include "pgmdev_device_grammar_mgr.h"

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
