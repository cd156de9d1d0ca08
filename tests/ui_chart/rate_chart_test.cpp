// Runs against the chart the window is built with, and again against the painted one
// where that is not it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <cmath>
#include <limits>

#include "ui/rate_chart.h"

namespace ardel::ui {
namespace {

using namespace std::chrono_literals;

const TOverviewTime kNow = TOverviewTime(std::chrono::seconds(1'800'000'000)) + 400ms;

TTelegramBody Body(std::uint32_t id) {
  return {0x6B, 0x05, 0, 0, 0, 0, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
          static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0};
}

TEST(RateChart, ShowsEachSecondOfTheHistoryInItsSeries) {
  // What happened how many seconds before now, and what each series is to show there.
  struct Case {
    int secondsAgo;
    int received;
    int sent;
    int checksumErrors;
    int timeouts;
  } cases[] = {
      {0, 3, 1, 0, 0},    // the newest second, at the right end
      {1, 0, 0, 2, 1},    // errors without traffic
      {59, 10, 0, 0, 0},  // a minute back
      {599, 0, 4, 0, 0},  // the oldest second still shown
  };
  TBusOverview overview;
  overview.SetBaud(9600);
  // A second older than ten minutes is gone from the chart.
  overview.Received(Body(0x1000), kNow - 600s);
  for (const Case& c : cases) {
    const TOverviewTime at = kNow - std::chrono::seconds(c.secondsAgo);
    for (int i = 0; i < c.received; ++i) {
      overview.BytesReceived(kWireSize - 1, at);  // received telegrams carry no trailer
      overview.Received(Body(0x1000), at);
    }
    for (int i = 0; i < c.sent; ++i) overview.Sent(Body(0x1000), false, at);
    for (int i = 0; i < c.checksumErrors; ++i) overview.ChecksumError(Body(0x1000), at);
    for (int i = 0; i < c.timeouts; ++i) overview.TimedOut(0x1000, at);
  }

  TRateChart chart;
  chart.SetHistory(overview.History(kNow));
  const QList<QPointF> telegrams = chart.Points(rsTelegrams);
  const QList<QPointF> errors = chart.Points(rsErrors);
  const QList<QPointF> load = chart.Points(rsLoad);
  ASSERT_EQ(telegrams.size(), 600);
  ASSERT_EQ(errors.size(), 600);
  ASSERT_EQ(load.size(), 600);
  EXPECT_DOUBLE_EQ(telegrams.front().x(), -599.0 / 60);
  EXPECT_DOUBLE_EQ(telegrams.back().x(), 0.0);
  double sumOfTelegrams = 0;
  for (const QPointF& p : telegrams) sumOfTelegrams += p.y();
  double expectedSum = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.secondsAgo);
    const auto at = static_cast<qsizetype>(599 - c.secondsAgo);
    EXPECT_NEAR(telegrams[at].x(), -c.secondsAgo / 60.0, 1e-9);
    EXPECT_DOUBLE_EQ(telegrams[at].y(), c.received + c.sent);
    EXPECT_DOUBLE_EQ(errors[at].y(), c.checksumErrors + c.timeouts);
    // Ten bits a byte at 9600 baud.
    const double bytes = c.received * (kWireSize - 1.0) + c.sent * double{kWireSize};
    EXPECT_NEAR(load[at].y(), 100.0 * bytes * 10 / 9600, 1e-9);
    expectedSum += c.received + c.sent;
  }
  EXPECT_DOUBLE_EQ(sumOfTelegrams, expectedSum);

  // A new history replaces the old one whole.
  chart.SetHistory(TBusOverview().History(kNow));
  for (const QPointF& p : chart.Points(rsTelegrams)) ASSERT_EQ(p.y(), 0.0);
}

TEST(RateChart, TheLeftAxisReachesAboveEveryPoint) {
  struct Case {
    double highest;
    double top;
  } cases[] = {
      {0, 1}, {0.4, 1}, {1, 1}, {1.01, 2}, {2.5, 5}, {5, 5}, {7, 10}, {64, 100}, {130, 200}, {999, 1000},
      // Neither hangs the window: a value that is no number is left out, one beyond all
      // measure stops the axis.
      {std::numeric_limits<double>::quiet_NaN(), 1}, {std::numeric_limits<double>::infinity(), 1e12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.highest);
    const QList<QPointF> one{QPointF(-1, 0), QPointF(0, c.highest)};
    const QList<QPointF> none{QPointF(-1, 0), QPointF(0, 0)};
    // Whichever series holds the highest point.
    EXPECT_DOUBLE_EQ(RateAxisTop(one, none), c.top);
    EXPECT_DOUBLE_EQ(RateAxisTop(none, one), c.top);
  }
}

// Pixels near the colour: antialiased lines blend into the background at their edges.
int PixelsOf(const QImage& grabbed, const QColor& colour) {
  const QImage image = grabbed.convertToFormat(QImage::Format_RGB32);
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = line[x];
      if (std::abs(qRed(c) - colour.red()) + std::abs(qGreen(c) - colour.green()) + std::abs(qBlue(c) - colour.blue()) <
          90) {
        ++count;
      }
    }
  }
  return count;
}

TEST(RateChart, DrawsEachLineWhereItsValuesAre) {
  // A series that swings between nothing and its top each second draws far more of its
  // colour than one that lies flat at nothing; the legend's marks are the same in both.
  auto history = [](TRateSeries swinging) {
    std::vector<TLinkRates> seconds(600);
    for (std::size_t i = 0; i < seconds.size(); i += 2) {
      if (swinging == rsTelegrams) seconds[i].telegramsReceived = 20;
      if (swinging == rsErrors) seconds[i].errors = 20;
      if (swinging == rsLoad) seconds[i].loadPercent = 90;
    }
    return seconds;
  };
  auto render = [](const std::vector<TLinkRates>& seconds) {
    TRateChart chart;
    chart.resize(640, 300);
    chart.SetHistory(seconds);
    chart.show();
    QApplication::processEvents();
    return chart.grab().toImage();
  };
  const QImage flat = render(std::vector<TLinkRates>(600));
  for (const TRateSeries series : {rsTelegrams, rsErrors, rsLoad}) {
    SCOPED_TRACE(RateSeriesName(series).toStdString());
    const QImage swinging = render(history(series));
    EXPECT_GT(PixelsOf(swinging, RateSeriesColor(series)), 3 * PixelsOf(flat, RateSeriesColor(series)) + 500);
  }
}

}  // namespace
}  // namespace ardel::ui
