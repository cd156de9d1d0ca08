#pragma once
// The main window: six pages of widgets bound to the core objects it owns.

#include <QWidget>
#include <exception>
#include <memory>

#include "link/link_log.h"
#include "link/receive_path.h"
#include "queue/queues.h"
#include "rules/rule_engine.h"
#include "rules/rule_set.h"
#include "ui/error_dialog.h"
#include "ui/text_views.h"
#include "util/text_lines.h"

class QCheckBox;
class QLabel;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QVBoxLayout;

namespace ardel::ui {

class TLinkLogModel;
class TLinkLogView;
class TLineListModel;

struct TFormOptions {
  TClock clock = SystemClock();
  // The directory of the program file with its trailing separator; the data files lie
  // there. Empty: not known, so nothing is saved there.
  std::string programDirectory;
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

  // Page "Test": the link log and its switches.
  void BuildTestPage(QWidget* page);
  void Button4Click();

  // Page "Command / replay -queue": the two lists and the transmit controls.
  void BuildQueuePage(QWidget* page);
  void ShowRepeatCntr(int value);

  // Core objects.
  TLinkLog linkLog_;
  TQueues queues_;
  TReceivePath receivePath_;

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

  // Page "Command / replay -queue".
  TLineListModel* commandModel_ = nullptr;
  TLineListModel* answerModel_ = nullptr;
  QListView* ListBox2 = nullptr;
  QListView* ListBox3 = nullptr;
  QLabel* Label16 = nullptr;
  QCheckBox* CheckBox3 = nullptr;  // AutoTransmit
  QPushButton* Button26 = nullptr;  // Single Transmit

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

  std::string programDirectory_;
  TRuleSet ruleSet_;
  TTextLines messageField_;
  TRuleEngine ruleEngine_;
  std::unique_ptr<TRuleSetEditorView> ruleSetEditor_;
  std::unique_ptr<TTextLinesView> messageFieldView_;
  QLabel* Label19 = nullptr;       // Ruleset:
  QCheckBox* CheckBox5 = nullptr;  // process Ruleset
  QPushButton* Button9 = nullptr;  // save Ruleset
  QPlainTextEdit* Memo2 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QLabel* Label20 = nullptr;        // Message Field:
  QPushButton* Button10 = nullptr;  // clr
  QPlainTextEdit* Memo3 = nullptr;
};

}  // namespace ardel::ui
