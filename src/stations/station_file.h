#pragma once
// The station data file: the row count on line 1, the column count on line 2, then one
// line per row with the cells separated by commas.

#include <string>
#include <string_view>
#include <vector>

#include "stations/station_table.h"
#include "util/text_file.h"

namespace ardel {

// Counts a file may give. Real files say 32 rows and 17 columns; the bounds only keep a
// broken file from asking for more memory than the machine has.
constexpr int kMaxStationFileRows = 10000;
constexpr int kMaxStationFileColumns = 1000;
constexpr long kMaxStationFileCells = 1000000;
// A real file is a few kilobytes.
constexpr std::size_t kMaxStationFileBytes = 64u << 20;

// Replaces the table with the file's contents. A missing, unreadable or malformed file
// throws EFileError and leaves the table as it was; a short one gives the table its
// counts and the rows before the missing line, and then throws.
void LoadStationTable(TStationTable& table, const std::string& fileName);
// The same for the file's bytes, already read; fileName only names the file in errors.
void LoadStationTableText(TStationTable& table, std::string_view text, const std::string& fileName);

// Writes the whole table, replacing the file atomically. Throws EFileError; the old
// file is then left whole.
void SaveStationTable(const TStationTable& table, const std::string& fileName);

// The pieces of the file format, each on its own.
// A cell quoted where it holds a character 1..32, a double quote or a comma.
std::string FormatStationCell(std::string_view cell);
// The cells of one line, at most `columns` of them; an empty field comes back as " ".
std::vector<std::string> ReadStationRow(std::string_view line, int columns);
// The whole file, lines ended by CR LF.
std::string StationFileText(const TStationTable& table);

// Loads and saves the data file and remembers which file the table came from, so that a
// file that was never loaded is never written over.
class TStationFileGuard {
 public:
  // LoadStationTable; on success the file is the table's own.
  void Load(TStationTable& table, const std::string& fileName);
  // SaveStationTable, unless a file is there that this guard never loaded or wrote.
  // Returns whether the file was written.
  bool Save(const TStationTable& table, const std::string& fileName);
  // Nothing is at the name, not even a broken link: Save would create the file.
  static bool Absent(const std::string& fileName);
  // The file that the table was last loaded from or written to; empty if none.
  const std::string& OwnFile() const { return ownFile_; }

 private:
  std::string ownFile_;
};

}  // namespace ardel
