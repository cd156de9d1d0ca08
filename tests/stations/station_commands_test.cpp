#include "stations/station_commands.h"

#include <gtest/gtest.h>

#include <map>

#include "link/telegram.h"

namespace ardel {
namespace {

const TStationCommandButton& Button(std::string_view caption) {
  for (const auto& button : kStationCommandButtons) {
    if (caption == button.caption) return button;
  }
  throw std::out_of_range(std::string(caption));
}

std::string Click(std::string_view caption, std::string_view sbi, std::string_view offset = "0",
                  std::string_view newSbi = "FF800000", bool* failed = nullptr) {
  const auto& button = Button(caption);
  const TStationCommand command = BuildStationCommand(button.commandTemplate, button.tag, sbi, offset, newSbi);
  if (failed != nullptr) *failed = command.targetAddressFailed;
  return command.commandString;
}

TEST(StationCommands, EveryButtonBuildsItsCommandString) {
  const std::map<std::string, std::string> expected = {
      {"Signal_On", "AB C0 00000000 FFFFFF80 FF"},   {"Signal_Flash", "AB C0 00000000 FFFFFF80 AA"},
      {"Signal_Off", "AB C0 00000000 FFFFFF80 00"},  {"AO", "6B 05 30000000 FFFFFF80 10"},
      {"AI", "6B 05 10000000 FFFFFF80 10"},          {"B0", "6B 05 70000000 FFFFFF80 10"},
      {"BI", "6B 05 50000000 FFFFFF80 10"},          {"CO", "6B 05 B0000000 FFFFFF80 10"},
      {"CI", "6B 05 90000000 FFFFFF80 10"},          {"DO", "6B 05 F0000000 FFFFFF80 10"},
      {"DI", "6B 05 D0000000 FFFFFF80 10"},          {"Release_all", "6B 05 00000000 FFFFFF80 00"},
      {"change now", "AB D0 FF800000 FFFFFF80 00"},
  };
  ASSERT_EQ(kStationCommandButtons.size(), expected.size());
  for (const auto& button : kStationCommandButtons) {
    bool failed = true;
    const std::string line = Click(button.caption, "FFFFFF80", "0", "FF800000", &failed);
    EXPECT_EQ(line, expected.at(button.caption)) << button.caption;
    EXPECT_FALSE(failed) << button.caption;
    // The queue tick matches answers by the ID field at this very place.
    EXPECT_EQ(line.substr(15, 8), "FFFFFF80") << button.caption;
    EXPECT_EQ(ParseCommandString(line).kind, pkValid) << button.caption;
  }
}

TEST(StationCommands, TargetAddressOfSimulatedTelegrams) {
  struct Case {
    const char* sbi;
    const char* offset;
    const char* target;  // nullptr: cannot calc target address
  } cases[] = {
      {"FFFFFF80", "7F", "FFFFFFFF"},
      {"FFFFFF80", "80", "00000000"},  // wraps modulo 2^32
      {"FFFFFF80", "7f", "FFFFFFFF"},
      {"ffffff80", "1", "FFFFFF81"},
      {"FF800000", "0", "FF800000"},
      {"FFFFFFFF", "FFFFFFFF", "FFFFFFFE"},
      {"FFFFFF80", "000000000007", "FFFFFF87"},  // leading zeros are not significant
      {"0", "0", "00000000"},
      {"FFFFFF80", "", nullptr},
      {" ", "0", nullptr},
      {"", "0", nullptr},
      {"FFFFFF80 ", "0", nullptr},
      {"FFFFFF80", " 1", nullptr},
      {"FFFFFF80", "100000000", nullptr},  // nine significant digits
      {"FFFFFF80", "+1", nullptr},
      {"FFFFFF80", "-1", nullptr},
      {"FFFFFF80", "0x1", nullptr},
      {"FFFFFF80", "$1", nullptr},
      {"FFFFFF8G", "0", nullptr},
  };
  for (const auto& c : cases) {
    const auto target = TargetAddress(c.sbi, c.offset);
    if (c.target == nullptr) {
      EXPECT_FALSE(target.has_value()) << c.sbi << "+" << c.offset << " gave " << *target;
    } else {
      EXPECT_EQ(target.value_or("none"), c.target) << c.sbi << "+" << c.offset;
    }
    // The command goes out all the same, then with target address 00000000.
    bool failed = false;
    const std::string line = Click("AO", c.sbi, c.offset, "FF800000", &failed);
    EXPECT_EQ(failed, c.target == nullptr) << c.sbi << "+" << c.offset;
    EXPECT_EQ(line, std::string("6B 05 30000000 ") + (c.target ? c.target : "00000000") + " 10");
  }
}

TEST(StationCommands, OffsetFieldColouring) {
  struct Case {
    const char* offset;
    bool inRange;
  } cases[] = {
      {"0", true},    {"7F", true},   {"7f", true},  {"0000007F", true}, {"80", false},
      {"FFFFFFFF", false}, {"100000000", false}, {"", false}, {"G", false}, {" 1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOffsetInRange(c.offset), c.inRange) << '"' << c.offset << '"';
}

TEST(StationCommands, TextsAreUsedAsTyped) {
  // A red SBI is no obstacle.
  EXPECT_EQ(Click("Signal_Flash", "12345678"), "AB C0 00000000 12345678 AA");
  // A new SBI of another length shifts the fields; the transmit path judges the result.
  EXPECT_EQ(Click("change now", "FFFFFF80", "0", "FF8"), "AB D0 FF8 FFFFFF80 00");
  // Only simulated telegrams read the offset.
  bool failed = true;
  EXPECT_EQ(Click("Signal_On", "FFFFFF80", "xyz", "FF800000", &failed), "AB C0 00000000 FFFFFF80 FF");
  EXPECT_FALSE(failed);
}

TEST(StationCommands, ReadInfiStoresTheStationAndAsksForEveryEntryInOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> infi;  // the INFI list at the press
  } cases[] = {
      {"empty list", {}},
      {"five answers so far", {"FF800001", "FF800002", "FF800003", "FF800004", "FF800005"}},
      {"full list", std::vector<std::string>(16, "FF80000A")},
  };
  for (const auto& c : cases) {
    TStationTable table;
    TQueues queues;
    queues.EnqueueCommand("AB C0 00000000 FFFFFF80 FF");  // waiting already
    TDisplayedStation shown;
    shown.station = 3;
    shown.sbi.SetText("FFFFFF00");
    for (const auto& line : c.infi) shown.infi.Append(line);

    ReadInfi(shown, table, queues);

    EXPECT_EQ(shown.infi.Count(), 0u) << c.name;
    EXPECT_EQ(table.Cell(StationColumn(3), kSbiRow), "FFFFFF00") << c.name;
    for (int i = 0; i < kInfiCount; ++i) {
      const auto index = static_cast<std::size_t>(i);
      EXPECT_EQ(table.Cell(StationColumn(3), InfiRow(i)), index < c.infi.size() ? c.infi[index] : "n.a.")
          << c.name << " " << i;
    }
    for (int other : {2, 4}) EXPECT_EQ(table.Cell(StationColumn(other), kSbiRow), "") << c.name;

    const TLineList& commands = queues.Commands();
    ASSERT_EQ(commands.Count(), 17u) << c.name;
    EXPECT_EQ(commands.At(16), "AB C0 00000000 FFFFFF80 FF") << c.name;
    // The queue sends from its bottom: index 00 is asked first, 0F last.
    for (int i = 0; i < kInfiCount; ++i) {
      const std::string& line = commands.At(static_cast<std::size_t>(15 - i));
      EXPECT_EQ(line, "AB B4 00000000 FFFFFF00" + HexByte(static_cast<std::uint8_t>(i))) << c.name;
      const TParsedCommand parsed = ParseCommandString(line);
      ASSERT_EQ(parsed.kind, pkValid) << line;
      EXPECT_EQ(parsed.body[10], i) << line;
      EXPECT_EQ(line.substr(15, 8), "FFFFFF00") << line;
    }
  }
}

}  // namespace
}  // namespace ardel
