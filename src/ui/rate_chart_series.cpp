#include <algorithm>
#include <cmath>

#include "ui/rate_chart.h"

namespace ardel::ui {

QString RateSeriesName(TRateSeries series) {
  switch (series) {
    case rsTelegrams:
      return QStringLiteral("telegrams/s");
    case rsErrors:
      return QStringLiteral("errors/s");
    case rsLoad:
      return QStringLiteral("load %");
  }
  return {};
}

QColor RateSeriesColor(TRateSeries series) {
  // The link log's colours where they mean the same: blue for traffic, red for errors.
  switch (series) {
    case rsTelegrams:
      return QColor(0, 0, 255);
    case rsErrors:
      return QColor(255, 0, 0);
    case rsLoad:
      return QColor(0, 128, 0);
  }
  return {};
}

QList<QPointF> RateSeriesPoints(const std::vector<TLinkRates>& history, TRateSeries series) {
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(history.size()));
  const double newest = static_cast<double>(history.size()) - 1;
  for (std::size_t i = 0; i < history.size(); ++i) {
    const TLinkRates& r = history[i];
    const double y = series == rsTelegrams ? r.telegramsReceived + r.telegramsSent
                     : series == rsErrors  ? r.errors
                                           : r.loadPercent;
    points.append(QPointF((static_cast<double>(i) - newest) / 60.0, y));
  }
  return points;
}

double RateAxisTop(const QList<QPointF>& telegrams, const QList<QPointF>& errors) {
  double highest = 0;
  for (const QList<QPointF>* points : {&telegrams, &errors}) {
    for (const QPointF& p : *points) highest = std::max(highest, p.y());
  }
  // Neither a NaN nor an endless climb.
  if (!(highest <= 1e12)) highest = 1e12;
  for (double decade = 1;; decade *= 10) {
    for (double step : {1.0, 2.0, 5.0}) {
      if (step * decade >= highest) return step * decade;
    }
  }
}

}  // namespace ardel::ui
