#include "cli/cli_options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "stations/station_commands.h"
#include "stations/station_table.h"

namespace ardel::cli {

namespace {

// "0".."F" as the station tabs are captioned, either case; 10..15 read as decimals too.
int StationFromText(const std::string& text) {
  if (text.size() == 1 && std::isxdigit(static_cast<unsigned char>(text[0]))) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 16));
  }
  if (text.size() == 2 && text[0] == '1' && text[1] >= '0' && text[1] <= '5') return 10 + (text[1] - '0');
  throw ECliUsage("'" + text + "' is not a station 0 to F");
}

TAckPolicy AckFromText(const std::string& text) {
  if (text == "always") return apAlways;
  if (text == "random") return apRandomly;
  if (text == "first") return apNeverUponFirst;
  if (text == "never") return apNever;
  throw ECliUsage("--ack: '" + text + "' is not always, random, first or never");
}

int CountFromText(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 1 || value > 1000000) {
    throw ECliUsage("--count: '" + text + "' is not a whole number from 1");
  }
  return static_cast<int>(value);
}

double SecondsFromText(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 1e7) {
    throw ECliUsage(option + ": '" + text + "' is not a number of seconds above 0");
  }
  return value;
}

// The signal buttons of "LED Out 0".
int SignalButton(const std::string& text) {
  if (text == "on") return 0;
  if (text == "flash") return 1;
  if (text == "off") return 2;
  throw ECliUsage("signal: '" + text + "' is not on, flash or off");
}

constexpr int kChangeNowButton = 3;

}  // namespace

TCliOptions ParseCliOptions(const std::vector<std::string>& arguments) {
  TCliOptions o;
  std::vector<std::string> words;
  bool haveDirectory = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= arguments.size()) throw ECliUsage(name + " needs a value");
      return arguments[++i];
    };
    auto flag = [&] {
      if (inlineValue) throw ECliUsage(name + " takes no value");
    };
    if (name == "--help" || name == "-h") {
      flag();
      o.help = true;
      return o;
    } else if (name == "--version") {
      flag();
      o.version = true;
      return o;
    } else if (name == "--dir") {
      o.directory = value();
      if (o.directory.empty()) throw ECliUsage("--dir needs a directory");
      if (haveDirectory) throw ECliUsage("--dir given twice");
      haveDirectory = true;
    } else if (name == "--port") {
      o.port = value();
      if (o.port.empty()) throw ECliUsage("--port needs a port");
    } else if (name == "--ack") {
      o.ack = AckFromText(value());
    } else if (name == "--no-rules") {
      flag();
      o.rules = false;
    } else if (name == "--json") {
      flag();
      o.json = true;
    } else if (name == "--debug") {
      flag();
      o.debugInfo = true;
    } else if (name == "--send") {
      o.sends.push_back(value());
    } else if (name == "--expect") {
      o.expects.push_back(value());
      if (o.expects.back().empty()) throw ECliUsage("--expect needs a pattern");
    } else if (name == "--count") {
      o.count = CountFromText(value());
    } else if (name == "--timeout") {
      o.timeoutSeconds = SecondsFromText(name, value());
    } else if (name == "--stats") {
      const std::string text = value();
      o.statsSeconds = SecondsFromText(name, text);
      // The timer counts whole milliseconds.
      if (*o.statsSeconds < 0.001) throw ECliUsage("--stats: '" + text + "' is less than a millisecond");
    } else if (name == "--stats-of") {
      o.statsOf = value();
      if (o.statsOf.empty()) throw ECliUsage("--stats-of needs a capture file");
    } else if (name.size() > 1 && name[0] == '-') {
      throw ECliUsage("unknown option '" + arguments[i] + "'");
    } else {
      words.push_back(arguments[i]);
    }
  }

  if (!o.statsOf.empty() && (!words.empty() || !o.sends.empty() || !o.expects.empty() || o.statsSeconds)) {
    throw ECliUsage("--stats-of reads a file and ends: it takes no command, --send, --expect or --stats");
  }
  if (words.empty()) return o;
  const std::string& command = words[0];
  std::size_t needed = 0;
  if (command == "read-infi") {
    o.subcommand = scReadInfi;
    needed = 2;
  } else if (command == "signal") {
    o.subcommand = scSignal;
    needed = 3;
  } else if (command == "change-base-id") {
    o.subcommand = scChangeBaseId;
    needed = 3;
  } else {
    throw ECliUsage("unknown command '" + command + "'");
  }
  if (words.size() != needed) {
    throw ECliUsage(command + " needs " +
                    (o.subcommand == scReadInfi      ? std::string("STATION")
                     : o.subcommand == scSignal       ? std::string("STATION on|flash|off")
                                                      : std::string("STATION NEWSBI")));
  }
  o.station = StationFromText(words[1]);
  if (o.subcommand == scSignal) o.button = SignalButton(words[2]);
  if (o.subcommand == scChangeBaseId) {
    o.button = kChangeNowButton;
    o.newSbi = words[2];
    if (o.newSbi.size() != 8 || !ParseHex32(o.newSbi)) {
      throw ECliUsage("change-base-id: '" + o.newSbi + "' is not an ID of 8 hexadecimal digits");
    }
  }
  if (!o.expects.empty() || !o.sends.empty()) {
    throw ECliUsage(command + " takes no --send or --expect");
  }
  return o;
}

