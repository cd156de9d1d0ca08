#include "app/ardel_app.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>

#include "app/program_files.h"
#include "log/capture_settings.h"
#include "serial/port_device.h"
#include "util/file_io.h"
#include "util/ini_file.h"
#include "util/names.h"
#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {

constexpr std::chrono::milliseconds kLogPollInterval{250};

namespace {

// Writes a new file at the name, or at the name with ".1", ".2" ... added where one is
// there already; never through a link, never over anything. Returns the name used.
// Throws EFileError.
std::string WriteBeside(const std::string& name, const std::string& content) {
  for (int n = 0; n < 1000; ++n) {
    const std::string path = n == 0 ? name : name + "." + std::to_string(n);
    const int fd = CreateNewFile(path, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      throw EFileError("cannot write " + path + ": " + std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < content.size()) {
      const std::int64_t written = WriteAt(fd, content.data() + done, content.size() - done, done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const std::string reason = std::strerror(errno);
        CloseFile(fd);
        RemoveFile(path);
        throw EFileError("cannot write " + path + ": " + reason);
      }
      done += static_cast<std::size_t>(written);
    }
    if (!CloseFile(fd)) throw EFileError("cannot write " + path + ": " + std::strerror(errno));
    return path;
  }
  throw EFileError("cannot write " + name + ": too many of its kind");
}

}  // namespace

TArdelApp::TArdelApp(IEventLoop& loop, IErrorSink& errors, TAppOptions options)
    : loop_(loop),
      errors_(errors),
      options_(std::move(options)),
      linkLog_(options_.clock),
      receivePath_(linkLog_, queues_.Answers()),
      transmitPath_(linkLog_, receivePath_),
      ruleEngine_(ruleSet_, queues_, linkLog_, messageField_),
      stationTab_(queues_, stationTable_, information_, errors_,
                  {[this] { return SaveStationFile(); }, [this] { return StationFileName(); }}),
      commandLine_(manualSend_.List().front()),
      tick_(queues_, linkLog_, transmitPath_, stationTable_, stationTab_.DisplayedStation(), information_,
            TQueueTick::TOutputs{
                [this](const std::string& stamp) { dateTime_.SetText(stamp); },
                [this](const std::string& text) { ruleEngine_.RuleCheck(text); },
                [this](const std::string& text) {
                  overviewFeed_.TelegramTaken(text);
                  stationTab_.StationReports().TelegramTaken(text);
                },
                [this](std::size_t position) { stationTab_.StationReports().TimedOut(position); }}) {
  receivePath_.SetAckDecision([this](const TFrame& frame) { transmitPath_.AckDecision(frame); });
  receivePath_.SetTraffic(&overviewFeed_);
  transmitPath_.SetTraffic(&overviewFeed_);
  tick_.AddOutcomeObserver(&overviewFeed_);
  // What the start-up sequence sets is unset until it runs.
  queues_.SetRepeatCntr(0);
  queues_.SetTransmitPermit(false);

  tickTimer_ = loop_.NewTimer(tkRepeating, [this] { Timer1Timer(); });
  tickTimer_->Start(std::chrono::milliseconds(tickInterval_.Value()));
  // The capture reaches its file at least once a second, whatever the tick's interval.
  logPollTimer_ = loop_.NewTimer(tkRepeating, [this] { linkLog_.Poll(); });
  logPollTimer_->Start(kLogPollInterval);

  SetUpComPort1();
}

TArdelApp::~TArdelApp() = default;

void TArdelApp::SetUpComPort1() {
  TPortBindingOptions options;
  options.portMap = options_.portMap;
  options.retryInterval = options_.portRetryInterval;
  options.deviceRoot = options_.deviceRoot;
  portBinding_ = std::make_unique<TPortBinding>(loop_, linkLog_, receivePath_, transmitPath_,
                                                [this](std::string text) { ShowErrorLater(std::move(text)); },
                                                std::move(options));
  TComPort& port = portBinding_->ComPort();
  port.ReceiveMode = rmRAW;
  port.ReceiveCallBack = [this](const std::string& data) {
    receivePath_.ComPort1ReceiveCallBack(data);
    portBinding_->CountLinkTraffic();
  };
  // A telegram cut by a loss must not swallow the first good one after the port is back.
  port.OnPortOpen = [this](TComPort& opened) {
    receivePath_.ResetFramer();
    overview_.SetBaud(opened.Baud);
  };
  portBinding_->OnPortLost = [this] { overviewFeed_.PortLost(); };
  portBinding_->OnOutputDropped = [this](std::size_t bytes) { overviewFeed_.OutputDropped(bytes); };
  transmitPath_.SetWriter([this](std::string_view bytes) { return portBinding_->Send(bytes); });
}

void TArdelApp::ShowErrorLater(std::string text) {
  loop_.Wake([this, text = std::move(text)] { errors_.ShowError(text, teUtf8); });
}

// The start-up sequence.
void TArdelApp::FormCreate() {
  // Before anything that writes to the link log, so the capture has every line.
  StartLogCapture();
  // A failing step ends the sequence: the program runs on with what was set up before it.
  try {
    if (options_.configFileName.empty()) {
      throw EFileError("cannot find the program file, so there is no configuration file");
    }
    configFileName_ = options_.configFileName;
    portBinding_->SetConfigFileName(configFileName_);
    ReadConfiguration();
    portBinding_->SetNextStartName(options_.portName.empty() ? ComportName(portNumber_.Value()) : options_.portName);
    transmitPath_.Seed(static_cast<std::uint32_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    portBinding_->OpenPortAtStart();
    receivePath_.ResetFramer();
    stationTable_.WriteHeadings();
    queues_.SetRepeatCntr(kRepeatStart);
    queues_.SetTransmitPermit(true);
    if (options_.programDirectory.empty()) throw EFileError("cannot find the program directory");
    SetProgramDirectory(options_.programDirectory);
    LoadStationFileAtStart();
    LoadRuleSet(RuleSetPath());
    stationTab_.TabControl1Change();
    portWarning_.Set(false);
  } catch (const std::exception& e) {
    // Usually before the loop runs: the error waits for it.
    ShowErrorLater(e.what());
  }
}

// A folder on its first start has a rule set but no data file yet. Ending the start-up
// there would leave the rules unloaded and idle; the missing file is made at the
// shut-down instead. A file that is there but cannot be read still ends the start-up.
void TArdelApp::LoadStationFileAtStart() {
  const std::string fileName = StationFileName();
  try {
    LoadStationTable(fileName);
  } catch (const EFileError& e) {
    if (!TStationFileGuard::Absent(fileName)) throw;
    ShowErrorLater(std::string(e.what()) + "; the station table starts empty, and the file is written when Ardel closes");
  }
}

void TArdelApp::StartLogCapture() {
  if (options_.programDirectory.empty()) return;
  TIniFile config;
  try {
    if (!options_.configFileName.empty()) config = TIniFile::Load(options_.configFileName);
  } catch (const EFileError&) {
    // The next step reads the file again and reports it; the capture takes its defaults.
  }
  linkLog_.StartCapture(ReadCaptureSettings(config, WithTrailingSeparator(options_.programDirectory)));
}

void TArdelApp::ReadConfiguration() {
  TIniFile config;
  try {
    config = TIniFile::Load(configFileName_);
  } catch (const EFileError& e) {
    // The setting has its default; writing it later fails too, and says so.
    ShowErrorLater(e.what());
  }
  portBinding_->ReadPorts(config);
  captureChoice_.Load(config);
  for (int i = 0; i < TManualSend::kPresetCount; ++i) {
    if (std::optional<std::string> preset = ReadPreset(config, i)) manualSend_.SetPreset(i, std::move(*preset));
  }
  const int number = HoldComport(ReadComport(config));
  if (number == portNumber_.Value()) return;
  portNumber_.Set(number);
  // As for an operator's change, but a failure ends the start-up here.
  SpinEdit2Change(std::to_string(number));
}

void TArdelApp::SpinEdit2Change(std::string_view text) {
  portWarning_.Set(true);
  const int number = ComportFromText(text);
  portNumber_.Set(number);
  // The open port keeps its device; the name counts at the next start.
  portBinding_->SetNextStartName(ComportName(number));
  WriteComport(configFileName_, number);
}

// The shut-down sequence.
bool TArdelApp::FormDestroy() {
  if (destroyed_) return true;
  destroyed_ = true;
  try {
    // The displayed station is not stored first. Neither data file goes into a
    // directory that was never set, nor over a file that was never loaded: after a
    // failed start-up that file is still the operator's.
    // What they would have received is kept beside them instead.
    bool saved = true;
    if (!SaveStationFile()) {
      saved = false;
      KeepUnsaved(StationFileName(), StationFileText(stationTable_));
    }
    const std::string ruleSetPath = RuleSetPath();
    if (ruleSet_.MayWriteTo(ruleSetPath)) {
      SaveRuleSet(ruleSetPath);
    } else if (!ruleSetPath.empty()) {
      saved = false;
      KeepUnsaved(ruleSetPath, ruleSet_.FileText());
    }
    if (!configFileName_.empty()) WriteComport(configFileName_, portNumber_.Value());
    return saved;
  } catch (const std::exception& e) {
    errors_.ShowError(e.what(), teUtf8);
    return false;
  }
}

void TArdelApp::SpinEdit1Change(std::string_view text) {
  tickInterval_.Set(TickIntervalFromText(text));
  // Restarts the period at once.
  tickTimer_->Start(std::chrono::milliseconds(tickInterval_.Value()));
}

void TArdelApp::Timer1Timer() {
  // No dialog from here: a modal loop inside the tick would let the tick run again.
  try {
    tick_.Timer1Timer();
  } catch (const std::exception& e) {
    linkLog_.AppendLine(lkError, "E " + linkLog_.TimeStamp() + "   " + e.what());
  }
}

void TArdelApp::SetProgramDirectory(std::string directory) {
  programDirectory_ = WithTrailingSeparator(std::move(directory));
}

std::string TArdelApp::ProgramFilePath(std::string_view name) const {
  if (programDirectory_.empty()) return {};
  return programDirectory_ + std::string(name);
}

bool TArdelApp::SaveStationFile() {
  if (programDirectory_.empty()) return true;
  return stationFile_.Save(stationTable_, StationFileName());
}

void TArdelApp::KeepUnsaved(const std::string& path, const std::string& content) {
  const std::string kept = WriteBeside(path + ".unsaved", content);
  errors_.ShowError(ExtractFileName(path) + " was not written: it is not the file this program loaded, so it is not written over. What would have been saved is in " + kept, teUtf8);
}

bool TArdelApp::SendCommandLine() {
  const std::string text = commandLine_.Text();
  queues_.EnqueueCommand(text);
  return manualSend_.Remember(text);
}

void TArdelApp::SaveRuleSetFile() {
  const std::string path = RuleSetPath();
  if (path.empty()) {
    throw EFileError(std::string("cannot save ") + TRuleSet::kFileName + ": the program directory is not known");
  }
  SaveRuleSet(path);
  ruleSetSaved_.SetText("Ruleset saved to " + path + " at " + linkLog_.TimeStamp());
}

void TArdelApp::SetPreset(int index, std::string text) {
  manualSend_.SetPreset(index, text);
  if (!configFileName_.empty()) WritePreset(configFileName_, index, text);
}

}  // namespace ardel

namespace ardel {

TStationBases OverviewStationsOf(const TStationTable& table) {
  TStationBases bases;
  for (int station = 0; station < kStationCount; ++station) {
    const std::string& cell = table.Cell(StationColumn(station), kSbiRow);
    if (cell.empty() || cell.size() > 8) continue;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value, 16);
    if (error == std::errc() && end == cell.data() + cell.size()) bases[static_cast<std::size_t>(station)] = value;
  }
  return bases;
}

TStationBases TArdelApp::OverviewStations() const { return OverviewStationsOf(stationTable_); }

}  // namespace ardel
