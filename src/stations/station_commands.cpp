#include "stations/station_commands.h"

#include <algorithm>

#include "link/telegram.h"
#include "util/hex.h"

namespace ardel {

namespace {

std::string Hex32(std::uint32_t value) { return HexText(value, 8); }

}  // namespace

std::optional<std::uint32_t> ParseHex32(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  int significant = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    if (significant > 0 || digit != 0) ++significant;
    if (significant > 8) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

bool IsOffsetInRange(std::string_view offset) { return ParseHex32(offset).value_or(0xFF) < 0x80; }

std::optional<std::string> TargetAddress(std::string_view sbi, std::string_view offset) {
  const auto base = ParseHex32(sbi);
  const auto add = ParseHex32(offset);
  if (!base || !add) return std::nullopt;
  return Hex32(*base + *add);  // unsigned arithmetic wraps modulo 2^32
}

TStationCommand BuildStationCommand(std::string_view commandTemplate, int tag, std::string_view sbi,
                                    std::string_view offset, std::string_view newSbi) {
  TStationCommand command;
  const std::string_view head = commandTemplate.substr(0, 4);
  std::string id(sbi);
  std::string data(commandTemplate.substr(std::min<std::size_t>(4, commandTemplate.size())));
  if (head == "6B05") {
    const auto target = TargetAddress(sbi, offset);
    command.targetAddressFailed = !target;
    id = target.value_or("00000000");
  } else if (head == "ABD0") {
    data = newSbi;
  }
  command.commandString.append(head.substr(0, 2))
      .append(" ")
      .append(head.substr(std::min<std::size_t>(2, head.size())))
      .append(" ")
      .append(data)
      .append(" ")
      .append(id)
      .append(" ")
      .append(HexByte(static_cast<std::uint8_t>(tag)));
  return command;
}

void ReadInfi(TDisplayedStation& shown, TStationTable& table, TQueues& queues) {
  StoreStation(shown, table, shown.station);
  for (int i = 0; i < kInfiCount; ++i) {
    queues.EnqueueCommand("AB B4 00000000 " + shown.sbi.Text() + HexByte(static_cast<std::uint8_t>(i)));
  }
}

}  // namespace ardel
