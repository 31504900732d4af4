// Part names and ordering part numbers (OPN) of the device catalogue, and the checks of the
// programmer's programming-type names.
//
// Part names: a catalogue part for a pcf name or a catalogue device name, and the completion of a
// full part, package or pgm name to a full part name. OPNs: the ordinal of a part in the embedded
// OPN table (0xFFFFFFFF for none) and the OPN hash, a 48-bit value that depends only on the
// upper-cased part name and may be stored by other tools (0xFFFFFFFFFFFFFFFF for a name that is no
// usable catalogue part).
//
// The class has no state; every function is static.
#ifndef PGMDEV_MGR_H
#define PGMDEV_MGR_H

#include <string>

#include "pgmdev_export.h"
#include "pgmdev_types.h"

class PGMDEV_API PGMDEV_MGR {
 public:
  // A part whose catalogue name is a pgm name listed under the pcf name pcf (any letter case),
  // trimmed and upper-cased. The catalogue's parts are searched in four passes (current commercial
  // production, other-grade production, commercial samples, other-grade samples); the first match
  // of the last pass that had one wins (a pass without a match keeps the earlier result and the
  // next pass still runs). "" when pass 0 has none: the search then ends after that pass.
  static std::string get_part_name_from_pcf(std::string pcf);

  // The catalogue name of the first part of the catalogue device `device` (its exact name) in the
  // first of the four passes that lists one; "" when none does. A device name that the catalogue
  // does not know is an internal error.
  static std::string get_part_name_from_dev(std::string device);

  // The full part name of name (upper-cased): the first catalogue part, in part-number order, that
  // is name itself or whose package or pgm name is name. Names of fewer than five characters, and
  // names that do not share their first five characters with the part, match only exactly. A name
  // that matches no part is an internal error.
  static std::string get_possible_full_name(std::string name);

  // The OPN ordinal of a catalogue part name, or 0xFFFFFFFF.
  static unsigned int get_opn_enum(std::string part_name);
  // The upper-cased part name of an OPN ordinal, or "".
  static std::string get_opn(unsigned int opn_enum);
  // The OPN hash of a catalogue part name: the first six bytes of the SHA-256 digest of the
  // upper-cased name, least significant first; 0xFFFFFFFFFFFFFFFF for a name that is no usable
  // catalogue part.
  static unsigned long long get_opn_hash(std::string part_name);
  // The upper-cased name of the first catalogue part, in part-number order, whose OPN hash is the
  // low 48 bits of hash (the upper 16 bits are ignored), or "".
  static std::string get_opn_from_hash(unsigned long long hash);

  // Whether the upper-cased name is an entry of the type's name table (entry 0, the empty name,
  // included); on success the entry's number is stored through index when it is given.
  static bool pgm_check_type_name_supported(PGM_ENUM_TYPE pgm_enum_type, std::string name,
                                            unsigned int* index);
  // Whether value is a supported member of the type (1 up to the table's count minus 1); on success
  // its name is assigned through name when it is given.
  static bool pgm_check_type_enum_supported(PGM_ENUM_TYPE pgm_enum_type, unsigned int value,
                                            std::string* name);

  // The library's version, "MAJOR.MINOR.PATCH": the version of its CMake package and pkg-config
  // file.
  static std::string get_library_version();
};

#endif  // PGMDEV_MGR_H
