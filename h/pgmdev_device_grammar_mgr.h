// Device-name grammar: turns one kind of device name into another (full part name, package
// name, pgm name, pcf and family names, catalogue device name) through the embedded grammar
// database. Every name is trimmed and upper-cased before it is looked up; the caller's string is
// never changed. A name that no map knows gives "", false, or the normalized name where a
// fallback is asked for.
//
// With the configuration switch PGMDEV_ENABLE_GRAMMAR_DEBUG on, get_package_name and
// get_pgm_name (also when called by the other functions) print a trace block on standard output.
#ifndef PGMDEV_DEVICE_GRAMMAR_MGR_H
#define PGMDEV_DEVICE_GRAMMAR_MGR_H

#include <string>
#include <vector>

#include "pgmdev_export.h"

class PGMDEV_API PGMDEV_DEVICE_GRAMMAR_MGR {
 public:
  // Full part name to package name ("Strip Speedgrade"). On a miss: the normalized name, or ""
  // with empty_on_miss.
  static std::string get_package_name(const std::string& name, bool empty_on_miss);
  // Package name, or full part name unless skip_package_conversion, to pgm name ("Strip
  // Package"). On a miss: the normalized name, or "" with empty_on_miss.
  static std::string get_pgm_name(const std::string& name, bool skip_package_conversion,
                                  bool empty_on_miss);
  // The pcf name, and the family pcf name, whose pgm-name list holds name.
  static std::string get_pgm_part_pcf(const std::string& name);
  static std::string get_pgm_family_pcf(const std::string& name);
  // Both pcf names of a full part, package or pgm name, through its pgm name. Both outputs are
  // always overwritten ("" on a miss).
  static void get_pgm_pcfs(const std::string& name, std::string& part_pcf, std::string& family_pcf);
  // The pcf name, and the family pcf name, whose catalogue-device list holds name.
  static std::string get_dev_part_pcf(const std::string& name);
  static std::string get_dev_family_pcf(const std::string& name);
  // Both pcf names of a catalogue device name. Both outputs are always overwritten.
  static void get_dev_pcfs(const std::string& name, std::string& part_pcf, std::string& family_pcf);
  // The family pcf name of a pcf name.
  static std::string get_pcf_family_pcf(const std::string& pcf);
  // The first catalogue device name listed under a pcf name, in stored order.
  static std::string get_pcf_device(const std::string& pcf);
  // The family name of a pcf, pgm or catalogue device name.
  static std::string get_family(const std::string& name);
  // Whether the device is named by its package name (its package name is also its pgm name).
  static bool use_package_name(const std::string& name);
  // Whether the device is named by its full part name (the name is its own package and pgm
  // name).
  static bool use_full_name(const std::string& name);

  // The kinds of name that the grammar database holds name (normalized) as, in this order:
  // "full part name", "package name", "pgm name", "pcf name", "family pcf name", "family name",
  // "catalogue device name". Empty for a name it does not hold.
  static std::vector<std::string> get_name_kinds(const std::string& name);
  // The pcf names listed under a family name, in stored order; empty for a name that is no
  // family name.
  static std::vector<std::string> get_family_pcfs(const std::string& family);
  // Every name the grammar database holds, as a key or a list entry of any of its maps,
  // normalized, sorted and without repeats (for listings and for suggesting a known name).
  static std::vector<std::string> get_all_names();
};

#endif  // PGMDEV_DEVICE_GRAMMAR_MGR_H
