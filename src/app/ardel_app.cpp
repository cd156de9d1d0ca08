#include "app/ardel_app.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>

#include "app/program_files.h"
#include "log/capture_settings.h"
#include "serial/port_device.h"
#include "stations/ini_file.h"
#include "util/names.h"
#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {

constexpr std::chrono::milliseconds kLogPollInterval{250};

namespace {

// Sets the port's name for one attempt and puts the other back however the attempt ends.
class TPortNameForNow {
 public:
  TPortNameForNow(TComPort& port, std::string name) : port_(port), kept_(std::move(port.Port)) {
    port_.Port = std::move(name);
  }
  ~TPortNameForNow() { port_.Port = std::move(kept_); }
  TPortNameForNow(const TPortNameForNow&) = delete;
  TPortNameForNow& operator=(const TPortNameForNow&) = delete;

 private:
  TComPort& port_;
  std::string kept_;
};

// Writes a new file at the name, or at the name with ".1", ".2" ... added where one is
// there already; never through a link, never over anything. Returns the name used.
// Throws EFileError.
std::string WriteBeside(const std::string& name, const std::string& content) {
  for (int n = 0; n < 1000; ++n) {
    const std::string path = n == 0 ? name : name + "." + std::to_string(n);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      throw EFileError("cannot write " + path + ": " + std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < content.size()) {
      const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        ::unlink(path.c_str());
        throw EFileError("cannot write " + path + ": " + reason);
      }
      done += static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0) throw EFileError("cannot write " + path + ": " + std::strerror(errno));
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
                [this](const std::string& text) { stationTab_.StationReports().TelegramTaken(text); },
                [this](std::size_t position) { stationTab_.StationReports().TimedOut(position); }}) {
  receivePath_.SetAckDecision([this](const TFrame& frame) { transmitPath_.AckDecision(frame); });
  // What the start-up sequence sets is unset until it runs.
  queues_.SetRepeatCntr(0);
  queues_.SetTransmitPermit(false);

  tickTimer_ = loop_.NewTimer(tkRepeating, [this] { Timer1Timer(); });
  tickTimer_->Start(std::chrono::milliseconds(tickInterval_.Value()));
  // The capture reaches its file at least once a second, whatever the tick's interval.
  logPollTimer_ = loop_.NewTimer(tkRepeating, [this] { linkLog_.Poll(); });
  logPollTimer_->Start(kLogPollInterval);

  SetUpComPort1();
  transmitPath_.SetWriter([this](std::string_view bytes) {
    ComPort1.SendString(bytes);
    CountLinkTraffic();
  });
  SetPortState(psNotOpened);
  WatchSerialDevices();
}

TArdelApp::~TArdelApp() = default;

void TArdelApp::SetUpComPort1() {
  // The receive thread gets the main thread to run a hand-over through the loop.
  ComPort1.SetWakeMainThread([this](std::function<void()> run) { loop_.Wake(std::move(run)); });
  // Otherwise the start-up sequence takes them from the configuration file.
  if (options_.portMap) ComPort1.SetPortMap(*options_.portMap);

  portRetryTimer_ = loop_.NewTimer(tkRepeating, [this] { ComPort1RetryTimer(); });

  ComPort1.Port = "COM1";
  ComPort1.ReceiveMode = rmRAW;
  ComPort1.ReceiveCallBack = [this](const std::string& data) {
    receivePath_.ComPort1ReceiveCallBack(data);
    CountLinkTraffic();
  };
  ComPort1.OnDeviceLost = [this](TComPort&, const std::string& reason) { ComPort1DeviceLost(reason); };
  ComPort1.OnHandlerError = [this](const std::string& text) { ShowErrorLater(text); };
  ComPort1.OnOutputDropped = [this](TComPort&, std::size_t bytes) { ComPort1OutputDropped(bytes); };
  // A telegram cut by a loss must not swallow the first good one after the port is back.
  ComPort1.OnPortOpen = [this](TComPort&) { receivePath_.ResetFramer(); };
  ShowPortChoices();
}

