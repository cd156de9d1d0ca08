#include "stations/station_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "rules/rule_set.h"
#include "util/ini_file.h"

namespace ardel {
namespace {

class StationFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ardel-stations-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

std::string Commas(int n) { return std::string(static_cast<std::size_t>(n), ','); }

TEST(StationFileFormat, CellQuoting) {
  struct Case {
    std::string cell, written;
  } cases[] = {
      {"", ""},
      {"FFFFFF80", "FFFFFF80"},
      {"n.a.", "n.a."},
      {"A,B", "\"A,B\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {" ", "\" \""},
      {"tab\there", "\"tab\there\""},
      {"\x01", "\"\x01\""},
      {"\x7f\xff", "\x7f\xff"},  // above 32 and no quote or comma: as it is
      {"semi;colon'", "semi;colon'"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatStationCell(c.cell), c.written) << c.cell;
}

TEST(StationFileFormat, RowReading) {
  using Cells = std::vector<std::string>;
  struct Case {
    std::string line;
    int columns;
    Cells cells;
  } cases[] = {
      {"", 3, {"", "", ""}},
      {"a,b,c", 5, {"a", "b", "c", "", ""}},
      {"a,b,c,d,e", 3, {"a", "b", "c"}},  // surplus dropped
      {"a,b,", 4, {"a", "b", " ", ""}},   // trailing comma: one more empty field
      {",", 3, {" ", " ", ""}},
      {"a,,b", 3, {"a", " ", "b"}},
      {",0,1", 3, {" ", "0", "1"}},
      {"  \t a , b", 3, {"a", "b", ""}},
      {"a b", 3, {"a", "b", ""}},          // a blank ends an unquoted field
      {"\"a b\",c", 3, {"a b", "c", ""}},
      {"\"x\"\"y\",z", 3, {"x\"y", "z", ""}},
      {"\"\"\"\"", 2, {"\"", ""}},
      {"\"\",x", 2, {" ", "x"}},           // an empty quoted field is a blank too
      {"\" \",\" \"", 3, {" ", " ", ""}},
      {"\"open, never closed", 2, {"open, never closed", ""}},
      {"\"a\"b,c", 3, {"a", "b", "c"}},
      {"\"a\" ,b", 3, {"a", "b", ""}},
      {"a,b ,  ", 3, {"a", "b", ""}},      // blanks after the last comma: no extra field
      {std::string("x\0y,z", 5), 3, {"x", "", ""}},  // NUL ends the line
      {"\x80\xff,\x7f", 2, {"\x80\xff", "\x7f"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadStationRow(c.line, c.columns), c.cells) << c.line;
}

TEST_F(StationFileTest, FreshTableAndItsSecondSave) {
  TStationTable table;
  table.WriteHeadings();
  table.SetCell(1, 1, "FFFFFF80");
  table.SetCell(1, 2, "FF800000");
  const std::string path = Path("veskData.txt");
  SaveStationTable(table, path);

  const std::string first = ReadWholeFile(path);
  EXPECT_EQ(first.substr(first.size() - 2), "\r\n");
  const std::vector<std::string> lines = SplitLines(first);
  ASSERT_EQ(lines.size(), 34u);
  EXPECT_EQ(lines[0], "32");
  EXPECT_EQ(lines[1], "17");
  EXPECT_EQ(lines[2], ",0,1,2,3,4,5,6,7,8,9,A,B,C,D,E,F");
  EXPECT_EQ(lines[3], "SBI,FFFFFF80" + Commas(15));
  EXPECT_EQ(lines[4], "INFI[0],FF800000" + Commas(15));
  EXPECT_EQ(lines[5], "INFI[1]" + Commas(16));
  for (std::size_t r = 18; r < 32; ++r) EXPECT_EQ(lines[r + 2], Commas(16)) << r;

  // Loaded and saved again, every empty cell has become a quoted blank.
  TStationTable again;
  LoadStationTable(again, path);
  EXPECT_EQ(again.Cell(0, 0), " ");
  EXPECT_EQ(again.Cell(1, 1), "FFFFFF80");
  EXPECT_EQ(again.Cell(16, 31), " ");
  SaveStationTable(again, path);
  const std::vector<std::string> second = SplitLines(ReadWholeFile(path));
  ASSERT_EQ(second.size(), 34u);
  EXPECT_EQ(second[2], "\" \",0,1,2,3,4,5,6,7,8,9,A,B,C,D,E,F");
  EXPECT_EQ(second[3].substr(0, 17), "SBI,FFFFFF80,\" \",");
  std::string blanks = "\" \"";
  for (int c = 1; c < 17; ++c) blanks += ",\" \"";
  EXPECT_EQ(second[33], blanks);

  // From then on the file is stable.
  TStationTable third;
  LoadStationTable(third, path);
  EXPECT_EQ(StationFileText(third), StationFileText(again));
}

TEST_F(StationFileTest, CellsRoundTrip) {
  const std::string cells[] = {
      "A,B", "\"", "say \"hi\", twice \"\"", " lead", "trail ", "a\tb", "\x01\x02\x1f",
      "\x7f\x80\xff", "FFFFFF80", ",", "\"quoted\"", std::string("nul\0cr\rlf\n", 10),
  };
  TStationTable table;
  int r = 0;
  for (const auto& cell : cells) table.SetCell(r % 17, r, cell), ++r;
  const std::string path = Path("round.txt");
  SaveStationTable(table, path);
  TStationTable loaded;
  LoadStationTable(loaded, path);
  for (r = 0; r < static_cast<int>(std::size(cells)); ++r) {
    EXPECT_EQ(loaded.Cell(r % 17, r), table.Cell(r % 17, r)) << r;
  }
  EXPECT_EQ(loaded.Cell(11, 11), "nul cr lf ");  // line breaks never split a row
  EXPECT_EQ(StationFileText(loaded).size(), StationFileText(table).size() + 3 * (32 * 17 - 12));
}

TEST_F(StationFileTest, LoadTakesTheFilesShapeAndLineEnds) {
  std::string twentyRows = "20\r\n17\r\n";
  for (int r = 0; r < 20; ++r) twentyRows += "r" + std::to_string(r) + "\r\n";
  struct Case {
    const char* name;
    std::string text;
    int rows, columns;
    int column, row;
    std::string cell;
  } cases[] = {
      {"20 rows", twentyRows, 20, 17, 0, 19, "r19"},
      {"lone CR", "3\r2\rA,B\rC\r,D\r", 3, 2, 1, 2, "D"},
      {"lone LF, no end", "2\n2\nA,B\n\"C,D\"", 2, 2, 0, 1, "C,D"},
      {"extra lines ignored", "1\r\n1\r\nX\r\nY\r\n", 1, 1, 0, 0, "X"},
      {"blanks around counts", " 2 \r\n\t3\r\na\r\nb,c,d,e\r\n", 2, 3, 2, 1, "d"},
      {"empty rows", "2\r\n3\r\n\r\n\r\n", 2, 3, 0, 0, ""},
      {"leading zeros", "002\r\n03\r\na\r\nb\r\n", 2, 3, 0, 1, "b"},
  };
  for (const auto& c : cases) {
    const std::string path = Path("shape.txt");
    WriteFileAtomically(path, c.text);
    TStationTable table;
    LoadStationTable(table, path);
    EXPECT_EQ(table.RowCount(), c.rows) << c.name;
    EXPECT_EQ(table.ColumnCount(), c.columns) << c.name;
    EXPECT_EQ(table.Cell(c.column, c.row), c.cell) << c.name;
    SaveStationTable(table, path);
    const auto lines = SplitLines(ReadWholeFile(path));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(c.rows) + 2) << c.name;
    EXPECT_EQ(lines[0], std::to_string(c.rows)) << c.name;
  }
}

TEST_F(StationFileTest, MalformedFilesFailAndLeaveTheTable) {
  std::string garbage(64 * 1024, '\0');
  std::mt19937 random(5);
  for (char& c : garbage) c = static_cast<char>(random() & 0xff);
  garbage[0] = '\x01';  // whatever the draw, line 1 is no count
  const std::string bigLine(10u << 20, '7');

  struct Case {
    const char* name;
    std::string text;
    const char* message;  // part of the error text
  } cases[] = {
      {"empty file", "", "line 1 (the row count) is missing"},
      {"row count not a number", "abc\r\n17\r\n", "line 1 must hold the row count"},
      {"row count zero", "0\r\n17\r\n", "line 1 must hold"},
      {"row count negative", "-5\r\n17\r\n", "line 1 must hold"},
      {"row count with sign", "+5\r\n17\r\n", "line 1 must hold"},
      {"row count hexadecimal", "$20\r\n17\r\n", "line 1 must hold"},
      {"row count fraction", "3.5\r\n17\r\n", "line 1 must hold"},
      {"row count overflows", "99999999999999999999999\r\n17\r\n", "line 1 must hold"},
      {"row count above bound", "10001\r\n17\r\n", "from 1 to 10000"},
      {"no column count", "32", "line 2 (the column count) is missing"},
      {"column count not a number", "32\r\nx\r\n", "line 2 must hold the column count"},
      {"column count above bound", "32\r\n1000000000\r\n", "from 1 to 1000"},
      {"too many cells", "10000\r\n1000\r\n", "more than 1000000 cells"},
      {"binary garbage", garbage, "line 1 must hold"},
      {"10 MB first line", bigLine, "line 1 must hold"},
      {"10 MB column count", "1\r\n" + bigLine, "line 2 must hold"},
  };
  const std::string path = Path("veskData.txt");
  for (const auto& c : cases) {
    WriteFileAtomically(path, c.text);
    TStationTable table;
    table.SetCell(5, 5, "kept");
    try {
      LoadStationTable(table, path);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const EFileError& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find(c.message), std::string::npos) << c.name << ": " << text.substr(0, 200);
      EXPECT_NE(text.find(path), std::string::npos) << c.name;
      EXPECT_LT(text.size(), 400u) << c.name;  // never the file's contents
    }
    EXPECT_EQ(table.RowCount(), 32) << c.name;
    EXPECT_EQ(table.Cell(5, 5), "kept") << c.name;
  }
  TStationTable table;
  EXPECT_THROW(LoadStationTable(table, Path("missing.txt")), EFileError);
  EXPECT_THROW(LoadStationTable(table, dir_), EFileError);
}

// A short file gives the table its counts and the rows before the missing line; rows
// after it keep what the table held, as a grid of that size would; then the load fails
// and the file is not the table's own, so it is never written over.
TEST_F(StationFileTest, ShortFileLoadsTheRowsBeforeTheMissingLine) {
  struct Case {
    const char* name;
    std::string text;
    const char* message;
    int rows;
    std::vector<std::string> column0;  // rows 0..3 of column 0 afterwards
  } cases[] = {
      {"short by one row", "3\r\n17\r\na\r\nb\r\n", "line 5 (row 2) is missing", 3, {"a", "b", "INFI[0]"}},
      {"no rows", "32\r\n17\r\n", "line 3 (row 0) is missing", 32, {"", "SBI", "INFI[0]", "INFI[1]"}},
      {"half the rows", "32\r\n17\r\nh\r\ns\r\n", "line 5 (row 2) is missing", 32, {"h", "s", "INFI[0]", "INFI[1]"}},
  };
  const std::string path = Path("veskData.txt");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileAtomically(path, c.text);
    TStationTable table;
    table.WriteHeadings();
    TStationFileGuard guard;
    try {
      guard.Load(table, path);
      ADD_FAILURE() << "loaded";
    } catch (const EFileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(table.RowCount(), c.rows);
    for (std::size_t r = 0; r < c.column0.size(); ++r) EXPECT_EQ(table.Cell(0, static_cast<int>(r)), c.column0[r]) << r;
    EXPECT_FALSE(guard.Save(table, path));
    EXPECT_EQ(ReadWholeFile(path), c.text);
  }
}

// A FIFO, a device or a directory as any of the three files is refused at once: the
// start-up never waits for a writer that does not come.
TEST_F(StationFileTest, NonRegularProgramFilesAreRefused) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), dir_}) {
    SCOPED_TRACE(path);
    TStationTable table;
    EXPECT_THROW(LoadStationTable(table, path), EFileError);
    EXPECT_THROW(TIniFile::Load(path), EFileError);
    TRuleSet rules;
    EXPECT_THROW(rules.Load(path), EFileError);
    EXPECT_THROW(WriteIniInteger(path, "Link", "Comport", 2), EFileError);
  }
}

