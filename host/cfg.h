// Configuration service of the host: values and switches.
#ifndef PGMHOST_CFG_H
#define PGMHOST_CFG_H

#include <string>

#include "pgmhost_export.h"

// The value set in-process with cfg_set_value, else the environment variable of that name,
// else "".
PGMHOST_API std::string cfg_get_value(const std::string& name);

// A switch: unset or empty gives default_value; "1", "ON", "TRUE", "YES" in any letter case
// give true; anything else false. The state of each switch is kept once read: cfg_set_value
// and cfg_unset_value update it, so the next read sees their change; the environment is read
// once per switch name.
PGMHOST_API bool cfg_is_on(const std::string& name, bool default_value);

// In-process values for hosts and tests; they take precedence over the environment.
PGMHOST_API void cfg_set_value(const std::string& name, const std::string& value);
PGMHOST_API void cfg_unset_value(const std::string& name);

#endif  // PGMHOST_CFG_H
