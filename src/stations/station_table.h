#pragma once
// The station table: one grid of text cells that holds each station's SBI and input
// filter. Station s (0 to F) is column s + 1; its SBI is in row 1 and INFI entry i in
// row 2 + i. Row 0 and column 0 hold headings.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/observers.h"

namespace ardel {

constexpr int kStationCount = 16;
constexpr int kInfiCount = 16;
constexpr int kHeadingRow = 0;
constexpr int kHeadingColumn = 0;
constexpr int kSbiRow = 1;

constexpr int StationColumn(int station) { return station + 1; }
constexpr int InfiRow(int index) { return 2 + index; }

// Told about every change, so the grid view follows the table without copying it.
class IStationTableObserver {
 public:
  virtual ~IStationTableObserver() = default;
  // A cell's text changed; Qt needs no notice before such a change.
  virtual void CellChanged(int column, int row) = 0;
  // The whole table, its size included, is replaced (a load).
  virtual void BeforeReset() = 0;
  virtual void AfterReset() = 0;
};

class TStationTable {
 public:
  static constexpr int kDefaultRows = 32;
  static constexpr int kDefaultColumns = 17;

  TStationTable() : TStationTable(kDefaultRows, kDefaultColumns) {}
  // Negative sizes count as 0.
  TStationTable(int rows, int columns);

  // The observer is a view of this very object: neither copied nor moved.
  TStationTable(const TStationTable&) = delete;
  TStationTable& operator=(const TStationTable&) = delete;

  void AddObserver(IStationTableObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(IStationTableObserver* observer) { observers_.Remove(observer); }

  int RowCount() const { return rows_; }
  int ColumnCount() const { return columns_; }

  // A cell outside the table reads as empty.
  const std::string& Cell(int column, int row) const;
  // A cell outside the table is not written. A cell is one line of the data file, so
  // NUL, CR and LF become blanks.
  void SetCell(int column, int row, std::string text);

  // Row 0: "0".."F" over the station columns; column 0: "SBI", "INFI[0]".."INFI[F]".
  void WriteHeadings();

  // Takes the size and cells of the other table, which is left empty.
  void ReplaceWith(TStationTable&& other);

 private:
  bool Contains(int column, int row) const {
    return column >= 0 && row >= 0 && column < columns_ && row < rows_;
  }
  std::size_t IndexOf(int column, int row) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(column);
  }

  int rows_ = 0;
  int columns_ = 0;
  std::vector<std::string> cells_;  // row by row
  TObservers<IStationTableObserver> observers_;
};

// The column of the lowest-numbered station whose SBI cell equals the ID text, letter
// case ignored; none when no station matches.
std::optional<int> FindStationColumn(const TStationTable& table, std::string_view idText);

}  // namespace ardel
