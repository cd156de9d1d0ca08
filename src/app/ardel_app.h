#pragma once
// One running Ardel without its window: the core objects and their wiring, the start-up
// and shut-down sequences, the queue tick's timer and the serial port that comes back
// after its device went away. A face (the window, a terminal) shows and edits what is
// here and calls the handlers; it holds no state of its own that the logic reads.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/capture_choice.h"
#include "app/event_loop.h"
#include "app/overview_feed.h"
#include "app/port_binding.h"
#include "app/port_status.h"
#include "app/queue_tick.h"
#include "app/station_tab.h"
#include "log/bus_overview.h"
#include "log/link_log.h"
#include "link/receive_path.h"
#include "link/transmit_path.h"
#include "queue/queues.h"
#include "rules/rule_engine.h"
#include "rules/rule_set.h"
#include "serial/com_port.h"
#include "serial/device_list.h"
#include "stations/configuration.h"
#include "stations/station_commands.h"
#include "stations/station_file.h"
#include "stations/station_table.h"
#include "stations/station_view.h"
#include "util/text_field.h"
#include "util/text_lines.h"
#include "util/value.h"

namespace ardel {

struct TAppOptions {
  TClock clock = SystemClock();
  // Where the start-up sequence finds the files: the program directory (the data files
  // lie there) and the configuration file. Empty: not known.
  std::string programDirectory;
  std::string configFileName;
  // Port names to devices; when given, the configuration file is not asked.
  std::optional<TPortMap> portMap;
  // The port for this run only, in place of "COM" and the configured number: a port
  // name or a device. The configured number stays as it is.
  std::string portName;
  // How often a port whose device went away is tried again.
  std::chrono::milliseconds portRetryInterval{1000};
  // Where the list of serial devices looks: "/" but in tests, which give a tree of their own.
  std::string deviceRoot = "/";
};

// Each station's SBI as the table has it; a cell that is no ID owns no block.
TStationBases OverviewStationsOf(const TStationTable& table);

class TArdelApp {
 public:
  // The loop and the sink outlive the program object. The tick runs from now on.
  TArdelApp(IEventLoop& loop, IErrorSink& errors, TAppOptions options = {});
  ~TArdelApp();
  TArdelApp(const TArdelApp&) = delete;
  TArdelApp& operator=(const TArdelApp&) = delete;

  // The sequences. Each ends at a failing step, whose text goes to the error sink (from
  // the start-up once the loop runs). The shut-down runs once, however often called,
  // and says whether it saved everything it was to save.
  void FormCreate();
  bool FormDestroy();
  // The operator chose another port number: the warning shows and the number is written
  // to the configuration file at once. Throws EFileError.
  void SpinEdit2Change(std::string_view text);
  // The operator edited the tick interval: the period starts again at once.
  void SpinEdit1Change(std::string_view text);
  // One run of the queue tick, as its timer runs it.
  void Timer1Timer();
  // Each queued command's end: answered or timed out.
  void AddOutcomeObserver(ICommandOutcomeObserver* observer) { tick_.AddOutcomeObserver(observer); }
  void RemoveOutcomeObserver(ICommandOutcomeObserver* observer) { tick_.RemoveOutcomeObserver(observer); }

  // "send": the command line into the queue. True when it is new to the list.
  bool SendCommandLine();
  // "save Ruleset": the line under the editor says where it went. Throws EFileError.
  void SaveRuleSetFile();
  // "<-": the preset, and at once the configuration file when the start-up named it,
  // so a preset is only ever written by the operator's own act. Throws EFileError.
  void SetPreset(int index, std::string text);

  // The program directory with its trailing separator; empty while it is not known.
  const std::string& ProgramDirectory() const { return programDirectory_; }
  void SetProgramDirectory(std::string directory);
  // The program directory followed by the name; empty while the directory is not known.
  std::string ProgramFilePath(std::string_view name) const;
  std::string StationFileName() const { return ProgramFilePath("veskData.txt"); }
  std::string RuleSetPath() const { return ProgramFilePath(TRuleSet::kFileName); }
  // Empty until the start-up sequence has named it.
  const std::string& ConfigFileName() const { return configFileName_; }
  // Throw EFileError and then leave the table or rule set as it was.
  void LoadStationTable(const std::string& fileName) { stationFile_.Load(stationTable_, fileName); }
  void LoadRuleSet(const std::string& path) { ruleSet_.Load(path); }
  void SaveRuleSet(const std::string& path) { ruleSet_.Save(path); }
  // Writes the data file, but never into an unset directory nor over a file that the
  // table did not come from. False when it was not written for that reason.
  bool SaveStationFile();

