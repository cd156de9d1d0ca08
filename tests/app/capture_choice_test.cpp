#include "app/capture_choice.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "log/capture_settings.h"
#include "util/ini_file.h"
#include "support/program_directory.h"
#include "util/text_file.h"

namespace ardel {
namespace {

// The tab "Setup" switches the capture and chooses its folder for the next start: each
// choice reaches [Log] at once, every other line of the file stays, and the next start
// reads what was chosen.
TEST(CaptureChoice, ChoicesReachTheFileForTheNextStart) {
  testing::TProgramDirectory files;
  const std::string before = "; site 3\r\n[Link]\r\nComport=2\r\n[Log]\r\nMaxFileMB=16\r\n[Presets]\r\nPreset1=AB\r\n";
  WriteFileAtomically(files.ConfigFile(), before);
  TCaptureChoice choice(files.ConfigFile());
  choice.Load(TIniFile::Load(files.ConfigFile()));
  EXPECT_TRUE(choice.Capture().Value());
  EXPECT_EQ(choice.Folder().Text(), "");

  choice.SetCapture(false);
  choice.SetFolder("/srv/ardel logs");
  EXPECT_FALSE(choice.Capture().Value());
  EXPECT_EQ(ReadWholeFile(files.ConfigFile()),
            "; site 3\r\n[Link]\r\nComport=2\r\n[Log]\r\nMaxFileMB=16\r\nCapture=0\r\nFolder=/srv/ardel logs\r\n"
            "[Presets]\r\nPreset1=AB\r\n");
  const TCaptureSettings next = ReadCaptureSettings(TIniFile::Load(files.ConfigFile()), files.Path());
  EXPECT_FALSE(next.capture);
  EXPECT_EQ(next.folder, "/srv/ardel logs/");
  EXPECT_EQ(next.maxFileBytes, std::uint64_t{16} << 20);

  // A later window shows what was chosen.
  TCaptureChoice later(files.ConfigFile());
  later.Load(TIniFile::Load(files.ConfigFile()));
  EXPECT_FALSE(later.Capture().Value());
  EXPECT_EQ(later.Folder().Text(), "/srv/ardel logs");
  choice.SetCapture(true);
  choice.SetFolder("");
  EXPECT_TRUE(ReadCaptureSettings(TIniFile::Load(files.ConfigFile()), files.Path()).capture);
}

TEST(CaptureChoice, AChoiceThatCannotBeWrittenIsNotShown) {
  testing::TProgramDirectory files;
  WriteFileAtomically(files.ConfigFile(), "[Log]\nCapture=1\n");
  std::filesystem::permissions(files.ConfigFile(), std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                      std::filesystem::perms::others_read);
  TCaptureChoice choice(files.ConfigFile());
  choice.Load(TIniFile::Load(files.ConfigFile()));
  EXPECT_THROW(choice.SetCapture(false), EFileError);
  EXPECT_TRUE(choice.Capture().Value());
  EXPECT_THROW(choice.SetFolder("two\nlines"), EFileError);
  EXPECT_EQ(choice.Folder().Text(), "");
  TCaptureChoice none("");
  EXPECT_THROW(none.SetCapture(false), EFileError);
  EXPECT_TRUE(none.Capture().Value());
}

}  // namespace
}  // namespace ardel
