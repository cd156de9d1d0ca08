// The serial port of the window: its deliveries fed to the receive path, and opened
// again when its device comes back after going away.

#include <QMetaObject>
#include <QTimer>

#include "serial/port_device.h"
#include "ui/form1.h"

namespace ardel::ui {

void TForm1::SetUpComPort1(const TFormOptions& options) {
  // The receive thread gets the main thread to run a hand-over through the event loop.
  ComPort1.SetWakeMainThread([this](std::function<void()> run) {
    QMetaObject::invokeMethod(this, std::move(run), Qt::QueuedConnection);
  });
  // Otherwise the start-up sequence takes them from the configuration file.
  if (options.portMap) ComPort1.SetPortMap(*options.portMap);

  portRetryTimer_ = new QTimer(this);
  portRetryTimer_->setObjectName(QStringLiteral("ComPort1RetryTimer"));
  portRetryTimer_->setInterval(static_cast<int>(options.portRetryInterval.count()));
  connect(portRetryTimer_, &QTimer::timeout, this, [this] { ComPort1RetryTimer(); });

  ComPort1.Port = "COM1";
  ComPort1.ReceiveMode = rmRAW;
  ComPort1.ReceiveCallBack = [this](const std::string& data) { ComPort1ReceiveCallBack(data); };
  ComPort1.OnDeviceLost = [this](TComPort&, const std::string& reason) {
    ComPort1DeviceLost(reason);
  };
  ComPort1.OnHandlerError = [this](const std::string& text) { ShowErrorLater(text); };
}

void TForm1::ComPort1DeviceLost(const std::string& reason) {
  lostPort_ = ComPort1.Port;
  lostDevice_ = ComPort1.Device();
  std::string line = "E " + linkLog_.TimeStamp() + "   port " + lostPort_ + " (" + lostDevice_ + ") lost: " + reason;
  if (!MayReopenAfterLoss(lostDevice_)) {
    line += "; a pseudo-terminal's number passes to other programs, so it is not opened again";
    linkLog_.AppendLine(lkError, std::move(line));
    return;
  }
  linkLog_.AppendLine(lkError, std::move(line));
  portRetryTimer_->start();
}

void TForm1::ComPort1RetryTimer() {
  if (ComPort1.IsOpen()) {
    portRetryTimer_->stop();
    return;
  }
  // The port that went away, even if the operator has chosen another for the next start.
  const std::string chosen = ComPort1.Port;
  ComPort1.Port = lostPort_;
  try {
    ComPort1.OpenPort();
  } catch (const EComError&) {
    // Still gone: the log already says so, and the next attempt follows.
  }
  ComPort1.Port = chosen;
  if (!ComPort1.IsOpen()) return;
  portRetryTimer_->stop();
  linkLog_.AppendLine(lkInfo, "  " + linkLog_.TimeStamp() + "   port " + lostPort_ + " (" +
                                          ComPort1.Device() + ") is back");
}

void TForm1::ShowErrorLater(const std::string& text) {
  QTimer::singleShot(0, this, [this, text] { ShowError(text.c_str()); });
}

}  // namespace ardel::ui
