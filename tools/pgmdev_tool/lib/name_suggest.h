// Suggestions for a device name that nothing resolves: the known names closest to it by edit
// distance with transpositions of adjacent characters (optimal string alignment).
#ifndef PGMDEV_TOOL_NAME_SUGGEST_H
#define PGMDEV_TOOL_NAME_SUGGEST_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pgmdev_tool {

// A name as the lookups see it: blanks around it removed, ASCII letters upper-cased.
std::string normalize_name(std::string_view name);

// The optimal string alignment distance of a and b (insertions, deletions, substitutions and
// transpositions of two adjacent characters, no substring edited twice), or bound + 1 as soon
// as it is known to exceed bound.
unsigned int osa_distance(std::string_view a, std::string_view b, unsigned int bound);

struct Suggestion {
  std::string name;
  unsigned int distance;
};

// The largest distance at which a name of length characters still gets suggestions: a third of
// it, at least 2, so that a short name does not suggest unrelated ones.
unsigned int suggestion_bound(std::size_t length);

// Up to count candidates closest to query (both normalized), nearest first, ties in alphabetical
// order; none further than max_distance, none equal to query.
std::vector<Suggestion> closest_names(std::string_view query,
                                      const std::vector<std::string>& candidates, std::size_t count,
                                      unsigned int max_distance);

// Every name the tool can resolve, normalized, sorted, without repeats: the grammar database's
// keys and entries, the catalogue's parts and devices, and the families by name and identifier.
std::vector<std::string> known_names();

}  // namespace pgmdev_tool

#endif  // PGMDEV_TOOL_NAME_SUGGEST_H
