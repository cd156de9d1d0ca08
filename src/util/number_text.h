#pragma once
// A whole number as a spin editor shows it.

#include <charconv>
#include <climits>
#include <optional>
#include <string_view>

namespace ardel {

// Blanks around it and a leading '+' are allowed; no number at all gives nothing, and
// one too large either way gives the nearest long long.
inline std::optional<long long> NumberFromFieldText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  long long value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::invalid_argument || result.ptr != text.data() + text.size()) return std::nullopt;
  if (result.ec == std::errc::result_out_of_range) return text.front() == '-' ? LLONG_MIN : LLONG_MAX;
  return value;
}

}  // namespace ardel
