#include "link/telegram.h"
#include "util/text_encoding.h"

#include "util/hex.h"

namespace ardel {

namespace {

void AppendHex(std::string& out, std::uint8_t value) {
  out.push_back(HexDigit(value >> 4));
  out.push_back(HexDigit(value));
}

}  // namespace

std::uint8_t TelegramChecksum(const TTelegramBody& body) {
  unsigned sum = 0;
  for (std::uint8_t b : body) sum += b;
  return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string HexByte(std::uint8_t value) {
  std::string out;
  AppendHex(out, value);
  return out;
}

std::string FormatTelegramText(const TTelegramBody& body) {
  std::string out;
  out.reserve(kTelegramTextSize);
  for (std::size_t i = 0; i < kBodySize; ++i) {
    AppendHex(out, body[i]);
    // Blank after header, org, data field and ID field.
    if (i == 0 || i == 1 || i == 5 || i == 9) out.push_back(' ');
  }
  return out;
}

std::string IntegerConversionMessage(std::string_view text) {
  // An error text is for people, so UTF-8; the digits are bytes of a command string.
  std::string msg = "'";
  msg += Latin1ToUtf8(text);
  msg += "' ist kein g\xC3\xBCltiger Integerwert";
  return msg;
}

TParsedCommand ParseCommandString(std::string_view line) {
  TParsedCommand result;
  char digits[2 * kBodySize];
  std::size_t collected = 0;
  for (std::size_t i = 0; i < line.size() && collected < sizeof digits; ++i) {
    if (line[i] != ' ') digits[collected++] = line[i];
  }
  if (collected < sizeof digits) {
    result.kind = pkInvalid;
    return result;
  }
  if (line.size() > kCommentStart) {
    result.comment = std::string(line.substr(kCommentStart, kCommentMax));
  }
  for (std::size_t n = 0; n < kBodySize; ++n) {
    const int hi = HexDigitValue(digits[2 * n]);
    const int lo = HexDigitValue(digits[2 * n + 1]);
    if (hi < 0 || lo < 0) {
      result.kind = pkConvertError;
      result.comment.clear();
      result.error = IntegerConversionMessage(std::string("$") + digits[2 * n] + digits[2 * n + 1]);
      return result;
    }
    result.body[n] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  result.kind = pkValid;
  return result;
}

TWireTelegram EncodeTelegram(const TTelegramBody& body) {
  TWireTelegram wire{};
  wire[0] = kSync1;
  wire[1] = kSync2;
  for (std::size_t i = 0; i < kBodySize; ++i) wire[2 + i] = body[i];
  wire[13] = TelegramChecksum(body);
  wire[14] = kTrailer;
  return wire;
}

}  // namespace ardel
