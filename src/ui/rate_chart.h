#pragma once
// The line's last ten minutes as a chart: telegrams per second (both ways), errors per
// second (checksum errors and time-outs) and the load in percent. Two implementations
// behind this one header, chosen by the build: Qt Charts where the Qt has it
// (rate_chart_qt_charts.cpp), else the same lines painted by hand
// (rate_chart_painted.cpp).

#include <QColor>
#include <QList>
#include <QPointF>
#include <QWidget>
#include <memory>
#include <vector>

#include "log/bus_overview.h"

namespace ardel::ui {

enum TRateSeries { rsTelegrams, rsErrors, rsLoad };
constexpr int kRateSeriesCount = 3;

// What a series is called and drawn in, the same in both implementations.
QString RateSeriesName(TRateSeries series);
QColor RateSeriesColor(TRateSeries series);

// A point per second, oldest first: x in minutes before the newest second (-10 .. 0),
// y in the series' unit. Telegrams and errors share the left axis, the load has the
// right one (0 .. 100 %).
QList<QPointF> RateSeriesPoints(const std::vector<TLinkRates>& history, TRateSeries series);
// The top of the left axis: 1, 2 or 5 times a power of ten, at or above every point of
// telegrams and errors, and at least 1.
double RateAxisTop(const QList<QPointF>& telegrams, const QList<QPointF>& errors);

class TRateChart : public QWidget {
  Q_OBJECT
 public:
  explicit TRateChart(QWidget* parent = nullptr);
  ~TRateChart() override;

  // A second's rates each, oldest first, the newest last.
  void SetHistory(const std::vector<TLinkRates>& history);
  // What the chart shows of a series now.
  QList<QPointF> Points(TRateSeries series) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace ardel::ui
