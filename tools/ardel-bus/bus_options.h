#pragma once
// The command line of ardel-bus and the station setup it describes.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bus_sim.h"
#include "stations/station_table.h"

namespace ardel {

// A command line that cannot be run; the text says why.
class EBusUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Stands in a station list for "all": every station that is there.
constexpr int kAllStations = -1;

struct TBusOptions {
  // Where the stations come from: a station data file, or this many default stations.
  std::string dataFile;
  int stationCount = 4;
  std::vector<int> lrnStations;
  std::vector<int> silentStations;
  std::vector<std::pair<int, int>> baseIdChanges;  // station, count
  std::vector<TSenderModule> senders;
  TBusConfig timing;  // everything but the stations and senders
  bool seedGiven = false;  // else the program seeds from the clock

  std::string device;  // empty: a pseudo-terminal
  std::string listen;  // HOST:PORT of a TCP listener instead of a terminal
  int baud = 9600;
  std::string linkFile;
  std::optional<double> durationSeconds;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Throws EBusUsage.
TBusOptions ParseBusOptions(const std::vector<std::string>& args);

std::string BusUsageText();

// Stations from the columns of a station table: a station is there when its SBI cell
// holds a hexadecimal ID; INFI cells that are no ID ("n.a.", empty) read as 00000000.
// Notes tell about cells that were skipped.
TSimStations StationsFromTable(const TStationTable& table, std::vector<std::string>& notes);

// The whole configuration: stations from the data file or the defaults, then the
// per-station options. Throws EBusUsage, and EFileError for an unreadable data file.
TBusConfig MakeBusConfig(const TBusOptions& options, std::vector<std::string>& notes);

}  // namespace ardel
