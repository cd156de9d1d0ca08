#include "bus_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "stations/station_file.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using TArgs = std::vector<std::string>;

TEST(BusOptions, ParsesEveryOption) {
  const TBusOptions o = ParseBusOptions(
      {"--data-file", "d.txt", "--lrn", "0,a", "--silent=F", "--changes", "3=10", "--version", "00010203",
       "--answer-delay", "0", "--ack-timeout", "150", "--sender-interval=2000", "--senders", "0, 1:7f",
       "--noise-rate", "0.5", "--noise-prob", "0.1", "--seed", "42", "--device", "/dev/ttyUSB0", "--baud",
       "19200", "--link-file", "l.txt", "--duration", "2.5", "-q"});
  EXPECT_EQ(o.dataFile, "d.txt");
  EXPECT_EQ(o.lrnStations, (std::vector<int>{0, 10}));
  EXPECT_EQ(o.silentStations, (std::vector<int>{15}));
  EXPECT_EQ(o.baseIdChanges, (std::vector<std::pair<int, int>>{{3, 10}}));
  EXPECT_EQ(o.timing.version, 0x00010203u);
  EXPECT_EQ(o.timing.answerDelay, 0ms);
  EXPECT_EQ(o.timing.ackTimeout, 150ms);
  EXPECT_EQ(o.timing.senderInterval, 2000ms);
  ASSERT_EQ(o.senders.size(), 2u);
  EXPECT_EQ(o.senders[1].station, 1);
  EXPECT_EQ(o.senders[1].offset, 0x7F);
  EXPECT_DOUBLE_EQ(o.timing.noiseRate, 0.5);
  EXPECT_DOUBLE_EQ(o.timing.noiseProbability, 0.1);
  EXPECT_EQ(o.timing.seed, 42u);
  EXPECT_TRUE(o.seedGiven);
  EXPECT_EQ(o.device, "/dev/ttyUSB0");
  EXPECT_EQ(o.baud, 19200);
  EXPECT_EQ(o.linkFile, "l.txt");
  ASSERT_TRUE(o.durationSeconds);
  EXPECT_DOUBLE_EQ(*o.durationSeconds, 2.5);
  EXPECT_TRUE(o.quiet);
  EXPECT_FALSE(o.help);

  const TBusOptions defaults = ParseBusOptions({});
  EXPECT_EQ(defaults.stationCount, 4);
  EXPECT_EQ(defaults.timing.answerDelay, 20ms);
  EXPECT_EQ(defaults.timing.senderInterval, 0ms);
  EXPECT_FALSE(defaults.durationSeconds);
  EXPECT_TRUE(ParseBusOptions({"--help"}).help);
  // Alone or before another option it is the program's version; with a value, the station's.
  EXPECT_TRUE(ParseBusOptions({"--version"}).version);
  EXPECT_TRUE(ParseBusOptions({"--version", "-q"}).version);
  EXPECT_FALSE(ParseBusOptions({"--version", "1"}).version);
  EXPECT_EQ(ParseBusOptions({"--station-version", "0A"}).timing.version, 0x0Au);
  EXPECT_EQ(ParseBusOptions({"--listen", "0.0.0.0:4001"}).listen, "0.0.0.0:4001");
}

TEST(BusOptions, RefusesWhatCannotRun) {
  const TArgs bad[] = {
      {"--bogus"},        {"--lrn"},          {"--lrn", "G"},         {"--lrn", "10"},
      {"--stations", "0"}, {"--stations", "17"}, {"--answer-delay", "-1"}, {"--answer-delay", "2x"},
      {"--ack-timeout", "0"}, {"--senders", "0:80"}, {"--senders", "0:"}, {"--changes", "3"},
      {"--version", "123456789"}, {"--noise-prob", "1.5"}, {"--noise-rate", "nan"}, {"--quiet=1"},
      {"--seed", "-3"},   {"--duration", ""},  {"--listen", "2000"}, {"--listen", "host:"},
      {"--listen", ":2000"}, {"--listen", "host:65536"}, {"--listen", "h:1", "--device", "/dev/ttyS0"},
  };
  for (const TArgs& args : bad) {
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    EXPECT_THROW(ParseBusOptions(args), EBusUsage) << joined;
  }
  EXPECT_FALSE(BusUsageText().empty());
}

TEST(BusOptions, StationsFromTheDataFileAndPerStationOptions) {
  TStationTable table;
  table.WriteHeadings();
  table.SetCell(StationColumn(0), kSbiRow, "FFFFFF80");
  for (int i = 0; i < 16; ++i) table.SetCell(StationColumn(0), InfiRow(i), "FF8000" + HexByte(static_cast<std::uint8_t>(i)));
  table.SetCell(StationColumn(0), InfiRow(5), "n.a.");
  table.SetCell(StationColumn(5), kSbiRow, "ff800080");
  table.SetCell(StationColumn(7), kSbiRow, "n.a.");  // no ID: no station
  char dir[] = "/tmp/ardel-bus-opt-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/veskData.txt";
  SaveStationTable(table, file);

  std::vector<std::string> notes;
  TBusOptions o = ParseBusOptions({"--data-file", file, "--lrn", "all", "--silent", "5", "--changes", "0=4"});
  const TBusConfig config = MakeBusConfig(o, notes);
  for (int s = 0; s < 16; ++s) EXPECT_EQ(config.stations[static_cast<std::size_t>(s)].present, s == 0 || s == 5) << s;
  const TSimStation& st0 = config.stations[0];
  EXPECT_EQ(st0.sbi, 0xFFFFFF80u);
  EXPECT_EQ(st0.infi[0], 0xFF800000u);
  EXPECT_EQ(st0.infi[15], 0xFF80000Fu);
  EXPECT_EQ(st0.infi[5], 0u) << "n.a. reads as an empty entry";
  EXPECT_TRUE(st0.lrnMode);
  EXPECT_FALSE(st0.silent);
  EXPECT_EQ(st0.baseIdChanges, 4);
  EXPECT_EQ(config.stations[5].sbi, 0xFF800080u);
  EXPECT_TRUE(config.stations[5].lrnMode);
  EXPECT_TRUE(config.stations[5].silent);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("station 7"), std::string::npos) << notes[0];

  // A station option for a station that is not there is a mistake worth telling.
  notes.clear();
  EXPECT_THROW(MakeBusConfig(ParseBusOptions({"--data-file", file, "--lrn", "1"}), notes), EBusUsage);
  EXPECT_THROW(MakeBusConfig(ParseBusOptions({"--data-file", file, "--senders", "2"}), notes), EBusUsage);
  EXPECT_THROW(MakeBusConfig(ParseBusOptions({"--data-file", std::string(dir) + "/missing.txt"}), notes),
               EFileError);

  const TBusConfig defaults = MakeBusConfig(ParseBusOptions({"--stations", "2", "--lrn", "1"}), notes);
  EXPECT_TRUE(defaults.stations[1].present);
  EXPECT_TRUE(defaults.stations[1].lrnMode);
  EXPECT_FALSE(defaults.stations[0].lrnMode);
  EXPECT_FALSE(defaults.stations[2].present);

  std::remove(file.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace ardel
