#include "ui/value_views.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabBar>

#include "ui/models.h"

namespace ardel::ui {

TValueSpinBox::TValueSpinBox(TValue<int>& value, QSpinBox* spin, std::function<void(const QString&)> edited,
                             QObject* parent)
    : QObject(parent), value_(value), spin_(spin) {
  ValueChanged();
  value_.AddObserver(this);
  connect(spin_, &QSpinBox::textChanged, this, [this, edited = std::move(edited)](const QString& text) {
    fromEdit_ = true;
    edited(text);
    fromEdit_ = false;
  });
}

TValueSpinBox::~TValueSpinBox() { value_.RemoveObserver(this); }

void TValueSpinBox::ValueChanged() {
  if (fromEdit_) return;
  const QSignalBlocker quiet(spin_);
  spin_->setValue(value_.Value());
}

TValueVisibility::TValueVisibility(TValue<bool>& value, QWidget* widget, QObject* parent)
    : QObject(parent), value_(value), widget_(widget) {
  ValueChanged();
  value_.AddObserver(this);
}

TValueVisibility::~TValueVisibility() { value_.RemoveObserver(this); }

void TValueVisibility::ValueChanged() { widget_->setVisible(value_.Value()); }

TValueTabBar::TValueTabBar(TValue<int>& value, QTabBar* tabs, std::function<void(int)> selected,
                           QObject* parent)
    : QObject(parent), value_(value), tabs_(tabs) {
  ValueChanged();
  value_.AddObserver(this);
  connect(tabs_, &QTabBar::currentChanged, this, [selected = std::move(selected)](int index) { selected(index); });
}

TValueTabBar::~TValueTabBar() { value_.RemoveObserver(this); }

void TValueTabBar::ValueChanged() {
  const QSignalBlocker quiet(tabs_);
  tabs_->setCurrentIndex(value_.Value());
}

TTextFieldLabel::TTextFieldLabel(TTextField& field, QLabel* label, QObject* parent, bool utf8)
    : QObject(parent), field_(field), label_(label), utf8_(utf8) {
  TextChanged();
  field_.AddObserver(this);
}

TTextFieldLabel::~TTextFieldLabel() { field_.RemoveObserver(this); }

void TTextFieldLabel::TextChanged() { label_->setText(utf8_ ? FromUtf8(field_.Text()) : FromBytes(field_.Text())); }

TTextFieldButton::TTextFieldButton(TTextField& field, QAbstractButton* button, QObject* parent, bool utf8)
    : QObject(parent), field_(field), button_(button), utf8_(utf8) {
  TextChanged();
  field_.AddObserver(this);
}

TTextFieldButton::~TTextFieldButton() { field_.RemoveObserver(this); }

void TTextFieldButton::TextChanged() {
  button_->setText(utf8_ ? FromUtf8(field_.Text()) : FromBytes(field_.Text()));
}

void ShowFieldValidity(QLineEdit* edit, bool valid, const QString& warning) {
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, valid ? QApplication::palette(edit).color(QPalette::Base) : QColor(255, 0, 0));
  edit->setPalette(palette);
  // The colour alone would not reach everyone.
  edit->setAccessibleDescription(valid ? QString() : warning);
}

}  // namespace ardel::ui
