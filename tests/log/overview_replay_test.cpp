// The overview of a capture: each kind of line counts where the live overview counts
// it, and a whole file reads as its lines fed one by one.

#include "log/overview_replay.h"
#include "log/log_store.h"
#include "log/utc_zone.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace ardel {
namespace {

namespace fs = std::filesystem;

class OverviewReplay : public ::testing::Test {
 protected:
  void SetUp() override {
    UseUtcAsLocalTime();
  }
};

// A capture line at 10:00 plus ms, of the kind, with the text as the writers make it.
std::string At(int ms, std::string_view kind, std::string_view text) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "2026-12-09T10:%02d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
  return std::string(stamp) + "\t" + std::string(kind) + "\t" + std::string(text);
}

// A telegram line's text: letter, a stamp of the C locale, the telegram, the comment.
std::string Telegram(char letter, std::string_view telegram, std::string_view comment = "") {
  return std::string(1, letter) + " 09.12.2026 10:00:00   " + std::string(telegram) + "   " + std::string(comment);
}

std::string Rx(int ms, std::string_view telegram) { return At(ms, "rx", Telegram(' ', telegram)); }
std::string Tx(int ms, std::string_view telegram) { return At(ms, "tx", Telegram(' ', telegram, "a command")); }
std::string Repeat(int ms) { return At(ms, "repeat", "W 09.12.2026 10:00:00" + std::string(38, ' ') + "repeat it"); }
std::string TimeOut(int ms) { return At(ms, "error", "E 09.12.2026 10:00:00" + std::string(38, ' ') + "time out"); }

const std::string kCommand = "AB B0 00000000 FFFFFF80 00";
const std::string kAnswer = "8B B0 01020304 FFFFFF80 00";
const std::uint32_t kStation = 0xFFFFFF80;

struct TExpectedRow {
  std::uint64_t received = 0, sent = 0, repeats = 0, completed = 0, timeouts = 0, acks = 0, unsure = 0;
  double responseMs = -1;  // -1: no response time
};

struct TExpectedLink {
  std::uint64_t received = 0, sent = 0, checksumErrors = 0, timeouts = 0, dropped = 0, losses = 0, bytesIn = 0;
};

struct TCase {
  const char* name;
  std::vector<std::string> lines;
  std::optional<TExpectedRow> row;  // of kStation; nothing: it has no row
  TExpectedLink link;
};

