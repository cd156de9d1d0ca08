// The link log's store: capture lines, files and rotation, reading back at any place,
// a capture on a full file system, and a run killed during a flood.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "link/link_log.h"
#include "log/capture_settings.h"
#include "log/log_save.h"
#include "log/log_store.h"
#include "util/text_file.h"

namespace ardel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TTime = std::chrono::system_clock::time_point;

// 2026-12-09 02:41:21.123 UTC.
const TTime kStart = TTime{} + 1796784081123ms;

class LogStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    std::string pattern = (fs::temp_directory_path() / "ardel-log-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }

  TCaptureSettings Settings(std::uint64_t maxBytes = 256u << 20) const {
    return TCaptureSettings{true, dir_ + "log/", maxBytes};
  }
  // The capture files, oldest first.
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    if (!fs::exists(dir_ + "log")) return files;
    for (const auto& entry : fs::directory_iterator(dir_ + "log")) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
      return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return files;
  }
  std::string Read(const std::string& name) const { return ReadWholeFile(dir_ + "log/" + name); }

  std::string dir_;
};

TEST_F(LogStoreTest, EveryKindWritesItsWordBetweenTabs) {
  TTime now = kStart;
  TLinkLog log([&] { return now; });
  log.StartCapture(Settings());
  const TTelegramBody body{0xAB, 0xB0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, 0};
  struct {
    TLogKind kind;
    const char* text;
    TColor color;
  } const cases[] = {
      {lkRx, "rx line", colors::kReceived}, {lkTx, "tx line", colors::kSent},
      {lkError, "E time out", colors::kError}, {lkRaw, "  .. hex:A5", colors::kLime},
      {lkOk, "ok remaining cmds 0", colors::kLime}, {lkRepeat, "W repeat it", colors::kPurple},
      {lkRule, "- due to Rule:", colors::kGrey}, {lkInfo, "port is back", colors::kBlack},
  };
  std::string expected = "2026-12-09T02:41:21.123\tinfo\t" + std::string(TLinkLog::kColumnGuide) + "\n";
  int ms = 123;
  for (const auto& c : cases) {
    now += 7ms;
    ms += 7;
    if (c.kind == lkRaw) log.AppendLineNoScroll(c.kind, c.text);
    else log.AppendLine(c.kind, c.text);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-09T02:41:21.%03d", ms);
    expected += std::string(stamp) + "\t" + std::string(LogKindName(c.kind)) + "\t" + c.text + "\n";
    EXPECT_EQ(log.Line(log.Count() - 1).color, c.color) << c.text;
  }
  now += 1s;
  log.LogTelegram(lkRx, ' ', body, "");
  const std::string telegram = log.Line(log.Count() - 1).text;
  expected += "2026-12-09T02:41:22.179\trx\t" + telegram + "\n";
  // A line break inside a text stays one line.
  log.AppendLine(lkInfo, "two\nparts");
  expected += "2026-12-09T02:41:22.179\tinfo\ttwo parts\n";
  log.Poll();
  ASSERT_EQ(Files(), std::vector<std::string>{"ardel-20261209-024121.log"});
  EXPECT_EQ(Read(Files()[0]), expected);
  EXPECT_EQ(log.Store().CaptureFile(), dir_ + "log/ardel-20261209-024121.log");
}

TEST_F(LogStoreTest, ClearEmptiesTheViewAndMarksTheCapture) {
  TTime now = kStart;
  TLinkLog log([&] { return now; });
  log.StartCapture(Settings());
  log.AppendLine(lkTx, "before");
  log.Clear();
  EXPECT_EQ(log.Count(), 0u);
  log.AppendLine(lkRx, "after");
  ASSERT_EQ(log.Count(), 1u);
  EXPECT_EQ(log.Line(0).text, "after");
  log.Store().Flush();
  const std::vector<std::string> lines = SplitLines(Read(Files()[0]));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "2026-12-09T02:41:21.123\tinfo\tlog cleared");
  EXPECT_EQ(lines[3], "2026-12-09T02:41:21.123\trx\tafter");
}