std::string CliUsageText() {
  return R"(Usage: ardel-cli [OPTION]...
       ardel-cli [OPTION]... read-infi STATION
       ardel-cli [OPTION]... signal STATION on|flash|off
       ardel-cli [OPTION]... change-base-id STATION NEWSBI
Ardel without a window: the same program directory, port, receive path, command
queue and rule set as the window, the link log on standard output. Command strings
read from standard input, one per line, are queued as "send" on the tab "Test" does.

Files and port
  --dir DIR         the configuration file, the station data file and the rule-set
                    file are in DIR instead of beside the program file, as for ardel;
                    one program at a time may use a directory
  --port PORT       this port for this run: COM1..COM4 (as the configuration file's
                    [Ports] maps them), a device path, or a URL of the port layer;
                    the configured port number is kept
  --ack POLICY      acknowledge received telegrams: always (default), random (50%),
                    first (never upon the first), never
  --no-rules        do not evaluate the rule set
  --debug           the queue tick's "ok" lines and the rule trace in the log

Output
  --json            one JSON object per line: time (with milliseconds), kind
                    (sent, received, error, repeat, raw, ok, trace, note, info,
                    message), text, and for telegrams header, org, data, id, status
  Otherwise each link log line as the window shows it, in its colours when standard
  output is a terminal; the information field's lines as "info: ...", the message
  field's as "message: ...".

Sending and expecting
  --send COMMAND    queue this command string (repeatable)
  --expect PATTERN  wait for a received telegram whose telegram text the rule set's
                    wildcard pattern covers: * any run, ? one character (repeatable)
  --count N         each --expect needs N such telegrams (default 1)
  --timeout SECONDS end after this time: with --expect or a command as a failure,
                    otherwise as a normal end

Commands (as the tab "Stations" does; STATION is the tab 0..F)
  read-infi STATION            read the station's input filter into the data file
  signal STATION on|flash|off  switch the station's signal output
  change-base-id STATION NEWSBI
                               change the station's base ID (the station must be in
                               LRN-Mode); the outcome shows as "info: ..." lines
  A command ends when the station has answered all its commands (status 0) or one
  timed out (status 1).

Bus overview
  --stats SECONDS   every SECONDS and at the end, the bus overview: per ID seen on
                    the link its telegrams received, commands sent and repeated,
                    completed and timed out, ACKs, checksum errors that named it,
                    response times; the link's counts and load. A table on standard
                    error, or with --json one object per overview on standard output:
                    {"kind": "stats", "time", "link": {...}, "ids": [...]}
  --stats-of FILE   the bus overview of a capture file (table, or JSON with --json)
                    on standard output, then end

  --help            show this text and exit
  --version         show the version and exit

Without --expect and without a command, ardel-cli runs until SIGINT or SIGTERM,
which save the files as closing the window does; the end of standard input from a
terminal (Ctrl-D) ends it once the command queue is empty.

Exit status: 0 every expectation met or command answered, or a normal end;
1 time ran out (stderr names what was not met), a command timed out, or a file
could not be saved; 2 bad arguments, a port that cannot be opened or a program
directory in use.

Examples
  ardel-cli --port /dev/ttyUSB0
  ardel-cli --send "AB B0 00000000 FFFFFF80 00" --expect "8B B0 * FFFFFF80 *" --timeout 1
  echo "AB C0 00000000 FFFFFF80 FF" | ardel-cli --json --timeout 2
  ardel-cli --dir ~/.local/share/ardel read-infi 0
  ardel-cli change-base-id 1 FF800000
  ardel-cli --stats 10 --json
  ardel-cli --stats-of log/ardel-20261209-140500.log
)";
}

}  // namespace ardel::cli
