#include "util/wild_match.h"

namespace ardel {

namespace {

// The usual glob, where stars may stand for nothing at the end of the text too.
// Greedy with a return to the last star: O(text x pattern) at worst, no recursion.
bool GlobMatch(std::string_view text, std::string_view pattern) {
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t i = 0, j = 0;
  std::size_t star = kNone, resume = 0;
  while (i < text.size()) {
    if (j < pattern.size() && pattern[j] == '*') {
      star = j++;
      resume = i;
    } else if (j < pattern.size() && (pattern[j] == '?' || pattern[j] == text[i])) {
      ++i;
      ++j;
    } else if (star != kNone) {
      j = star + 1;
      i = ++resume;
    } else {
      return false;
    }
  }
  while (j < pattern.size() && pattern[j] == '*') ++j;
  return j == pattern.size();
}

// The matcher accepts a used-up text only against an empty rest of the pattern or
// exactly one star. Everywhere else it is the usual glob, so the one difference is
// a run of two or more stars at the very end: the last star has to swallow at least
// one character.
bool NeedsOneMoreCharacter(std::string_view pattern) {
  const std::size_t m = pattern.size();
  return m >= 2 && pattern[m - 1] == '*' && pattern[m - 2] == '*';
}

}  // namespace

bool WildMatch(std::string_view text, std::string_view pattern) {
  if (NeedsOneMoreCharacter(pattern)) {
    return !text.empty() &&
           GlobMatch(text.substr(0, text.size() - 1), pattern.substr(0, pattern.size() - 1));
  }
  return GlobMatch(text, pattern);
}

TTextMatcher::TTextMatcher(std::string_view text) : text_(text), fits_(text.size() < 64) {
  if (!fits_) return;
  const std::size_t n = text.size();
  any_ = (std::uint64_t{1} << n) - 1;
  upTo_ = n == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (n + 1)) - 1;
  for (std::size_t i = 0; i < n; ++i) {
    positions_[static_cast<unsigned char>(text[i])] |= std::uint64_t{1} << i;
  }
}

bool TTextMatcher::Matches(std::string_view pattern) const {
  if (!fits_) return WildMatch(text_, pattern);
  std::size_t target = text_.size();
  if (NeedsOneMoreCharacter(pattern)) {
    if (target == 0) return false;
    --target;
    pattern.remove_suffix(1);
  }
  // Bit i of reached: the pattern so far covers the first i characters of the text.
  std::uint64_t reached = 1;
  for (const char c : pattern) {
    if (c == '*') {
      const std::uint64_t lowest = reached & (~reached + 1);
      reached = upTo_ & ~(lowest - 1);
    } else {
      const std::uint64_t taking = c == '?' ? any_ : positions_[static_cast<unsigned char>(c)];
      reached = (reached & taking) << 1;
      if (reached == 0) return false;
    }
  }
  return (reached >> target) & 1;
}

}  // namespace ardel