TEST_F(LogStoreTest, RotatesPastTheLimitAndNeverOverwrites) {
  fs::create_directories(dir_ + "log");
  WriteFileAtomically(dir_ + "log/ardel-20261209-024121.log", "an older run\n");
  TTime now = kStart;
  TLinkLog log([&] { return now; }, TLogStoreOptions{.linesPerPage = 3, .cachedPages = 2});
  log.StartCapture(Settings(500));
  std::vector<std::string> all{TLinkLog::kColumnGuide};
  for (int i = 0; i < 60; ++i) {
    all.push_back("line " + std::to_string(i) + std::string(20, 'x'));
    log.AppendLine(lkTx, all.back());
  }
  log.Store().Flush();
  const std::vector<std::string> files = Files();
  ASSERT_GE(files.size(), 5u);
  EXPECT_EQ(files[0], "ardel-20261209-024121.log");
  EXPECT_EQ(Read(files[0]), "an older run\n");
  EXPECT_EQ(files[1], "ardel-20261209-024121-2.log");
  std::vector<std::string> captured;
  for (std::size_t f = 1; f < files.size(); ++f) {
    EXPECT_EQ(files[f], "ardel-20261209-024121-" + std::to_string(f + 1) + ".log");
    const std::string text = Read(files[f]);
    // A file passes its limit by at most one line.
    EXPECT_LT(text.size(), 500u + 80u) << files[f];
    for (const std::string& line : SplitLines(text)) captured.push_back(line.substr(line.rfind('\t') + 1));
  }
  EXPECT_EQ(captured, all);
  for (std::size_t i : {0, 1, 30, 59, 60}) EXPECT_EQ(log.Line(i).text, all[i]);
}

// The view reads back what it showed at any place: through many files, with a private
// file while capturing is off, and across pages far smaller than the program's.
TEST_F(LogStoreTest, ReadsBackEveryPlaceOfALongLog) {
  for (const bool capture : {true, false}) {
    TTime now = kStart;
    TLinkLog log([&] { return now; },
                 TLogStoreOptions{.linesPerPage = 4, .cachedPages = 2, .writeBytes = 4096, .memoryBytes = 8192});
    TCaptureSettings settings = Settings(1u << 20);
    settings.capture = capture;
    log.StartCapture(settings);
    const std::size_t n = 300000;
    auto text = [](std::size_t i) { return "line " + std::to_string(i * 7919 % 1000003); };
    for (std::size_t i = 1; i < n; ++i) {
      log.AppendLine(i % 3 == 0 ? lkRx : lkTx, text(i));
      if (i % 1000 == 0) now += 1s, log.Poll();
    }
    ASSERT_EQ(log.Count(), n);
    EXPECT_EQ(log.Line(0).text, TLinkLog::kColumnGuide);
    EXPECT_EQ(log.Line(n / 2).text, text(n / 2));
    EXPECT_EQ(log.Line(n - 1).text, text(n - 1));
    std::mt19937 random(7);
    for (int k = 0; k < 2000; ++k) {
      const std::size_t i = 1 + random() % (n - 1);
      ASSERT_EQ(log.Line(i).text, text(i)) << i;
      ASSERT_EQ(log.Line(i).kind, i % 3 == 0 ? lkRx : lkTx) << i;
    }
    if (capture) EXPECT_GT(Files().size(), 5u);
    else EXPECT_TRUE(Files().empty());
    // Less than one offset per line, even with pages of four.
    EXPECT_LT(log.Store().IndexBytes(), n * sizeof(std::uint64_t));
    fs::remove_all(dir_ + "log");
  }
}

TEST_F(LogStoreTest, SavesTheLinesOrTheRangesGiven) {
  TLinkLog log;
  for (int i = 0; i < 5; ++i) log.AppendLine(lkTx, "l" + std::to_string(i));
  SaveLogText(log.Store(), {}, dir_ + "all.txt");
  EXPECT_EQ(ReadWholeFile(dir_ + "all.txt"), std::string(TLinkLog::kColumnGuide) + "\nl0\nl1\nl2\nl3\nl4\n");
  SaveLogText(log.Store(), {{1, 2}, {5, 5}}, dir_ + "some.txt");
  EXPECT_EQ(ReadWholeFile(dir_ + "some.txt"), "l0\nl1\nl4\n");
  EXPECT_THROW(SaveLogText(log.Store(), {}, dir_ + "missing/x.txt"), EFileError);
}

