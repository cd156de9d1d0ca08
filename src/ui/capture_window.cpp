#include "ui/capture_window.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "log/link_log.h"
#include "log/overview_replay.h"
#include "ui/bus_overview_window.h"
#include "ui/error_dialog.h"
#include "ui/find_bar.h"
#include "ui/fonts.h"
#include "ui/models.h"
#include "ui/page.h"
#include "util/text_file.h"

namespace ardel::ui {
namespace {

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TCaptureModel::TCaptureModel(const TCaptureFile& file, QObject* parent) : QAbstractListModel(parent), file_(file) {}

int TCaptureModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(file_.Count());
}

QVariant TCaptureModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= file_.Count()) return {};
  const TCaptureLine& line = file_.Peek(static_cast<std::size_t>(index.row()));
  switch (role) {
    case Qt::DisplayRole:
      return FromView(line.text);
    case Qt::ForegroundRole: {
      const TColor color = KindColor(line.kind);
      return QColor(color.r, color.g, color.b);
    }
    case Qt::ToolTipRole:
      return FromView(line.time);
    default:
      return {};
  }
}

// A capture window stands on its own (`ardel --view`): its failures show in a dialog
// over it.
class TCaptureWindow::TErrorSink : public IErrorSink {
 public:
  explicit TErrorSink(QWidget* parent) : parent_(parent) {}
  void ShowError(std::string_view text, TTextEncoding encoding) override {
    const auto size = static_cast<qsizetype>(text.size());
    dialog_.ShowError(parent_, encoding == teLatin1 ? QString::fromLatin1(text.data(), size)
                                                    : QString::fromUtf8(text.data(), size));
  }

 private:
  QWidget* parent_;
  TMessageBoxErrorDialog dialog_;
};

TCaptureWindow::TCaptureWindow(std::unique_ptr<TCaptureFile> file, QWidget* parent)
    : QWidget(parent, Qt::Window), file_(std::move(file)), errors_(std::make_unique<TErrorSink>(this)) {
  setObjectName(QStringLiteral("CaptureWindow"));
  const QString name = QFileInfo(QFile::decodeName(file_->Path().c_str())).fileName();
  QString title = name + QStringLiteral(" (read-only)");
  if (!file_->FirstTime().empty()) {
    title = QStringLiteral("%1: %2 to %3 (read-only)")
                .arg(name, QString::fromStdString(file_->FirstTime()), QString::fromStdString(file_->LastTime()));
  }
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  note_ = new QLabel(this);
  note_->setObjectName(QStringLiteral("CaptureNote"));
  if (file_->Unreadable() > 0) {
    note_->setText(file_->Unreadable() == 1 ? QStringLiteral("1 line could not be read")
                                            : QStringLiteral("%1 lines could not be read").arg(file_->Unreadable()));
  } else {
    note_->hide();
  }
  model_ = new TCaptureModel(*file_, this);
  view_ = new TLinkLogView(this);
  view_->setObjectName(QStringLiteral("CaptureView"));
  view_->setFont(CourierNewPixels(11, true));
  view_->setModel(model_);
  view_->setAccessibleName(name);
  findBar_ = new TFindBar(*file_, model_, view_, this);
  auto* top = new QHBoxLayout;
  top->addWidget(note_, 1);
  auto* overview = new QPushButton(QStringLiteral("&bus overview..."), this);
  overview->setObjectName(QStringLiteral("ButtonCaptureOverview"));
  const QKeySequence overviewKeys(Qt::CTRL | Qt::Key_B);
  overview->setToolTip(QStringLiteral("Each ID's traffic, answers and response times in this capture, and the "
                                      "line's load at its end (%1)")
                           .arg(overviewKeys.toString(QKeySequence::NativeText)));
  top->addWidget(overview, 0, Qt::AlignRight);
  auto* shortcut = new QShortcut(overviewKeys, this);
  shortcut->setContext(Qt::WindowShortcut);
  auto ask = [this] { Guarded(*errors_, [this] { ButtonCaptureOverviewClick(); }); };
  connect(overview, &QPushButton::clicked, this, ask);
  connect(shortcut, &QShortcut::activated, this, ask);
  layout->addLayout(top);
  layout->addWidget(findBar_);
  layout->addWidget(view_, 1);
  resize(900, 600);
}

TCaptureWindow::~TCaptureWindow() {
  // The overview window shows what this one owns.
  delete overviewWindow_.data();
}

void TCaptureWindow::ButtonCaptureOverviewClick() {
  if (overviewWindow_ == nullptr) {
    if (overview_ == nullptr) {
      // Read once, from the file in large blocks: the lines this window holds are read
      // page by page as they are shown.
      auto overview = std::make_unique<TBusOverview>();
      TReplayResult result;
      std::string error;
      QApplication::setOverrideCursor(Qt::WaitCursor);
      const bool read = ReplayCaptureFile(file_->Path(), *overview, result, error);
      QApplication::restoreOverrideCursor();
      if (!read) throw EFileError(error);
      overview_ = std::move(overview);
      end_ = result.lastTime.value_or(TOverviewTime{});
    }
    TOverviewSource source;
    source.overview = overview_.get();
    source.stations = stations_;
    source.now = [this] { return end_; };
    source.findInLog = [this](const QString& pattern) {
      raise();
      activateWindow();
      findBar_->FindPattern(pattern);
    };
    source.folder = QFileInfo(QFile::decodeName(file_->Path().c_str())).absolutePath();
    overviewWindow_ = new TBusOverviewWindow(std::move(source), *errors_, nullptr, this);
    overviewWindow_->setWindowTitle(QStringLiteral("bus overview: %1").arg(windowTitle()));
  }
  overviewWindow_->Bring();
}

TCaptureWindow* TCaptureWindow::Open(const QString& path, QString& error, QWidget* parent) {
  auto file = std::make_unique<TCaptureFile>();
  const QByteArray local = QFile::encodeName(path);
  if (!file->Open(std::string(local.constData(), static_cast<std::size_t>(local.size())))) {
    error = QString::fromStdString(file->Error());
    return nullptr;
  }
  auto* window = new TCaptureWindow(std::move(file), parent);
  window->setAttribute(Qt::WA_DeleteOnClose);
  return window;
}

}  // namespace ardel::ui
