// Name suggestions of pgmdev-tool: the bounded optimal-string-alignment distance and the ranking
// of the nearest known names.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "name_suggest.h"
#include "pgmdev.h"

namespace {

using pgmdev_tool::closest_names;
using pgmdev_tool::osa_distance;
using pgmdev_tool::Suggestion;

// The textbook table, without any bound, to check the pruned one against.
unsigned int reference_distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<unsigned int>> d(a.size() + 1, std::vector<unsigned int>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = static_cast<unsigned int>(i);
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = static_cast<unsigned int>(j);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const unsigned int cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

TEST(OsaDistance, NamedCases) {
  struct Case {
    const char* a;
    const char* b;
    unsigned int distance;
    const char* what;
  };
  const Case kCases[] = {
      {"", "", 0, "both empty"},
      {"", "ABC", 3, "insertions only"},
      {"QZ40B", "QZ40B", 0, "equal"},
      {"QZ4OBF256C6N", "QZ40BF256C6N", 1, "letter O for digit 0"},
      {"QZ04BF256C6N", "QZ40BF256C6N", 1, "two adjacent characters swapped"},
      {"QZ40BF256C6", "QZ40BF256C6N", 1, "last character missing"},
      {"TERNFEILD", "TERNFIELD", 1, "swap inside a word"},
      {"KITTEN", "SITTING", 3, "substitutions and an insertion"},
      {"CA", "ABC", 3, "no substring is edited twice (unrestricted would give 2)"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(osa_distance(c.a, c.b, 100), c.distance) << c.what;
    EXPECT_EQ(osa_distance(c.b, c.a, 100), c.distance) << c.what << " (reversed)";
  }
}

// The bound cuts the work short but never changes a distance within it.
TEST(OsaDistance, BoundedDistanceAgreesWithTheFullTable) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> length(0, 9);
  std::uniform_int_distribution<int> letter(0, 3);  // few letters: many matches and swaps
  const auto word = [&] {
    std::string text(static_cast<std::size_t>(length(random)), 'A');
    for (char& c : text) c = static_cast<char>('A' + letter(random));
    return text;
  };
  for (int round = 0; round < 3000; ++round) {
    const std::string a = word();
    const std::string b = word();
    const unsigned int full = reference_distance(a, b);
    for (unsigned int bound = 0; bound <= 10; ++bound) {
      EXPECT_EQ(osa_distance(a, b, bound), std::min(full, bound + 1))
          << a << " / " << b << " bound " << bound;
    }
  }
}

TEST(ClosestNames, RankingOfTypos) {
  const std::vector<std::string> known = {
      "QZ10A",        "QZ40B", "QZ40BF256", "QZ40BF256C6N", "QZ40BF256C7N",    "QZ40BF256I6N",
      "QZ40BF484C6N", "QZ60B", "QZ60B_DIE", "TERNFIELD",    "TERNFIELD_FAMILY"};
  struct Case {
    const char* query;
    std::size_t count;
    unsigned int max_distance;
    std::vector<std::string> expected;
    const char* what;
  };
  const Case kCases[] = {
      {"QZ4OBF256C6N",
       5,
       3,
       {"QZ40BF256C6N", "QZ40BF256C7N", "QZ40BF256I6N"},
       "nearest first, equal distances in alphabetical order"},
      {"QZ4OBF256C6N",
       5,
       4,
       {"QZ40BF256C6N", "QZ40BF256C7N", "QZ40BF256I6N", "QZ40BF256", "QZ40BF484C6N"},
       "a shorter name within the distance"},
      {"QZ4OBF256C6N", 2, 4, {"QZ40BF256C6N", "QZ40BF256C7N"}, "no more than asked for"},
      {"QZ40BF256C6N", 5, 1, {"QZ40BF256C7N", "QZ40BF256I6N"}, "the name itself is no suggestion"},
      {"TERNFEILD", 5, 3, {"TERNFIELD"}, "transposition"},
      {"QZ6OB", 3, 2, {"QZ60B", "QZ40B"}, "short names"},
      {"FOOBAR", 5, 2, {}, "nothing near enough"},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> got;
    for (const Suggestion& suggestion : closest_names(c.query, known, c.count, c.max_distance)) {
      got.push_back(suggestion.name);
      EXPECT_EQ(suggestion.distance, osa_distance(c.query, suggestion.name, 100)) << c.what;
    }
    EXPECT_EQ(got, c.expected) << c.what;
  }
}

TEST(ClosestNames, KnownNamesCoverEveryKindAndSuggestTheCataloguePart) {
  const std::vector<std::string> known = pgmdev_tool::known_names();
  EXPECT_TRUE(std::is_sorted(known.begin(), known.end()));
  EXPECT_EQ(std::adjacent_find(known.begin(), known.end()), known.end());
  for (const char* name : {"QZ40BF256C6N", "QZ40BF256", "QZ40B", "QZ60B", "QZ60B_DIE",
                           "TERNFIELD_FAMILY", "TERNFIELD"}) {
    EXPECT_TRUE(std::binary_search(known.begin(), known.end(), name)) << name;
  }
  const std::vector<Suggestion> suggestions =
      closest_names("QZ4OBF256C6N", known, 5, pgmdev_tool::suggestion_bound(12));
  ASSERT_FALSE(suggestions.empty());
  EXPECT_EQ(suggestions.front().name, "QZ40BF256C6N");
  EXPECT_EQ(suggestions.front().distance, 1u);
}

TEST(NormalizeName, AsTheLookupsSeeIt) {
  EXPECT_EQ(pgmdev_tool::normalize_name(" \tqz40bf256c6n\n"), "QZ40BF256C6N");
  EXPECT_EQ(pgmdev_tool::normalize_name("qz60b_die"), "QZ60B_DIE");
  EXPECT_EQ(pgmdev_tool::normalize_name("   "), "");
}

}  // namespace
