// The station data file reader on arbitrary bytes: a file it refuses leaves the table as
// it was, except that a short one gives it the file's counts and the rows before the
// missing line; a file it takes writes back and reads again into the same table. The writer
// gets the input's pieces as cells and must read them back too.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "stations/station_file.h"
#include "stations/station_table.h"
#include "util/text_file.h"

namespace {

using namespace ardel;

bool SameTable(const TStationTable& a, const TStationTable& b) {
  if (a.RowCount() != b.RowCount() || a.ColumnCount() != b.ColumnCount()) return false;
  for (int r = 0; r < a.RowCount(); ++r) {
    for (int c = 0; c < a.ColumnCount(); ++c) {
      if (a.Cell(c, r) != b.Cell(c, r)) return false;
    }
  }
  return true;
}

// A saved table reads back cell by cell, except that an empty cell may come back as
// the one blank that keeps its place in the line.
void CheckWritesBack(const TStationTable& table) {
  TStationTable once;
  LoadStationTableText(once, StationFileText(table), "once");
  FUZZ_CHECK(once.RowCount() == table.RowCount() && once.ColumnCount() == table.ColumnCount());
  for (int r = 0; r < table.RowCount(); ++r) {
    for (int c = 0; c < table.ColumnCount(); ++c) {
      const std::string& before = table.Cell(c, r);
      const std::string& after = once.Cell(c, r);
      FUZZ_CHECK(after == before || (before.empty() && (after.empty() || after == " ")));
    }
  }
  TStationTable twice;
  LoadStationTableText(twice, StationFileText(once), "twice");
  FUZZ_CHECK(SameTable(once, twice));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  TStationTable table(2, 3);
  TStationTable untouched(2, 3);
  for (TStationTable* t : {&table, &untouched}) t->SetCell(1, 1, "kept");
  bool loaded = true;
  bool shortFile = false;
  try {
    LoadStationTableText(table, text, "input");
  } catch (const EFileError& e) {
    loaded = false;
    shortFile = std::string_view(e.what()).find(") is missing: the file holds") != std::string_view::npos;
  }
  if (shortFile) {
    // Read again the plain way: the rows that are there, then what the table had.
    const std::vector<std::string> lines = SplitLines(text);
    FUZZ_CHECK(lines.size() >= 2 && lines.size() < 2 + static_cast<std::size_t>(table.RowCount()));
    for (int r = 0; r < table.RowCount(); ++r) {
      const std::size_t line = 2 + static_cast<std::size_t>(r);
      const std::vector<std::string> row =
          line < lines.size() ? ReadStationRow(lines[line], table.ColumnCount()) : std::vector<std::string>{};
      for (int c = 0; c < table.ColumnCount(); ++c) {
        const bool kept = r < untouched.RowCount() && c < untouched.ColumnCount();
        const std::string expected = line < lines.size() ? row[static_cast<std::size_t>(c)]
                                     : kept             ? untouched.Cell(c, r)
                                                        : std::string();
        FUZZ_CHECK(table.Cell(c, r) == expected);
      }
    }
  } else if (!loaded) {
    FUZZ_CHECK(SameTable(table, untouched));
  } else {
    FUZZ_CHECK(table.RowCount() >= 1 && table.RowCount() <= kMaxStationFileRows);
    FUZZ_CHECK(table.ColumnCount() >= 1 && table.ColumnCount() <= kMaxStationFileColumns);
    // Large tables only cost time here; what breaks shows in small ones.
    if (static_cast<long>(table.RowCount()) * table.ColumnCount() <= 20000) CheckWritesBack(table);
  }

  // The input's pieces between "|" as the cells of a table of three columns.
  const std::size_t pieces = std::min<std::size_t>(std::count(text.begin(), text.end(), '|') + 1, 300);
  TStationTable cells(static_cast<int>((pieces + 2) / 3), 3);
  std::size_t start = 0;
  for (std::size_t k = 0; k < pieces; ++k) {
    const std::size_t bar = std::min(text.find('|', start), text.size());
    cells.SetCell(static_cast<int>(k % 3), static_cast<int>(k / 3), std::string(text.substr(start, bar - start)));
    start = bar + 1;
  }
  CheckWritesBack(cells);
  return 0;
}
