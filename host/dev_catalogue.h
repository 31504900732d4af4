// The device catalogue: families, devices and parts, their numbers, names and relations.
#ifndef PGMHOST_DEV_CATALOGUE_H
#define PGMHOST_DEV_CATALOGUE_H

#include <string>
#include <vector>

#include "pgmhost_export.h"

// Family numbers, fixed when the library is built.
enum DEV_FAMILY_ENUM : int {
  DEV_FAMILY_INVALID = 0,
  DEV_FAMILY_GENERIC = 72,  // stands for no specific family
  DEV_FAMILY_MAX = 73
};

// Device (die) numbers, fixed when the library is built.
enum DEV_DEVICE_ENUM : int {
  DEV_DEVICE_INVALID = 0,
  DEV_DEVICE_GENERIC = 990,  // DEV_DEVICE_MAX - 1
  DEV_DEVICE_MAX = 991
};

// Part (orderable device) numbers. Their range is the catalogue's: read the limits at run time.
enum DEV_PART_ENUM : int {};

// Number of part numbers; every part number is below it.
PGMHOST_API extern const DEV_PART_ENUM DEV_PART_MAX;
// The invalid part number (0) and the generic part (DEV_PART_MAX - 1).
PGMHOST_API extern const DEV_PART_ENUM DEV_PART_INVALID;
PGMHOST_API extern const DEV_PART_ENUM DEV_PART_GENERIC;

// The user-visible name of a number; "" for a number outside the catalogue.
PGMHOST_API std::string dstr_get_user_string(DEV_FAMILY_ENUM family);
PGMHOST_API std::string dstr_get_user_string(DEV_DEVICE_ENUM device);
PGMHOST_API std::string dstr_get_user_string(DEV_PART_ENUM part);

// The family's identifier: upper case, letters, digits and "_", unique among the families;
// "GENERIC" for the generic family and "" for a number outside the catalogue.
PGMHOST_API std::string dstr_get_family_identifier(DEV_FAMILY_ENUM family);

// The number of a device or part name, or the invalid value when the catalogue does not know
// the name. Device names match exactly; part names match ignoring letter case, so both the
// catalogue's spelling and its upper-case form are accepted.
PGMHOST_API DEV_DEVICE_ENUM dstr_get_dev_device_enum_by_string(const std::string& name);
PGMHOST_API DEV_PART_ENUM dstr_get_dev_part_enum_by_string(const std::string& name);

// Whether a number denotes a real catalogue entry (the generic entries included, the invalid
// ones not).
PGMHOST_API bool dstr_is_valid_dev_device_enum(DEV_DEVICE_ENUM device);
PGMHOST_API bool dstr_is_valid_dev_family_enum(DEV_FAMILY_ENUM family);

// Relations and part lists, made as a local object for one query.
class PGMHOST_API DEV_PART_MANAGER {
 public:
  DEV_PART_MANAGER() = default;
  // The device of a part; DEV_DEVICE_INVALID for a number outside the catalogue.
  DEV_DEVICE_ENUM get_device_of(DEV_PART_ENUM part) const;
  // The family of a device; DEV_FAMILY_INVALID for a number outside the catalogue.
  DEV_FAMILY_ENUM get_family_of(DEV_DEVICE_ENUM device) const;
  // Fills parts with the part numbers that match the filters, in part-number order, and
  // returns whether the list is non-empty. Texts compare ignoring letter case; "ANY" stands
  // for no filter. filter1 is a family (its user string or identifier), filter2 a device name,
  // filter3 a package code (e.g. "F256"), filter4 a speed grade digit, filter5 a temperature
  // grade letter (C, I, A, M); `last` is an ordering status, "production", "sample" or
  // "obsolete" ("any" for none).
  // flag1: true lists production parts, false engineering samples.
  // flag2: true lists commercial-grade parts (C), false the other temperature grades.
  // flag3: false leaves obsolete parts out, true lets them in.
  // So the four (flag1, flag2) combinations with flag3 false list disjoint sets of parts.
  // The generic part is never listed. docs/catalogue.md describes the data.
  bool filter_part_list(std::vector<DEV_PART_ENUM>* parts, const std::string& filter1,
                        const std::string& filter2, const std::string& filter3,
                        const std::string& filter4, const std::string& filter5, bool flag1,
                        bool flag2, bool flag3, const std::string& last) const;
};

#endif  // PGMHOST_DEV_CATALOGUE_H