void Check(const TCase& c, const TBusOverview& overview) {
  SCOPED_TRACE(c.name);
  const std::vector<TIdRow> rows = overview.Rows({});
  const TIdRow* row = nullptr;
  for (const TIdRow& r : rows) {
    if (r.id == kStation) row = &r;
  }
  if (!c.row) {
    EXPECT_EQ(row, nullptr);
  } else {
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->received, c.row->received);
    EXPECT_EQ(row->sent, c.row->sent);
    EXPECT_EQ(row->repeats, c.row->repeats);
    EXPECT_EQ(row->completed, c.row->completed);
    EXPECT_EQ(row->timeouts, c.row->timeouts);
    EXPECT_EQ(row->acks, c.row->acks);
    EXPECT_EQ(row->checksumErrorsUnsure, c.row->unsure);
    if (c.row->responseMs < 0) {
      EXPECT_EQ(row->response.count, 0u);
    } else {
      ASSERT_EQ(row->response.count, 1u);
      EXPECT_DOUBLE_EQ(row->response.maxMs, c.row->responseMs);
    }
  }
  const TLinkTotals& totals = overview.Totals();
  EXPECT_EQ(totals.telegramsReceived, c.link.received);
  EXPECT_EQ(totals.telegramsSent, c.link.sent);
  EXPECT_EQ(totals.checksumErrors, c.link.checksumErrors);
  EXPECT_EQ(totals.timeouts, c.link.timeouts);
  EXPECT_EQ(totals.droppedBytes, c.link.dropped);
  EXPECT_EQ(totals.portLosses, c.link.losses);
  EXPECT_EQ(totals.bytesReceived, c.link.bytesIn);
}

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {"a received telegram", {Rx(0, kAnswer)}, TExpectedRow{.received = 1}, {.received = 1, .bytesIn = 15}},
      {"answered at once: the time runs from the transmission",
       {Tx(0, kCommand), Rx(250, kAnswer)},
       TExpectedRow{.received = 1, .sent = 1, .completed = 1, .responseMs = 250},
       {.received = 1, .sent = 1, .bytesIn = 15}},
      {"answered after a repetition: the time runs from the last one",
       {Tx(0, kCommand), Repeat(1000), Tx(1000, kCommand), Rx(1040, kAnswer)},
       TExpectedRow{.received = 1, .sent = 1, .repeats = 1, .completed = 1, .responseMs = 40},
       {.received = 1, .sent = 2, .bytesIn = 15}},
      {"three transmissions and the tick's time-out",
       {Tx(0, kCommand), Repeat(1000), Tx(1000, kCommand), Repeat(2000), Tx(2000, kCommand), TimeOut(3000)},
       TExpectedRow{.sent = 1, .repeats = 2, .timeouts = 1},
       {.sent = 3, .timeouts = 1}},
      {"the ACK after a telegram is no command",
       {Rx(0, "6B 05 70000000 FFFFFF80 30"), Tx(1, "AB AC 70000000 FFFFFF80 30"), Rx(500, kAnswer)},
       TExpectedRow{.received = 2, .acks = 1},
       {.received = 2, .sent = 1, .bytesIn = 30}},
      {"a command AB AC not after its telegram is a command",
       {Rx(0, "6B 05 70000000 FFFFFF81 30"), Tx(1, "AB AC 70000000 FFFFFF80 30"), Rx(500, kAnswer)},
       TExpectedRow{.received = 1, .sent = 1, .completed = 1, .responseMs = 499},
       {.received = 2, .sent = 1, .bytesIn = 30}},
      {"a transmission the port did not take is not sent, and still times out",
       {Tx(0, kCommand), At(0, "error", "E 09.12.2026 10:00:00   not sent: port COM1 is lost"), TimeOut(3000)},
       TExpectedRow{.timeouts = 1},
       {.timeouts = 1}},
      {"an answer from another ID completes nothing",
       {Tx(0, kCommand), Rx(100, "8B B0 01020304 FFFFFF81 00"), TimeOut(3000)},
       TExpectedRow{.sent = 1, .timeouts = 1},
       {.received = 1, .sent = 1, .timeouts = 1, .bytesIn = 15}},
      {"a station's ACK completes the command to its ID",
       {Tx(0, kCommand), Rx(120, "8B AC 00000000 FFFFFF80 00")},
       TExpectedRow{.received = 1, .sent = 1, .completed = 1, .responseMs = 120},
       {.received = 1, .sent = 1, .bytesIn = 15}},
      {"one answer completes one command",
       {Tx(0, kCommand), Rx(100, kAnswer), Rx(200, kAnswer)},
       TExpectedRow{.received = 2, .sent = 1, .completed = 1, .responseMs = 100},
       {.received = 2, .sent = 1, .bytesIn = 30}},
      {"a checksum error logged without bytes counts on the link only",
       {At(0, "error", Telegram('E', "00 00 00000000 00000000 00", "cksum error. sent:12 <-> calc:34]"))},
       std::nullopt,
       {.checksumErrors = 1, .bytesIn = 15}},
      {"a checksum error with its bytes is blamed on its ID, unsure",
       {At(0, "error", Telegram('E', "8B B0 01020304 FFFFFF80 00", "cksum error. sent:12 <-> calc:34]"))},
       TExpectedRow{.unsure = 1},
       {.checksumErrors = 1, .bytesIn = 15}},
      {"a time-out of no known command counts on the link",
       {TimeOut(0)},
       std::nullopt,
       {.timeouts = 1}},
      {"raw reception: a byte a line",
       {At(0, "raw", "  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:A5"),
        At(1, "raw", "  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:5A")},
       std::nullopt,
       {.bytesIn = 2}},
      {"output dropped",
       {At(0, "error", "E 09.12.2026 10:00:00   COM1 (/dev/pts/3): 4095 bytes dropped: the far end takes no data")},
       std::nullopt,
       {.dropped = 4095}},
      {"a port lost",
       {At(0, "error", "E 09.12.2026 10:00:00   COM1 (/dev/ttyUSB0) lost: No such device")},
       std::nullopt,
       {.losses = 1}},
      {"lines of no count: ok, rule, info, other errors, not of the capture's form",
       {At(0, "ok", "ok 09.12.2026 10:00:00   remaining cmds 0"), At(0, "rule", "if 8B B0 * FFFFFF80 *"),
        At(0, "info", "log cleared"), At(0, "error", Telegram('E', "00 00 00000000 00000000 00", "no valid command string")),
        "2026-12-09 10:00:00.000\trx\t" + Telegram(' ', kAnswer), At(0, "bogus", Telegram(' ', kAnswer)),
        At(0, "rx", "  09.12.2026 10:00:00   8B B0 0102030 FFFFFF80 00")},
       std::nullopt,
       {}},
  };
  return cases;
}