void TArdelApp::WatchSerialDevices() {
  const auto list = [this] {
    try {
      serialDevices_.Set(ListSerialDevices(options_.deviceRoot));
    } catch (const std::exception&) {
      // A list that cannot be read leaves the one before; a typed path still works.
    }
  };
  list();
  deviceWatch_ = std::make_unique<TDeviceWatch>(options_.deviceRoot);
  if (deviceWatch_->Fd() < 0) return;
  deviceWatching_ = loop_.WatchReadable(deviceWatch_->Fd(), [this, list] {
    if (deviceWatch_->Changed()) list();
  });
}

void TArdelApp::ShowPortChoices() {
  TPortChoices choices;
  for (int number = kComportMin; number <= kComportMax; ++number) {
    const std::string name = ComportName(number);
    TPortChoice& choice = choices[static_cast<std::size_t>(number - kComportMin)];
    choice.device = ResolvePortDevice(name, ComPort1.PortMap()).value_or("");
    choice.rs485 = PortWantsRs485(name, ComPort1.PortMap());
  }
  portChoices_.Set(choices);
}

void TArdelApp::SetPortState(TPortState state, std::string reason) {
  TPortStatus status = portStatus_.Value();
  status.port = portInUse_;
  status.device = ResolvePortDevice(portInUse_, ComPort1.PortMap()).value_or("");
  status.state = state;
  status.reason = std::move(reason);
  portStatus_.Set(std::move(status));
}

void TArdelApp::CountLinkTraffic() {
  TPortStatus status = portStatus_.Value();
  status.counts = {receivePath_.TelegramsReceived(), transmitPath_.TelegramsSent(), transmitPath_.AcksSent(),
                   receivePath_.ChecksumErrors()};
  portStatus_.Set(std::move(status));
}

void TArdelApp::ComPort1OutputDropped(std::size_t bytes) {
  // A burst of sends that find the queue full gives one line, once the loop gets to it.
  const bool first = droppedOutput_ == 0;
  droppedOutput_ += bytes;
  if (!first) return;
  loop_.Wake([this] {
    linkLog_.AppendLine(lkError, "E " + linkLog_.TimeStamp() + "   port " + portInUse_ + " (" + ComPort1.Device() +
                                     "): " + std::to_string(droppedOutput_) +
                                     " bytes dropped: the far end takes no data, and the output queue holds"
                                     " a few seconds of line time only");
    droppedOutput_ = 0;
  });
}

void TArdelApp::WritePortEntry(const std::string& key, const std::string& value) {
  if (configFileName_.empty()) {
    throw EFileError("cannot write " + key + " to [Ports]: there is no configuration file");
  }
  TIniFile config = TIniFile::Load(configFileName_);
  config.WriteString("Ports", key, value);
  WriteFileAtomically(configFileName_, config.Text());
  TPortMap map = ComPort1.PortMap();
  std::erase_if(map, [&](const auto& entry) { return SameName(entry.first, key); });
  map[key] = value;
  ComPort1.SetPortMap(std::move(map));
  ShowPortChoices();
}

void TArdelApp::ChoosePortDevice(int number, const std::string& device) {
  const std::string name = ComportName(HoldComport(number));
  const std::string trimmed(Trim(device));
  const bool changed = ResolvePortDevice(name, ComPort1.PortMap()) != trimmed;
  WritePortEntry(name, trimmed);
  if (changed && SameName(name, portInUse_)) ReopenPortInUse();
}

void TArdelApp::ChoosePortRs485(int number, bool on) {
  const std::string name = ComportName(HoldComport(number));
  const bool changed = PortWantsRs485(name, ComPort1.PortMap()) != on;
  WritePortEntry(name + ".rs485", on ? "1" : "0");
  if (changed && SameName(name, portInUse_)) ReopenPortInUse();
}

