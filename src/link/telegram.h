#pragma once
// Byte layout and text forms of a link telegram.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ardel {

constexpr std::uint8_t kSync1 = 0xA5;
constexpr std::uint8_t kSync2 = 0x5A;
constexpr std::uint8_t kTrailer = 0x11;
constexpr std::size_t kBodySize = 11;
constexpr std::size_t kTelegramTextSize = 26;
constexpr std::size_t kWireSize = 15;  // sync, body, checksum, trailer
constexpr std::size_t kCommentStart = 29;  // zero-based position 30
constexpr std::size_t kCommentMax = 99;
// Nothing after this many characters of a command string is ever read.
constexpr std::size_t kCommandStringMax = kCommentStart + kCommentMax;

// Header, org, data field (4), ID field (4), status: frame bytes 2..12.
using TTelegramBody = std::array<std::uint8_t, kBodySize>;
using TWireTelegram = std::array<std::uint8_t, kWireSize>;

// A text that should have been a number; carries the user-facing message.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::uint8_t TelegramChecksum(const TTelegramBody& body);

// "AB B0 00000000 FFFFFF80 00"
std::string FormatTelegramText(const TTelegramBody& body);

enum TParseKind { pkValid, pkInvalid, pkConvertError };

struct TParsedCommand {
  TParseKind kind = pkInvalid;
  TTelegramBody body{};
  std::string comment;  // positions 30..128 of the line
  std::string error;    // conversion message when kind == pkConvertError
};

TParsedCommand ParseCommandString(std::string_view line);

// The message of a text that is not a whole number, as the operator sees it.
std::string IntegerConversionMessage(std::string_view text);

TWireTelegram EncodeTelegram(const TTelegramBody& body);

// Two upper-case hex digits.
std::string HexByte(std::uint8_t value);

}  // namespace ardel
