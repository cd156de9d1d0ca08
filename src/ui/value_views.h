#pragma once
// Widgets bound to the program's values: each shows the value, and an edit goes to the
// program's handler, which sets it.

#include <QObject>
#include <functional>

#include "util/text_field.h"
#include "util/value.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTabBar;
class QWidget;

namespace ardel::ui {

// A number and its spin box. While the handler of an edit runs, the box keeps what was
// typed, so a half-typed number is not overwritten.
class TValueSpinBox : public QObject, private IValueObserver {
  Q_OBJECT
 public:
  TValueSpinBox(TValue<int>& value, QSpinBox* spin, std::function<void(const QString& text)> edited,
                QObject* parent = nullptr);
  ~TValueSpinBox() override;

 private:
  void ValueChanged() override;

  TValue<int>& value_;
  QSpinBox* spin_;
  bool fromEdit_ = false;
};

// A switch shown as a widget's visibility.
class TValueVisibility : public QObject, private IValueObserver {
  Q_OBJECT
 public:
  TValueVisibility(TValue<bool>& value, QWidget* widget, QObject* parent = nullptr);
  ~TValueVisibility() override;

 private:
  void ValueChanged() override;

  TValue<bool>& value_;
  QWidget* widget_;
};

// The selected tab; a click goes to the handler.
class TValueTabBar : public QObject, private IValueObserver {
  Q_OBJECT
 public:
  TValueTabBar(TValue<int>& value, QTabBar* tabs, std::function<void(int index)> selected,
               QObject* parent = nullptr);
  ~TValueTabBar() override;

 private:
  void ValueChanged() override;

  TValue<int>& value_;
  QTabBar* tabs_;
};

// A text shown in a label: a byte text (Latin-1), or one for people (UTF-8).
class TTextFieldLabel : public QObject, private ITextFieldObserver {
  Q_OBJECT
 public:
  TTextFieldLabel(TTextField& field, QLabel* label, QObject* parent = nullptr, bool utf8 = false);
  ~TTextFieldLabel() override;

 private:
  void TextChanged() override;

  TTextField& field_;
  QLabel* label_;
  bool utf8_ = false;
};

// A text shown as a button's caption: a byte text (Latin-1), or one for people (UTF-8).
class TTextFieldButton : public QObject, private ITextFieldObserver {
  Q_OBJECT
 public:
  TTextFieldButton(TTextField& field, QAbstractButton* button, QObject* parent = nullptr, bool utf8 = false);
  ~TTextFieldButton() override;

 private:
  void TextChanged() override;

  TTextField& field_;
  QAbstractButton* button_;
  bool utf8_ = false;
};

// A hexadecimal field red while its text is not valid, with the warning for those who
// do not see the colour.
void ShowFieldValidity(QLineEdit* edit, bool valid, const QString& warning);

}  // namespace ardel::ui
