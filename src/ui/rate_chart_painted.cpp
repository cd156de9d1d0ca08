// The chart painted by hand, for a Qt without Qt Charts: the same three lines, axes and
// legend.

#include <QPainter>
#include <QLineF>
#include <array>

#include "ui/rate_chart.h"

namespace ardel::ui {

struct TRateChart::TImpl {
  std::array<QList<QPointF>, kRateSeriesCount> points;
  double top = 1;  // of the left axis
};

TRateChart::TRateChart(QWidget* parent) : QWidget(parent), impl_(std::make_unique<TImpl>()) {
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  setMinimumSize(320, 160);
}

TRateChart::~TRateChart() = default;

void TRateChart::SetHistory(const std::vector<TLinkRates>& history) {
  for (int i = 0; i < kRateSeriesCount; ++i) {
    impl_->points[static_cast<std::size_t>(i)] = RateSeriesPoints(history, static_cast<TRateSeries>(i));
  }
  impl_->top = RateAxisTop(Points(rsTelegrams), Points(rsErrors));
  update();
}

QList<QPointF> TRateChart::Points(TRateSeries series) const { return impl_->points[static_cast<std::size_t>(series)]; }

void TRateChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics metrics = fontMetrics();
  const int line = metrics.height();
  const int labelWidth = metrics.horizontalAdvance(QStringLiteral("100 %")) + 8;
  // Legend on top, minute labels and their title below, the two value axes aside.
  const QRectF plot(labelWidth, 2 * line, width() - 2 * labelWidth, height() - 5 * line);
  if (plot.width() < 10 || plot.height() < 10) return;
  const QColor text = palette().color(QPalette::Text);
  const QColor grid = palette().color(QPalette::Mid);

  // Legend: a stroke of each colour before its name.
  int x = static_cast<int>(plot.left());
  for (int i = 0; i < kRateSeriesCount; ++i) {
    const auto which = static_cast<TRateSeries>(i);
    painter.setPen(QPen(RateSeriesColor(which), 2));
    painter.drawLine(x, line, x + 20, line);
    painter.setPen(text);
    painter.drawText(x + 24, line + metrics.ascent() / 2 - 1, RateSeriesName(which));
    x += 24 + metrics.horizontalAdvance(RateSeriesName(which)) + 16;
  }

  auto atX = [&](double minutes) { return plot.left() + (minutes + 10.0) / 10.0 * plot.width(); };
  auto atY = [&](double value, double top) { return plot.bottom() - value / top * plot.height(); };

  // Grid and labels: a line each minute, five steps up each axis.
  painter.setPen(QPen(grid, 0, Qt::DotLine));
  for (int minute = -10; minute <= 0; ++minute) {
    painter.drawLine(QPointF(atX(minute), plot.top()), QPointF(atX(minute), plot.bottom()));
  }
  for (int step = 0; step <= 5; ++step) {
    const double y = plot.bottom() - step * plot.height() / 5;
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
  }
  painter.setPen(text);
  painter.drawRect(plot);
  for (int minute = -10; minute <= 0; minute += 2) {
    const QString label = QString::number(minute);
    painter.drawText(QPointF(atX(minute) - metrics.horizontalAdvance(label) / 2.0, plot.bottom() + line), label);
  }
  const QString title = QStringLiteral("minutes before now");
  painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(title) / 2.0, plot.bottom() + 2 * line + 2),
                   title);
  for (int step = 0; step <= 5; ++step) {
    const double y = plot.bottom() - step * plot.height() / 5 + metrics.ascent() / 2.0;
    const QString left = QString::number(impl_->top * step / 5, 'g', 3);
    painter.drawText(QPointF(plot.left() - 4 - metrics.horizontalAdvance(left), y), left);
    painter.drawText(QPointF(plot.right() + 4, y), QStringLiteral("%1 %").arg(step * 20));
  }

  // The lines, clipped to the plot.
  painter.setClipRect(plot);
  for (int i = 0; i < kRateSeriesCount; ++i) {
    const auto which = static_cast<TRateSeries>(i);
    const QList<QPointF>& points = impl_->points[static_cast<std::size_t>(i)];
    if (points.isEmpty()) continue;
    const double top = which == rsLoad ? 100.0 : impl_->top;
    QList<QLineF> segments;
    segments.reserve(points.size());
    QPointF from(atX(points.front().x()), atY(points.front().y(), top));
    for (const QPointF& p : points) {
      const QPointF to(atX(p.x()), atY(p.y(), top));
      segments.append(QLineF(from, to));
      from = to;
    }
    // Segments, not one path or polyline: a line that swings up and down each second is
    // otherwise stroked as one outline, which takes a second and more to paint.
    painter.setPen(QPen(RateSeriesColor(which), 1.5));
    painter.drawLines(segments);
  }
}

}  // namespace ardel::ui
