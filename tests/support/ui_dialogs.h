#pragma once
// Dialogs that answer without anyone there, for window tests and benchmarks.

#include <QString>
#include <QStringList>

#include "ui/error_dialog.h"
#include "ui/save_file_dialog.h"

namespace ardel::ui {

// Keeps what would have been shown.
class TRecordingErrorDialog : public IErrorDialog {
 public:
  void ShowError(QWidget*, const QString& text) override { shown << text; }
  QStringList shown;
};

// Gives the name it holds, and counts the questions and keeps the window that asked.
class TFixedSaveFileDialog : public ISaveFileDialog {
 public:
  QString GetSaveFileName(QWidget* parent, const QString&, const QString&) override {
    ++asked;
    askedBy = parent;
    return answer;
  }
  QString answer;
  int asked = 0;
  QWidget* askedBy = nullptr;
};

}  // namespace ardel::ui
