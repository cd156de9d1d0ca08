// The tab "Stations" on its own: what it says and does when the data file is saved,
// refused, not yet known or failing, since each goes through the program's file access.

#include "app/station_tab.h"

#include <gtest/gtest.h>

#include "util/text_file.h"
#include "support/fake_event_loop.h"

namespace ardel {
namespace {

enum TFileCase { fcSaved, fcRefused, fcNoDirectory, fcFails };

TStationFileAccess AccessFor(TFileCase file, int& saves) {
  return {[file, &saves] {
            ++saves;
            if (file == fcFails) throw EFileError("cannot write /x/veskData.txt: No space left on device");
            return file != fcRefused;
          },
          [file] { return file == fcNoDirectory ? std::string() : std::string("/x/veskData.txt"); }};
}

TEST(StationTab, SwitchAndTakeOverSayWhatBecameOfTheFile) {
  struct TCase {
    const char* name;
    TFileCase file;
    std::vector<std::string> information;  // after a switch and a take-over
    std::size_t errors;
  } cases[] = {
      {"saved", fcSaved, {"Station 1 has the SBI FF800100 in its column now; veskData.txt saved"}, 0},
      {"refused",
       fcRefused,
       {"veskData.txt not saved: it is not the file this program loaded, so it is not written over",
        "Station 1 has the SBI FF800100 in its column now; veskData.txt not saved: it is not the file this program "
        "loaded, so it is not written over"},
       0},
      {"no directory yet", fcNoDirectory, {"Station 1 has the SBI FF800100 in its column now"}, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TQueues queues;
    TStationTable table;
    table.WriteHeadings();
    TTextLines information;
    testing::TRecordingErrorSink errors;
    int saves = 0;
    TStationTab tab(queues, table, information, errors, AccessFor(c.file, saves));
    table.SetCell(StationColumn(1), kSbiRow, "FFFFFF00");
    tab.TabControl1Switch(1);
    EXPECT_EQ(tab.DisplayedStation().sbi.Text(), "FFFFFF00");
    tab.StationReports().TelegramTaken("8B D0 FF800100 FFFFFF00 00");
    ASSERT_TRUE(tab.StationReports().OfferShown().Value());
    tab.Button27Click();
    EXPECT_EQ(information.Lines(), c.information);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(table.Cell(StationColumn(1), kSbiRow), "FF800100");
    EXPECT_EQ(tab.DisplayedStation().sbi.Text(), "FF800100");
    EXPECT_TRUE(errors.shown.empty());
  }
}

// A data file that cannot be written stops neither the switch nor the take-over's change
// to the table; the switch shows the failure, the button's guard shows the other.
TEST(StationTab, AFailingFileLeavesTheSwitchDone) {
  TQueues queues;
  TStationTable table;
  table.WriteHeadings();
  table.SetCell(StationColumn(2), kSbiRow, "FFFFFE80");
  TTextLines information;
  testing::TRecordingErrorSink errors;
  int saves = 0;
  TStationTab tab(queues, table, information, errors, AccessFor(fcFails, saves));
  tab.DisplayedStation().sbi.SetText("FF800100");
  tab.TabControl1Switch(2);
  ASSERT_EQ(errors.shown.size(), 1u);
  EXPECT_NE(errors.shown[0].find("No space left"), std::string::npos);
  EXPECT_EQ(tab.SelectedStation().Value(), 2);
  EXPECT_EQ(tab.StationHeading().Text(), "Station: 2");
  EXPECT_EQ(tab.DisplayedStation().sbi.Text(), "FFFFFE80");
  // The station left was stored before the file failed.
  EXPECT_EQ(table.Cell(StationColumn(0), kSbiRow), "FF800100");
  tab.StationReports().TelegramTaken("8B D0 FF800200 FFFFFE80 00");
  EXPECT_THROW(tab.Button27Click(), EFileError);
  EXPECT_EQ(table.Cell(StationColumn(2), kSbiRow), "FF800200");
  EXPECT_TRUE(information.Lines().empty());
}

}  // namespace
}  // namespace ardel