TEST_F(OverviewReplay, EachKindOfLineCountsWhereTheLiveOverviewDoes) {
  for (const TCase& c : Cases()) {
    TBusOverview overview;
    TOverviewReplay replay(overview);
    for (const std::string& line : c.lines) replay.FeedLine(line);
    replay.Finish();
    Check(c, overview);
  }
}

TEST_F(OverviewReplay, TimesComeFromTheStamps) {
  TBusOverview overview;
  TOverviewReplay replay(overview);
  // Across an hour and a day: the hour remembered must not stick.
  const std::vector<std::string> lines = {
      "2026-12-09T23:59:59.900\ttx\t" + Telegram(' ', kCommand),
      "2026-12-10T00:00:00.150\trx\t" + Telegram(' ', kAnswer),
  };
  for (const std::string& line : lines) EXPECT_TRUE(replay.FeedLine(line));
  replay.Finish();
  const std::vector<TIdRow> rows = overview.Rows({});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_DOUBLE_EQ(rows[0].response.maxMs, 250);
  EXPECT_EQ(CaptureTimeText(*rows[0].firstSeen), "2026-12-09T23:59:59.900");
  EXPECT_EQ(CaptureTimeText(*rows[0].lastSeen), "2026-12-10T00:00:00.150");
  EXPECT_EQ(CaptureTimeText(*replay.LastTime()), "2026-12-10T00:00:00.150");
  EXPECT_FALSE(replay.FeedLine("not a capture line"));
  EXPECT_EQ(replay.Lines(), 2u);
}

// The last transmission has no next line to tell its fate: it counts once the feed ends.
TEST_F(OverviewReplay, TheLastTransmissionCountsAtTheEnd) {
  TBusOverview overview;
  TOverviewReplay replay(overview);
  replay.FeedLine(Tx(0, kCommand));
  EXPECT_EQ(overview.Totals().telegramsSent, 0u);
  replay.Finish();
  EXPECT_EQ(overview.Totals().telegramsSent, 1u);
}

class OverviewReplayFile : public OverviewReplay {
 protected:
  void SetUp() override {
    OverviewReplay::SetUp();
    dir_ = fs::temp_directory_path() / ("ardel-replay-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// Lines cut by the file's reads, CRLF line ends, a line too long for any read, and a
// last line cut while it was written: the file reads as its readable lines fed one by one.
TEST_F(OverviewReplayFile, AWholeFileReadsAsItsLinesFedOneByOne) {
  std::vector<std::string> lines;
  for (int i = 0; i < 100000; ++i) {
    lines.push_back(Tx(i * 3 % 3'600'000, kCommand));
    lines.push_back(Rx(i * 3 % 3'600'000 + 1, i % 3 == 0 ? kAnswer : "6B 05 70000000 0000123" + std::to_string(i % 7) + " 30"));
  }
  const fs::path path = dir_ / "capture.log";
  {
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      out << lines[i] << (i % 5 == 0 ? "\r\n" : "\n");
      if (i == 1000) out << std::string(9u << 20, 'x') << "\n";
    }
    out << "2026-12-09T10:00:00.000\trx\t  cut";
  }
  TBusOverview fromFile;
  TReplayResult result;
  std::string error;
  ASSERT_TRUE(ReplayCaptureFile(path.string(), fromFile, result, error)) << error;
  EXPECT_EQ(result.lines, lines.size());
  EXPECT_EQ(result.unreadable, 2u);

  TBusOverview fed;
  TOverviewReplay replay(fed);
  for (const std::string& line : lines) replay.FeedLine(line);
  replay.Finish();
  EXPECT_EQ(OverviewCsv(fromFile.Rows({})), OverviewCsv(fed.Rows({})));
  EXPECT_EQ(fromFile.Totals().telegramsReceived, fed.Totals().telegramsReceived);
  EXPECT_EQ(fromFile.Totals().telegramsSent, fed.Totals().telegramsSent);
  EXPECT_EQ(CaptureTimeText(*result.lastTime), CaptureTimeText(*replay.LastTime()));
}

TEST_F(OverviewReplayFile, WhatCannotBeReadSaysWhy) {
  struct {
    fs::path path;
    const char* says;
  } cases[] = {
      {dir_ / "missing.log", "cannot open"},
      {dir_, "not a file"},
  };
  for (const auto& c : cases) {
    TBusOverview overview;
    TReplayResult result;
    std::string error;
    EXPECT_FALSE(ReplayCaptureFile(c.path.string(), overview, result, error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_NE(error.find(c.path.string()), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace ardel
