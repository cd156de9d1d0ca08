#include "ui/capture_window.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>

#include "log/link_log.h"
#include "ui/find_bar.h"
#include "ui/fonts.h"
#include "ui/models.h"

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

TCaptureWindow::TCaptureWindow(std::unique_ptr<TCaptureFile> file, QWidget* parent)
    : QWidget(parent, Qt::Window), file_(std::move(file)) {
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
  layout->addWidget(note_);
  layout->addWidget(findBar_);
  layout->addWidget(view_, 1);
  resize(900, 600);
}

TCaptureWindow::~TCaptureWindow() = default;

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
