#include "stations/station_file.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {

namespace {

bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

bool EndsUnquotedField(char c) { return c == ',' || static_cast<unsigned char>(c) <= 32; }

// A count: a positive whole number up to `max`, blanks around it allowed.
bool ParseCount(std::string_view text, int max, int& value) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  if (begin == end) return false;
  long result = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
    if (result > max) return false;
  }
  if (result < 1) return false;
  value = static_cast<int>(result);
  return true;
}

[[noreturn]] void Fail(const std::string& fileName, const std::string& what) {
  throw EFileError(LocaleToUtf8(fileName) + ": " + what);
}

}  // namespace

std::string FormatStationCell(std::string_view cell) {
  bool quote = false;
  for (char c : cell) {
    if (IsBlank(c) || c == '"' || c == ',') {
      quote = true;
      break;
    }
  }
  if (!quote) return std::string(cell);
  std::string out;
  out.reserve(cell.size() + 2);
  out += '"';
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::vector<std::string> ReadStationRow(std::string_view line, int columns) {
  std::vector<std::string> cells(static_cast<std::size_t>(columns > 0 ? columns : 0));
  // The line ends at a NUL, as it always has for this format; reading on would never
  // get past it.
  if (const auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);

  std::size_t next = 0;
  auto put = [&](std::string field) {
    if (next < cells.size()) cells[next] = field.empty() ? std::string(" ") : std::move(field);
    ++next;
  };

  const std::size_t n = line.size();
  std::size_t i = 0;
  while (i < n && IsBlank(line[i])) ++i;
  while (i < n) {
    std::string field;
    if (line[i] == '"') {
      ++i;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
    } else {
      const std::size_t start = i;
      while (i < n && !EndsUnquotedField(line[i])) ++i;
      field.assign(line.substr(start, i - start));
    }
    put(std::move(field));
    while (i < n && IsBlank(line[i])) ++i;
    if (i < n && line[i] == ',') {
      if (i == n - 1) put(std::string());
      ++i;
      while (i < n && IsBlank(line[i])) ++i;
    }
  }
  return cells;
}

std::string StationFileText(const TStationTable& table) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(table.RowCount()) + 2);
  lines.push_back(std::to_string(table.RowCount()));
  lines.push_back(std::to_string(table.ColumnCount()));
  for (int r = 0; r < table.RowCount(); ++r) {
    std::string line;
    for (int c = 0; c < table.ColumnCount(); ++c) {
      if (c > 0) line += ',';
      line += FormatStationCell(table.Cell(c, r));
    }
    lines.push_back(std::move(line));
  }
  return JoinLinesCrLf(lines);
}

void LoadStationTable(TStationTable& table, const std::string& fileName) {
  LoadStationTableText(table, ReadWholeFile(fileName, kMaxStationFileBytes), fileName);
}

void LoadStationTableText(TStationTable& table, std::string_view text, const std::string& fileName) {
  const std::vector<std::string> lines = SplitLines(text);

  int rows = 0;
  int columns = 0;
  if (lines.empty()) Fail(fileName, "line 1 (the row count) is missing");
  if (!ParseCount(lines[0], kMaxStationFileRows, rows)) {
    Fail(fileName, "line 1 must hold the row count, a whole number from 1 to " +
                       std::to_string(kMaxStationFileRows));
  }
  if (lines.size() < 2) Fail(fileName, "line 2 (the column count) is missing");
  if (!ParseCount(lines[1], kMaxStationFileColumns, columns)) {
    Fail(fileName, "line 2 must hold the column count, a whole number from 1 to " +
                       std::to_string(kMaxStationFileColumns));
  }
  if (static_cast<long>(rows) * columns > kMaxStationFileCells) {
    Fail(fileName, std::to_string(rows) + " rows of " + std::to_string(columns) +
                       " columns are more than " + std::to_string(kMaxStationFileCells) + " cells");
  }
  const std::size_t needed = 2 + static_cast<std::size_t>(rows);
  const std::size_t present = std::min(lines.size(), needed) - 2;

  // The counts make the table's size as a grid's would, keeping what fits; then the
  // rows are read in order, as far as the file has them.
  TStationTable loaded(rows, columns);
  if (present < static_cast<std::size_t>(rows)) {
    for (int r = static_cast<int>(present); r < std::min(rows, table.RowCount()); ++r) {
      for (int c = 0; c < std::min(columns, table.ColumnCount()); ++c) loaded.SetCell(c, r, table.Cell(c, r));
    }
  }
  for (std::size_t r = 0; r < present; ++r) {
    std::vector<std::string> cells = ReadStationRow(lines[2 + r], columns);
    for (int c = 0; c < columns; ++c) {
      loaded.SetCell(c, static_cast<int>(r), std::move(cells[static_cast<std::size_t>(c)]));
    }
  }
  table.ReplaceWith(std::move(loaded));
  if (lines.size() < needed) {
    const std::size_t missing = lines.size() + 1;
    Fail(fileName, "line " + std::to_string(missing) + " (row " + std::to_string(missing - 3) +
                       ") is missing: the file holds " + std::to_string(lines.size()) +
                       " lines for " + std::to_string(rows) + " rows");
  }
}

void SaveStationTable(const TStationTable& table, const std::string& fileName) {
  WriteFileAtomically(fileName, StationFileText(table));
}

void TStationFileGuard::Load(TStationTable& table, const std::string& fileName) {
  try {
    LoadStationTable(table, fileName);
  } catch (...) {
    // What is there now is not what the table holds.
    if (fileName == ownFile_) ownFile_.clear();
    throw;
  }
  ownFile_ = fileName;
}

bool TStationFileGuard::Absent(const std::string& fileName) {
  // Anything there, or anything that cannot be checked, may be someone's data.
  return NameIsFree(fileName);
}

bool TStationFileGuard::Save(const TStationTable& table, const std::string& fileName) {
  if (fileName != ownFile_ && !Absent(fileName)) return false;
  SaveStationTable(table, fileName);
  ownFile_ = fileName;
  return true;
}

}  // namespace ardel
