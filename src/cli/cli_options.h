#pragma once
// The command line of ardel-cli.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/transmit_path.h"

namespace ardel::cli {

// A command line that cannot be run; the text says why.
class ECliUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The station commands of the tab "Stations", one run each.
enum TSubcommand { scNone, scReadInfi, scSignal, scChangeBaseId };

struct TCliOptions {
  bool help = false;
  bool version = false;

  std::string directory;  // --dir as given
  std::string port;       // --port: empty for the configured one
  TAckPolicy ack = apAlways;
  bool rules = true;
  bool json = false;
  bool debugInfo = false;
  std::vector<std::string> sends;
  std::vector<std::string> expects;
  int count = 1;
  std::optional<double> timeoutSeconds;
  // The bus overview every this many seconds and at the end.
  std::optional<double> statsSeconds;
  // The bus overview of this capture file, and nothing else.
  std::string statsOf;

  TSubcommand subcommand = scNone;
  int station = 0;
  // Index into the station command buttons for signal and change-base-id.
  int button = 0;
  std::string newSbi;
};

// The arguments after the program name. Throws ECliUsage.
TCliOptions ParseCliOptions(const std::vector<std::string>& arguments);

std::string CliUsageText();

}  // namespace ardel::cli
