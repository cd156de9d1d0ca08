#include "stations/station_view.h"

#include "util/hex.h"

namespace ardel {

void StoreStation(TDisplayedStation& shown, TStationTable& table, int station) {
  const int column = StationColumn(station);
  table.SetCell(column, kSbiRow, shown.sbi.Text());
  for (int i = 0; i < kInfiCount; ++i) {
    const auto index = static_cast<std::size_t>(i);
    table.SetCell(column, InfiRow(i), shown.infi.Count() > index ? shown.infi.At(index) : kNotAvailable);
  }
  shown.infi.Clear();
}

void ShowStation(const TStationTable& table, int station, TDisplayedStation& shown) {
  const int column = StationColumn(station);
  shown.sbi.SetText(table.Cell(column, kSbiRow));
  shown.infi.Clear();
  for (int i = 0; i < kInfiCount; ++i) shown.infi.Append(table.Cell(column, InfiRow(i)));
}

bool IsValidSbi(std::string_view text) {
  return text.size() == 8 && (text[6] == '0' || text[6] == '8') && text[7] == '0' &&
         text.compare("FF800000") >= 0;
}

std::string StationCaption(int station) { return std::string(1, HexDigit(static_cast<unsigned>(station))); }

}  // namespace ardel
