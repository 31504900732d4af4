// Nearest known names by optimal string alignment distance.
#include "name_suggest.h"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "dev_catalogue.h"
#include "pgmdev.h"

namespace pgmdev_tool {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

unsigned int length_difference(std::size_t a, std::size_t b) {
  return static_cast<unsigned int>(a > b ? a - b : b - a);
}

bool nearer(const Suggestion& a, const Suggestion& b) {
  return a.distance != b.distance ? a.distance < b.distance : a.name < b.name;
}

}  // namespace

std::string normalize_name(std::string_view name) {
  std::size_t begin = 0;
  std::size_t end = name.size();
  while (begin < end && is_blank(name[begin])) ++begin;
  while (end > begin && is_blank(name[end - 1])) --end;
  std::string text(name.substr(begin, end - begin));
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

unsigned int osa_distance(std::string_view a, std::string_view b, unsigned int bound) {
  if (length_difference(a.size(), b.size()) > bound) return bound + 1;
  // Three rows of the table: i - 2, i - 1 and i.
  std::vector<unsigned int> before(b.size() + 1);
  std::vector<unsigned int> previous(b.size() + 1);
  std::vector<unsigned int> current(b.size() + 1);
  std::iota(previous.begin(), previous.end(), 0u);
  unsigned int previous_minimum = 0;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = static_cast<unsigned int>(i);
    unsigned int row_minimum = current[0];
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const unsigned int cost = a[i - 1] == b[j - 1] ? 0 : 1;
      unsigned int best = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        best = std::min(best, before[j - 2] + 1);
      }
      current[j] = best;
      row_minimum = std::min(row_minimum, best);
    }
    // A cell grows from cells of its own row and the two rows before it: once two rows in a
    // row exceed the bound, so does every later one.
    if (row_minimum > bound && previous_minimum > bound) return bound + 1;
    previous_minimum = row_minimum;
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return std::min(previous[b.size()], bound + 1);
}

unsigned int suggestion_bound(std::size_t length) {
  constexpr unsigned int kMinimumBound = 2;
  return std::max(kMinimumBound, static_cast<unsigned int>(length / 3));
}

std::vector<Suggestion> closest_names(std::string_view query,
                                      const std::vector<std::string>& candidates, std::size_t count,
                                      unsigned int max_distance) {
  std::vector<Suggestion> best;  // sorted, nearest first, at most count
  if (count == 0) return best;
  unsigned int bound = max_distance;
  for (const std::string& candidate : candidates) {
    if (length_difference(candidate.size(), query.size()) > bound || candidate == query) continue;
    const unsigned int distance = osa_distance(query, candidate, bound);
    if (distance > bound) continue;
    const Suggestion suggestion{candidate, distance};
    best.insert(std::upper_bound(best.begin(), best.end(), suggestion, nearer), suggestion);
    if (best.size() > count) best.pop_back();
    // Once the list is full, only a name as near as its last one can still enter it.
    if (best.size() == count) bound = best.back().distance;
  }
  return best;
}

std::vector<std::string> known_names() {
  // The grammar's names come sorted; the catalogue's are sorted apart and merged in.
  const std::vector<std::string> grammar = PGMDEV_DEVICE_GRAMMAR_MGR::get_all_names();
  std::vector<std::string> catalogue;
  catalogue.reserve(static_cast<std::size_t>(DEV_PART_MAX) + DEV_DEVICE_MAX + 2 * DEV_FAMILY_MAX);
  for (int part = DEV_PART_INVALID + 1; part < DEV_PART_MAX; ++part) {
    catalogue.push_back(normalize_name(dstr_get_user_string(static_cast<DEV_PART_ENUM>(part))));
  }
  for (int device = DEV_DEVICE_INVALID + 1; device < DEV_DEVICE_MAX; ++device) {
    catalogue.push_back(normalize_name(dstr_get_user_string(static_cast<DEV_DEVICE_ENUM>(device))));
  }
  for (int family = DEV_FAMILY_INVALID + 1; family < DEV_FAMILY_MAX; ++family) {
    catalogue.push_back(normalize_name(dstr_get_user_string(static_cast<DEV_FAMILY_ENUM>(family))));
    catalogue.push_back(
        normalize_name(dstr_get_family_identifier(static_cast<DEV_FAMILY_ENUM>(family))));
  }
  std::sort(catalogue.begin(), catalogue.end());
  std::vector<std::string> names;
  names.reserve(grammar.size() + catalogue.size());
  std::merge(std::make_move_iterator(catalogue.begin()), std::make_move_iterator(catalogue.end()),
             grammar.begin(), grammar.end(), std::back_inserter(names));
  names.erase(std::unique(names.begin(), names.end()), names.end());
  if (!names.empty() && names.front().empty()) names.erase(names.begin());
  return names;
}

}  // namespace pgmdev_tool
