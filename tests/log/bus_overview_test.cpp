#include "log/bus_overview.h"

#include <gtest/gtest.h>

namespace ardel {
namespace {

using namespace std::chrono_literals;

const TOverviewTime kStart = TOverviewTime(std::chrono::seconds(1'800'000'000));

TTelegramBody Body(std::uint8_t header, std::uint8_t org, std::uint32_t id) {
  return {header, org, 0, 0, 0, 0, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
          static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0};
}

// The rows must outlive the pointer: no temporary.
const TIdRow* RowOf(const std::vector<TIdRow>&& rows, std::uint32_t id) = delete;
const TIdRow* RowOf(const std::vector<TIdRow>& rows, std::uint32_t id) {
  for (const TIdRow& row : rows) {
    if (!row.other && row.id == id) return &row;
  }
  return nullptr;
}

TEST(BusOverview, EachIdBelongsToTheStationWhoseBlockHoldsIt) {
  TStationBases bases{};
  bases[0] = 0xFFFFFF80;
  bases[1] = 0x00001000;
  bases[2] = 0x00001040;  // overlaps station 1's block: the lower number wins
  struct Case {
    std::uint32_t id;
    int station;
    std::uint32_t offset;
  } cases[] = {
      {0xFFFFFF80, 0, 0x00}, {0xFFFFFFFF, 0, 0x7F}, {0xFFFFFF7F, -1, 0},  // just below
      {0x00001000, 1, 0x00}, {0x0000107F, 1, 0x7F}, {0x00001080, 2, 0x40},
      {0x000010BF, 2, 0x7F}, {0x000010C0, -1, 0},   {0x00000000, -1, 0},
  };
  TBusOverview overview;
  for (const Case& c : cases) overview.Received(Body(0x6B, 0x05, c.id), kStart);
  const std::vector<TIdRow> rows = overview.Rows(bases);
  ASSERT_EQ(rows.size(), std::size(cases));
  for (const Case& c : cases) {
    const TIdRow* row = RowOf(rows, c.id);
    ASSERT_NE(row, nullptr) << std::hex << c.id;
    EXPECT_EQ(row->station, c.station) << std::hex << c.id;
    if (c.station >= 0) {
      EXPECT_EQ(row->offset, c.offset) << std::hex << c.id;
    }
  }
  // Grouped by station, the IDs of no station last.
  int previous = 0;
  for (const TIdRow& row : rows) {
    const int station = row.station < 0 ? 16 : row.station;
    EXPECT_GE(station, previous);
    previous = station;
  }
}

TEST(BusOverview, CommandsAnswersAndResponseTimes) {
  TBusOverview overview;
  const std::uint32_t station = 0xFFFFFF80;
  const TTelegramBody command = Body(0xAB, 0xB0, station);
  // Answered after a repetition: the time runs from the last transmission.
  overview.Sent(command, false, kStart);
  overview.Sent(command, true, kStart + 300ms);
  overview.Received(Body(0x8B, 0xB0, station), kStart + 350ms);
  overview.Completed(station, kStart + 350ms);
  // Three transmissions, no answer.
  overview.Sent(command, false, kStart + 1s);
  overview.Sent(command, true, kStart + 1300ms);
  overview.Sent(command, true, kStart + 1600ms);
  overview.TimedOut(station, kStart + 1900ms);
  overview.AckSent(station, kStart + 2s);
  overview.ChecksumError(Body(0x8B, 0xB0, station), kStart + 2s);

  const std::vector<TIdRow> rows = overview.Rows({});
  const TIdRow* row = RowOf(rows, station);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->sent, 2u);
  EXPECT_EQ(row->repeats, 3u);
  EXPECT_EQ(row->completed, 1u);
  EXPECT_EQ(row->timeouts, 1u);
  EXPECT_EQ(row->acks, 1u);
  EXPECT_EQ(row->checksumErrorsUnsure, 1u);
  EXPECT_EQ(row->received, 1u);  // a telegram with a wrong checksum is not counted as received
  ASSERT_EQ(row->response.count, 1u);
  EXPECT_DOUBLE_EQ(row->response.minMs, 50.0);
  EXPECT_EQ(row->firstSeen, kStart);
  EXPECT_EQ(row->lastSeen, kStart + 2s);
  EXPECT_EQ(overview.Totals().telegramsSent, 6u);  // five transmissions and the ACK
  EXPECT_EQ(overview.Totals().timeouts, 1u);

  // Over more answers than are kept, the figures are those of the last thousand.
  TBusOverview many;
  TOverviewTime at = kStart;
  for (int ms = 1; ms <= 1500; ++ms) {
    many.Sent(command, false, at);
    at += std::chrono::milliseconds(ms);
    many.Completed(station, at);
  }
  const std::vector<TIdRow> manyRows = many.Rows({});
  const TResponseTimes times = RowOf(manyRows, station)->response;
  EXPECT_EQ(times.count, TBusOverview::kResponseWindow);
  EXPECT_DOUBLE_EQ(times.minMs, 501);
  EXPECT_DOUBLE_EQ(times.maxMs, 1500);
  EXPECT_DOUBLE_EQ(times.medianMs, 1000);
  EXPECT_DOUBLE_EQ(times.p95Ms, 1450);
  EXPECT_DOUBLE_EQ(times.lastMs, 1500);
}

TEST(BusOverview, NoiseNamingAMillionIdsKeepsBoundedRows) {
  TBusOverview overview(1000);
  for (std::uint32_t id = 0; id < 1'000'000; ++id) overview.ChecksumError(Body(0x6B, 0x05, id * 2654435761u), kStart);
  // A station that speaks up after the flood is counted, if only under "other".
  for (int kind = 0; kind < 12; ++kind) overview.Received(Body(0x8B, static_cast<std::uint8_t>(kind), 7), kStart);
  EXPECT_EQ(overview.IdCount(), 1000u);
  const std::vector<TIdRow> rows = overview.Rows({});
  ASSERT_EQ(rows.size(), 1001u);
  ASSERT_TRUE(rows.back().other);
  EXPECT_EQ(rows.back().checksumErrorsUnsure, 1'000'000u - 1000u);
  EXPECT_EQ(rows.back().received, 12u);
  // The kinds of one row are bounded too: the last place counts the rest.
  ASSERT_EQ(rows.back().receivedByKind.size(), TBusOverview::kKindsPerId);
  std::uint64_t rest = 0;
  for (const auto& [kind, count] : rows.back().receivedByKind) {
    if (kind == TBusOverview::kOtherKinds) rest = count;
  }
  EXPECT_EQ(rest, 12u - (TBusOverview::kKindsPerId - 1));
}

TEST(BusOverview, RatesAndLoadOverTheirWindows) {
  TBusOverview overview;
  overview.SetBaud(9600);
  // Ten seconds of a line full both ways: 480 bytes a second each way at 9600 baud.
  for (int s = 0; s < 10; ++s) {
    const TOverviewTime at = kStart + std::chrono::seconds(s);
    overview.BytesReceived(480, at);
    for (int i = 0; i < 32; ++i) overview.Sent(Body(0xAB, 0xB0, 1), false, at);
    overview.Received(Body(0x8B, 0xB0, 1), at);
  }
  overview.TimedOut(1, kStart + 9s);
  const TOverviewTime now = kStart + 9s + 500ms;
  const TLinkRates tenSeconds = overview.Rates(now, 10s);
  EXPECT_DOUBLE_EQ(tenSeconds.bytesReceived, 480);
  EXPECT_DOUBLE_EQ(tenSeconds.bytesSent, 32 * 15);
  EXPECT_DOUBLE_EQ(tenSeconds.telegramsReceived, 1);
  EXPECT_DOUBLE_EQ(tenSeconds.errors, 0.1);
  EXPECT_DOUBLE_EQ(tenSeconds.loadPercent, 100);
  EXPECT_DOUBLE_EQ(overview.Rates(now, 60s).bytesReceived, 80);
  // The history ends with the second of now; seconds older than ten minutes are gone.
  const std::vector<TLinkRates> history = overview.History(now);
  ASSERT_EQ(history.size(), TBusOverview::kSeconds);
  EXPECT_DOUBLE_EQ(history.back().bytesReceived, 480);
  EXPECT_DOUBLE_EQ(history[TBusOverview::kSeconds - 11].bytesReceived, 0);
  EXPECT_DOUBLE_EQ(overview.Rates(kStart + 610s, 600s).bytesReceived, 0);
  // A second that comes round in the ring again starts from nothing.
  overview.BytesReceived(6, kStart + 600s);
  EXPECT_DOUBLE_EQ(overview.Rates(kStart + 600s, 1s).bytesReceived, 6);
  EXPECT_EQ(overview.Totals().bytesReceived, 4806u);
}

TEST(BusOverview, AliveAndCsv) {
  TBusOverview overview;
  TStationBases bases{};
  bases[3] = 0x00002000;
  overview.Received(Body(0x8B, 0xB0, 0x00002005), kStart);
  overview.Sent(Body(0xAB, 0xB0, 0x00002000), false, kStart);  // a silent station
  overview.TimedOut(0x00002000, kStart + 1s);
  const std::vector<TIdRow> rows = overview.Rows(bases);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_FALSE(TBusOverview::Alive(rows[0], kStart + 1s));  // 2000: never heard
  EXPECT_TRUE(TBusOverview::Alive(rows[1], kStart + 60s));
  EXPECT_FALSE(TBusOverview::Alive(rows[1], kStart + 61s));
  const std::string csv = OverviewCsv(rows);
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "id,station,offset,received,sent,repeats,completed,timeouts,acks,checksum_errors_unsure,"
            "response_ms_min,response_ms_median,response_ms_p95,response_ms_max,first_seen,last_seen");
  EXPECT_NE(csv.find("\r\n00002000,3,00,0,1,0,0,1,0,0,,,,,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\r\n00002005,3,05,1,0,0,0,0,0,0,,,,,"), std::string::npos) << csv;
}

}  // namespace
}  // namespace ardel
