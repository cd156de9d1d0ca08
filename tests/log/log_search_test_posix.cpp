#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "log/capture_file.h"
#include "log/log_search.h"
#include "log/log_store.h"

namespace ardel {
namespace {

const auto kWhen = std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 20000);

// A small page and cache, so that searches cross pages and read back from the file.
TLogStoreOptions SmallPages() {
  TLogStoreOptions options;
  options.linesPerPage = 4;
  options.cachedPages = 2;
  options.memoryBytes = 64;
  return options;
}

struct TKnownLog : ::testing::Test {
  TLogStore store{SmallPages()};
  TLogSearch search{store};
  void SetUp() override {
    const std::pair<TLogKind, const char*> lines[] = {
        {lkInfo, "E dd.nn.yyyy hh.mm.ss   xx xx xxxxxxxx ............."},                // 0
        {lkRx, "R 09.12.2026 02:41:21   8B B4 00000000 FFFFFF80 00   Station 0"},       // 1
        {lkTx, "S 09.12.2026 02:41:21   AB B0 00000000 FFFFFE80 00   base ID"},         // 2
        {lkError, "E 09.12.2026 02:41:22   checksum ERROR in telegram"},               // 3
        {lkRx, "R 09.12.2026 02:41:23   8B B4 00000003 FFFFFF80 00   8B B4 lookalike"},  // 4
        {lkInfo, "Größe: ÄÖÜ"},                                                          // 5
        {lkRule, "rule: if 8B B4 * FFFFFF80 *"},                                          // 6
    };
    for (const auto& [kind, text] : lines) store.Append(kind, kWhen, text);
  }
  std::vector<std::size_t> Find(std::string_view query, TSearchMode mode) {
    search.Start(query, mode);
    while (!search.Step()) {
    }
    return search.Hits();
  }
};

TEST_F(TKnownLog, FindsTextAndPatterns) {
  struct TCase {
    const char* query;
    TSearchMode mode;
    std::vector<std::size_t> hits;
  } cases[] = {
      {"checksum error", smText, {3}},
      {"STATION 0", smText, {1}},
      {"8b b4", smText, {1, 4, 6}},
      {"größe", smText, {5}},
      {"äöü", smText, {5}},  // Latin-1 capitals fold in UTF-8
      {"nowhere", smText, {}},
      {"", smText, {}},
      // The pattern covers the telegram text of rx and tx lines, the whole text of others.
      {"8B B4 * FFFFFF80 *", smPattern, {1, 4}},
      {"* FFFFFE80 *", smPattern, {2}},
      {"rule: *", smPattern, {6}},
      {"R *", smPattern, {}},
      {"*error*", smPattern, {}},  // patterns keep their case
      {"*ERROR*", smPattern, {3}},
      {"", smPattern, {}},
      {"   ", smPattern, {}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Find(c.query, c.mode), c.hits) << c.query;
  }
}

// A hit is found wherever it stands in a line, across every block of sixteen bytes and in
// the tail, in either case; near misses are not hits.
TEST(LineMatcher, FindsAHitAtEveryPlaceOfALine) {
  struct TCase {
    const char* query;
    const char* inLine;
    bool found;
  } cases[] = {
      {"needle", "NeEdLe", true},
      {"needle", "needl", false},
      {"needle", "neeDLf", false},
      {"n", "N", true},
      {"äöü", "\xC3\x84\xC3\xB6\xC3\x9C", true},  // ÄöÜ
      {"äöü", "\xC3\x84\xC3\xB6\xC3\x9D", false},
      {"3 ", "3 ", true},
  };
  for (const TCase& c : cases) {
    const TLineMatcher matcher(c.query, smText);
    for (std::size_t before = 0; before < 40; ++before) {
      for (std::size_t after : {0, 1, 15, 16, 17}) {
        const std::string line = std::string(before, 'x') + c.inLine + std::string(after, 'y');
        EXPECT_EQ(matcher.Matches(lkInfo, line), c.found) << c.query << " in " << line;
      }
    }
  }
}

TEST_F(TKnownLog, NextPreviousWrapAndCount) {
  Find("8b b4", smText);
  ASSERT_EQ(search.Hits().size(), 3u);
  EXPECT_EQ(search.Next(std::nullopt), 1u);
  EXPECT_EQ(search.Next(1), 4u);
  EXPECT_EQ(search.Next(4), 6u);
  EXPECT_EQ(search.Next(6), 1u);  // wraps
  EXPECT_EQ(search.Next(2), 4u);  // from a line that is no hit
  EXPECT_EQ(search.Previous(std::nullopt), 6u);
  EXPECT_EQ(search.Previous(4), 1u);
  EXPECT_EQ(search.Previous(1), 6u);  // wraps
  EXPECT_EQ(search.Ordinal(4), 2u);
  EXPECT_EQ(search.Ordinal(3), 0u);
  Find("nowhere", smText);
  EXPECT_EQ(search.Next(std::nullopt), std::nullopt);
  EXPECT_EQ(search.Previous(3), std::nullopt);
}

TEST_F(TKnownLog, FollowsNewLinesAndAClear) {
  Find("station", smText);
  EXPECT_EQ(search.Hits(), (std::vector<std::size_t>{1}));
  store.Append(lkRx, kWhen, "R 09.12.2026 02:41:30   8B B4 00000003 FFFFFF80 00   station 3");
  store.Append(lkInfo, kWhen, "other");
  EXPECT_FALSE(search.Done());
  EXPECT_TRUE(search.Step());
  EXPECT_EQ(search.Hits(), (std::vector<std::size_t>{1, 7}));
  store.Clear(kWhen);
  store.Append(lkInfo, kWhen, "station again");
  EXPECT_TRUE(search.Step());
  EXPECT_EQ(search.Hits(), (std::vector<std::size_t>{0}));
}

TEST(LogSearch, LargeLogAnswersInSlices) {
  TLogStore store{SmallPages()};
  for (int i = 0; i < 20000; ++i) store.Append(lkRx, kWhen, i % 1000 == 999 ? "needle" : "hay");
  TLogSearch search(store);
  search.Start("NEEDLE", smText);
  // Time enough that only the line counts cut the slices, however loaded the machine.
  constexpr auto kAmple = std::chrono::minutes(1);
  EXPECT_FALSE(search.Step(5000, kAmple));
  EXPECT_EQ(search.Scanned(), 5000u);
  EXPECT_EQ(search.Hits().size(), 5u);
  EXPECT_DOUBLE_EQ(search.Progress(), 0.25);
  // A new query drops the old one at once.
  search.Start("hay", smText);
  EXPECT_TRUE(search.Hits().empty());
  int steps = 0;
  while (!search.Step(3000, kAmple)) ++steps;
  EXPECT_EQ(steps, 6);
  EXPECT_EQ(search.Hits().size(), 19980u);
  // The scan and the cache agree on every line.
  for (std::size_t i = 0; i < store.Count(); i += 997) {
    store.Scan(i, i + 1, [&](std::size_t index, TLogKind kind, std::string_view text) {
      EXPECT_EQ(index, i);
      EXPECT_EQ(text, store.Peek(i).text);
      EXPECT_EQ(kind, store.Peek(i).kind);
    });
  }
}

// A job waiting for the main thread ends the step after the chunk in hand, however much
// time is left, yet every step gets a chunk done, so the search still ends.
TEST(LogSearch, StepsAsideForWaitingWork) {
  TLogStore store{SmallPages()};
  for (int i = 0; i < 10000; ++i) store.Append(lkRx, kWhen, i % 100 == 0 ? "needle" : "hay");
  TLogSearch search(store);
  int asked = 0;
  search.SetStepAside([&] { return ++asked > 0; });
  search.Start("needle", smText);
  EXPECT_FALSE(search.Step(TLogSearch::kStepLines, std::chrono::seconds(10)));
  EXPECT_EQ(search.Scanned(), TLogSearch::kChunkLines);
  EXPECT_EQ(asked, 1);
  int steps = 1;
  do {
    ++steps;
  } while (!search.Step(TLogSearch::kStepLines, std::chrono::seconds(10)));
  EXPECT_EQ(steps, static_cast<int>((10000 + TLogSearch::kChunkLines - 1) / TLogSearch::kChunkLines));
  EXPECT_EQ(search.Hits().size(), 100u);
  // Nothing waiting: one step does it all.
  search.SetStepAside([] { return false; });
  search.Restart();
  EXPECT_TRUE(search.Step(TLogSearch::kStepLines, std::chrono::seconds(10)));
}

struct TCaptureOnDisk : ::testing::Test {
  std::string path;
  void SetUp() override {
    char name[] = "/tmp/ardel-capture-test-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    path = name;
  }
  void TearDown() override { std::filesystem::remove(path); }
  void Write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
};

TEST_F(TCaptureOnDisk, ReadsItsLinesAndCountsTheOthers) {
  std::string bytes;
  for (int i = 0; i < 600; ++i) {
    bytes += "2026-12-09T02:41:21.123\t" + std::string(i % 2 ? "rx" : "tx") + "\tline " + std::to_string(i) + "\n";
    if (i == 10) bytes += "a foreign line\n";
    if (i == 300) bytes += "2026-12-09T02:41:21.123\tnokind\tx\n\n";
  }
  bytes += "2026-12-09T02:59:00.000\tinfo\tlast\r\n";
  bytes += "2026-12-09T03:00:00.000\trx\tcut sho";
  Write(bytes);
  TCaptureFile file;
  ASSERT_TRUE(file.Open(path)) << file.Error();
  EXPECT_EQ(file.Count(), 601u);
  EXPECT_EQ(file.Unreadable(), 4u);
  EXPECT_EQ(file.FirstTime(), "2026-12-09T02:41:21.123");
  EXPECT_EQ(file.LastTime(), "2026-12-09T02:59:00.000");
  EXPECT_EQ(file.Peek(599).text, "line 599");
  EXPECT_EQ(file.Peek(599).kind, lkRx);
  EXPECT_EQ(file.Peek(11).text, "line 11");
  EXPECT_EQ(file.Peek(600).text, "last");
  EXPECT_EQ(file.Peek(0).kind, lkTx);
  TLogSearch search(file);
  search.Start("line 3?", smPattern);
  while (!search.Step(100)) {
  }
  EXPECT_EQ(search.Hits().size(), 10u);
  EXPECT_EQ(search.Hits().front(), 30u);
}

// Each kind's word reads back as that kind; words that only begin like one do not.
TEST(LogKind, NamesReadBackAndNearMissesDoNot) {
  for (std::uint8_t k = 0; k <= lkInfo; ++k) {
    const auto kind = static_cast<TLogKind>(k);
    EXPECT_EQ(LogKindFromName(LogKindName(kind)), kind) << LogKindName(kind);
  }
  for (const char* word : {"", "r", "ra", "rxx", "rule ", "repea", "RX", "t", "txt", "ok!", "inf", "x"}) {
    EXPECT_EQ(LogKindFromName(word), std::nullopt) << word;
  }
}

TEST_F(TCaptureOnDisk, ParsesOnlyTheCaptureForm) {
  struct TCase {
    const char* line;
    bool ok;
  } cases[] = {
      {"2026-12-09T02:41:21.123\trx\tR text", true},
      {"2026-12-09T02:41:21.123\tinfo\t", true},
      {"2026-12-09T02:41:21.123\trepeat\twith\ttab", true},
      {"2026-12-09 02:41:21.123\trx\ttext", false},
      {"2026-12-09T02:41:21.12\trx\ttext", false},
      {"2026-12-09T02:41:21.123 rx\ttext", false},
      {"2026-12-09T02:41:21.123\tRX\ttext", false},
      {"2026-12-09T02:41:21.123\trx", false},
      {"", false},
  };
  for (const TCase& c : cases) {
    TCaptureLine line;
    EXPECT_EQ(ParseCaptureLine(c.line, line), c.ok) << c.line;
  }
  TCaptureLine line;
  ASSERT_TRUE(ParseCaptureLine("2026-12-09T02:41:21.123\trepeat\twith\ttab", line));
  EXPECT_EQ(line.kind, lkRepeat);
  EXPECT_EQ(line.text, "with\ttab");
}

TEST_F(TCaptureOnDisk, OpensAFileOfNoCaptureAndAMissingOne) {
  Write(std::string("\x00\x01 binary\nnot a capture", 24));
  TCaptureFile file;
  ASSERT_TRUE(file.Open(path));
  EXPECT_EQ(file.Count(), 0u);
  EXPECT_EQ(file.Unreadable(), 2u);
  EXPECT_EQ(file.FirstTime(), "");
  TCaptureFile missing;
  EXPECT_FALSE(missing.Open(path + ".none"));
  EXPECT_NE(missing.Error().find("cannot open"), std::string::npos);
}

// Only a regular file opens, and the open never waits: a FIFO without a writer would
// hang the viewer, or the window that opens a capture, for good.
TEST_F(TCaptureOnDisk, OpensOnlyRegularFilesWithoutWaiting) {
  const std::string fifo = path + ".fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = path + ".dir";
  std::filesystem::create_directory(folder);
  for (const std::string& name : {fifo, folder, std::string("/dev/null")}) {
    SCOPED_TRACE(name);
    auto opened = std::async(std::launch::async, [&] {
      TCaptureFile file;
      const bool ok = file.Open(name);
      return std::make_pair(ok, file.Error());
    });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "Open waits";
      // Lets the open go on, so the test ends.
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      opened.wait();
      if (writer >= 0) ::close(writer);
      continue;
    }
    const auto [ok, error] = opened.get();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "cannot open " + name + ": not a file");
  }
  std::filesystem::remove(fifo);
  std::filesystem::remove(folder);
}

