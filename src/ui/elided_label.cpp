#include "ui/elided_label.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QStyleOptionFrame>

namespace ardel::ui {

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
  // As wide as its text where there is room, narrower (cut) where there is not.
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void TElidedLabel::SetFullText(const QString& text) {
  setText(text);
  setToolTip(text);
}

QString TElidedLabel::ShownText() const {
  const int room = contentsRect().width();
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, room);
}

QSize TElidedLabel::minimumSizeHint() const {
  const QSize hint = QLabel::minimumSizeHint();
  return {fontMetrics().horizontalAdvance(QStringLiteral("M...M")), hint.height()};
}

void TElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOption option;
  option.initFrom(this);
  style()->drawItemText(&painter, contentsRect(), int(alignment()), option.palette, isEnabled(), ShownText(),
                        foregroundRole());
}

TElidedLineEdit::TElidedLineEdit(QWidget* parent) : QLineEdit(parent) { setReadOnly(true); }

void TElidedLineEdit::SetFullText(const QString& text) {
  // The capture's fields are shown again every second.
  if (text == fullText_ && toolTip() == text) return;
  fullText_ = text;
  setToolTip(text);
  ShowFitting();
}

void TElidedLineEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  ShowFitting();
}

void TElidedLineEdit::showEvent(QShowEvent* event) {
  QLineEdit::showEvent(event);
  ShowFitting();
}

void TElidedLineEdit::ShowFitting() {
  // Before the layout has given it a width, the field shows the whole text.
  QString shown = fullText_;
  if (isVisible()) {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QMargins margins = textMargins();
    // The field keeps a few pixels either side of its text.
    const int room = contents.width() - margins.left() - margins.right() - 4;
    shown = fontMetrics().elidedText(fullText_, Qt::ElideMiddle, room);
  }
  if (text() != shown) {
    setText(shown);
    setCursorPosition(0);
  }
}

}  // namespace ardel::ui
