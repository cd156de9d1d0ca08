#pragma once
// The standard file dialog for a file to write, behind an interface so another can answer.

#include <QString>

class QWidget;

namespace ardel::ui {

class ISaveFileDialog {
 public:
  virtual ~ISaveFileDialog() = default;
  // Empty when the user cancels.
  virtual QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory) = 0;
};

class TQtSaveFileDialog : public ISaveFileDialog {
 public:
  QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory) override;
};

}  // namespace ardel::ui