// A line longer than the bound is left out and counted, wherever it lies; the lines
// around it read back, and a search finds them.
TEST_F(TCaptureOnDisk, ALineLongerThanTheBoundIsLeftOut) {
  const std::string stamp = "2026-12-09T02:41:21.123\trx\t";
  const std::string huge(3u << 20, 'x');
  struct TCase {
    const char* name;
    std::string middle;  // between line 0 to 299 and line 300 to 599
    std::string tail;    // after them
    std::size_t unreadable;
  } const cases[] = {
      {"foreign", huge + "\n", "", 1},
      {"of the capture's form", stamp + huge + "\n", "", 1},
      {"over a read's end", std::string(9u << 20, 'y') + "\n", "", 1},
      {"two in a row", huge + "\n" + huge + "\r\n", "", 2},
      {"cut at the end", "", stamp + huge, 1},
      {"just short of the bound", "", stamp + std::string(TCaptureFile::kLongestLine - stamp.size() - 1, 'z') + "\n", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    for (int i = 0; i < 600; ++i) {
      if (i == 300) bytes += c.middle;
      bytes += stamp + "line " + std::to_string(i) + "\n";
    }
    bytes += c.tail;
    Write(bytes);
    TCaptureFile file;
    ASSERT_TRUE(file.Open(path)) << file.Error();
    const std::size_t lines = c.unreadable == 0 && !c.tail.empty() ? 601u : 600u;
    EXPECT_EQ(file.Count(), lines);
    EXPECT_EQ(file.Unreadable(), c.unreadable);
    for (std::size_t i : {0u, 255u, 256u, 299u, 300u, 301u, 599u}) EXPECT_EQ(file.Peek(i).text, "line " + std::to_string(i));
    TLogSearch search(file);
    search.Start("line 30?", smPattern);
    while (!search.Step(100)) {
    }
    EXPECT_EQ(search.Hits().size(), 10u);
    std::size_t visited = 0;
    file.Scan(0, file.Count(), [&](std::size_t index, TLogKind, std::string_view text) {
      if (index < 600 && text == "line " + std::to_string(index)) ++visited;
    });
    EXPECT_EQ(visited, 600u);
  }
}

// The viewer's memory does not follow the longest line: 256 MB without a line end cost
// today's reader some hundreds of megabytes. Measured in a child, whose peak is its own.
TEST_F(TCaptureOnDisk, AnEndlessLineIsNeverHeldWhole) {
  {
    std::ofstream out(path, std::ios::binary);
    out << "2026-12-09T02:41:21.123\trx\tfirst\n";
    const std::string block(1u << 20, 'x');
    for (int i = 0; i < 256; ++i) out << block;
  }
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    TCaptureFile file;
    if (!file.Open(path)) ::_exit(2);
    if (file.Count() != 1 || file.Unreadable() != 1 || file.Peek(0).text != "first") ::_exit(3);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    // Kilobytes: the reader's buffers, not the line.
    ::_exit(after.ru_maxrss - before.ru_maxrss < (32 << 10) ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no open, 3: wrong lines, 4: memory followed the line";
}

}  // namespace
}  // namespace ardel
