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
#include "queue/queues.h"
#include "serial/com_port.h"
#include "ui/error_dialog.h"

class QCheckBox;
class QTimer;
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
  // Port names to devices; when given, the configuration file is not asked.
  std::optional<std::map<std::string, std::string>> portMap;
  // Whether the window opens its port at start.
  bool openPort = true;
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
  // Last, so it closes first and no hand-over reaches a half-destroyed window.
  TComPort ComPort1;
};

}  // namespace ardel::ui