  // The core objects.
  TLinkLog& LinkLog() { return linkLog_; }
  // The capture as chosen for the next start.
  TCaptureChoice& CaptureChoice() { return captureChoice_; }
  TQueues& Queues() { return queues_; }
  TReceivePath& ReceivePath() { return receivePath_; }
  TTransmitPath& TransmitPath() { return transmitPath_; }
  TManualSend& ManualSend() { return manualSend_; }
  TStationTable& StationTable() { return stationTable_; }
  // The information field: the outcomes of station commands.
  TTextLines& Information() { return information_; }
  TStationFileGuard& StationFile() { return stationFile_; }
  TRuleSet& RuleSet() { return ruleSet_; }
  TRuleEngine& RuleEngine() { return ruleEngine_; }
  TTextLines& MessageField() { return messageField_; }
  // The tab "Stations": the displayed station and its command buttons.
  TStationTab& StationTab() { return stationTab_; }
  TComPort& ComPort() { return portBinding_->ComPort(); }
  // The bus at a glance, fed as the link runs.
  TBusOverview& Overview() { return overview_; }
  // Each station's SBI as the table has it now; a cell that is no ID owns no block.
  TStationBases OverviewStations() const;

  // What the faces show and edit.
  // The port number of the next start (1..4) and whether the warning that it takes a
  // new start shows.
  TValue<int>& PortNumber() { return portNumber_; }
  TValue<bool>& PortWarning() { return portWarning_; }
  // The tick interval in use, 25..2500 ms.
  TValue<int>& TickInterval() { return tickInterval_; }
  // The date and time of the last tick.
  TTextField& DateTime() { return dateTime_; }
  // The manual command line.
  TTextField& CommandLine() { return commandLine_; }
  // The line under the rule editor: where the rule set was saved last.
  TTextField& RuleSetSaved() { return ruleSetSaved_; }

  // The port in use, for the status bar; it follows every open, loss and count.
  TValue<TPortStatus>& PortStatus() { return portBinding_->PortStatus(); }
  // COM1..COM4 with their devices, as the configuration file's section [Ports] has them
  // (a port without an entry shows the device it falls back to).
  TValue<TPortChoices>& PortChoices() { return portBinding_->PortChoices(); }
  // The serial devices present, kept up to date as they come and go.
  TValue<std::vector<TSerialDevice>>& SerialDevices() { return portBinding_->SerialDevices(); }
  // The operator chose a device, or the RS485 mode, for a port (1..4): written to [Ports]
  // at once, and the port in use is opened again on it. Throws EFileError, before
  // anything has changed.
  void ChoosePortDevice(int number, const std::string& device) { portBinding_->ChoosePortDevice(number, device); }
  void ChoosePortRs485(int number, bool on) { portBinding_->ChoosePortRs485(number, on); }
  TPortBinding& PortBinding() { return *portBinding_; }

  const ITimer& TickTimer() const { return *tickTimer_; }
  const ITimer& PortRetryTimer() const { return portBinding_->PortRetryTimer(); }

  // Shown once the loop runs, so no dialog opens inside a constructor or a hand-over.
  void ShowErrorLater(std::string text);

 private:
  void SetUpComPort1();
  // Step 2 of the start-up: the port number, and the devices unless the options name them.
  void ReadConfiguration();
  // Step 11 of the start-up: a missing data file is reported and the start-up goes on.
  void LoadStationFileAtStart();
  // The link log's capture as the configuration file's section [Log] has it.
  void StartLogCapture();
  // What a refused save would have written goes beside the file; the sink says where.
  void KeepUnsaved(const std::string& path, const std::string& content);

  IEventLoop& loop_;
  IErrorSink& errors_;
  TAppOptions options_;
  bool destroyed_ = false;
  std::string configFileName_;
  std::string programDirectory_;
  TCaptureChoice captureChoice_{options_.configFileName};

  // Each after what it refers to, so each goes before it.
  TLinkLog linkLog_;
  TBusOverview overview_;
  TOverviewFeed overviewFeed_{overview_, options_.clock};
  TQueues queues_;
  TReceivePath receivePath_;
  TTransmitPath transmitPath_;
  TManualSend manualSend_;
  TStationTable stationTable_;
  TTextLines information_;
  TStationFileGuard stationFile_;
  TRuleSet ruleSet_;
  TTextLines messageField_;
  TRuleEngine ruleEngine_;
  TStationTab stationTab_;

  TValue<int> portNumber_{kComportDefault};
  TValue<bool> portWarning_{false};
  TValue<int> tickInterval_{kTickIntervalStart};
  TTextField dateTime_{"Date Time"};
  TTextField commandLine_;
  TTextField ruleSetSaved_;

  TQueueTick tick_;
  std::unique_ptr<ITimer> tickTimer_;
  std::unique_ptr<ITimer> logPollTimer_;

  // Last, so its port closes first and no hand-over reaches an object already gone.
  std::unique_ptr<TPortBinding> portBinding_;
};

}  // namespace ardel
