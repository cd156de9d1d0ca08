#include "bus_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "stations/station_file.h"

namespace ardel {

namespace {

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

// 1 to 8 hexadecimal digits, nothing else.
std::optional<std::uint32_t> ParseHexId(const std::string& text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

long ParseWhole(const std::string& option, const std::string& text, long min, long max) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < min || value > max) {
    throw EBusUsage(option + ": '" + text + "' is not a whole number from " + std::to_string(min) +
                    " to " + std::to_string(max));
  }
  return value;
}

double ParseReal(const std::string& option, const std::string& text, double min, double max) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < min || value > max) {
    throw EBusUsage(option + ": '" + text + "' is not a number from " + std::to_string(min) + " to " +
                    std::to_string(max));
  }
  return value;
}

int ParseStation(const std::string& option, const std::string& text) {
  const std::optional<std::uint32_t> value = ParseHexId(text);
  if (text.size() != 1 || !value) {
    throw EBusUsage(option + ": '" + text + "' is not a station number 0 to F");
  }
  return static_cast<int>(*value);
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(Trim(text.substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

std::vector<int> ParseStationList(const std::string& option, const std::string& text) {
  std::vector<int> stations;
  if (text == "all") return {kAllStations};
  for (const std::string& part : SplitCommas(text)) stations.push_back(ParseStation(option, part));
  return stations;
}

std::vector<TSenderModule> ParseSenders(const std::string& option, const std::string& text) {
  std::vector<TSenderModule> senders;
  for (const std::string& part : SplitCommas(text)) {
    const std::size_t colon = part.find(':');
    TSenderModule module;
    module.station = ParseStation(option, part.substr(0, colon));
    if (colon != std::string::npos) {
      const std::optional<std::uint32_t> offset = ParseHexId(part.substr(colon + 1));
      if (!offset || *offset > 0x7F) {
        throw EBusUsage(option + ": '" + part + "' needs an offset 0 to 7F after the colon");
      }
      module.offset = static_cast<std::uint8_t>(*offset);
    }
    senders.push_back(module);
  }
  return senders;
}

std::chrono::milliseconds Millis(const std::string& option, const std::string& text) {
  return std::chrono::milliseconds(ParseWhole(option, text, 0, 3600L * 1000));
}

}  // namespace

TBusOptions ParseBusOptions(const std::vector<std::string>& args) {
  TBusOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw EBusUsage(name + " needs a value");
      return args[++i];
    };
    auto flag = [&] {
      if (inlineValue) throw EBusUsage(name + " takes no value");
    };
    if (name == "--help" || name == "-h") {
      flag();
      o.help = true;
    } else if (name == "--quiet" || name == "-q") {
      flag();
      o.quiet = true;
    } else if (name == "--data-file") {
      o.dataFile = value();
    } else if (name == "--stations") {
      o.stationCount = static_cast<int>(ParseWhole(name, value(), 1, kBusStations));
    } else if (name == "--lrn") {
      for (int s : ParseStationList(name, value())) o.lrnStations.push_back(s);
    } else if (name == "--silent") {
      for (int s : ParseStationList(name, value())) o.silentStations.push_back(s);
    } else if (name == "--changes") {
      const std::string text = value();
      const std::size_t eq = text.find('=');
      if (eq == std::string::npos) throw EBusUsage(name + ": '" + text + "' is not STATION=COUNT");
      o.baseIdChanges.emplace_back(ParseStation(name, text.substr(0, eq)),
                                   static_cast<int>(ParseWhole(name, text.substr(eq + 1), 0, 1000000)));
    } else if ((name == "--version" || name == "-V") && !inlineValue &&
               (i + 1 >= args.size() || args[i + 1].rfind('-', 0) == 0)) {
      // Alone, it asks for the program's version; with a value it is the station's.
      o.version = true;
    } else if (name == "--station-version" || name == "--version") {
      const std::string text = value();
      const std::optional<std::uint32_t> v = ParseHexId(text);
      if (!v) throw EBusUsage(name + ": '" + text + "' is not 1 to 8 hexadecimal digits");
      o.timing.version = *v;
    } else if (name == "--answer-delay") {
      o.timing.answerDelay = Millis(name, value());
    } else if (name == "--ack-timeout") {
      o.timing.ackTimeout = Millis(name, value());
      if (o.timing.ackTimeout.count() == 0) throw EBusUsage(name + " must be at least 1 ms");
    } else if (name == "--sender-interval") {
      o.timing.senderInterval = Millis(name, value());
    } else if (name == "--senders") {
      for (const TSenderModule& m : ParseSenders(name, value())) o.senders.push_back(m);
    } else if (name == "--noise-rate") {
      o.timing.noiseRate = ParseReal(name, value(), 0, 1000);
    } else if (name == "--noise-prob") {
      o.timing.noiseProbability = ParseReal(name, value(), 0, 1);
    } else if (name == "--seed") {
      o.timing.seed = static_cast<std::uint32_t>(ParseWhole(name, value(), 0, 4294967295L));
      o.seedGiven = true;
    } else if (name == "--device") {
      o.device = value();
      if (o.device.empty()) throw EBusUsage(name + " needs a path");
    } else if (name == "--listen") {
      o.listen = value();
      const std::size_t colon = o.listen.rfind(':');
      if (colon == std::string::npos || colon == 0 || colon + 1 == o.listen.size())
        throw EBusUsage(name + ": '" + o.listen + "' must read HOST:PORT");
      ParseWhole(name, o.listen.substr(colon + 1), 0, 65535);
    } else if (name == "--baud") {
      o.baud = static_cast<int>(ParseWhole(name, value(), 50, 4000000));
    } else if (name == "--link-file") {
      o.linkFile = value();
      if (o.linkFile.empty()) throw EBusUsage(name + " needs a path");
    } else if (name == "--duration") {
      o.durationSeconds = ParseReal(name, value(), 0, 365.0 * 86400);
    } else {
      throw EBusUsage("unknown option '" + args[i] + "' (see --help)");
    }
  }
  if (!o.listen.empty() && !o.device.empty()) throw EBusUsage("--listen and --device exclude each other");
  return o;
}

