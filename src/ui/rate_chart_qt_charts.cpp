// The chart drawn by Qt Charts.

#include <QChart>
#include <QChartView>
#include <QLegend>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <QVBoxLayout>
#include <array>

#include "ui/rate_chart.h"

namespace ardel::ui {

struct TRateChart::TImpl {
  QChartView* view = nullptr;
  QValueAxis* minutes = nullptr;
  QValueAxis* perSecond = nullptr;
  QValueAxis* percent = nullptr;
  std::array<QLineSeries*, kRateSeriesCount> series{};
};

TRateChart::TRateChart(QWidget* parent) : QWidget(parent), impl_(std::make_unique<TImpl>()) {
  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignTop);
  chart->setMargins(QMargins(2, 0, 2, 0));
  chart->setBackgroundRoundness(0);
  impl_->minutes = new QValueAxis(chart);
  impl_->minutes->setRange(-10, 0);
  impl_->minutes->setTickCount(11);
  impl_->minutes->setLabelFormat(QStringLiteral("%d"));
  impl_->minutes->setTitleText(QStringLiteral("minutes before now"));
  impl_->perSecond = new QValueAxis(chart);
  impl_->perSecond->setRange(0, 1);
  // The top is 1, 2 or 5 times a power of ten: five steps keep the labels round.
  impl_->perSecond->setTickCount(6);
  impl_->perSecond->setLabelFormat(QStringLiteral("%g"));
  impl_->perSecond->setTitleText(QStringLiteral("per second"));
  impl_->percent = new QValueAxis(chart);
  impl_->percent->setRange(0, 100);
  impl_->percent->setTickCount(6);
  impl_->percent->setLabelFormat(QStringLiteral("%d %%"));
  impl_->percent->setTitleText(QStringLiteral("load"));
  chart->addAxis(impl_->minutes, Qt::AlignBottom);
  chart->addAxis(impl_->perSecond, Qt::AlignLeft);
  chart->addAxis(impl_->percent, Qt::AlignRight);
  for (int i = 0; i < kRateSeriesCount; ++i) {
    const auto which = static_cast<TRateSeries>(i);
    auto* line = new QLineSeries(chart);
    line->setName(RateSeriesName(which));
    line->setPen(QPen(RateSeriesColor(which), 1.5));
    chart->addSeries(line);
    line->attachAxis(impl_->minutes);
    line->attachAxis(which == rsLoad ? impl_->percent : impl_->perSecond);
    impl_->series[static_cast<std::size_t>(i)] = line;
  }
  impl_->view = new QChartView(chart, this);
  impl_->view->setObjectName(QStringLiteral("RateChartView"));
  impl_->view->setRenderHint(QPainter::Antialiasing);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(impl_->view);
}

TRateChart::~TRateChart() = default;

void TRateChart::SetHistory(const std::vector<TLinkRates>& history) {
  for (int i = 0; i < kRateSeriesCount; ++i) {
    // One replace per series: appending point by point redraws each time.
    impl_->series[static_cast<std::size_t>(i)]->replace(RateSeriesPoints(history, static_cast<TRateSeries>(i)));
  }
  impl_->perSecond->setRange(0, RateAxisTop(Points(rsTelegrams), Points(rsErrors)));
}

QList<QPointF> TRateChart::Points(TRateSeries series) const {
  return impl_->series[static_cast<std::size_t>(series)]->points();
}

void TRateChart::paintEvent(QPaintEvent* event) { QWidget::paintEvent(event); }

}  // namespace ardel::ui
