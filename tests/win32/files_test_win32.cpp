// What files do on Windows: the program directory's lock between two real processes,
// replacing saves and the read-only attribute, names beyond ASCII, CR LF data files, the
// capture files read back at offsets, and the system's error texts.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "log/link_log.h"
#include "log/log_save.h"
#include "rules/rule_set.h"
#include "stations/station_file.h"
#include "stations/station_table.h"
#include "util/directory_lock.h"
#include "util/file_io.h"
#include "util/ini_file.h"
#include "util/text_encoding.h"
#include "util/text_file.h"
#include "util/win32_text.h"
#include "win32/child_process.h"

namespace ardel {
namespace {

using testing::StartChild;
using testing::WaitChild;

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    static int count = 0;
    dir_ = TemporaryDirectory() + "ardel-win32-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++count) + "/";
    ASSERT_TRUE(MakeDirectory(dir_));
  }
  void TearDown() override {
    // Read-only files refuse removal until the attribute is gone.
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(PathToWide(dir_), error)) {
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(PathToWide(dir_), error);
  }
  // The names in the folder, as Windows spells them, in UTF-8.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PathToWide(dir_))) {
      names.push_back(WideToUtf8Text(entry.path().filename().wstring()));
    }
    return names;
  }
  std::wstring Wide(const std::string& name) const { return PathToWide(dir_ + name); }

  std::string dir_;
};

// A second Ardel on the same folder must be refused, and told who holds it; a holder
// that is killed leaves the folder free.
TEST_F(Win32Files, TheDirectoryLockHoldsAgainstASecondProcessAndGoesWithItsHolder) {
  // "/" between the folders: a "\\" before a closing quote would escape it.
  const std::wstring dir = Utf8ToWide(dir_);
  const std::wstring me = std::to_wstring(::GetCurrentProcessId());
  {
    TDirectoryLock lock;
    ASSERT_TRUE(lock.Acquire(dir_));
    auto child = StartChild(L"lock", L"\"" + dir + L"\" " + me);
    EXPECT_EQ(WaitChild(child), 3) << "a second process took the lock, or was not told who holds it";
    // The holder's process id stays readable while locked.
    EXPECT_NE(ReadWholeFile(dir_ + TDirectoryLock::kFileName).find(std::to_string(::GetCurrentProcessId())),
              std::string::npos);
  }
  {
    auto child = StartChild(L"lock", L"\"" + dir + L"\" 0");
    EXPECT_EQ(WaitChild(child), 0) << "the lock stayed after its holder let it go";
  }
  auto holder = StartChild(L"hold", L"\"" + dir + L"\"");
  ASSERT_TRUE(testing::WaitForFile(dir_ + "held"));
  TDirectoryLock lock;
  EXPECT_FALSE(lock.Acquire(dir_));
  EXPECT_EQ(static_cast<DWORD>(lock.Holder()), holder.pid);
  EXPECT_NE(lock.RefusalText().find("process " + std::to_string(holder.pid)), std::string::npos);
  EXPECT_EQ(WaitChild(holder, 0), -1);  // killed, as a crash ends it
  bool taken = false;
  for (int i = 0; i < 100 && !taken; ++i) {
    taken = lock.Acquire(dir_);
    if (!taken) ::Sleep(20);
  }
  EXPECT_TRUE(taken) << "the lock outlived its killed holder";
}

