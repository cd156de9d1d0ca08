// The link log's capture: where it goes (page "Setup"), the timer that writes it, and
// "save Log as..." (page "Test").

#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "log/log_save.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "util/text_file.h"

namespace ardel::ui {

QString TQtSaveFileDialog::GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory) {
  return QFileDialog::getSaveFileName(parent, caption, directory);
}

namespace {

// Paths are in the locale's encoding, UTF-8 here.
QString FromPath(const std::string& path) { return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())); }

}  // namespace

void TForm1::BuildLogSetup(QWidget* page, int row) {
  auto* folderLabel = new QLabel(QStringLiteral("Log folder:"), page);
  folderLabel->setObjectName(QStringLiteral("LabelLogFolder"));
  EditLogFolder = new QLineEdit(page);
  EditLogFolder->setObjectName(QStringLiteral("EditLogFolder"));
  EditLogFolder->setReadOnly(true);
  folderLabel->setBuddy(EditLogFolder);
  ButtonLogFolder = new QPushButton(QStringLiteral("open Log folder"), page);
  ButtonLogFolder->setObjectName(QStringLiteral("ButtonLogFolder"));
  connect(ButtonLogFolder, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonLogFolderClick(); }); });
  auto* fileLabel = new QLabel(QStringLiteral("Log file:"), page);
  fileLabel->setObjectName(QStringLiteral("LabelLogFile"));
  EditLogFile = new QLineEdit(page);
  EditLogFile->setObjectName(QStringLiteral("EditLogFile"));
  EditLogFile->setReadOnly(true);
  fileLabel->setBuddy(EditLogFile);
  setupLayout_->addWidget(folderLabel, row, 0);
  setupLayout_->addWidget(EditLogFolder, row, 1, 1, 2);
  setupLayout_->addWidget(ButtonLogFolder, row, 3, Qt::AlignLeft);
  setupLayout_->addWidget(fileLabel, row + 1, 0);
  setupLayout_->addWidget(EditLogFile, row + 1, 1, 1, 2);

  // The file changes when it rotates or a failed capture starts anew.
  logShowTimer_ = new QTimer(this);
  connect(logShowTimer_, &QTimer::timeout, this, [this] { ShowLogCapture(); });
  logShowTimer_->start(1000);
}

void TForm1::ShowLogCapture() {
  const TLogStore& store = app_->LinkLog().Store();
  const QString folder = FromPath(store.Settings().capture ? store.Settings().folder : std::string());
  if (EditLogFolder->text() != folder) EditLogFolder->setText(folder);
  const std::string path = store.CaptureFile();
  const QString file = FromPath(path.substr(path.rfind('/') + 1));
  if (EditLogFile->text() != file) EditLogFile->setText(file);
}

void TForm1::ButtonLogFolderClick() {
  const std::string& folder = app_->LinkLog().Store().Settings().folder;
  if (folder.empty()) throw EFileError("no log folder is known");
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(FromPath(folder)))) {
    throw EFileError("cannot open " + folder + " in the file manager");
  }
}

void TForm1::ButtonSaveLogClick() {
  const QString path = saveFileDialog_->GetSaveFileName(this, QStringLiteral("save Log as"),
                                                        FromPath(app_->LinkLog().Store().Settings().folder));
  if (path.isEmpty()) return;
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  for (const QItemSelectionRange& range : RichEdit1->selectionModel()->selection()) {
    ranges.emplace_back(static_cast<std::size_t>(range.top()), static_cast<std::size_t>(range.bottom()));
  }
  // Selected lines in the order of the log, each once.
  std::sort(ranges.begin(), ranges.end());
  std::vector<std::pair<std::size_t, std::size_t>> merged;
  for (const auto& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().second + 1) {
      merged.back().second = std::max(merged.back().second, range.second);
    } else {
      merged.push_back(range);
    }
  }
  const QByteArray name = path.toUtf8();
  SaveLogText(app_->LinkLog().Store(), merged, std::string(name.constData(), static_cast<std::size_t>(name.size())));
}

}  // namespace ardel::ui
