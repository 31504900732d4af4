// Version text and number of the suite, overridable for tests that need two versions.
#include "ver.h"

#include "cfg.h"
#include "pgm_common.h"

namespace {

// Build and service pack of this release: the number carries the service pack in bits 0-7 and
// the build in bits 8-23.
constexpr unsigned int kBuild = PGMHOST_BUILD_NUMBER;
constexpr unsigned int kServicePack = 0;

}  // namespace

std::string ver_get_version() {
  const std::string overridden = cfg_get_value("PGMDEV_SUITE_VERSION");
  if (!overridden.empty()) return overridden;
  return PGMHOST_VERSION_TEXT;
}

unsigned int ver_get_current_version_index_number() {
  const std::string overridden = cfg_get_value("PGMDEV_SUITE_VERSION_INDEX");
  if (!overridden.empty()) {
    bool ok = false;
    const DWORD value = PGM_COMMON::convert_string_to_dword(overridden, true, &ok, nullptr, true);
    if (ok) return value;
  }
  return ((kBuild & 0xFFFFu) << 8) | (kServicePack & 0xFFu);
}