TEST_F(StationFileTest, HugeLinesLoadCleanly) {
  const std::string path = Path("huge.txt");
  struct Case {
    const char* name;
    std::string row;
    std::size_t firstCellSize;
  } cases[] = {
      {"one 10 MB cell", std::string(10u << 20, 'x'), 10u << 20},
      {"10 MB of commas", std::string(10u << 20, ','), 1},
      {"10 MB quoted, never closed", "\"" + std::string(10u << 20, '"'), (10u << 20) / 2},
  };
  for (const auto& c : cases) {
    WriteFileAtomically(path, "1\r\n17\r\n" + c.row + "\r\n");
    TStationTable table;
    LoadStationTable(table, path);
    EXPECT_EQ(table.Cell(0, 0).size(), c.firstCellSize) << c.name;
  }
}

TEST_F(StationFileTest, FailedSaveKeepsTheOldFile) {
  const std::string path = Path("veskData.txt");
  WriteFileAtomically(path, "old");
  TStationTable table;
  table.SetCell(1, 1, "FFFFFF80");
  // A directory where the file should be: the rename over it fails, as root too.
  const std::string blocked = Path("blocked");
  std::filesystem::create_directory(blocked);
  EXPECT_THROW(SaveStationTable(table, blocked), EFileError);
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_FALSE(std::filesystem::exists(blocked + ".new"));
  // A file the user made read-only; root is refused as well.
  ::chmod(path.c_str(), 0444);
  EXPECT_THROW(SaveStationTable(table, path), EFileError);
  EXPECT_EQ(ReadWholeFile(path), "old");
  EXPECT_EQ(table.Cell(1, 1), "FFFFFF80");
}

