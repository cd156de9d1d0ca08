#pragma once
// The main window: six pages of widgets bound to the core objects it owns.

#include <QWidget>
#include <exception>
#include <memory>

#include "link/link_log.h"
#include "link/receive_path.h"
#include "link/transmit_path.h"
#include "queue/queues.h"
#include "ui/error_dialog.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QLabel;
class QListView;
class QPushButton;
class QTabWidget;
class QVBoxLayout;

namespace ardel::ui {

class TLinkLogModel;
class TLinkLogView;
class TLineListModel;

struct TFormOptions {
  TClock clock = SystemClock();
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
};

}  // namespace ardel::ui
