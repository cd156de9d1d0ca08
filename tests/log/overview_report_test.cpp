// The overview's JSON: the names scripts rely on, with the values they name, and null
// where there is nothing to tell.

#include "log/overview_report.h"
#include "log/utc_zone.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

namespace ardel {
namespace {

using namespace std::chrono_literals;

// 2026-12-09 10:00:00 UTC.
const TOverviewTime kStart = TOverviewTime(std::chrono::seconds(1796810400));

TTelegramBody Body(std::uint8_t header, std::uint8_t org, std::uint32_t id) {
  return {header, org, 0, 0, 0, 0, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
          static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0};
}

// The object of the row whose id is given, from its "{" to the "{" of the next row.
std::string RowText(const std::string& json, const std::string& id) {
  const std::size_t at = json.find("{\"id\": \"" + id + "\"");
  if (at == std::string::npos) return {};
  const std::size_t next = json.find("{\"id\": ", at + 1);
  return json.substr(at, next == std::string::npos ? std::string::npos : next - at);
}

TEST(OverviewReport, JsonNamesAndValues) {
  UseUtcAsLocalTime();
  TBusOverview overview(2);  // a third ID goes to "other"
  overview.SetBaud(9600);
  const std::uint32_t station = 0xFFFFFF80;
  overview.Sent(Body(0xAB, 0xB0, station), false, kStart);
  overview.Sent(Body(0xAB, 0xB0, station), true, kStart + 300ms);
  overview.Received(Body(0x8B, 0xB0, station), kStart + 350ms);
  overview.Completed(station, kStart + 350ms);
  overview.AckSent(station, kStart + 400ms);
  overview.ChecksumError(Body(0x8B, 0xB0, station), kStart + 500ms);
  overview.TimedOut(station, kStart + 600ms);
  overview.Received(Body(0x6B, 0x05, 0x01020304), kStart + 700ms);
  overview.Received(Body(0x6B, 0x05, 0x01020305), kStart + 800ms);
  overview.OutputDropped(33, kStart + 900ms);
  TStationBases bases{};
  bases[3] = 0xFFFFFF00;  // its block ends just below FFFFFF80
  bases[5] = 0xFFFFFF80;
  const std::string json = OverviewJson(overview, bases, kStart + 1s);
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(json.back(), '\n');
  EXPECT_EQ(json.find('\n'), json.size() - 1) << "one object, one line";

  struct {
    std::string within;  // empty: the whole object
    std::string fragment;
  } cases[] = {
      {"", "{\"kind\": \"stats\", \"time\": \"2026-12-09T10:00:01.000\", \"link\": {"},
      {"", "\"link\": {\"received\": 3, \"sent\": 3, \"checksum_errors\": 1, \"dropped_bytes\": 33, \"load_percent\": "},
      {"", "\"timeouts\": 1, "},
      {"", "\"rates\": {\"10s\": {"},
      {"", "\"1min\": {"},
      {"", "\"10min\": {"},
      {"", "\"ids\": [{"},
      {"FFFFFF80", "\"station\": 5, \"offset\": 0, "},
      {"FFFFFF80", "\"received\": 1, \"sent\": 1, \"repeats\": 1, \"completed\": 1, \"timeouts\": 1, \"acks\": 1, "
                   "\"checksum_errors_unsure\": 1, \"response_ms\": {\"min\": 50.0, \"median\": 50.0, "
                   "\"p95\": 50.0, \"max\": 50.0"},
      {"FFFFFF80", "\"first_seen\": \"2026-12-09T10:00:00.000\", \"last_seen\": \"2026-12-09T10:00:00.600\""},
      {"FFFFFF80", "\"kinds\": {\"8B B0\": 1}"},
      {"01020304", "\"station\": null, \"offset\": null, \"received\": 1, \"sent\": 0, "},
      {"01020304", "\"response_ms\": {\"min\": null, \"median\": null, \"p95\": null, \"max\": null"},
      {"other", "\"station\": null, \"offset\": null, \"received\": 1, "},
  };
  for (const auto& c : cases) {
    const std::string scope = c.within.empty() ? json : RowText(json, c.within);
    EXPECT_NE(scope.find(c.fragment), std::string::npos) << "in " << (c.within.empty() ? "the object" : c.within)
                                                         << ": " << c.fragment << "\n" << json;
  }
  EXPECT_NE(json.rfind("]}\n"), std::string::npos);
}

// 9600 baud carry 960 bytes a second: 64 telegrams of 15 bytes each second for ten
// seconds fill the line.
TEST(OverviewReport, LoadIsTenBitsAByteAtTheBaud) {
  UseUtcAsLocalTime();
  TBusOverview overview;
  overview.SetBaud(9600);
  for (int second = 0; second < 10; ++second) {
    for (int i = 0; i < 32; ++i) {
      overview.BytesReceived(15, kStart + std::chrono::seconds(second));
      overview.Sent(Body(0xAB, 0xB0, 1), false, kStart + std::chrono::seconds(second));
    }
  }
  const std::string json = OverviewJson(overview, {}, kStart + 9s);
  EXPECT_NE(json.find("\"dropped_bytes\": 0, \"load_percent\": 100.00"), std::string::npos) << json;
  const std::string table = OverviewTable(overview, {}, kStart + 9s);
  EXPECT_NE(table.find("load 100.0 % of 9600 baud"), std::string::npos) << table;
  EXPECT_NE(table.find("00000001 -   -   "), std::string::npos) << table;
}

}  // namespace
}  // namespace ardel
