#pragma once
// The matcher's definition, transcribed as it reads: the yardstick for the fast ones.
// Exponential in the stars; keep the inputs short.

#include <string_view>

namespace ardel {

inline bool ReferenceMatch(std::string_view text, std::string_view pattern) {
  if (pattern == "*") return true;
  if (text.empty()) return pattern.empty();
  if (!pattern.empty() && pattern.front() == '*') {
    return ReferenceMatch(text, pattern.substr(1)) || ReferenceMatch(text.substr(1), pattern);
  }
  if (!pattern.empty() && pattern.front() == '?') return ReferenceMatch(text.substr(1), pattern.substr(1));
  if (pattern.empty() || pattern.front() != text.front()) return false;
  return ReferenceMatch(text.substr(1), pattern.substr(1));
}

}  // namespace ardel
