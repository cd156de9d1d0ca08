#pragma once
// Hexadecimal as the system writes it (upper case, no prefix) and reads it (either case).

#include <cstdint>
#include <string>
#include <string_view>

namespace ardel {

// The digit of 0..15 (only the low four bits count).
inline char HexDigit(unsigned value) { return "0123456789ABCDEF"[value & 15]; }

// 0..15, or -1 for a character that is no hexadecimal digit.
inline int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The low `digits` digits of value, leading zeros kept.
inline std::string HexText(std::uint32_t value, int digits) {
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = HexDigit(value);
  return text;
}

// A short run of digits and nothing else (at most seven, so it fits an int), or -1.
inline int HexValue(std::string_view digits) {
  if (digits.empty() || digits.size() > 7) return -1;
  int value = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace ardel
