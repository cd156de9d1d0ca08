// The link log's store: capture lines, files and rotation, reading back at any place,
// a capture on a full file system, and a run killed during a flood.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "log/link_log.h"
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
  // A line break inside a stored text stays one line; the log's own texts go on in the
  // next line.
  log.Store().Append(lkInfo, now, "two\nparts");
  expected += "2026-12-09T02:41:22.179\tinfo\ttwo parts\n";
  log.AppendLine(lkInfo, "three\rparts");
  expected += "2026-12-09T02:41:22.179\tinfo\tthree\n2026-12-09T02:41:22.179\tinfo\tparts\n";
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
    // The file ends with its last whole line, and holds the first lines in order.
    const std::string kept = ReadWholeFile(file);
    if (kept.empty() || kept.back() != '\n') ::_exit(16);
    if (kept.find("\trx\ttelegram 0.") == std::string::npos) ::_exit(17);
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

// A tmpfs of 64 KiB mounted for a test: a real full file system. Needs the right to
// mount; without it the test is skipped.
class TSmallDisk {
 public:
  explicit TSmallDisk(std::string path) : path_(std::move(path)) {
    fs::create_directories(path_);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
  }
  ~TSmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

// The private files of this process in a folder: the places its lines went to.
std::size_t OpenFilesIn(const std::string& folder) {
  std::size_t found = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = fs::read_symlink(entry.path(), error).string();
    if (!error && target.rfind(folder, 0) == 0) ++found;
  }
  return found;
}

