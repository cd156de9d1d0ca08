// The INI reader on arbitrary text, asked for the sections and keys that the text itself
// names (and for the configuration's own entry): every answer agrees with the others
// and with the integer rules spelled out.

#include <charconv>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "util/ini_file.h"

namespace {

using namespace ardel;

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Decimal with an optional sign, or "0x" and hexadecimal digits; within an int.
std::optional<int> Integer(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // from_chars takes a sign of its own; the text has had its only one.
  if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TIniFile ini(text);

  // The names that the text offers: whatever stands in brackets or before an "=".
  std::vector<std::string> sections{"Link"};
  std::vector<std::string> keys{"Comport"};
  for (const std::string& raw : ini.Lines()) {
    FUZZ_CHECK(raw.find_first_of("\r\n") == std::string::npos);
    const std::string_view line = Trim(raw);
    if (!line.empty() && line[0] == '[') {
      if (const auto close = line.find(']'); close != std::string_view::npos) {
        sections.emplace_back(Trim(line.substr(1, close - 1)));
      }
    } else if (const auto equals = line.find('='); equals != std::string_view::npos) {
      keys.emplace_back(Trim(line.substr(0, equals)));
    }
    if (sections.size() + keys.size() > 64) break;
  }

  for (const std::string& section : sections) {
    const auto entries = ini.ReadSection(section);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      FUZZ_CHECK(!entries[i].first.empty());
      for (std::size_t k = 0; k < i; ++k) FUZZ_CHECK(!SameName(entries[k].first, entries[i].first));
      // The section lists each key with the value that a look-up gives.
      FUZZ_CHECK(ini.Value(section, entries[i].first) == entries[i].second);
    }
    for (const std::string& key : keys) {
      const std::optional<std::string> value = ini.Value(section, key);
      bool listed = false;
      for (const auto& entry : entries) listed = listed || SameName(entry.first, key);
      FUZZ_CHECK(listed == value.has_value());
      FUZZ_CHECK(ini.ReadString(section, key, "\x01") == (value ? *value : "\x01"));
      const std::optional<int> number = value ? Integer(*value) : std::nullopt;
      FUZZ_CHECK(ini.ReadInteger(section, key, -7) == number.value_or(-7));
      FUZZ_CHECK(ini.ReadInteger(section, key, 12345) == number.value_or(12345));
    }
  }
  return 0;
}