TEST_F(StationFileTest, GuardNeverWritesOverAFileItDidNotLoad) {
  TStationTable table;
  TStationFileGuard guard;
  const std::string foreign = Path("foreign.txt");
  WriteFileAtomically(foreign, "someone's data");
  EXPECT_FALSE(guard.Save(table, foreign));
  EXPECT_EQ(ReadWholeFile(foreign), "someone's data");

  // Nothing there yet: written, and from then on the table's own.
  const std::string fresh = Path("fresh.txt");
  EXPECT_TRUE(guard.Save(table, fresh));
  EXPECT_TRUE(guard.Save(table, fresh));
  EXPECT_EQ(guard.OwnFile(), fresh);

  // Loaded: written over.
  const std::string loaded = Path("loaded.txt");
  WriteFileAtomically(loaded, "1\r\n1\r\nX\r\n");
  guard.Load(table, loaded);
  EXPECT_EQ(guard.OwnFile(), loaded);
  table.SetCell(0, 0, "Y");
  EXPECT_TRUE(guard.Save(table, loaded));
  EXPECT_EQ(ReadWholeFile(loaded), "1\r\n1\r\nY\r\n");
  EXPECT_FALSE(guard.Save(table, fresh));  // no longer the table's file

  // A failed load: the file there is not what the table holds.
  WriteFileAtomically(loaded, "1\r\n");
  EXPECT_THROW(guard.Load(table, loaded), EFileError);
  EXPECT_EQ(table.Cell(0, 0), "Y");
  EXPECT_FALSE(guard.Save(table, loaded));
  EXPECT_EQ(ReadWholeFile(loaded), "1\r\n");
}

}  // namespace
}  // namespace ardel
