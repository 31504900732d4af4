// The catalogue tables that tools/catalogue_gen generates from
// data/catalogue/catalogue.txt. Each table is indexed by its number; row 0 is
// the invalid entry (empty names).
#ifndef PGMHOST_DEV_CATALOGUE_DATA_H
#define PGMHOST_DEV_CATALOGUE_DATA_H

#include "dev_catalogue.h"

namespace dev_catalogue_data {

struct FamilyRow {
  const char* user_name;   // e.g. "Ternfield"
  const char* identifier;  // e.g. "TERNFIELD"
};

struct DeviceRow {
  const char* name;  // e.g. "QZ60B_DIE"
  unsigned short family;
};

struct PartRow {
  const char* name;  // upper case, e.g. "QZ40BF256C6N"
  unsigned short device;
  unsigned short package_code;  // index into kPackageCodes; 0 ("") for a part
                                // named by its pgm name
  char temperature;             // C commercial, I industrial, A automotive, M military
  char speed;                   // speed grade digit
  char stage;                   // P production, E engineering sample, O obsolete
};

extern const FamilyRow kFamilies[DEV_FAMILY_MAX];
extern const DeviceRow kDevices[DEV_DEVICE_MAX];
extern const char* const kPackageCodes[];
extern const int kPackageCodeCount;
// DEV_PART_MAX rows; the last is the generic part.
extern const PartRow kParts[];

}  // namespace dev_catalogue_data

#endif  // PGMHOST_DEV_CATALOGUE_DATA_H
