// Memory-tracker registration: the stand-in records which modules are registered.
#include "mem.h"

#include <algorithm>
#include <mutex>

namespace {

std::mutex g_mem_mutex;
std::vector<std::string>& modules() {
  static std::vector<std::string>* list = new std::vector<std::string>();  // outlives unload
  return *list;
}

}  // namespace

MEM_INITIALIZER::MEM_INITIALIZER(const char* module) : m_module(module ? module : "") {
  std::lock_guard<std::mutex> lock(g_mem_mutex);
  modules().push_back(m_module);
}

MEM_INITIALIZER::~MEM_INITIALIZER() {
  std::lock_guard<std::mutex> lock(g_mem_mutex);
  auto& list = modules();
  const auto found = std::find(list.rbegin(), list.rend(), m_module);
  if (found != list.rend()) list.erase(std::next(found).base());
}

std::vector<std::string> MEM_INITIALIZER::registered_modules() {
  std::lock_guard<std::mutex> lock(g_mem_mutex);
  return modules();
}