TEST(CaptureSettings, FromTheSectionLog) {
  struct {
    const char* ini;
    bool capture;
    const char* folder;
    std::uint64_t mb;
  } const cases[] = {
      {"", true, "/p/log/", 256},
      {"[Log]\nCapture=0\n", false, "/p/log/", 256},
      {"[Log]\nFolder=/var/ardel\nMaxFileMB=10\n", true, "/var/ardel/", 10},
      {"[Link]\nComport=2\n[log]\nfolder=caps/\nmaxfilemb=0\n", true, "/p/caps/", 1},
      {"[Log]\nMaxFileMB=x\n", true, "/p/log/", 256},
  };
  for (const auto& c : cases) {
    const TCaptureSettings settings = ReadCaptureSettings(TIniFile(c.ini), "/p/");
    EXPECT_EQ(settings.capture, c.capture) << c.ini;
    EXPECT_EQ(settings.folder, c.folder) << c.ini;
    EXPECT_EQ(settings.maxFileBytes, c.mb << 20) << c.ini;
  }
  EXPECT_EQ(ReadCaptureSettings(TIniFile(""), "").folder, "");
}

// A capture that hits a file-size limit (a full file system, as far as the writer can
// tell): one red line naming the file, the log goes on in full, and a minute later a
// new file takes the lines. Runs in a child, which alone has the limit.
TEST_F(LogStoreTest, AFullFileSystemCostsOneRedLineAndNothingElse) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 << 10, 64 << 10};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    TTime now = kStart;
    TLinkLog log([&] { return now; }, TLogStoreOptions{.writeBytes = 4096});
    log.StartCapture(Settings());
    const std::string file = log.Store().CaptureFile();
    std::size_t red = 0;
    for (int i = 0; i < 3000; ++i) {
      log.AppendLine(lkRx, "telegram " + std::to_string(i) + std::string(40, '.'));
      if (i % 100 == 0) now += 1s, log.Poll();
    }
    std::string redText;
    for (std::size_t i = 0; i < log.Count(); ++i) {
      if (log.Line(i).kind == lkError) ++red, redText = log.Line(i).text;
    }
    if (red != 1) ::_exit(11);
    if (redText.find("cannot write the capture " + file + ": File too large") == std::string::npos) ::_exit(12);
    // Every line is still there to see.
    std::size_t seen = 0;
    for (std::size_t i = 0; i < log.Count(); ++i) {
      if (log.Line(i).text == "telegram " + std::to_string(seen) + std::string(40, '.')) ++seen;
    }
    if (seen != 3000) ::_exit(13);
    // The minute is over: a new file.
    now += 61s;
    log.Poll();
    const std::string next = log.Store().CaptureFile();
    if (next.empty() || next == file) ::_exit(14);
    log.AppendLine(lkRx, "after the pause");
    log.Store().Flush();
    if (ReadWholeFile(next).find("\trx\tafter the pause\n") == std::string::npos) ::_exit(15);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A run killed with SIGKILL during a flood leaves only whole lines, but for at most a
// cut last one.
TEST_F(LogStoreTest, AKilledFloodLeavesWholeLines) {
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < 8; ++round) {
    fs::remove_all(dir_ + "log");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TLinkLog log(SystemClock(), TLogStoreOptions{.writeBytes = 64 << 10});
      log.StartCapture(Settings(4u << 20));
      for (std::uint64_t i = 0;; ++i) {
        const std::string n = std::to_string(i);
        log.AppendLine(i % 2 ? lkRx : lkTx, "telegram " + n + " " + std::string(i % 50, '=') + " end " + n);
        if (i % 64 == 0) log.Poll();
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 300));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    std::size_t lines = 0;
    for (const std::string& name : Files()) {
      const std::string text = Read(name);
      std::size_t at = 0;
      for (std::size_t end = text.find('\n'); end != std::string::npos; at = end + 1, end = text.find('\n', at)) {
        const std::string line = text.substr(at, end - at);
        ++lines;
        if (line.find(TLinkLog::kColumnGuide) != std::string::npos) continue;
        const std::size_t tab = line.rfind('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        ASSERT_EQ(line.find('\t'), 23u) << line;
        const std::string body = line.substr(tab + 1);
        const std::string n = body.substr(9, body.find(' ', 9) - 9);
        ASSERT_EQ(body, "telegram " + n + " " + std::string(std::stoul(n) % 50, '=') + " end " + n) << line;
      }
    }
    EXPECT_GT(lines, 1u);
  }
}

}  // namespace
}  // namespace ardel
