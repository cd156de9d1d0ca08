#include "link/telegram_fields.h"

#include "util/hex.h"

namespace ardel {

TTelegramFields ReadTelegramFields(std::string_view text) {
  return {Chars(text, 1, 2), Chars(text, 4, 5), Chars(text, 7, 14), Chars(text, 16, 23), Chars(text, 25, 26)};
}

bool IsTelegramText(std::string_view text) {
  if (text.size() != 26) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool blank = i == 2 || i == 5 || i == 14 || i == 23;
    if (blank ? text[i] != ' ' : HexDigitValue(text[i]) < 0) return false;
  }
  return true;
}

std::optional<std::string_view> TelegramTextAfterStamp(std::string_view line) {
  constexpr std::size_t kLength = 26;
  // Mostly "R dd.mm.yyyy hh:mm:ss", whose gap is at 21; found without a search.
  constexpr std::size_t kUsualGap = 21;
  const bool usual = line.size() > kUsualGap + 3 && line[kUsualGap - 1] != ' ' && line.substr(kUsualGap, 3) == "   ";
  const std::size_t gap = usual ? kUsualGap : line.find("   ", 2);
  if (gap == std::string_view::npos || gap + 3 + kLength > line.size()) return std::nullopt;
  return line.substr(gap + 3, kLength);
}

namespace {

bool Matches(std::string_view orgText, std::string_view idText, std::string_view accepted,
             std::string_view commandString) {
  if (ReadTelegramFields(commandString).id != idText) return false;
  return accepted.empty() || accepted.find(orgText) != std::string_view::npos;
}

}  // namespace

bool AnswerCompletes(std::string_view answerText, std::string_view commandString) {
  const TTelegramFields fields = ReadTelegramFields(answerText);
  if (Matches(fields.org, fields.id, fields.org, commandString)) return true;
  // The narrower test for an ACK only runs when the general one did not match.
  return answerText.starts_with("8B AC") && Matches("AC", fields.id, "", commandString);
}

std::optional<TInfiAnswer> ReadInfiAnswer(std::string_view text) {
  if (!text.starts_with("8B B4")) return std::nullopt;
  const TTelegramFields f = ReadTelegramFields(text);
  return TInfiAnswer{f.id, HexValue(f.status), f.data};
}

std::optional<TBaseIdAnswer> ReadBaseIdAnswer(std::string_view text) {
  if (!text.starts_with("8B D0")) return std::nullopt;
  const TTelegramFields f = ReadTelegramFields(text);
  return TBaseIdAnswer{f.id, f.data, f.status};
}

}  // namespace ardel
