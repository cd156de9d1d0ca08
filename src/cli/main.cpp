// ardel-cli: the program without a window, on a poll() loop. Everything it does is
// TArdelApp's; this file only reads the command line, prints and ends.

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/ardel_app.h"
#include "app/poll_event_loop.h"
#include "app/program_files.h"
#include "app/quit_signals.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/console.h"
#include "cli/log_output.h"
#include "cli/stats_output.h"
#include "log/overview_replay.h"
#include "log/overview_report.h"
#include "stations/station_file.h"
#include "util/file_io.h"
#include "util/ini_file.h"
#include "util/directory_lock.h"
#include "util/text_encoding.h"
#include "util/text_file.h"
#include "version.h"

namespace {

using namespace ardel;

constexpr int kFailed = 1;
constexpr int kCannotRun = 2;

void PrintError(const std::string& utf8) {
  std::fprintf(stderr, "ardel-cli: %s\n", Utf8ToLocale(WithLineFeeds(utf8)).c_str());
  std::fflush(stderr);
}

class TTerminalErrors : public IErrorSink {
 public:
  void ShowError(std::string_view text, TTextEncoding encoding) override {
    PrintError(encoding == teLatin1 ? Latin1ToUtf8(text) : std::string(text));
  }
};

// The window's files: its program directory, and the configuration file named after
// the window's program file, so that both faces share all three.
std::optional<TProgramFiles> FilesOf(const cli::TCliOptions& options, bool create = true) {
  std::string directory;
  if (!options.directory.empty()) {
    directory = DirectoryFromArgument(options.directory, HomeDirectory(), WorkingDirectory());
    try {
      if (create) MakeDirectories(directory);
    } catch (const EFileError& e) {
      PrintError(e.what());
      return std::nullopt;
    }
  }
  const std::string self = ProgramFileName();
  return ProgramFilesFor(self.empty() ? std::string() : ExtractFilePath(self) + "ardel", directory);
}

// --stats-of: the overview of a capture file. The program directory's station data
// file, when there is one, tells the stations' blocks; nothing is locked or written.
int StatsOf(const cli::TCliOptions& options) {
  TStationBases bases{};
  if (const std::optional<TProgramFiles> files = FilesOf(options, false); files && !files->programDirectory.empty()) {
    try {
      TStationTable table;
      LoadStationTable(table, files->programDirectory + "veskData.txt");
      bases = OverviewStationsOf(table);
    } catch (const std::exception&) {
      // Without a data file every ID is of no station.
    }
  }
  TBusOverview overview;
  TReplayResult result;
  std::string error;
  if (!ReplayCaptureFile(options.statsOf, overview, result, error)) {
    PrintError(error);
    return kCannotRun;
  }
  if (result.unreadable > 0) {
    PrintError(std::to_string(result.unreadable) + " lines of " + options.statsOf +
               " are not capture lines and were left out");
  }
  const TOverviewTime end = result.lastTime.value_or(std::chrono::system_clock::now());
  const std::string text = options.json ? OverviewJson(overview, bases, end) : OverviewTable(overview, bases, end);
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : kFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
  cli::TCliOptions options;
  try {
    options = cli::ParseCliOptions(cli::Arguments(argc, argv));
  } catch (const cli::ECliUsage& e) {
    std::fprintf(stderr, "ardel-cli: %s\nTry 'ardel-cli --help'.\n", e.what());
    return kCannotRun;
  }
  if (options.help) {
    std::fputs(cli::CliUsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("ardel-cli %s\n", ARDEL_VERSION);
    return 0;
  }
  // The time stamps follow the user's locale.
  std::setlocale(LC_ALL, "");
  if (!options.statsOf.empty()) return StatsOf(options);
  cli::PrepareProcess();

  const std::optional<TProgramFiles> files = FilesOf(options);
  if (!files) return kCannotRun;
  TDirectoryLock lock;
  if (!files->programDirectory.empty()) {
    try {
      if (!lock.Acquire(files->programDirectory)) {
        PrintError(lock.RefusalText());
        return kCannotRun;
      }
    } catch (const EFileError& e) {
      // A file system without locks still lets the operator work.
      PrintError(std::string(e.what()) + "; going on without the lock");
    }
  }

  try {
    TPollEventLoop loop;
    TTerminalErrors errors;
    TAppOptions appOptions;
    appOptions.programDirectory = files->programDirectory;
    appOptions.configFileName = files->configFileName;
    appOptions.portName = options.port;
    TArdelApp app(loop, errors, appOptions);
    app.TransmitPath().SetPolicy(options.ack);
    app.RuleEngine().SetProcessRuleset(options.rules);
    app.LinkLog().Switches().debugInfo = options.debugInfo;

    cli::TOutputOptions output;
    output.json = options.json;
    output.colours = !options.json && cli::IsTerminal(stdout);
    const cli::TLogOutput log(app.LinkLog(), app.Information(), app.MessageField(), stdout, output);

    cli::TCliRun run(options, app, loop, cli::StandardInputFd(), cli::StandardInputIsTerminal(), stderr);
    // Installed before the start-up, so a signal during it waits for the loop.
    TQuitSignals quit(loop, [&](int) { run.Interrupted(); });
    app.FormCreate();
    // The start-up's failures are shown once the loop runs; here, that is now.
    loop.RunPending();
    if (!app.ComPort().IsOpen()) return kCannotRun;

    std::optional<cli::TStatsOutput> stats;
    if (options.statsSeconds) {
      stats.emplace(app, loop, std::chrono::milliseconds(std::llround(*options.statsSeconds * 1000)), options.json,
                    stdout, stderr);
    }
    run.Start();
    int status = loop.Run();
    if (stats) stats->Write();
    // As closing the window: the files are written, and a file that could not be is a
    // failure of the run.
    if (!app.FormDestroy() && status == 0) status = kFailed;
    return status;
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kCannotRun;
  }
}
