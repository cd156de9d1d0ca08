#include "ui/elided_label.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

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

}  // namespace ardel::ui
