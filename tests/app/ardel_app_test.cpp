// The program without a window, on both systems: what its start-up and shut-down do
// with the program directory's files, on a network port whose server listens on the
// loopback.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app_fixture.h"
#include "port_fixtures.h"
#include "stations/station_file.h"
#include "support/loopback_server.h"
#include "util/text_file.h"

namespace ardel {
namespace {

using testing::AppTest;
using testing::Contains;
using testing::TLoopbackServer;

// A file that appears while the program runs is someone else's: the shut-down keeps
// what it would have written beside it.
TEST_F(AppTest, ADataFileThatAppearsMeanwhileIsNotWrittenOver) {
  TLoopbackServer bus;
  WriteFileAtomically(files_.RuleSetFile(), "/ rules");
  auto app = Start(bus.Url());
  ASSERT_EQ(errors_.shown.size(), 1u);
  WriteFileAtomically(files_.StationFile(), "someone else's");
  EXPECT_FALSE(app->FormDestroy());
  EXPECT_EQ(ReadWholeFile(files_.StationFile()), "someone else's");
  EXPECT_TRUE(std::filesystem::exists(files_.StationFile() + ".unsaved"));
  EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), "/ rules");
}

// A file the program did not load is never written over, and what the operator typed is
// not lost either: a tab switch says so, the shut-down keeps it beside the file.
TEST_F(AppTest, RefusedSavesSayWhereTheWorkWent) {
  TLoopbackServer bus;
  const std::string shortFile = "32\r\n17\r\n,0,1\r\n";
  WriteFileAtomically(files_.StationFile(), shortFile);
  WriteFileAtomically(files_.RuleSetFile(), "if   *");
  for (const char* suffix : {".unsaved", ".unsaved.1"}) {
    SCOPED_TRACE(suffix);
    errors_.shown.clear();
    auto app = Start(bus.Url());
    ASSERT_EQ(errors_.shown.size(), 1u);  // the station file does not load
    app->StationTab().DisplayedStation().sbi.SetText("FF800100");
    app->StationTab().TabControl1Switch(1);
    ASSERT_EQ(app->Information().Count(), 1u);
    EXPECT_EQ(app->Information().At(0).rfind("veskData.txt not saved", 0), 0u) << app->Information().At(0);
    app->RuleSet().SetText("then say typed");

    EXPECT_FALSE(app->FormDestroy());
    EXPECT_EQ(ReadWholeFile(files_.StationFile()), shortFile);
    EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), "if   *");
    TStationTable kept;
    LoadStationTable(kept, files_.StationFile() + suffix);
    EXPECT_EQ(kept.Cell(StationColumn(0), kSbiRow), "FF800100");
    EXPECT_EQ(ReadWholeFile(files_.RuleSetFile() + suffix), "then say typed");
    ASSERT_EQ(errors_.shown.size(), 3u);
    EXPECT_TRUE(Contains(errors_.shown[1], files_.StationFile() + suffix)) << errors_.shown[1];
    EXPECT_TRUE(Contains(errors_.shown[2], files_.RuleSetFile() + suffix)) << errors_.shown[2];
  }
  // The first round's copies stay as they were.
  EXPECT_EQ(ReadWholeFile(files_.RuleSetFile() + ".unsaved"), "then say typed");
}

TEST_F(AppTest, StationSwitchStoresTheStationLeftAndShowsTheNext) {
  TLoopbackServer bus;
  files_.WriteDataFiles();
  auto app = Start(bus.Url());
  app->StationTab().DisplayedStation().sbi.SetText("FF800100");
  app->StationTab().TabControl1Switch(2);
  EXPECT_EQ(app->StationTab().SelectedStation().Value(), 2);
  EXPECT_EQ(app->StationTab().DisplayedStation().station, 2);
  EXPECT_EQ(app->StationTab().StationHeading().Text(), "Station: 2");
  EXPECT_EQ(app->StationTable().Cell(StationColumn(0), kSbiRow), "FF800100");
  TStationTable saved;
  LoadStationTable(saved, files_.StationFile());
  EXPECT_EQ(saved.Cell(StationColumn(0), kSbiRow), "FF800100");
}

TEST_F(AppTest, PresetsComeBackAtTheNextStartAndForeignLinesStay) {
  TLoopbackServer bus;
  files_.WriteDataFiles();
  const std::string foreign =
      "; the bench's own notes\r\n[Link]\r\nComport=1\r\n[Presets]\r\nPreset2 = \"AB B0 00000000 FFFFFF81 00   two\"\r\n"
      "Mine=kept\r\n[Other]\r\nkey = value\r\n";
  WriteFileAtomically(files_.ConfigFile(), foreign);
  // Blanks at both ends and quotes of its own survive.
  const std::string first = "  AB C0 00000000 FFFFFF80 FF   \"on\"  ";
  {
    auto app = Start(bus.Url());
    EXPECT_EQ(app->ManualSend().Preset(0), TManualSend::kEmptyPreset);
    EXPECT_EQ(app->ManualSend().Preset(1), "AB B0 00000000 FFFFFF81 00   two");
    app->SetPreset(0, first);
    EXPECT_TRUE(app->FormDestroy());
  }
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()),
            "; the bench's own notes\r\n[Link]\r\nComport=1\r\n[Presets]\r\nPreset2 = \"AB B0 00000000 FFFFFF81 00   two\"\r\n"
            "Mine=kept\r\nPreset1=\"" + first + "\"\r\n[Other]\r\nkey = value\r\n");
  auto again = Start(bus.Url());
  EXPECT_EQ(again->ManualSend().Preset(0), first);
  EXPECT_EQ(again->ManualSend().Preset(1), "AB B0 00000000 FFFFFF81 00   two");
  EXPECT_EQ(again->ManualSend().Preset(2), TManualSend::kEmptyPreset);
  EXPECT_TRUE(errors_.shown.empty()) << errors_.shown.front();
}

TEST_F(AppTest, APresetSetAfterAFailedStartUpTouchesNoOtherPreset) {
  TLoopbackServer bus;
  // The configuration file cannot be read (a directory in its place): nothing is loaded,
  // and a preset set now is refused rather than written over the unknown file.
  std::filesystem::create_directory(files_.ConfigFile());
  auto app = Start(bus.Url());
  errors_.shown.clear();
  EXPECT_THROW(app->SetPreset(0, "AB B0 00000000 FFFFFF80 00"), EFileError);
  EXPECT_TRUE(std::filesystem::is_directory(files_.ConfigFile()));
}

}  // namespace
}  // namespace ardel
