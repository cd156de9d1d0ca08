#pragma once
// The standard file dialog for a file to write, behind an interface so tests can answer it.

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

// Gives the name it holds, and counts the questions.
class TFixedSaveFileDialog : public ISaveFileDialog {
 public:
  QString GetSaveFileName(QWidget*, const QString&, const QString&) override {
    ++asked;
    return answer;
  }
  QString answer;
  int asked = 0;
};

}  // namespace ardel::ui