void TArdelApp::ReopenPortInUse() {
  portRetryTimer_->Stop();
  ComPort1.ClosePort();
  const TPortNameForNow inUse(ComPort1, portInUse_);
  OpenPortAtStart();
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
    ReadConfiguration();
    ComPort1.Port = options_.portName.empty() ? ComportName(portNumber_.Value()) : options_.portName;
    transmitPath_.Seed(static_cast<std::uint32_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    OpenPortAtStart();
    receivePath_.ResetFramer();
    stationTable_.WriteHeadings();
    queues_.SetRepeatCntr(kRepeatStart);
    queues_.SetTransmitPermit(true);
    if (options_.programDirectory.empty()) throw EFileError("cannot find the program directory");
    SetProgramDirectory(options_.programDirectory);
    LoadStationTable(StationFileName());
    LoadRuleSet(RuleSetPath());
    stationTab_.TabControl1Change();
    portWarning_.Set(false);
  } catch (const std::exception& e) {
    // Usually before the loop runs: the error waits for it.
    ShowErrorLater(e.what());
  }
}

void TArdelApp::OpenPortAtStart() {
  portInUse_ = ComPort1.Port;
  try {
    ComPort1.OpenPort();
    SetPortState(psOpen);
  } catch (const EComError& e) {
    // An adapter not plugged in yet is the common case: the rest of the start-up goes
    // on, and the port is tried again as if it had been lost.
    ShowErrorLater(e.what());
    SetPortState(psCannotOpen, OpenFailureReason(e.what()));
    const std::optional<std::string> device = ResolvePortDevice(ComPort1.Port, ComPort1.PortMap());
    PortGone(device.value_or(ComPort1.Port), "cannot be opened");
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
  if (!options_.portMap) {
    TPortMap map;
    for (auto& [name, device] : config.ReadSection("Ports")) map[name] = device;
    ComPort1.SetPortMap(std::move(map));
    ShowPortChoices();
  }
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
  ComPort1.Port = ComportName(number);
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

// The port binding: a device that went away is tried again until it is back.
void TArdelApp::ComPort1DeviceLost(const std::string& reason) {
  const bool retrying = PortGone(ComPort1.Device(), reason);
  SetPortState(retrying ? psLost : psLostForGood, reason);
}

bool TArdelApp::PortGone(const std::string& device, const std::string& reason) {
  // Not the name of the next start, which the operator may have chosen meanwhile.
  lostPort_ = portInUse_;
  lostDevice_ = device;
  std::string line = "E " + linkLog_.TimeStamp() + "   port " + lostPort_ + " (" + lostDevice_ + ") lost: " + reason;
  if (!MayReopenAfterLoss(lostDevice_)) {
    line += "; a pseudo-terminal's number passes to other programs, so it is not opened again";
    linkLog_.AppendLine(lkError, std::move(line));
    return false;
  }
  linkLog_.AppendLine(lkError, std::move(line));
  portRetryTimer_->Start(options_.portRetryInterval);
  return true;
}

void TArdelApp::ComPort1RetryTimer() {
  if (ComPort1.IsOpen()) {
    portRetryTimer_->Stop();
    return;
  }
  try {
    // The port that went away, even if the operator has chosen another for the next start.
    const TPortNameForNow lost(ComPort1, lostPort_);
    ComPort1.OpenPort();
  } catch (const EComError& e) {
    // Still gone: the log already says so, and the next attempt follows.
    if (portStatus_.Value().state == psCannotOpen) SetPortState(psCannotOpen, OpenFailureReason(e.what()));
  } catch (const std::exception& e) {
    ShowErrorLater(e.what());
  }
  if (!ComPort1.IsOpen()) return;
  portRetryTimer_->Stop();
  SetPortState(psOpen);
  linkLog_.AppendLine(lkInfo, "  " + linkLog_.TimeStamp() + "   port " + lostPort_ + " (" +
                                          ComPort1.Device() + ") is back");
}

}  // namespace ardel
