#include "ui/status_bar.h"

#include <QLabel>
#include <QStatusBar>
#include <optional>

#include "app/ardel_app.h"
#include "ui/elided_label.h"

namespace ardel::ui {

namespace {

class TPortStatusView : public QObject, private IValueObserver {
 public:
  TPortStatusView(TValue<TPortStatus>& status, QStatusBar* bar, QObject* parent)
      : QObject(parent), status_(status) {
    port_ = Part(bar, "StatusBarPort", "port", 0);
    device_ = Part(bar, "StatusBarDevice", "device", 1);
    state_ = Part(bar, "StatusBarState", "port state", 2);
    counts_ = Part(bar, "StatusBarCounts", "telegrams since the start", 0);
    status_.AddObserver(this);
    ValueChanged();
  }
  ~TPortStatusView() override { status_.RemoveObserver(this); }

 private:
  // A part gives way rather than widen the window; its accessible name is what it is
  // and what it says, as in "device: /dev/ttyUSB0".
  static TElidedLabel* Part(QStatusBar* bar, const char* name, const char* what, int stretch) {
    auto* label = new TElidedLabel(bar);
    label->setObjectName(QString::fromLatin1(name));
    label->setProperty(kWhat, QString::fromLatin1(what));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(label, stretch);
    return label;
  }

  static void Show(TElidedLabel* label, const QString& text) {
    label->SetFullText(text);
    label->setAccessibleName(label->property(kWhat).toString() + QStringLiteral(": ") + text);
  }

  static constexpr const char* kWhat = "ardelWhat";

  void ValueChanged() override {
    const TPortStatus& status = status_.Value();
    // Every telegram changes the counts: the rest is only redone when it changed.
    if (shown_ && status.port == shown_->port && status.device == shown_->device && status.state == shown_->state &&
        status.reason == shown_->reason) {
      if (status.counts != shown_->counts) Show(counts_, QString::fromUtf8(LinkCountsText(status.counts)));
      shown_ = status;
      return;
    }
    shown_ = status;
    Show(port_, QString::fromUtf8(status.port));
    Show(device_, QString::fromUtf8(DeviceText(status)));
    Show(state_, QString::fromUtf8(PortStateText(status)));
    QPalette palette = state_->palette();
    palette.setColor(QPalette::WindowText, status.state == psOpen || status.state == psNotOpened
                                               ? QColor(0, 0, 0)
                                               : QColor(192, 0, 0));
    state_->setPalette(palette);
    Show(counts_, QString::fromUtf8(LinkCountsText(status.counts)));
  }

  TValue<TPortStatus>& status_;
  std::optional<TPortStatus> shown_;
  TElidedLabel* port_ = nullptr;
  TElidedLabel* device_ = nullptr;
  TElidedLabel* state_ = nullptr;
  TElidedLabel* counts_ = nullptr;
};

}  // namespace

QStatusBar* NewPortStatusBar(TArdelApp& app, QWidget* parent, QObject* bindings) {
  auto* bar = new QStatusBar(parent);
  bar->setObjectName(QStringLiteral("StatusBar1"));
  bar->setAccessibleName(QStringLiteral("port status"));
  bar->setSizeGripEnabled(false);
  new TPortStatusView(app.PortStatus(), bar, bindings);
  return bar;
}

}  // namespace ardel::ui
