#include "util/wild_match.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rules/reference_match.h"

namespace ardel {
namespace {

std::vector<std::string> AllStrings(std::string_view alphabet, std::size_t maxLength) {
  std::vector<std::string> all{""};
  for (std::size_t begin = 0, length = 0; length < maxLength; ++length) {
    const std::size_t end = all.size();
    for (std::size_t i = begin; i < end; ++i) {
      for (const char c : alphabet) all.push_back(all[i] + c);
    }
    begin = end;
  }
  return all;
}

TEST(WildMatch, Examples) {
  const std::string telegram = "AB B0 00000000 FFFFFF80 00";
  struct Case {
    std::string text, pattern;
    bool match;
  } cases[] = {
      {telegram, "AB B0 *", true},
      {telegram, "ab b0 *", false},
      {telegram, "AB B0 00000000 FFFFFF80 0?", true},
      {telegram, "AB B0 00000000 FFFFFF80 0", false},
      {telegram, "*", true},
      {telegram, "", false},
      {telegram, "?? B0 * 00", true},
      {telegram, "AB B0 00000000 FFFFFF80 00*", true},
      {telegram, "AB B0 00000000 FFFFFF80 00**", false},
      {telegram, "AB B0 00000000 FFFFFF80 0**", true},
      {"AB", "A*B", true},
      {"AXYB", "A*B", true},
      {"AXYC", "A*B", false},
      {"X", "?", true},
      {"", "?", false},
      {"", "*", true},
      {"", "**", false},
      {"", "", true},
      {"AB", "AB*", true},
      {"AB", "AB**", false},
      {"ABC", "AB**", true},
      {"AB", "**B", true},
      {"A", "**", true},
      {"*", "A", false},  // a star in the text is an ordinary character
      {"?", "?", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReferenceMatch(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
    EXPECT_EQ(WildMatch(c.text, c.pattern), c.match) << c.text << " / " << c.pattern;
    EXPECT_EQ(TTextMatcher(c.text).Matches(c.pattern), c.match) << c.text << " / " << c.pattern;
  }
}

// Every text and pattern up to a small length: the fast matchers give exactly the
// definition's result, the end-of-text rule for trailing stars included.
TEST(WildMatch, EqualsTheDefinitionOnEverySmallCase) {
  const std::vector<std::string> texts = AllStrings("AB*?", 5);
  const std::vector<std::string> patterns = AllStrings("AB*?", 7);
  std::size_t differences = 0;
  for (const std::string& text : texts) {
    const TTextMatcher matcher(text);
    for (const std::string& pattern : patterns) {
      const bool expected = ReferenceMatch(text, pattern);
      if (WildMatch(text, pattern) != expected || matcher.Matches(pattern) != expected) {
        if (++differences <= 10) ADD_FAILURE() << '"' << text << "\" / \"" << pattern << '"';
      }
    }
  }
  EXPECT_EQ(differences, 0u);
}

// Longer texts, telegram texts among them and texts too long for one machine word,
// against patterns cut from them, so that matches and near misses are both common.
TEST(WildMatch, EqualsTheDefinitionOnRandomLongerCases) {
  std::mt19937 random(20240611);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  const std::string alphabet = "0123456789ABCDEF ";
  std::size_t matches = 0;
  constexpr int kCases = 100000;
  for (int round = 0; round < kCases; ++round) {
    std::string text;
    const std::size_t length = round % 3 == 0 ? 26 : pick(80);
    for (std::size_t i = 0; i < length; ++i) text += alphabet[pick(round % 2 ? 3 : alphabet.size())];

    std::string pattern;
    int stars = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      const std::size_t roll = pick(20);
      // Runs of stars inside the pattern make the definition's recursion explode, so
      // they stay short and few; the run at the end is where the definition is odd.
      if (roll == 0 && stars < 3) {
        pattern.append(pick(8) == 0 ? 2 : 1, '*');
        ++stars;
        i += pick(6);  // the star stands for a few characters
        if (i >= text.size()) break;
      }
      if (i == text.size()) break;
      if (roll == 1) pattern += '?';
      else if (roll == 2) pattern += alphabet[pick(alphabet.size())];
      else if (roll != 3) pattern += text[i];
    }
    if (pick(4) == 0) pattern.append(1 + pick(3), '*');

    const bool expected = ReferenceMatch(text, pattern);
    matches += expected;
    ASSERT_EQ(WildMatch(text, pattern), expected) << '"' << text << "\" / \"" << pattern << '"';
    ASSERT_EQ(TTextMatcher(text).Matches(pattern), expected) << '"' << text << "\" / \"" << pattern << '"';
  }
  // Both outcomes must be well represented for the comparison to mean anything.
  EXPECT_GT(matches, kCases / 10u);
  EXPECT_LT(matches, kCases * 9u / 10u);
}

// The patterns that make a plain recursion run for ever finish, with the right result.
TEST(WildMatch, ManyStarsStayCheap) {
  const std::string telegram = "AB B0 00000000 FFFFFF80 00";
  std::string stars;
  for (int i = 0; i < 50; ++i) stars += "*?";
  EXPECT_FALSE(WildMatch(telegram, stars));  // 50 question marks need 50 characters
  EXPECT_FALSE(WildMatch(telegram, std::string(99, '*') + "X"));
  EXPECT_TRUE(WildMatch(telegram, std::string(99, '*') + "0"));
  EXPECT_TRUE(WildMatch(telegram, std::string(100, '*')));
  EXPECT_FALSE(TTextMatcher(telegram).Matches(stars));
  EXPECT_TRUE(TTextMatcher(telegram).Matches(std::string(100, '*')));
}

}  // namespace
}  // namespace ardel
