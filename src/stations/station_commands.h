#pragma once
// The station commands of the tab "Stations": the thirteen command buttons, the command
// strings they build from the displayed station, and reading a station's input filter.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "queue/queues.h"
#include "stations/station_table.h"
#include "stations/station_view.h"
#include "util/text_field.h"

namespace ardel {

constexpr const char* kCannotCalcTargetAddress = "cannot calc target address";

struct TStationCommandButton {
  const char* caption;
  // Header byte, org byte and data field as 12 hexadecimal digits.
  const char* commandTemplate;
  // The status byte.
  int tag;
};

// In the order the tab shows them: "LED Out 0", then "change Base ID", then
// "simulate a TRT-Command of PTM" column by column, "Release_all" last.
inline constexpr std::array<TStationCommandButton, 13> kStationCommandButtons{{
    {"Signal_On", "ABC000000000", 0xFF},
    {"Signal_Flash", "ABC000000000", 0xAA},
    {"Signal_Off", "ABC000000000", 0x00},
    {"change now", "ABD000000000", 0x00},
    {"AO", "6B0530000000", 0x10},
    {"AI", "6B0510000000", 0x10},
    {"B0", "6B0570000000", 0x10},
    {"BI", "6B0550000000", 0x10},
    {"CO", "6B05B0000000", 0x10},
    {"CI", "6B0590000000", 0x10},
    {"DO", "6B05F0000000", 0x10},
    {"DI", "6B05D0000000", 0x10},
    {"Release_all", "6B0500000000", 0x00},
}};

// The fields beside the command buttons, read at the moment of a click.
struct TStationCommandFields {
  TTextField offset{"0"};
  TTextField newSbi{"FF800000"};
};

// 1 to 8 significant hexadecimal digits in either case, leading zeros allowed; no
// blank, sign or prefix.
std::optional<std::uint32_t> ParseHex32(std::string_view text);

// The offset field is red from 80 on; a text that is no number counts as FF.
bool IsOffsetInRange(std::string_view offset);

// (SBI + offset) modulo 2^32 as 8 upper-case digits; none when either is no number.
std::optional<std::string> TargetAddress(std::string_view sbi, std::string_view offset);

struct TStationCommand {
  std::string commandString;
  // The target address could not be computed and is 00000000 instead.
  bool targetAddressFailed = false;
};

// The command string of one button. The texts are used as typed: a field of another
// length than 8 shifts the fields of the string, and only the transmit path judges it.
TStationCommand BuildStationCommand(std::string_view commandTemplate, int tag, std::string_view sbi,
                                    std::string_view offset, std::string_view newSbi);

// "read INFI": stores the displayed station, then asks for INFI entries 00 to 0F, which
// the queue sends in that order because it sends its oldest command first.
void ReadInfi(TDisplayedStation& shown, TStationTable& table, TQueues& queues);

}  // namespace ardel
