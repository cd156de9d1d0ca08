// The application shell: the start-up and shut-down sequences and the port number of
// the next start.

#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <chrono>

#include "stations/configuration.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "util/text_file.h"

namespace ardel::ui {

void TForm1::FormCreate() {
  // Before any step that may fail: the capture holds the whole run.
  StartLogCapture();
  // A failing step ends the sequence: the window opens with what was set up before it.
  try {
    if (startUp_.configFileName.empty()) {
      throw EFileError("cannot find the program file, so there is no configuration file");
    }
    configFileName_ = startUp_.configFileName;
    ReadConfiguration();
    ComPort1.Port = ComportName(SpinEdit2->value());
    transmitPath_.Seed(static_cast<std::uint32_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    ComPort1.OpenPort();
    receivePath_.ResetFramer();
    stationTable_.WriteHeadings();
    queues_.SetRepeatCntr(kRepeatStart);
    queues_.SetTransmitPermit(true);
    std::string directory = startUp_.programDirectory;
    if (directory.empty()) throw EFileError("cannot find the program directory");
    if (directory.back() != '/') directory += '/';
    programDirectory_ = std::move(directory);
    LoadStationTable(StationFileName());
    LoadRuleSet(RuleSetPath());
    TabControl1Change();
    Label18->hide();
  } catch (const std::exception& e) {
    // Usually inside the constructor: the dialog waits for the event loop.
    ShowErrorLater(e.what());
  }
}

void TForm1::ReadConfiguration() {
  TIniFile config;
  try {
    config = TIniFile::Load(configFileName_);
  } catch (const EFileError& e) {
    // The setting has its default; writing it later fails too, and says so.
    ShowErrorLater(e.what());
  }
  if (!startUp_.portMap) {
    TPortMap map;
    for (auto& [name, device] : config.ReadSection("Ports")) map[name] = device;
    ComPort1.SetPortMap(std::move(map));
  }
  const int number = HoldComport(ReadComport(config));
  if (number == SpinEdit2->value()) return;
  {
    const QSignalBlocker quiet(SpinEdit2);
    SpinEdit2->setValue(number);
  }
  // As for an operator's change, but a failure ends the start-up here.
  SpinEdit2Change(SpinEdit2->text());
}

void TForm1::SpinEdit2Change(const QString& text) {
  Label18->show();
  const int number = ComportFromText(ToBytes(text));
  // The open port keeps its device; the name counts at the next start.
  ComPort1.Port = ComportName(number);
  WriteComport(configFileName_, number);
}

void TForm1::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  try {
    // The displayed station is not stored first. Neither data file goes into a
    // directory that was never set, nor over a file that was never loaded: after a
    // failed start-up that file is still the operator's.
    SaveStationFile();
    const std::string ruleSetPath = RuleSetPath();
    if (ruleSet_.MayWriteTo(ruleSetPath)) SaveRuleSet(ruleSetPath);
    if (!configFileName_.empty()) WriteComport(configFileName_, SpinEdit2->value());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

}  // namespace ardel::ui
