#pragma once
// The pattern language of the rule set: "*" any run of characters, "?" exactly one,
// every other character itself. The pattern covers the whole text.

#include <cstdint>
#include <string_view>

namespace ardel {

// True when the pattern covers the text. A pattern that ends in two or more stars
// needs at least one character for them: 'AB*' matches "AB", 'AB**' does not.
// Worst case O(text x pattern); never allocates.
bool WildMatch(std::string_view text, std::string_view pattern);

// One text prepared for many patterns, as in one evaluation of the rule set: each
// pattern then costs one pass over its characters, whatever its stars. Gives the
// same result as WildMatch for every pattern. Keeps a view: the text must outlive it.
class TTextMatcher {
 public:
  explicit TTextMatcher(std::string_view text);
  bool Matches(std::string_view pattern) const;

 private:
  std::string_view text_;
  // Texts of up to 63 characters fit a 64-bit set of positions; longer ones take
  // the general path.
  bool fits_ = false;
  std::uint64_t any_ = 0;   // positions 0 .. n-1: where a character can be taken
  std::uint64_t upTo_ = 0;  // positions 0 .. n
  std::uint64_t positions_[256] = {};  // per byte: where the text holds it
};

}  // namespace ardel