std::string BusUsageText() {
  return R"(Usage: ardel-bus [OPTION]...
Plays up to sixteen bus stations and their sender modules on the far side of a
pseudo-terminal (or of a serial device), so that Ardel has a living link to talk to.
It prints the path of the end that Ardel opens as its first line, then one line per
telegram: "<-" received from Ardel, "->" sent, "!!" noise and errors, "--" notes.

Stations
  --data-file PATH      stations from a station data file in Ardel's format
                        (veskData.txt): a column with an SBI is a station
  --stations N          without a data file: N default stations 0.. (1-16, default 4),
                        SBIs FFFFFF80, FFFFFF00, FFFFFE80, ...
  --lrn LIST            stations in LRN-Mode, whose base ID may be changed
  --silent LIST         stations that never answer
  --changes S=N         station S has had its base ID changed N times (repeatable);
                        a station refuses more than 10 changes
  --station-version HEX version in the answer 8B B0 (default 01000000)
  --answer-delay MS     time before a station answers (default 20)
  LIST is station numbers 0-F separated by commas, or "all".

Sender modules
  --senders LIST        sender modules as STATION[:OFFSET], offset 0-7F hex, e.g.
                        0,1:7F (default: offset 0 of every station)
  --sender-interval MS  send a 6B 05 telegram every MS milliseconds (default 0: only
                        on the key 's')
  --ack-timeout MS      repeat a sender telegram when no AB AC for its ID comes
                        within MS (default 300); at most two repetitions

Noise
  --noise-rate R        noise events per second on average (default 0)
  --noise-prob P        chance 0-1 of a noise event before each telegram sent
  --seed N              seed of the noise and sender choices (default: the clock)
  A noise event is some random bytes, a cut telegram or a wrong checksum. A frame
  that noise leaves open is closed before the bus's next telegram, so noise costs
  one checksum error in Ardel but never the telegram after it.

Link and run
  --device PATH         use this serial device instead of a pseudo-terminal
  --baud N              line speed of --device (default 9600)
  --listen HOST:PORT    serve the bus over raw TCP instead, one client at a time
                        (Ardel's port socket://HOST:PORT; port 0 picks a free one);
                        the first line is then that URL
  --link-file PATH      also write the path of the end Ardel opens to PATH
  --duration SECONDS    stop after this time (default: run until SIGINT/SIGTERM)
  --quiet, -q           no line per telegram; only the path and the summary
  --help, -h            this text
  --version, -V         the program's version

Keys, when standard input is a terminal: s sender telegram, n noise, p station
states, q quit. A summary of the counts follows on exit.
)";
}

TSimStations StationsFromTable(const TStationTable& table, std::vector<std::string>& notes) {
  TSimStations stations{};
  for (int s = 0; s < kBusStations; ++s) {
    const std::string digit = std::string(1, "0123456789ABCDEF"[s]);
    const std::string sbiText = Trim(table.Cell(StationColumn(s), kSbiRow));
    if (sbiText.empty()) continue;
    const std::optional<std::uint32_t> sbi = ParseHexId(sbiText);
    if (!sbi) {
      notes.push_back("station " + digit + ": SBI '" + sbiText + "' is no ID, station left out");
      continue;
    }
    TSimStation& st = stations[static_cast<std::size_t>(s)];
    st.present = true;
    st.sbi = *sbi;
    for (int i = 0; i < kBusInfi; ++i) {
      st.infi[static_cast<std::size_t>(i)] = ParseHexId(Trim(table.Cell(StationColumn(s), InfiRow(i)))).value_or(0);
    }
  }
  return stations;
}

TBusConfig MakeBusConfig(const TBusOptions& options, std::vector<std::string>& notes) {
  TBusConfig config = options.timing;
  if (!options.dataFile.empty()) {
    TStationTable table;
    LoadStationTable(table, options.dataFile);
    config.stations = StationsFromTable(table, notes);
  } else {
    config.stations = DefaultStations(options.stationCount);
  }
  auto station = [&](const std::string& option, int s) -> TSimStation& {
    TSimStation& st = config.stations[static_cast<std::size_t>(s)];
    if (!st.present) {
      throw EBusUsage(option + ": there is no station " + std::string(1, "0123456789ABCDEF"[s]));
    }
    return st;
  };
  auto each = [&](const std::vector<int>& list, const std::string& option, auto apply) {
    for (int s : list) {
      if (s != kAllStations) {
        apply(station(option, s));
        continue;
      }
      for (TSimStation& st : config.stations) {
        if (st.present) apply(st);
      }
    }
  };
  each(options.lrnStations, "--lrn", [](TSimStation& st) { st.lrnMode = true; });
  each(options.silentStations, "--silent", [](TSimStation& st) { st.silent = true; });
  for (const auto& [s, count] : options.baseIdChanges) station("--changes", s).baseIdChanges = count;
  for (const TSenderModule& m : options.senders) station("--senders", m.station);
  config.senders = options.senders;
  if (std::none_of(config.stations.begin(), config.stations.end(), [](const TSimStation& st) { return st.present; })) {
    notes.push_back("no station is there: nothing will answer");
  }
  return config;
}

}  // namespace ardel
