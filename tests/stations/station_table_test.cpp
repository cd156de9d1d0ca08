#include "stations/station_table.h"

#include <gtest/gtest.h>

#include <climits>

#include "stations/station_view.h"

namespace ardel {
namespace {

struct TRecordingObserver : IStationTableObserver {
  void CellChanged(int column, int row) override { events.push_back("cell " + std::to_string(column) + "," + std::to_string(row)); }
  void BeforeReset() override { events.push_back("before reset"); }
  void AfterReset() override { events.push_back("after reset"); }
  std::vector<std::string> events;
};

TEST(StationTable, HeadingsAndStationColumns) {
  TStationTable table;
  EXPECT_EQ(table.RowCount(), 32);
  EXPECT_EQ(table.ColumnCount(), 17);
  table.WriteHeadings();
  struct Case {
    int column, row;
    const char* text;
  } cases[] = {
      {0, 0, ""},        {1, 0, "0"},        {10, 0, "9"}, {11, 0, "A"},  {16, 0, "F"},
      {0, 1, "SBI"},     {0, 2, "INFI[0]"},  {0, 11, "INFI[9]"},          {0, 12, "INFI[A]"},
      {0, 17, "INFI[F]"}, {0, 18, ""},       {1, 1, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(table.Cell(c.column, c.row), c.text) << c.column << "," << c.row;
}

TEST(StationTable, NeverReadsOrWritesOutside) {
  TStationTable table(5, 3);  // fewer rows and columns than the stations need
  TRecordingObserver observer;
  table.AddObserver(&observer);
  const int coordinates[][2] = {{-1, 0}, {0, -1}, {3, 0}, {0, 5}, {INT_MAX, INT_MAX}, {INT_MIN, 2}, {16, 17}};
  for (const auto& xy : coordinates) {
    table.SetCell(xy[0], xy[1], "x");
    EXPECT_EQ(table.Cell(xy[0], xy[1]), "") << xy[0] << "," << xy[1];
  }
  EXPECT_TRUE(observer.events.empty());
  table.WriteHeadings();  // only the part that fits
  EXPECT_EQ(table.Cell(2, 0), "1");
  EXPECT_EQ(table.Cell(0, 4), "INFI[2]");

  TDisplayedStation shown;
  shown.infi.Append("FF800000");
  StoreStation(shown, table, 7);  // column 8 does not exist
  StoreStation(shown, table, 1);  // column 2 does, rows 5..17 do not
  EXPECT_EQ(table.Cell(2, 1), "FFFFFF80");
  EXPECT_EQ(table.Cell(2, 4), "n.a.");
  ShowStation(table, 15, shown);
  EXPECT_EQ(shown.sbi.Text(), "");
  ASSERT_EQ(shown.infi.Count(), 16u);
  EXPECT_EQ(shown.infi.At(15), "");
  EXPECT_EQ(FindStationColumn(table, "ffffff80"), 2);
  EXPECT_EQ(FindStationColumn(table, "FF800000"), std::nullopt);
  EXPECT_EQ(FindStationColumn(TStationTable(1, 17), ""), std::nullopt);
  EXPECT_EQ(FindStationColumn(TStationTable(0, 0), ""), std::nullopt);
}

TEST(StationTable, CellsStayOneLineAndChangesAreReported) {
  TStationTable table;
  TRecordingObserver observer;
  table.AddObserver(&observer);
  table.SetCell(1, 1, std::string("a\r\nb\0c", 6));
  EXPECT_EQ(table.Cell(1, 1), "a  b c");
  table.SetCell(1, 1, "a  b c");  // no change, no notice
  table.SetCell(16, 31, "z");
  TStationTable other(2, 2);
  table.ReplaceWith(std::move(other));
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.ColumnCount(), 2);
  EXPECT_EQ(table.Cell(1, 1), "");
  EXPECT_EQ(observer.events,
            (std::vector<std::string>{"cell 1,1", "cell 16,31", "before reset", "after reset"}));
}

TEST(StationTable, FindStationColumnIgnoresCaseAndTakesLowestStation) {
  TStationTable table;
  table.SetCell(StationColumn(2), kSbiRow, "FFFFFF80");
  table.SetCell(StationColumn(9), kSbiRow, "ffffff80");
  table.SetCell(StationColumn(15), kSbiRow, "FF800080");
  table.SetCell(0, kSbiRow, "FF800100");  // the heading column is no station
  struct Case {
    const char* id;
    std::optional<int> column;
  } cases[] = {
      {"ffffff80", 3}, {"FFFFFF80", 3}, {"Ff800080", 16}, {"FF800100", std::nullopt},
      {"FFFFFF8", std::nullopt}, {"FFFFFF800", std::nullopt}, {"", 1},  // empty SBI of station 0
  };
  for (const auto& c : cases) EXPECT_EQ(FindStationColumn(table, c.id), c.column) << c.id;
}

TEST(DisplayedStation, StoreWritesListOrNotAvailableAndEmptiesIt) {
  TStationTable table;
  TDisplayedStation shown;
  shown.sbi.SetText("FF800080");
  for (const char* line : {"00000001", "00000002", "00000003", "00000004", "00000005"}) shown.infi.Append(line);
  StoreStation(shown, table, 3);
  EXPECT_EQ(table.Cell(4, kSbiRow), "FF800080");
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(table.Cell(4, InfiRow(i)), i < 5 ? "0000000" + std::to_string(i + 1) : "n.a.") << i;
  }
  EXPECT_EQ(shown.infi.Count(), 0u);
  EXPECT_EQ(table.Cell(3, kSbiRow), "");  // no other column touched
  EXPECT_EQ(table.Cell(5, InfiRow(0)), "");

  // An empty list stores "n.a." everywhere.
  StoreStation(shown, table, 3);
  EXPECT_EQ(table.Cell(4, InfiRow(0)), "n.a.");

  table.SetCell(4, InfiRow(2), "");
  table.SetCell(4, InfiRow(15), " ");
  ShowStation(table, 3, shown);
  EXPECT_EQ(shown.sbi.Text(), "FF800080");
  ASSERT_EQ(shown.infi.Count(), 16u);
  EXPECT_EQ(shown.infi.At(0), "n.a.");
  EXPECT_EQ(shown.infi.At(2), "");
  EXPECT_EQ(shown.infi.At(15), " ");
  ShowStation(table, 3, shown);  // shows again, never appends to what was there
  EXPECT_EQ(shown.infi.Count(), 16u);
}

TEST(DisplayedStation, SbiValidity) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {"FFFFFF80", true},  {"FF800000", true},   {"FFFFFF00", true},   {"ff800000", true},
      {"FF800080", true},  {"FFFFFF81", false},  {"FF7FFF80", false},  {"FFFFF80", false},
      {"", false},         {"FFFFFF80 ", false}, {"FFFFFF08", false},  {"FFFFFF90", false},
      {"00000000", false}, {"\xff\xff\xff\xff\xff\xff" "80", true},  // bytes above "F"
      // Letters compare with their case: lower case lies above "F", where a folding
      // comparison would find these below FF800000.
      {"ff7fff80", true},  {"Ff7FFF80", true},   {"FF7fff80", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidSbi(c.text), c.valid) << c.text;
}

}  // namespace
}  // namespace ardel