TEST_F(Win32Files, AtomicSavesReplaceWholeFilesAndRefuseReadOnlyOnes) {
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file
    DWORD attributes;
    bool saves;
  } cases[] = {
      {"plain.txt", "old text\r\n", FILE_ATTRIBUTE_NORMAL, true},
      {"new.txt", nullptr, 0, true},
      {"hidden.txt", "old text\r\n", FILE_ATTRIBUTE_HIDDEN, true},
      {"kept.txt", "old text\r\n", FILE_ATTRIBUTE_READONLY, false},
  };
  for (const Case& c : cases) {
    const std::string path = dir_ + c.name;
    if (c.before != nullptr) {
      WriteFileAtomically(path, c.before);
      ASSERT_TRUE(::SetFileAttributesW(Wide(c.name).c_str(), c.attributes)) << c.name;
    }
    if (c.saves) {
      WriteFileAtomically(path, "new text\r\n");
      EXPECT_EQ(ReadWholeFile(path), "new text\r\n") << c.name;
    } else {
      EXPECT_THROW(WriteFileAtomically(path, "new text\r\n"), EFileError) << c.name;
      EXPECT_EQ(ReadWholeFile(path), c.before) << c.name << ": the refused save touched the old file";
    }
    if (c.attributes == FILE_ATTRIBUTE_HIDDEN) {
      // ReplaceFileW keeps what the user set on the old file.
      EXPECT_NE(::GetFileAttributesW(Wide(c.name).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << c.name;
    }
  }
  // No temporary file stays behind.
  for (const std::string& name : Names()) EXPECT_EQ(name.find(".new"), std::string::npos) << name;
  // A folder in the way is no file to replace.
  ASSERT_TRUE(MakeDirectory(dir_ + "folder"));
  EXPECT_THROW(WriteFileAtomically(dir_ + "folder", "x"), EFileError);
  EXPECT_THROW(ReadWholeFile(dir_ + "folder"), EFileError);
}

// Names are UTF-8 inside the program: what Windows shows must be the same name, not its
// bytes in the ANSI code page.
TEST_F(Win32Files, NamesBeyondAsciiReachTheDiskAsTheyAre) {
  for (const std::string name : {"Prüfstand.txt", "ステーション.txt", "naïve €.ini"}) {
    WriteFileAtomically(dir_ + name, "data");
    EXPECT_EQ(ReadWholeFile(dir_ + name), "data") << name;
    EXPECT_NE(::GetFileAttributesW(Wide(name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    EXPECT_FALSE(NameIsFree(dir_ + name)) << name;
  }
  const std::vector<std::string> names = Names();
  EXPECT_NE(std::find(names.begin(), names.end(), "ステーション.txt"), names.end());
  EXPECT_TRUE(NameIsFree(dir_ + "missing.txt"));
  EXPECT_TRUE(NameIsFree(dir_ + "missing/deeper.txt"));
}

// The data files are CR LF on every system: a Windows editor reads and writes them so.
TEST_F(Win32Files, DataFilesAreCrLfAndCrLfFilesReadBack) {
  TStationTable table;
  table.SetCell(StationColumn(0), kSbiRow, "FF800100");
  SaveStationTable(table, dir_ + "veskData.txt");
  const std::string stations = ReadWholeFile(dir_ + "veskData.txt");
  ASSERT_FALSE(stations.empty());
  for (std::size_t at = stations.find('\n'); at != std::string::npos; at = stations.find('\n', at + 1)) {
    ASSERT_GT(at, 0u);
    EXPECT_EQ(stations[at - 1], '\r') << "a line of the station file ends in a bare LF";
  }
  TStationTable loaded;
  LoadStationTable(loaded, dir_ + "veskData.txt");
  EXPECT_EQ(loaded.Cell(StationColumn(0), kSbiRow), "FF800100");

  WriteFileAtomically(dir_ + "rules.txt", "/ a comment\r\nif 6B 05\r\nthen say hello");
  TRuleSet rules;
  rules.Load(dir_ + "rules.txt");
  EXPECT_EQ(rules.Lines(), (std::vector<std::string>{"/ a comment", "if 6B 05", "then say hello"}));
  rules.Save(dir_ + "rules.txt");
  EXPECT_EQ(ReadWholeFile(dir_ + "rules.txt"), "/ a comment\r\nif 6B 05\r\nthen say hello");

  WriteFileAtomically(dir_ + "ardel.INI", "[Ports]\r\nCOM1=COM3\r\n");
  WriteIniString(dir_ + "ardel.INI", "Presets", "P1", "send 1");
  EXPECT_EQ(ReadWholeFile(dir_ + "ardel.INI"), "[Ports]\r\nCOM1=COM3\r\n[Presets]\r\nP1=send 1\r\n");
}

// The view reads the capture back at offsets, from files Windows keeps open for
// writing; rotation never writes over a file that is there.
TEST_F(Win32Files, CaptureFilesRotateAndReadBackAtAnyPlace) {
  using namespace std::chrono_literals;
  auto now = std::chrono::system_clock::now();
  std::vector<std::string> all{TLinkLog::kColumnGuide};
  {
    TLinkLog log([&] { return now; }, TLogStoreOptions{.linesPerPage = 3, .cachedPages = 2});
    log.StartCapture(TCaptureSettings{true, dir_ + "log/", 400});
    for (int i = 0; i < 200; ++i) {
      all.push_back("line " + std::to_string(i) + " ümlaut");
      log.AppendLine(i % 2 == 0 ? lkTx : lkRx, all.back());
    }
    log.Store().Flush();
    for (std::size_t i : {0, 1, 99, 150, 200}) EXPECT_EQ(log.Line(i).text, all[i]) << i;
    SaveLogText(log.Store(), {{1, 2}}, dir_ + "saved.txt");
    SaveLogText(log.Store(), {{3, 3}}, dir_ + "saved.txt");
    EXPECT_EQ(ReadWholeFile(dir_ + "saved.txt"), all[3] + "\n");
  }
  std::size_t files = 0;
  std::size_t lines = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PathToWide(dir_ + "log"))) {
    ++files;
    lines += SplitLines(ReadWholeFile(WideToUtf8Text(entry.path().wstring()))).size();
  }
  EXPECT_GT(files, 3u);
  EXPECT_EQ(lines, all.size());
}

TEST(Win32Texts, SystemErrorTextsAreUtf8WithoutTheirLineEnd) {
  for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
    const std::string text = Win32ErrorText(error);
    EXPECT_FALSE(text.empty()) << error;
    EXPECT_NE(text.back(), '\n') << error;
    EXPECT_NE(text.back(), '\r') << error;
    EXPECT_EQ(Utf8ToWide(text).empty(), false) << error;
  }
  try {
    ReadWholeFile(TemporaryDirectory() + "ardel-no-such-file.txt");
    FAIL() << "a missing file was read";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(Win32ErrorText(ERROR_FILE_NOT_FOUND)), std::string::npos) << e.what();
  }
  // Characters beyond the first plane come as two UTF-16 halves.
  EXPECT_EQ(WideToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8Text(Utf8ToWide("Grüße ステ")), "Grüße ステ");
}

TEST(Win32Paths, ProgramFileAndPathsUseSlashes) {
  const std::string self = ProgramFileName();
  EXPECT_EQ(self.find('\\'), std::string::npos) << self;
  EXPECT_EQ(ExtractFileName(self), "test_win32.exe");
  EXPECT_TRUE(IsDirectory(ExtractFilePath(self)));
  struct {
    const char* path;
    bool absolute;
  } cases[] = {{"C:/ardel", true}, {"c:\\ardel", true}, {"//server/share", true}, {"\\\\server\\share", true},
               {"/ardel", true}, {"ardel", false}, {"C:ardel", false}, {"", false}};
  for (const auto& c : cases) EXPECT_EQ(IsAbsolutePath(c.path), c.absolute) << c.path;
  EXPECT_EQ(PathFromArgument("C:\\Users\\op\\ardel"), "C:/Users/op/ardel");
}

}  // namespace
}  // namespace ardel
