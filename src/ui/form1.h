#pragma once
// The main window: six pages of widgets bound to the program's objects.

#include <QWidget>
#include <chrono>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/ardel_app.h"
#include "ui/error_dialog.h"
#include "ui/find_bar.h"
#include "ui/qt_event_loop.h"
#include "ui/save_file_dialog.h"
#include "ui/text_views.h"

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

// The program's options, and whether creating the window runs the start-up sequence and
// destroying it the shut-down sequence. The program does; without them the window stays
// as a start-up that failed at its first step leaves it, and touches no file and no port.
struct TFormOptions : TAppOptions {
  bool runSequences = false;
};

// The key to the link log's colours, as rich text.
QString LinkLogColourKey();

class TForm1 : public QWidget, private IErrorSink {
  Q_OBJECT
 public:
  explicit TForm1(TFormOptions options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // Where failures are shown; the window keeps the default unless told otherwise.
  void SetErrorDialog(IErrorDialog* dialog) { errorDialog_ = dialog; }

  // The program this window shows.
  TArdelApp& App() { return *app_; }

  TLinkLog& LinkLog() { return app_->LinkLog(); }
  TQueues& Queues() { return app_->Queues(); }
  TReceivePath& ReceivePath() { return app_->ReceivePath(); }
  TTransmitPath& TransmitPath() { return app_->TransmitPath(); }
  TStationTable& StationTable() { return app_->StationTable(); }
  TDisplayedStation& DisplayedStation() { return app_->StationTab().DisplayedStation(); }
  TTextLines& Information() { return app_->Information(); }
  TStationFileGuard& StationFile() { return app_->StationFile(); }
  TRuleSet& RuleSet() { return app_->RuleSet(); }
  TRuleEngine& RuleEngine() { return app_->RuleEngine(); }
  TTextLines& MessageField() { return app_->MessageField(); }
  TStationCommandFields& StationCommandFields() { return app_->StationTab().StationCommandFields(); }
  TComPort& ComPort() { return app_->ComPort(); }

  // The receive callback bound to the serial port.
  void ComPort1ReceiveCallBack(std::string_view data) { app_->ReceivePath().ComPort1ReceiveCallBack(data); }
  // One telegram text taken from the answer list, through the rule set as the editor
  // holds it now.
  void RuleCheck(const std::string& telegramText) { app_->RuleEngine().RuleCheck(telegramText); }

  const std::string& ProgramDirectory() const { return app_->ProgramDirectory(); }
  void SetProgramDirectory(std::string directory) { app_->SetProgramDirectory(std::move(directory)); }
  std::string StationFileName() const { return app_->StationFileName(); }
  std::string RuleSetPath() const { return app_->RuleSetPath(); }
  const std::string& ConfigFileName() const { return app_->ConfigFileName(); }
  void LoadStationTable(const std::string& fileName) { app_->LoadStationTable(fileName); }
  void LoadRuleSet(const std::string& path) { app_->LoadRuleSet(path); }
  void SaveRuleSet(const std::string& path) { app_->SaveRuleSet(path); }

  // The handlers of the program, as the window calls them.
  void FormCreate() { app_->FormCreate(); }
  // True when it saved everything it was to save.
  bool FormDestroy() { return app_->FormDestroy(); }
  void Timer1Timer() { app_->Timer1Timer(); }
  void TabControl1Change() { app_->StationTab().TabControl1Change(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Runs a handler body; a failure is shown in the error dialog and the handler ends.
  template <typename F>
  void Guarded(F&& body) {
    try {
      body();
    } catch (const std::exception& e) {
      ShowError(e.what(), teUtf8);
    }
  }
  void ShowError(std::string_view text, TTextEncoding encoding) override;

  QWidget* NewPage(const QString& caption, const QString& objectName);

  TMessageBoxErrorDialog defaultErrorDialog_;
  IErrorDialog* errorDialog_ = &defaultErrorDialog_;
  bool runSequences_ = false;
  bool placed_ = false;
  // The loop before the program, the program before the bindings of its objects: each
  // goes after what refers to it.
  TQtEventLoop loop_;
  std::unique_ptr<TArdelApp> app_;
  std::unique_ptr<QObject> bindings_ = std::make_unique<QObject>();

  QTabWidget* PageControl1 = nullptr;

  // Page "Test": the link log and its switches, manual sending and the ACK policy.
  void BuildTestPage(QWidget* page);
  void Button4Click();
  void Button6Click();
  void PresetClick(int preset);
  void PresetSetClick(int preset);

  // Page "Command / replay -queue": the two lists and the transmit controls.
  void BuildQueuePage(QWidget* page);
  void ShowRepeatCntr(int value);

  // Page "Test".
  QVBoxLayout* testLayout_ = nullptr;
  QCheckBox* CheckBox1 = nullptr;  // raw reception
  QCheckBox* CheckBox2 = nullptr;  // Stop Loging
  QCheckBox* CheckBox4 = nullptr;  // Debug Info
  QCheckBox* CheckBox6 = nullptr;  // ms
  QLabel* Label23 = nullptr;       // raw reception's hint
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

  // Pages "Stations" and "Data".
  void BuildStationsPage(QWidget* page);
  void BuildDataPage(QWidget* page);
  // Recolours an SBI edit field after each change of its text.
  void Edit3Change(QLineEdit* edit);

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
  QPushButton* Button27 = nullptr;  // take the new SBI into the table

  // Page "Data".
  TStationTableModel* stationTableModel_ = nullptr;
  QTableView* StringGrid1 = nullptr;
  // Page "RuleSet": the rule editor, the rule evaluation and the message field.
  void BuildRuleSetPage(QWidget* page);
  void Button9Click();   // save Ruleset
  void Button10Click();  // clr (message field)

  std::unique_ptr<TRuleSetEditorView> ruleSetEditor_;
  std::unique_ptr<TTextLinesPlainText> messageFieldView_;
  QLabel* Label19 = nullptr;       // Ruleset:
  QCheckBox* CheckBox5 = nullptr;  // process Ruleset
  QPushButton* Button9 = nullptr;  // save Ruleset
  QPlainTextEdit* Memo2 = nullptr;
  QLabel* Label24 = nullptr;  // where the rule set was saved
  QSplitter* Splitter1 = nullptr;
  QLabel* Label20 = nullptr;        // Message Field:
  QPushButton* Button10 = nullptr;  // clr
  QPlainTextEdit* Memo3 = nullptr;
  // Page "Stations": the station commands beside the displayed station.
  // Fills the room that the page "Stations" leaves for the station commands.
  void BuildStationCommands();
  // The one handler of all thirteen command buttons; each button carries its command
  // template and tag as properties.
  void Button12Click(QAbstractButton* button);
  // "read INFI".
  void Button11Click();
  // Recolours the offset field after each change of its text.
  void Edit2Change();

  QPushButton* Button11 = nullptr;  // read INFI
  QGroupBox* ledOutGroup_ = nullptr;
  QGroupBox* changeBaseIdGroup_ = nullptr;
  QGroupBox* simulateTrtGroup_ = nullptr;
  QLineEdit* Edit4 = nullptr;  // new SBI
  QLineEdit* Edit2 = nullptr;  // offset

  // Page "Setup": the tick interval and the port number of the next start.
  void BuildSetupPage(QWidget* page);
  void SpinEdit1Change(const QString& text);
  void SpinEdit2Change(const QString& text);
  // The table "Ports": each port's device and RS485 mode, written at once.
  void BuildPortsTable(QWidget* page, int row);

  QSpinBox* SpinEdit1 = nullptr;  // Interval Time (ms)
  QGridLayout* setupLayout_ = nullptr;
  QSpinBox* SpinEdit2 = nullptr;  // ComPort (1..4)
  QLabel* Label18 = nullptr;      // the port warning

  // The link log's capture and "save Log as...".
 public:
  // Where "save Log as..." asks for its file; the window keeps the standard dialog
  // unless told otherwise.
  void SetSaveFileDialog(ISaveFileDialog* dialog) { saveFileDialog_ = dialog; }

 private:
  void BuildLogSetup(QWidget* page, int row);
  void ShowLogCapture();
  void ButtonLogFolderClick();
  void ButtonSaveLogClick();

  TQtSaveFileDialog defaultSaveFileDialog_;
  ISaveFileDialog* saveFileDialog_ = &defaultSaveFileDialog_;
  QTimer* logShowTimer_ = nullptr;
  QLineEdit* EditLogFolder = nullptr;
  QLineEdit* EditLogFile = nullptr;
  QPushButton* ButtonLogFolder = nullptr;  // open Log folder
  QPushButton* ButtonSaveLog = nullptr;    // save Log as...

  // Finding in the link log, and captures opened read-only.
 public:
  TFindBar* FindBarOfLog() const { return findBar_; }
  // Where "open capture..." asks for its file.
  void SetOpenFileDialog(IOpenFileDialog* dialog) { openFileDialog_ = dialog; }

 private:
  void ButtonOpenCaptureClick();

  TFindBar* findBar_ = nullptr;
  QPushButton* ButtonOpenCapture = nullptr;  // open capture...
  TQtOpenFileDialog defaultOpenFileDialog_;
  IOpenFileDialog* openFileDialog_ = &defaultOpenFileDialog_;
};

}  // namespace ardel::ui
