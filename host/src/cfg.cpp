// Configuration values: in-process values first, then the environment.
#include "cfg.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "gen.h"

namespace {

// What a switch's text says, computed once per name: the library reads some switches on every
// lookup.
enum class SWITCH_STATE : unsigned char { kUnset, kOn, kOff };

// Guards the in-process values and the switch cache. Switch reads share it; writes take it
// alone and drop the cached state of the name they change.
std::shared_mutex g_cfg_mutex;

std::map<std::string, std::string>& values() {
  static std::map<std::string, std::string> map;
  return map;
}

std::unordered_map<std::string, SWITCH_STATE>& switch_cache() {
  static std::unordered_map<std::string, SWITCH_STATE> cache;
  return cache;
}

// The in-process value, else the environment's; the caller holds the lock.
std::string value_of(const std::string& name) {
  const auto found = values().find(name);
  if (found != values().end()) return found->second;
  const char* environment = std::getenv(name.c_str());
  return environment ? std::string(environment) : std::string();
}

SWITCH_STATE state_of(std::string value) {
  if (value.empty()) return SWITCH_STATE::kUnset;
  stl_toupper(value);
  const bool on = value == "1" || value == "ON" || value == "TRUE" || value == "YES";
  return on ? SWITCH_STATE::kOn : SWITCH_STATE::kOff;
}

}  // namespace

std::string cfg_get_value(const std::string& name) {
  const std::shared_lock<std::shared_mutex> lock(g_cfg_mutex);
  return value_of(name);
}

bool cfg_is_on(const std::string& name, bool default_value) {
  SWITCH_STATE state = SWITCH_STATE::kUnset;
  bool cached = false;
  {
    const std::shared_lock<std::shared_mutex> lock(g_cfg_mutex);
    const auto found = switch_cache().find(name);
    cached = found != switch_cache().end();
    if (cached) state = found->second;
  }
  if (!cached) {
    // Computed under the writers' lock, so that a value set meanwhile is not cached stale.
    const std::unique_lock<std::shared_mutex> lock(g_cfg_mutex);
    state = state_of(value_of(name));
    switch_cache().insert_or_assign(name, state);
  }
  if (state == SWITCH_STATE::kUnset) return default_value;
  return state == SWITCH_STATE::kOn;
}

void cfg_set_value(const std::string& name, const std::string& value) {
  const std::unique_lock<std::shared_mutex> lock(g_cfg_mutex);
  values()[name] = value;
  switch_cache().erase(name);
}

void cfg_unset_value(const std::string& name) {
  const std::unique_lock<std::shared_mutex> lock(g_cfg_mutex);
  values().erase(name);
  switch_cache().erase(name);
}
