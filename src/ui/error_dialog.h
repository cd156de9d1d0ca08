#pragma once
// The modal error dialog with one OK button, behind an interface so another can stand in.

#include <QString>

class QWidget;

namespace ardel::ui {

class IErrorDialog {
 public:
  virtual ~IErrorDialog() = default;
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
};

class TMessageBoxErrorDialog : public IErrorDialog {
 public:
  void ShowError(QWidget* parent, const QString& text) override;
};

// Writes the text to the standard error, for when nobody may be there to press OK.
class TStandardErrorDialog : public IErrorDialog {
 public:
  void ShowError(QWidget* parent, const QString& text) override;
};

}  // namespace ardel::ui
