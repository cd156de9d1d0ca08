#include "link/telegram_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace ardel {
namespace {

std::string Joined(const TTelegramFields& f) {
  return std::string(f.header) + "|" + std::string(f.org) + "|" + std::string(f.data) + "|" + std::string(f.id) +
         "|" + std::string(f.status);
}

// The tick matches answers to commands by these columns: a text cut short or spaced
// differently must give short fields, never read past its end or shift a field.
TEST(TelegramFields, ColumnsOfOddTexts) {
  const struct {
    const char* name;
    std::string text;
    std::string fields;
  } cases[] = {
      {"display form", "8B B4 FFFFFF00 FFFFFF80 0F", "8B|B4|FFFFFF00|FFFFFF80|0F"},
      {"command with comment", "AB B0 00000000 FFFFFF80 00   get SW Version", "AB|B0|00000000|FFFFFF80|00"},
      {"no status", "8B B4 FFFFFF00 FFFFFF80", "8B|B4|FFFFFF00|FFFFFF80|"},
      {"one status digit", "8B B4 FFFFFF00 FFFFFF80 0", "8B|B4|FFFFFF00|FFFFFF80|0"},
      {"cut in the ID", "8B B4 FFFFFF00 FFFF", "8B|B4|FFFFFF00|FFFF|"},
      {"header only", "8B", "8B||||"},
      {"empty", "", "||||"},
      // Columns, not blanks, make the fields: a text without blanks reads across them.
      {"no blanks", "ABB000000000FFFFFF8000", "AB|00|000000FF|FFF8000|"},
      {"two blanks", "8B  B4 FFFFFF00 FFFFFF80 0F", "8B| B| FFFFFF0| FFFFFF8| 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(Joined(ReadTelegramFields(c.text)), c.fields) << c.name;
}

TEST(TelegramFields, DisplayFormOnly) {
  const struct {
    std::string text;
    bool is;
  } cases[] = {
      {"8B B4 FFFFFF00 FFFFFF80 0F", true},
      {"8b b4 ffffff00 ffffff80 0f", true},
      {"8B B4 FFFFFF00 FFFFFF80 0", false},
      {"8B B4 FFFFFF00 FFFFFF80 0F ", false},
      {"8B B4 FFFFFF00 FFFFFF8G 0F", false},
      {"8B B4  FFFFF00 FFFFFF80 0F", false},
      {"........ .. .. ........ ..", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTelegramText(c.text), c.is) << c.text;
}

TEST(TelegramFields, TelegramTextOfALogLine) {
  const struct {
    const char* name;
    std::string line;
    std::optional<std::string> text;
  } cases[] = {
      {"usual stamp", "R 09.12.2026 05:16:36   8B B4 FFFFFF00 FFFFFF80 00   note", "8B B4 FFFFFF00 FFFFFF80 00"},
      {"sent, no comment", "  09.12.2026 05:16:36   AB B4 00000000 FFFFFF80 0F", "AB B4 00000000 FFFFFF80 0F"},
      {"other locale", "R 12/9/26 5:16:36 PM   8B B4 FFFFFF00 FFFFFF80 00   ", "8B B4 FFFFFF00 FFFFFF80 00"},
      {"line cut in the telegram", "R 09.12.2026 05:16:36   8B B4 FFFFFF00", std::nullopt},
      {"no gap", "R 09.12.2026 05:16:36 8B B4 FFFFFF00 FFFFFF80 00", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto text = TelegramTextAfterStamp(c.line);
    ASSERT_EQ(text.has_value(), c.text.has_value()) << c.name;
    if (text) {
      EXPECT_EQ(*text, *c.text) << c.name;
    }
  }
}

// Only the answers they name are read as such; a status that is no number is no index.
TEST(TelegramFields, StationAnswers) {
  const struct {
    std::string text;
    bool infi;
    int index;
    bool baseId;
  } cases[] = {
      {"8B B4 FFFFFF00 FFFFFF80 0F", true, 15, false},
      {"8B B4 FFFFFF00 FFFFFF80 x1", true, -1, false},
      {"8B B4 FFFFFF00 FFFFFF80", true, -1, false},
      {"8B D0 FF800100 FF800000 00", false, -1, true},
      {"8B D0", false, -1, true},
      {"8b b4 FFFFFF00 FFFFFF80 0F", false, -1, false},
      {"AB B4 00000000 FFFFFF80 0F", false, -1, false},
      {"8BB4 FFFFFF00 FFFFFF80 0F", false, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto infi = ReadInfiAnswer(c.text);
    ASSERT_EQ(infi.has_value(), c.infi);
    if (infi) {
      EXPECT_EQ(infi->index, c.index);
    }
    EXPECT_EQ(ReadBaseIdAnswer(c.text).has_value(), c.baseId);
  }
  const auto infi = ReadInfiAnswer("8B B4 FFFFFF00 FFFFFF80 0F");
  EXPECT_EQ(infi->id, "FFFFFF80");
  EXPECT_EQ(infi->entry, "FFFFFF00");
  const auto change = ReadBaseIdAnswer("8B D0 FF800100 FF800000 02");
  EXPECT_EQ(change->oldId, "FF800000");
  EXPECT_EQ(change->newId, "FF800100");
  EXPECT_EQ(change->status, "02");
}

}  // namespace
}  // namespace ardel