// While the capture's disk takes no more bytes, the lines go to the temporary folder;
// when that takes none either, the oldest leave memory with a red line that counts
// them, and the view marks each. The files keep whole lines only, and no empty capture
// file is left for a retry.
TEST_F(LogStoreTest, ADiskThatTakesNoMoreKeepsWholeLinesAndBoundedMemory) {
  struct TCase {
    const char* name;
    bool fullCapture;  // the capture folder on a small tmpfs
    bool fullTemp;     // the temporary folder on another one
    int limitKb;       // a file-size limit instead
    bool linesLost;
  } const cases[] = {
      {"a file-size limit", false, false, 64, true},
      {"a full capture disk, room in the temporary folder", true, false, 0, false},
      {"a full capture disk and a full temporary folder", true, true, 0, true},
  };
  constexpr std::size_t kMemory = 32u << 10;
  constexpr int kLines = 6000;
  auto text = [](int i) { return "telegram " + std::to_string(i) + " " + std::string(50, '.'); };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string captureDir = dir_ + c.name + "/log/";
    const std::string tempDir = dir_ + c.name + "/tmp/";
    fs::create_directories(captureDir);
    fs::create_directories(tempDir);
    std::optional<TSmallDisk> captureDisk, tempDisk;
    if (c.fullCapture) captureDisk.emplace(captureDir);
    if (c.fullTemp) tempDisk.emplace(tempDir);
    if ((captureDisk && !captureDisk->Mounted()) || (tempDisk && !tempDisk->Mounted())) {
      GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string why = dir_ + "why.txt";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto fail = [&](const std::string& reason) {
        WriteFileAtomically(why, reason);
        ::_exit(1);
      };
      ::signal(SIGXFSZ, SIG_IGN);
      if (c.limitKb > 0) {
        const rlimit limit{static_cast<rlim_t>(c.limitKb) << 10, static_cast<rlim_t>(c.limitKb) << 10};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) fail("setrlimit");
      }
      ::setenv("TMPDIR", tempDir.c_str(), 1);
      TTime now = kStart;
      // Few pages decoded, so that the view reads its lines back.
      TLinkLog log([&] { return now; },
                   TLogStoreOptions{.linesPerPage = 64, .cachedPages = 2, .writeBytes = 4096, .memoryBytes = kMemory});
      log.StartCapture(TCaptureSettings{true, captureDir, 256u << 20});
      const std::string first = log.Store().CaptureFile();
      std::size_t mostHeld = 0;
      for (int i = 0; i < kLines; ++i) {
        log.AppendLine(lkRx, text(i));
        if (i % 100 == 0) now += 1s, log.Poll();
        mostHeld = std::max(mostHeld, log.Store().PendingBytes());
      }
      if (mostHeld > kMemory + 4096) fail("memory held " + std::to_string(mostHeld));
      if (OpenFilesIn(tempDir) == 0) fail("no private file in the temporary folder");
      // The pause is over: a new capture file is tried, and the losses are counted.
      // The newest lines are the ones memory keeps.
      for (std::size_t back = 1; back <= 100; ++back) {
        const std::string line = log.Line(log.Count() - back).text;
        if (line.rfind("telegram ", 0) == 0 && line != text(kLines - static_cast<int>(back))) fail("newest: " + line);
      }
      for (int retry = 0; retry < 2; ++retry) {
        now += 61s;
        log.Poll();
        log.AppendLine(lkInfo, "after a pause");
        log.Store().Flush();
      }
      // The capture holds whole lines, the first ones in order.
      const std::string kept = ReadWholeFile(first);
      if (!kept.empty() && kept.back() != '\n') fail("a cut line ends the capture");
      if (kept.find("\trx\t" + text(0) + "\n") == std::string::npos) fail("the capture lacks its first line");
      for (const auto& entry : fs::directory_iterator(captureDir)) {
        if (fs::is_regular_file(entry) && fs::file_size(entry) == 0) fail("empty capture " + entry.path().string());
      }
      // Every line is there or marked, in order; the marks are what the red lines count.
      int next = 0;
      std::size_t marked = 0, counted = 0, seen = 0;
      for (std::size_t i = 0; i < log.Count(); ++i) {
        const TLogLine line = log.Line(i);
        if (line.text == TLogStore::kMissingLine) {
          ++marked;
        } else if (const std::size_t at = line.text.find(" of the log not kept"); at != std::string::npos) {
          const std::size_t number = line.text.rfind(' ', line.text.rfind(' ', at - 1) - 1) + 1;
          counted += std::stoul(line.text.substr(number));
        } else if (line.text.rfind("telegram ", 0) == 0) {
          const int n = std::stoi(line.text.substr(9));
          if (n < next || line.text != text(n)) fail("out of order: " + line.text);
          next = n + 1;
          ++seen;
        }
      }
      if (seen + marked < kLines) fail(std::to_string(seen) + " seen, " + std::to_string(marked) + " marked");
      if (!c.linesLost && seen != kLines) fail(std::to_string(seen) + " seen");
      if (c.linesLost != (marked > 0)) fail("marked " + std::to_string(marked));
      // A red line that counts may itself leave memory later, counted by the next one.
      if (c.linesLost && (counted == 0 || counted > marked)) {
        fail("marked " + std::to_string(marked) + ", counted " + std::to_string(counted));
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << (fs::exists(why) ? ReadWholeFile(why) : "");
    fs::remove(why);
  }
}

// An error text's line break goes on in the log's next line, with the same colour.
TEST_F(LogStoreTest, ALineBreakInATextContinuesOnTheNextLine) {
  struct TCase {
    std::string text;
    std::vector<std::string> lines;
  } const cases[] = {
      {"TCOMPORT : cannot open COM1\r/dev/zero: not a terminal", {"TCOMPORT : cannot open COM1", "/dev/zero: not a terminal"}},
      {"one\r\ntwo\nthree", {"one", "two", "three"}},
      {"no break", {"no break"}},
  };
  for (const TCase& c : cases) {
    TTime now = kStart;
    TLinkLog log([&] { return now; });
    log.StartCapture(Settings());
    log.AppendLine(lkError, c.text);
    // After the column guide.
    ASSERT_EQ(log.Count(), 1 + c.lines.size()) << c.text;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(log.Line(1 + i).text, c.lines[i]);
      EXPECT_EQ(log.Line(1 + i).kind, lkError);
    }
    log.Store().Flush();
    const std::string file = Read(Files().at(0));
    std::size_t red = 0;
    for (std::size_t at = file.find("\terror\t"); at != std::string::npos; at = file.find("\terror\t", at + 1)) ++red;
    EXPECT_EQ(red, c.lines.size()) << file;
    fs::remove_all(dir_ + "log");
  }
}

}  // namespace
}  // namespace ardel
