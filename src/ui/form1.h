#pragma once
// The main window: six pages of widgets bound to the core objects it owns.

#include <QWidget>
#include <chrono>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "link/link_log.h"
#include "link/receive_path.h"
#include "link/transmit_path.h"
#include "queue/queue_tick.h"
#include "queue/queues.h"
#include "stations/station_commands.h"
#include "stations/station_file.h"
#include "stations/station_table.h"
#include "stations/station_view.h"
#include "rules/rule_engine.h"
#include "rules/rule_set.h"
#include "serial/com_port.h"
#include "ui/error_dialog.h"
#include "ui/save_file_dialog.h"
#include "ui/text_views.h"
#include "util/text_lines.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QSpinBox;
class QGroupBox;
class QHBoxLayout;
class QTimer;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTableView;
class QSplitter;
class QTabWidget;
class QVBoxLayout;

namespace ardel::ui {

class TLinkLogModel;
class TLinkLogView;
class TLineListModel;
class TStationTableModel;
class TTextLinesModel;
class TTextLinesPlainText;

struct TFormOptions {
  TClock clock = SystemClock();
  // Where the start-up sequence finds the files: the program directory with its trailing
  // separator (the data files lie there) and the configuration file. Empty: not known.
  std::string programDirectory;
  std::string configFileName;
  // Port names to devices; when given, the configuration file is not asked.
  std::optional<std::map<std::string, std::string>> portMap;
  // Whether creating the window runs the start-up sequence and destroying it the
  // shut-down sequence. The program does; without them the window stays as a start-up
  // that failed at its first step leaves it, and touches no file and no port.
  bool runSequences = false;
  // How often a port whose device went away is tried again.
  std::chrono::milliseconds portRetryInterval{1000};
};

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(TFormOptions options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // Where failures are shown; the window keeps the default unless told otherwise.
  void SetErrorDialog(IErrorDialog* dialog) { errorDialog_ = dialog; }

  TLinkLog& LinkLog() { return linkLog_; }
  TQueues& Queues() { return queues_; }
  TReceivePath& ReceivePath() { return receivePath_; }
  TTransmitPath& TransmitPath() { return transmitPath_; }

  // The receive callback bound to the serial port.
  void ComPort1ReceiveCallBack(std::string_view data) { receivePath_.ComPort1ReceiveCallBack(data); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Runs a handler body; a failure is shown in the error dialog and the handler ends.
  template <typename F>
  void Guarded(F&& body) {
    try {
      body();
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
  }
  void ShowError(const char* text);

  QWidget* NewPage(const QString& caption, const QString& objectName);

  // Page "Test": the link log and its switches, manual sending and the ACK policy.
  void BuildTestPage(QWidget* page);
  void Button4Click();
  void Button6Click();
  void PresetClick(int preset);
  void PresetSetClick(int preset);

  // Page "Command / replay -queue": the two lists and the transmit controls.
  void BuildQueuePage(QWidget* page);
  void ShowRepeatCntr(int value);

  // Core objects.
  TLinkLog linkLog_;
  TQueues queues_;
  TReceivePath receivePath_;
  TTransmitPath transmitPath_;
  TManualSend manualSend_;

  TMessageBoxErrorDialog defaultErrorDialog_;
  IErrorDialog* errorDialog_ = &defaultErrorDialog_;
  bool placed_ = false;

  QTabWidget* PageControl1 = nullptr;

  // Page "Test".
  QVBoxLayout* testLayout_ = nullptr;
  QCheckBox* CheckBox1 = nullptr;  // raw reception
  QCheckBox* CheckBox2 = nullptr;  // Stop Loging
  QCheckBox* CheckBox4 = nullptr;  // Debug Info
  QPushButton* Button4 = nullptr;  // clear Log
  TLinkLogModel* linkLogModel_ = nullptr;
  TLinkLogView* RichEdit1 = nullptr;
  QButtonGroup* ackPolicyButtons_ = nullptr;
  QLineEdit* Edit1 = nullptr;       // date and time
  QComboBox* ComboBox1 = nullptr;   // command line
  QPushButton* Button6 = nullptr;   // send
  QPushButton* presetButtons_[3] = {};     // Button5, Button3, Button2
  QPushButton* presetSetButtons_[3] = {};  // Button1, Button7, Button8: "<-"

  // Page "Command / replay -queue".
  TLineListModel* commandModel_ = nullptr;
  TLineListModel* answerModel_ = nullptr;
  QListView* ListBox2 = nullptr;
  QListView* ListBox3 = nullptr;
  QLabel* Label16 = nullptr;
  QCheckBox* CheckBox3 = nullptr;  // AutoTransmit
  QPushButton* Button26 = nullptr;  // Single Transmit

  // Pages "Stations" and "Data": the station table, the displayed station and the
  // information field.
 public:
  TStationTable& StationTable() { return stationTable_; }
  TDisplayedStation& DisplayedStation() { return displayedStation_; }
  // The information field (Memo1): the outcomes of station commands.
  TTextLines& Information() { return information_; }
  TStationFileGuard& StationFile() { return stationFile_; }
  // The program directory with its trailing separator; empty while it is not set.
  const std::string& ProgramDirectory() const { return programDirectory_; }
  void SetProgramDirectory(std::string directory) { programDirectory_ = std::move(directory); }
  // The program directory followed by "veskData.txt".
  std::string StationFileName() const { return programDirectory_ + "veskData.txt"; }
  // Replaces the table with the file; throws EFileError and then leaves the table.
  void LoadStationTable(const std::string& fileName) { stationFile_.Load(stationTable_, fileName); }
  // After a station tab switch: the heading and the selected tab's station.
  void TabControl1Change();
  // Recolours an SBI edit field after each change of its text.
  void Edit3Change(QLineEdit* edit);

 private:
  void BuildStationsPage(QWidget* page);
  void BuildDataPage(QWidget* page);
  // Before a station tab switch: the station being left into the table, then the file.
  void TabControl1Changing(int leaving);
  // Writes the data file, but never into an unset directory nor over a file that the
  // table did not come from.
  void SaveStationFile();

  TStationTable stationTable_;
  TDisplayedStation displayedStation_;
  TTextLines information_;
  TStationFileGuard stationFile_;
  std::string programDirectory_;
  // Parent of the views' bindings to the objects above, so that they go first when the
  // window goes and never reach into objects already destroyed.
  std::unique_ptr<QObject> stationBindings_ = std::make_unique<QObject>();

  // Page "Stations".
  QTabBar* TabControl1 = nullptr;
  QLabel* Label2 = nullptr;  // station heading
  QLineEdit* Edit3 = nullptr;  // SBI
  TTextLinesModel* infiModel_ = nullptr;
  QListView* ListBox1 = nullptr;  // INFI
  // Room for the "read INFI" button under the INFI list and for the command groups
  // beside the SBI field and INFI list.
  QHBoxLayout* readInfiArea_ = nullptr;
  QWidget* stationCommandsArea_ = nullptr;
  QVBoxLayout* stationCommandsLayout_ = nullptr;
  QPlainTextEdit* Memo1 = nullptr;  // information field
  QPushButton* ButtonClrMemo1 = nullptr;  // "clr"

  // Page "Data".
  TStationTableModel* stationTableModel_ = nullptr;
  QTableView* StringGrid1 = nullptr;
  // Page "RuleSet": the rule editor, the rule evaluation and the message field.
 public:
  TRuleSet& RuleSet() { return ruleSet_; }
  TRuleEngine& RuleEngine() { return ruleEngine_; }
  TTextLines& MessageField() { return messageField_; }
  // One telegram text taken from the answer list, through the rule set as the editor
  // holds it now.
  void RuleCheck(const std::string& telegramText) { ruleEngine_.RuleCheck(telegramText); }
  // The program directory + "veskRuleset.txt"; empty while the directory is not known.
  std::string RuleSetPath() const;
  // Throw EFileError. Saving never writes over a file that was not loaded or saved here.
  void LoadRuleSet(const std::string& path);
  void SaveRuleSet(const std::string& path);

 private:
  void BuildRuleSetPage(QWidget* page);
  void Button9Click();   // save Ruleset
  void Button10Click();  // clr (message field)

  TRuleSet ruleSet_;
  TTextLines messageField_;
  TRuleEngine ruleEngine_;
  std::unique_ptr<TRuleSetEditorView> ruleSetEditor_;
  std::unique_ptr<TTextLinesPlainText> messageFieldView_;
  QLabel* Label19 = nullptr;       // Ruleset:
  QCheckBox* CheckBox5 = nullptr;  // process Ruleset
  QPushButton* Button9 = nullptr;  // save Ruleset
  QPlainTextEdit* Memo2 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QLabel* Label20 = nullptr;        // Message Field:
  QPushButton* Button10 = nullptr;  // clr
  QPlainTextEdit* Memo3 = nullptr;
  // Page "Stations": the station commands beside the displayed station.
 public:
  TStationCommandFields& StationCommandFields() { return stationCommandFields_; }

 private:
  // Fills the room that the page "Stations" leaves for the station commands.
  void BuildStationCommands();
  // The one handler of all thirteen command buttons; each button carries its command
  // template and tag as properties.
  void Button12Click(QAbstractButton* button);
  // "read INFI".
  void Button11Click();
  // Recolours the offset field after each change of its text.
  void Edit2Change();

  TStationCommandFields stationCommandFields_;
  // Declared after the fields it binds, so it goes first.
  std::unique_ptr<QObject> commandBindings_ = std::make_unique<QObject>();
  QPushButton* Button11 = nullptr;  // read INFI
  QGroupBox* ledOutGroup_ = nullptr;
  QGroupBox* changeBaseIdGroup_ = nullptr;
  QGroupBox* simulateTrtGroup_ = nullptr;
  QLineEdit* Edit4 = nullptr;  // new SBI
  QLineEdit* Edit2 = nullptr;  // offset

  // The queue tick and its interval editor on the page "Setup".
 public:
  // One run of the queue tick, as the timer runs it.
  void Timer1Timer();
  QTimer* Timer() const { return Timer1; }

 private:
  void BuildSetupPage(QWidget* page);
  void SpinEdit1Change(const QString& text);

  std::unique_ptr<TQueueTick> tick_;
  QTimer* Timer1 = nullptr;
  QSpinBox* SpinEdit1 = nullptr;  // Interval Time (ms)
  QGridLayout* setupLayout_ = nullptr;

  // Serial port: the component and what keeps it going when its device comes and goes.
 public:
  TComPort& ComPort() { return ComPort1; }

 private:
  void SetUpComPort1(const TFormOptions& options);
  void ComPort1DeviceLost(const std::string& reason);
  void ComPort1RetryTimer();
  // Shown once the event loop runs, so no dialog opens inside a constructor or a hand-over.
  void ShowErrorLater(const std::string& text);

  QTimer* portRetryTimer_ = nullptr;
  std::string lostPort_;
  std::string lostDevice_;

  // Application shell: the start-up and shut-down sequences, the configuration file and
  // the port number on the page "Setup".
 public:
  // Each ends at a failing step, whose text goes to the error dialog (from the start-up
  // once the event loop runs). The shut-down sequence runs once, however often called.
  void FormCreate();
  void FormDestroy();
  // Empty until the start-up sequence has named it.
  const std::string& ConfigFileName() const { return configFileName_; }

 private:
  void SpinEdit2Change(const QString& text);
  // Step 2 of the start-up: the port number, and the devices unless the options name them.
  void ReadConfiguration();

  TFormOptions startUp_;
  bool runSequences_ = false;
  bool destroyed_ = false;
  std::string configFileName_;
  QSpinBox* SpinEdit2 = nullptr;  // ComPort (1..4)
  QLabel* Label18 = nullptr;      // the port warning

  // The link log's capture and "save Log as...".
 public:
  // Where "save Log as..." asks for its file; the window keeps the standard dialog
  // unless told otherwise.
  void SetSaveFileDialog(ISaveFileDialog* dialog) { saveFileDialog_ = dialog; }

 private:
  void StartLogCapture();
  void BuildLogSetup(QWidget* page, int row);
  void ShowLogCapture();
  void ButtonLogFolderClick();
  void ButtonSaveLogClick();

  TQtSaveFileDialog defaultSaveFileDialog_;
  ISaveFileDialog* saveFileDialog_ = &defaultSaveFileDialog_;
  QTimer* logPollTimer_ = nullptr;
  QLineEdit* EditLogFolder = nullptr;
  QLineEdit* EditLogFile = nullptr;
  QPushButton* ButtonLogFolder = nullptr;  // open Log folder
  QPushButton* ButtonSaveLog = nullptr;    // save Log as...

  // Last, so it closes first and no hand-over reaches a half-destroyed window.
  TComPort ComPort1;
};

}  // namespace ardel::ui
