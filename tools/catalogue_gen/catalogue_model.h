// The device catalogue as read from its source text: families, pcf groups,
// devices, pgm names, packages and parts, and the eight name maps and the OPN
// table derived from them.
#ifndef PGMDEV_CATALOGUE_MODEL_H
#define PGMDEV_CATALOGUE_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "ddb_blob_writer.h"

namespace catalogue {

inline constexpr int kNone = -1;

// Attributes of one orderable part: what filter_part_list selects on.
struct Grade {
  char temperature = 'C';  // C commercial, I industrial, A automotive, M military
  char speed = '6';        // speed grade digit
  char stage = 'P';        // P production, E engineering sample, O obsolete
};

struct Family {
  std::string user_name;   // as written, e.g. "Ternfield"
  std::string identifier;  // upper case, e.g. "TERNFIELD"
  int family_pcf = kNone;  // index into Catalogue::family_pcfs
  bool opn = false;        // its parts have OPN ordinals with their part numbers
  std::vector<int> pcfs;
  int line = 0;
};

struct FamilyPcf {
  std::string name;  // e.g. "TERNFIELD_FAMILY"
  std::vector<int> families;
  int line = 0;
};

struct Pcf {
  std::string name;
  bool device_config = false;  // listed under its family pcf in DEVICE_PCF_FAMILY_PCF
  int family = kNone;
  std::vector<int> devices;
  int line = 0;
};

struct Package {
  std::string name;                     // pgm name + package code
  std::string code;                     // "" for a part named by its pgm name
  std::vector<std::string> full_names;  // catalogue parts first, then ordering variants
};

struct Pgm {
  std::string name;
  int device = kNone;
  std::vector<Package> packages;
};

struct Device {
  std::string name;
  int family = kNone;
  int pcf = kNone;  // kNone: the name database does not list the device
  std::vector<int> pgms;
  int line = 0;
};

struct Part {
  std::string name;
  std::string package_code;
  int device = kNone;
  Grade grade;
};

struct Catalogue {
  std::vector<FamilyPcf> family_pcfs;
  std::vector<Family> families;  // family number - 1
  std::vector<Pcf> pcfs;
  std::vector<Device> devices;  // device number - 1
  std::vector<Pgm> pgms;
  std::vector<Part> parts;  // part number - 1, in source order
  // Every ordering code in source order with its OPN value (part number or 0).
  std::vector<std::string> ordering_codes;
  std::vector<uint32_t> opn_values;
};

// Whether text is a name of the name database: upper-case letters, digits and '_' (and '-'
// when allow_dash), at least two characters.
bool is_name(const std::string& text, bool allow_dash);

// Reads the catalogue source. On failure returns false with one message per
// problem in errors, each naming the source line and the offending name.
bool parse_catalogue(const std::string& text, const std::string& source_name, Catalogue& out,
                     std::vector<std::string>& errors);

// Checks the catalogue's own rules: unique family, device and part names, the
// expected numbers of families and devices (when check_sizes), part-number
// range.
void check_catalogue(const Catalogue& catalogue, bool check_sizes,
                     std::vector<std::string>& errors);

// The eight grammar sections in map order (package, pgm, pgm pcf, pgm family
// pcf, device pcf, device family pcf, device pcf family pcf, family).
std::vector<ddb_writer::Section> grammar_sections(const Catalogue& catalogue);

// Checks every relation between the eight maps and between the maps and the
// catalogue; each message names the offending name.
void check_grammar(const Catalogue& catalogue, const std::vector<ddb_writer::Section>& sections,
                   std::vector<std::string>& errors);

}  // namespace catalogue

#endif  // PGMDEV_CATALOGUE_MODEL_H
