// The overview as the running program feeds it: a command's response time runs from its
// last transmission to the reception of the answer, not to the tick that takes it; the
// kinds of transmission count apart; an outcome names its ID by the command string.

#include "app/overview_feed.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace ardel {
namespace {

using namespace std::chrono_literals;

const TOverviewTime kStart = TOverviewTime(std::chrono::seconds(1'800'000'000));

TTelegramBody Body(std::uint8_t header, std::uint8_t org, std::uint32_t id) {
  return {header, org, 1, 2, 3, 4, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
          static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0};
}

const std::uint32_t kStation = 0xFFFFFF80;
const std::string kCommand = "AB B0 00000000 FFFFFF80 00   version";

// Drives the feed on a clock of its own, step by step as the paths and the tick do.
struct TRig {
  TOverviewTime now = kStart;
  TBusOverview overview;
  TOverviewFeed feed{overview, [this] { return now; }};

  void At(std::chrono::milliseconds ms) { now = kStart + ms; }
  void Deliver(const std::vector<TTelegramBody>& telegrams) {
    feed.BytesReceived(15 * telegrams.size());
    for (const TTelegramBody& body : telegrams) feed.GoodTelegram(body);
  }
  void Take(const TTelegramBody& body) { feed.TelegramTaken(FormatTelegramText(body)); }
  const TIdRow& Row(std::uint32_t id) {
    rows = overview.Rows({});
    for (const TIdRow& row : rows) {
      if (row.id == id) return row;
    }
    static const TIdRow none;
    return none;
  }
  std::vector<TIdRow> rows;
};

struct TCase {
  const char* name;
  std::function<void(TRig&)> run;
  double responseMs;  // -1: none
};

const TTelegramBody kAnswer = Body(0x8B, 0xB0, kStation);
const TTelegramBody kSender = Body(0x6B, 0x05, 0xFFFFFF10);

TEST(OverviewFeed, TheResponseTimeRunsFromTheLastTransmissionToTheReception) {
  const TCase cases[] = {
      {"answered, taken by the next tick",
       [](TRig& r) {
         r.At(0ms);
         r.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skCommand);
         r.At(40ms);
         r.Deliver({kAnswer});
         r.At(100ms);
         r.Take(kAnswer);
         r.feed.CommandDone({kCommand, coAnswered});
       },
       40},
      {"answered after a repetition",
       [](TRig& r) {
         r.At(0ms);
         r.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skCommand);
         r.At(100ms);
         r.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skRepetition);
         r.At(130ms);
         r.Deliver({kAnswer});
         r.At(200ms);
         r.Take(kAnswer);
         r.feed.CommandDone({kCommand, coAnswered});
       },
       30},
      {"the answer behind a sender telegram of the same delivery",
       [](TRig& r) {
         r.At(0ms);
         r.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skCommand);
         r.At(20ms);
         r.Deliver({kSender});
         r.At(55ms);
         r.Deliver({kSender, kAnswer});
         r.At(100ms);
         r.Take(kSender);
         r.Take(kSender);
         r.Take(kAnswer);
         r.feed.CommandDone({kCommand, coAnswered});
       },
       55},
      {"telegrams that left the list another way are passed over",
       [](TRig& r) {
         r.At(0ms);
         r.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skCommand);
         r.At(10ms);
         r.Deliver({kSender});
         r.At(25ms);
         r.Deliver({kAnswer});
         r.At(100ms);
         r.Take(kAnswer);
         r.feed.CommandDone({kCommand, coAnswered});
       },
       25},
      {"an answer whose reception is not known counts at its outcome",
       [](TRig& r) {
         r.At(0ms);
         r.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skCommand);
         r.At(100ms);
         r.Take(kAnswer);
         r.feed.CommandDone({kCommand, coAnswered});
       },
       100},
      {"more telegrams wait than the ring holds: the newest are kept",
       [](TRig& r) {
         r.At(0ms);
         r.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skCommand);
         r.At(10ms);
         for (std::size_t i = 0; i < TOverviewFeed::kWaitingMax; ++i) r.Deliver({kSender});
         r.At(35ms);
         r.Deliver({kAnswer});
         r.At(100ms);
         r.Take(kAnswer);
         r.feed.CommandDone({kCommand, coAnswered});
       },
       35},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRig rig;
    c.run(rig);
    const TIdRow& row = rig.Row(kStation);
    EXPECT_EQ(row.completed, 1u);
    ASSERT_EQ(row.response.count, 1u);
    EXPECT_DOUBLE_EQ(row.response.lastMs, c.responseMs);
  }
}

TEST(OverviewFeed, TransmissionsOutcomesAndPortEventsCountWhereTheyBelong) {
  TRig rig;
  rig.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skCommand);
  rig.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skRepetition);
  rig.feed.TelegramSent(Body(0xAB, 0xB0, kStation), skRepetition);
  // Hexadecimal in either case, as a command string may hold it.
  rig.feed.CommandDone({"ab b0 00000000 ffffff80 00", coTimedOut});
  rig.Deliver({kSender});
  rig.feed.TelegramSent(Body(0xAB, 0xAC, 0xFFFFFF10), skAck);
  rig.feed.ChecksumError(Body(0x6B, 0x05, 0xFFFFFF10));
  // A command string without an ID: the link counts its time-out.
  rig.feed.CommandDone({"AB B0", coTimedOut});
  rig.feed.OutputDropped(60);
  rig.feed.PortLost();

  const TIdRow station = rig.Row(kStation);
  EXPECT_EQ(station.sent, 1u);
  EXPECT_EQ(station.repeats, 2u);
  EXPECT_EQ(station.timeouts, 1u);
  EXPECT_EQ(station.completed, 0u);
  const TIdRow sender = rig.Row(0xFFFFFF10);
  EXPECT_EQ(sender.received, 1u);
  EXPECT_EQ(sender.acks, 1u);
  EXPECT_EQ(sender.sent, 0u);
  EXPECT_EQ(sender.checksumErrorsUnsure, 1u);
  const TLinkTotals& totals = rig.overview.Totals();
  EXPECT_EQ(totals.telegramsSent, 4u);
  EXPECT_EQ(totals.timeouts, 2u);
  EXPECT_EQ(totals.checksumErrors, 1u);
  EXPECT_EQ(totals.droppedBytes, 60u);
  EXPECT_EQ(totals.portLosses, 1u);
  EXPECT_EQ(totals.bytesReceived, 15u);
}

}  // namespace
}  // namespace ardel
