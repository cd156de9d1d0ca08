#include "stations/station_table.h"

#include <algorithm>
#include <utility>

#include "util/hex.h"

namespace ardel {

namespace {

const std::string kEmpty;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

TStationTable::TStationTable(int rows, int columns)
    : rows_(std::max(rows, 0)),
      columns_(std::max(columns, 0)),
      cells_(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_)) {}

const std::string& TStationTable::Cell(int column, int row) const {
  if (!Contains(column, row)) return kEmpty;
  return cells_[IndexOf(column, row)];
}

void TStationTable::SetCell(int column, int row, std::string text) {
  if (!Contains(column, row)) return;
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\0' || c == '\r' || c == '\n'; }, ' ');
  std::string& cell = cells_[IndexOf(column, row)];
  if (cell == text) return;
  cell = std::move(text);
  observers_.Notify([&](auto& o) { o.CellChanged(column, row); });
}

void TStationTable::WriteHeadings() {
  for (int s = 0; s < kStationCount; ++s) SetCell(StationColumn(s), kHeadingRow, std::string(1, HexDigit(static_cast<unsigned>(s))));
  SetCell(kHeadingColumn, kSbiRow, "SBI");
  for (int i = 0; i < kInfiCount; ++i) {
    SetCell(kHeadingColumn, InfiRow(i), std::string("INFI[") + HexDigit(static_cast<unsigned>(i)) + "]");
  }
}

void TStationTable::ReplaceWith(TStationTable&& other) {
  if (&other == this) return;
  observers_.Notify([&](auto& o) { o.BeforeReset(); });
  rows_ = std::exchange(other.rows_, 0);
  columns_ = std::exchange(other.columns_, 0);
  cells_ = std::move(other.cells_);
  other.cells_.clear();
  observers_.Notify([&](auto& o) { o.AfterReset(); });
}

std::optional<int> FindStationColumn(const TStationTable& table, std::string_view idText) {
  if (kSbiRow >= table.RowCount()) return std::nullopt;
  for (int s = 0; s < kStationCount; ++s) {
    const int column = StationColumn(s);
    if (column >= table.ColumnCount()) break;
    if (EqualsIgnoringCase(table.Cell(column, kSbiRow), idText)) return column;
  }
  return std::nullopt;
}

}  // namespace ardel
