// The shared library's dynamic symbol table holds the exported interface and nothing of the
// internal name-database managers.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

// The demangled names of the defined dynamic symbols of the shared library.
std::vector<std::string> exported_symbols() {
  const std::string command =
      std::string("nm -D --defined-only -C '") + PGMDEV_SHARED_LIBRARY_PATH + "' 2>/dev/null";
  std::vector<std::string> symbols;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return symbols;
  char line[4096];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    // "<address> <type> <name>"
    const size_t first = text.find(' ');
    const size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second != std::string::npos) symbols.push_back(text.substr(second + 1));
  }
  pclose(pipe);
  return symbols;
}

bool mentions(const std::string& symbol, const std::string& class_name) {
  // A class name as a whole word: PGMDEV_MGR must not match PGMDEV_DDB_OPN_MGR and vice versa.
  for (size_t at = symbol.find(class_name); at != std::string::npos;
       at = symbol.find(class_name, at + 1)) {
    const auto is_word = [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    };
    const bool starts = at == 0 || !is_word(symbol[at - 1]);
    const size_t end = at + class_name.size();
    const bool ends = end == symbol.size() || !is_word(symbol[end]);
    if (starts && ends) return true;
  }
  return false;
}

TEST(ExportedSymbols, InternalClassesAreNotExported) {
  const std::vector<std::string> symbols = exported_symbols();
  ASSERT_FALSE(symbols.empty()) << "could not read the dynamic symbol table of "
                                << PGMDEV_SHARED_LIBRARY_PATH;
  for (const std::string& symbol : symbols) {
    EXPECT_FALSE(mentions(symbol, "PGMDEV_DDB_GRAMMAR_MGR")) << symbol;
    EXPECT_FALSE(mentions(symbol, "PGMDEV_DDB_OPN_MGR")) << symbol;
    EXPECT_FALSE(mentions(symbol, "GRAMMAR_MAP")) << symbol;
  }
}

TEST(ExportedSymbols, ExportedInterfaceIsPresent) {
  std::set<std::string> classes;
  for (const std::string& symbol : exported_symbols()) {
    const size_t scope = symbol.find("::");
    if (scope != std::string::npos) classes.insert(symbol.substr(0, scope));
  }
  EXPECT_TRUE(classes.count("PGMDEV_DEVICE_GRAMMAR_MGR")) << "grammar functions not exported";
}

}  // namespace
