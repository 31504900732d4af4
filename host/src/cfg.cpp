// Configuration values: in-process values first, then the environment.
#include "cfg.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "gen.h"

namespace {

std::mutex g_cfg_mutex;
std::map<std::string, std::string>& values() {
  static std::map<std::string, std::string> map;
  return map;
}

}  // namespace

std::string cfg_get_value(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(g_cfg_mutex);
    const auto found = values().find(name);
    if (found != values().end()) return found->second;
  }
  const char* environment = std::getenv(name.c_str());
  return environment ? std::string(environment) : std::string();
}

bool cfg_is_on(const std::string& name, bool default_value) {
  std::string value = cfg_get_value(name);
  if (value.empty()) return default_value;
  stl_toupper(value);
  return value == "1" || value == "ON" || value == "TRUE" || value == "YES";
}

void cfg_set_value(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(g_cfg_mutex);
  values()[name] = value;
}

void cfg_unset_value(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_cfg_mutex);
  values().erase(name);
}
