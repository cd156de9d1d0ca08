#include "link/telegram.h"

#include <gtest/gtest.h>

namespace ardel {
namespace {

const TTelegramBody kVersionBody{0xAB, 0xB0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, 0};

TEST(ParseCommandString, Outcomes) {
  struct Case {
    const char* name;
    std::string line;
    TParseKind kind;
    std::string comment;
  } cases[] = {
      {"canonical", "AB B0 00000000 FFFFFF80 00   get SW Version of Station with default ID", pkValid,
       "get SW Version of Station with default ID"},
      {"no blanks", "ABB000000000FFFFFF8000", pkValid, ""},
      {"lower case", "ab b0 00000000 ffffff80 00", pkValid, ""},
      {"other spacing", "AB B0 0000 0000 FFFF FF80 00", pkValid, ""},
      {"word after one blank", "AB B0 00000000 FFFFFF80 00 abcdefgh", pkValid, "cdefgh"},
      {"empty caption", "[empty]", pkInvalid, ""},
      {"empty line", "", pkInvalid, ""},
      {"21 digits", "AB B0 00000000 FFFFFF80 0", pkInvalid, ""},
  };
  for (const auto& c : cases) {
    const TParsedCommand parsed = ParseCommandString(c.line);
    EXPECT_EQ(parsed.kind, c.kind) << c.name;
    if (c.kind != pkValid) continue;
    EXPECT_EQ(parsed.body, kVersionBody) << c.name;
    EXPECT_EQ(parsed.comment, c.comment) << c.name;
    EXPECT_EQ(FormatTelegramText(parsed.body), "AB B0 00000000 FFFFFF80 00") << c.name;
  }
}

TEST(ParseCommandString, ConversionFailureNamesThePair) {
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {"AB BX 00000000 FFFFFF80 00", "'$BX' ist kein g\xC3\xBCltiger Integerwert"},
      {"AB\tB0 00000000 FFFFFF80 00", "'$\tB' ist kein g\xC3\xBCltiger Integerwert"},
      {"AB B0 00000000 FFFFFF80 0G   comment", "'$0G' ist kein g\xC3\xBCltiger Integerwert"},
      {"-1 B0 00000000 FFFFFF80 00", "'$-1' ist kein g\xC3\xBCltiger Integerwert"},
  };
  for (const auto& c : cases) {
    const TParsedCommand parsed = ParseCommandString(c.line);
    EXPECT_EQ(parsed.kind, pkConvertError) << c.line;
    EXPECT_EQ(parsed.error, c.message) << c.line;
  }
}

TEST(ParseCommandString, CommentIsAtMost99Characters) {
  std::string line = "AB B0 00000000 FFFFFF80 00   ";
  for (int i = 0; i < 200; ++i) line.push_back(static_cast<char>('a' + i % 26));
  const TParsedCommand parsed = ParseCommandString(line);
  ASSERT_EQ(parsed.kind, pkValid);
  EXPECT_EQ(parsed.comment.size(), 99u);
  EXPECT_EQ(parsed.comment, line.substr(29, 99));
}

TEST(Telegram, ChecksumAndWire) {
  EXPECT_EQ(TelegramChecksum(kVersionBody), 0xD8);
  const TTelegramBody wrap{0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(TelegramChecksum(wrap), 0x00);
  const TWireTelegram wire = EncodeTelegram(kVersionBody);
  const TWireTelegram expected{0xA5, 0x5A, 0xAB, 0xB0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, 0, 0xD8, 0x11};
  EXPECT_EQ(wire, expected);
}

TEST(Telegram, EveryByteValueRoundTripsThroughTheText) {
  for (int v = 0; v < 256; ++v) {
    TTelegramBody body;
    for (std::size_t i = 0; i < kBodySize; ++i) body[i] = static_cast<std::uint8_t>(v + i * 37);
    const std::string text = FormatTelegramText(body);
    ASSERT_EQ(text.size(), kTelegramTextSize);
    const TParsedCommand parsed = ParseCommandString(text);
    ASSERT_EQ(parsed.kind, pkValid);
    EXPECT_EQ(parsed.body, body);
  }
}

}  // namespace
}  // namespace ardel
