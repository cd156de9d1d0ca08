#include <gtest/gtest.h>

#include <QApplication>
#include <QBrush>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <filesystem>
#include <set>

#include "support/environment.h"
#include "support/event_loop.h"
#include "log/log_store.h"
#include "support/ui_dialogs.h"
#include "ui/bus_overview_model.h"
#include "log/overview_replay.h"
#include "ui/bus_overview_window.h"
#include "ui/capture_window.h"
#include "ui/find_bar.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "ui/rate_chart.h"
#include "util/text_file.h"

namespace ardel::ui {
namespace {

using namespace std::chrono_literals;

const TOverviewTime kNow = TOverviewTime(std::chrono::seconds(1'800'000'000)) + 250ms;

TTelegramBody Body(std::uint8_t header, std::uint8_t org, std::uint32_t id) {
  return {header, org, 0, 0, 0, 0, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
          static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0};
}

class TRecordingErrors : public IErrorSink {
 public:
  void ShowError(std::string_view text, TTextEncoding) override { shown.push_back(std::string(text)); }
  std::vector<std::string> shown;
};

// Station 0 at FFFFFF80, station 1 at 1000, station 2 without an SBI.
TStationBases Bases() {
  TStationBases bases{};
  bases[0] = 0xFFFFFF80;
  bases[1] = 0x00001000;
  return bases;
}

// A bus as a technician meets it: station 0 answers, station 1 is silent, a sender of
// no station talks, noise names an ID once with a wrong checksum.
void FeedBus(TBusOverview& overview, TOverviewTime now) {
  for (int i = 0; i < 3; ++i) {
    const TOverviewTime at = now - 30s + std::chrono::seconds(i);
    overview.Sent(Body(0xAB, 0xB4, 0xFFFFFF80), false, at);
    overview.Received(Body(0x8B, 0xB4, 0xFFFFFF80), at + 20ms);
    overview.Completed(0xFFFFFF80, at + 20ms);
  }
  overview.Sent(Body(0xAB, 0xC0, 0x00001000), false, now - 20s);
  overview.Sent(Body(0xAB, 0xC0, 0x00001000), true, now - 19s);
  overview.Sent(Body(0xAB, 0xC0, 0x00001000), true, now - 18s);
  overview.TimedOut(0x00001000, now - 17s);
  for (int i = 0; i < 5; ++i) {
    overview.Received(Body(0x6B, 0x05, 0x0055AA01), now - 5s);
    overview.AckSent(0x0055AA01, now - 5s);
  }
  overview.ChecksumError(Body(0x6B, 0x05, 0x00001005), now - 2s);
}

// A window on an overview of its own, at a fixed time.
struct TOverviewFixture {
  TBusOverview overview;
  TStationBases bases = Bases();
  TOverviewTime now = kNow;
  TRecordingErrors errors;
  TFixedSaveFileDialog saveDialog;
  std::vector<QString> found;
  std::unique_ptr<TBusOverviewWindow> window;

  explicit TOverviewFixture(std::size_t maxIds = TBusOverview::kMaxIds) : overview(maxIds) {
    TOverviewSource source;
    source.overview = &overview;
    source.stations = [this] { return bases; };
    source.now = [this] { return now; };
    source.findInLog = [this](const QString& pattern) { found.push_back(pattern); };
    window = std::make_unique<TBusOverviewWindow>(std::move(source), errors, &saveDialog);
  }
  QTableView* Table() const { return window->findChild<QTableView*>("IdTable"); }
  QPushButton* Button(const char* name) const { return window->findChild<QPushButton*>(name); }

  // The table as shown, top to bottom: the cells of the columns asked for, joined by "|".
  std::vector<std::string> Shown(std::initializer_list<int> columns) const {
    std::vector<std::string> rows;
    QAbstractItemModel* model = Table()->model();
    for (int r = 0; r < model->rowCount(); ++r) {
      QStringList cells;
      for (int c : columns) cells << model->index(r, c).data().toString();
      rows.push_back(cells.join('|').toStdString());
    }
    return rows;
  }
  std::vector<std::string> Ids() const {
    std::vector<std::string> ids;
    for (const std::string& row : Shown({ocId})) ids.push_back(row);
    return ids;
  }
  void SelectId(const QString& id) {
    QAbstractItemModel* model = Table()->model();
    for (int r = 0; r < model->rowCount(); ++r) {
      if (model->index(r, ocId).data().toString() == id) {
        Table()->selectRow(r);
        return;
      }
    }
    ADD_FAILURE() << "no row " << id.toStdString();
  }
  std::string SelectedId() const {
    const QModelIndexList rows = Table()->selectionModel()->selectedRows(ocId);
    return rows.size() == 1 ? rows.front().data().toString().toStdString() : std::string("(none)");
  }
};

TEST(BusOverviewWindow, EveryControlHasItsNameCaptionAndLabel) {
  struct Control {
    const char* name;
    const char* kind;
    const char* caption;  // as shown; null where the window sets none
    const char* label;    // the label whose buddy it is; null for a button
  } controls[] = {
      {"LinkRatesTable", "QTableWidget", nullptr, "LabelLinkRates"},
      {"EditLinkTotals", "QLineEdit", nullptr, "LabelLinkTotals"},
      {"SplitterOverview", "QSplitter", nullptr, nullptr},
      {"RateChart", "ardel::ui::TRateChart", nullptr, "LabelRateChart"},
      {"IdTable", "QTableView", nullptr, "LabelIdTable"},
      {"ButtonFindInLog", "QPushButton", "find in log", nullptr},
      {"ButtonExportCsv", "QPushButton", "export CSV...", nullptr},
      {"ButtonCloseOverview", "QPushButton", "close", nullptr},
  };
  TOverviewFixture f;
  f.window->show();
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    const QList<QWidget*> found = f.window->findChildren<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_EQ(found.size(), 1);
    QWidget* widget = found.front();
    EXPECT_TRUE(widget->inherits(c.kind)) << widget->metaObject()->className();
    if (c.caption != nullptr) {
      auto* button = qobject_cast<QPushButton*>(widget);
      ASSERT_NE(button, nullptr);
      EXPECT_EQ(QString(button->text()).remove('&'), QString::fromLatin1(c.caption));
    }
    if (c.label != nullptr) {
      auto* label = f.window->findChild<QLabel*>(QString::fromLatin1(c.label));
      ASSERT_NE(label, nullptr);
      EXPECT_EQ(label->buddy(), widget);
      EXPECT_TRUE(label->isVisible());
    }
  }
  // Nothing a person reaches with Tab or a click goes without a name.
  for (QWidget* w : f.window->findChildren<QWidget*>()) {
    const bool control = (w->focusPolicy() & Qt::TabFocus) && w->focusProxy() == nullptr && w->isVisible();
    if (!control || w->objectName().startsWith("qt_")) continue;
    const bool named = !w->objectName().isEmpty() || !w->parentWidget()->objectName().isEmpty();
    EXPECT_TRUE(named) << w->metaObject()->className();
  }
}

TEST(BusOverviewWindow, TheTableShowsEachIdsCountsByStation) {
  TOverviewFixture f;
  FeedBus(f.overview, f.now);
  f.window->Refresh();
  EXPECT_EQ(f.Shown({ocStation, ocOffset, ocId, ocState, ocReceived, ocSent, ocRepeats, ocCompleted, ocTimeouts,
                     ocAcks, ocChecksumErrors}),
            (std::vector<std::string>{
                "0|00|FFFFFF80|alive|3|3|0|3|0|0|0",
                "1|00|00001000|silent|0|1|2|0|1|0|0",
                "1|05|00001005|silent|0|0|0|0|0|0|1",
                "none||0055AA01|alive|5|0|0|0|0|5|0",
            }));
  // Only answered commands have response times: 20 ms from the last transmission.
  EXPECT_EQ(f.Shown({ocResponseMin, ocResponseMedian, ocResponseP95, ocResponseMax}),
            (std::vector<std::string>{"20.0|20.0|20.0|20.0", "|||", "|||", "|||"}));
  const std::vector<std::string> seen = f.Shown({ocFirstSeen, ocLastSeen});
  EXPECT_EQ(seen[0], CaptureTimeText(f.now - 30s) + "|" + CaptureTimeText(f.now - 28s + 20ms));

  // The rows follow the overview: new counts, a station's new SBI, a new ID in between.
  f.overview.Received(Body(0x8B, 0xC0, 0x00001000), f.now - 1s);
  f.overview.Received(Body(0x6B, 0x05, 0x00001002), f.now - 1s);
  f.bases[0].reset();
  f.window->Refresh();
  EXPECT_EQ(f.Shown({ocStation, ocOffset, ocId, ocState, ocReceived}),
            (std::vector<std::string>{
                "1|00|00001000|alive|1",
                "1|02|00001002|alive|1",
                "1|05|00001005|silent|0",
                "none||0055AA01|alive|5",
                "none||FFFFFF80|alive|3",
            }));
}

TEST(BusOverviewWindow, IdsBeyondTheLimitShowAsOneOtherRowAtTheEnd) {
  TOverviewFixture f(3);
  for (std::uint32_t id : {0x00001000u, 0x00000001u, 0xFFFFFF81u, 0x00000002u, 0x00000003u}) {
    f.overview.Received(Body(0x6B, 0x05, id), f.now - 1s);
  }
  f.window->Refresh();
  EXPECT_EQ(f.Shown({ocStation, ocId, ocReceived}),
            (std::vector<std::string>{"0|FFFFFF81|1", "1|00001000|1", "none|00000001|1", "|other|2"}));
  // "other" stands for many IDs: it has no pattern to find.
  f.SelectId("other");
  EXPECT_FALSE(f.Button("ButtonFindInLog")->isEnabled());
  f.SelectId("00000001");
  EXPECT_TRUE(f.Button("ButtonFindInLog")->isEnabled());
  f.Button("ButtonFindInLog")->click();
  EXPECT_EQ(f.found, std::vector<QString>{"?? ?? ???????? 00000001 *"});
}

TEST(BusOverviewWindow, SortingOrdersTheIdsWithinEachStation) {
  TOverviewFixture f(6);
  // Station 0: 80 (9 received), 81 (2), 82 (5, one time-out); station 1: 1000 (7), 1001
  // (0, two time-outs); no station: 0055AA01 (1); two more IDs make "other".
  auto feed = [&](std::uint32_t id, int received, int timeouts) {
    for (int i = 0; i < received; ++i) f.overview.Received(Body(0x6B, 0x05, id), f.now - 1s);
    for (int i = 0; i < timeouts; ++i) f.overview.TimedOut(id, f.now - 1s);
  };
  feed(0xFFFFFF80, 9, 0);
  feed(0xFFFFFF81, 2, 0);
  feed(0xFFFFFF82, 5, 1);
  feed(0x00001000, 7, 0);
  feed(0x00001001, 0, 2);
  feed(0x0055AA01, 1, 0);
  feed(0x00000007, 100, 0);
  feed(0x00000008, 100, 0);
  f.window->Refresh();
  struct Case {
    int column;
    Qt::SortOrder order;
    std::vector<std::string> ids;
  } cases[] = {
      {ocStation, Qt::AscendingOrder,
       {"FFFFFF80", "FFFFFF81", "FFFFFF82", "00001000", "00001001", "0055AA01", "other"}},
      // Stations turn round; the IDs of no station and "other" stay at the end.
      {ocStation, Qt::DescendingOrder,
       {"00001000", "00001001", "FFFFFF80", "FFFFFF81", "FFFFFF82", "0055AA01", "other"}},
      {ocReceived, Qt::DescendingOrder,
       {"FFFFFF80", "FFFFFF82", "FFFFFF81", "00001000", "00001001", "0055AA01", "other"}},
      {ocReceived, Qt::AscendingOrder,
       {"FFFFFF81", "FFFFFF82", "FFFFFF80", "00001001", "00001000", "0055AA01", "other"}},
      // Ties keep the IDs in order.
      {ocTimeouts, Qt::DescendingOrder,
       {"FFFFFF82", "FFFFFF80", "FFFFFF81", "00001001", "00001000", "0055AA01", "other"}},
      {ocId, Qt::DescendingOrder,
       {"FFFFFF82", "FFFFFF81", "FFFFFF80", "00001001", "00001000", "0055AA01", "other"}},
      {ocState, Qt::AscendingOrder,
       {"FFFFFF80", "FFFFFF81", "FFFFFF82", "00001001", "00001000", "0055AA01", "other"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "column " << c.column << (c.order == Qt::AscendingOrder ? " up" : " down"));
    f.Table()->sortByColumn(c.column, c.order);
    EXPECT_EQ(f.Ids(), c.ids);
  }
}

TEST(BusOverviewWindow, ARefreshKeepsTheSelectionAndTheSort) {
  TOverviewFixture f;
  FeedBus(f.overview, f.now);
  f.window->show();
  f.window->Refresh();
  f.Table()->sortByColumn(ocReceived, Qt::DescendingOrder);
  f.SelectId("00001005");
  ASSERT_EQ(f.SelectedId(), "00001005");
  // Counts only; then new IDs before and after the selected one, which moves down.
  struct Step {
    std::uint32_t id;
    int received;
  } steps[] = {{0xFFFFFF80, 1}, {0x00001001, 4}, {0x00001002, 2}, {0x00001005, 9}, {0xFFFFFF90, 1}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.id);
    for (int i = 0; i < step.received; ++i) f.overview.Received(Body(0x6B, 0x05, step.id), f.now - 1s);
    f.window->Refresh();
    EXPECT_EQ(f.SelectedId(), "00001005");
    EXPECT_EQ(f.Table()->horizontalHeader()->sortIndicatorSection(), ocReceived);
    EXPECT_EQ(f.Table()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
  }
  EXPECT_EQ(f.Ids(),
            (std::vector<std::string>{"FFFFFF80", "FFFFFF90", "00001005", "00001001", "00001002", "00001000",
                                      "0055AA01"}));
  // The window refreshes by itself while it is shown, and not once it is closed.
  f.overview.Received(Body(0x6B, 0x05, 0x00002000), f.now);
  EXPECT_TRUE(testing::PumpUntil([&] { return f.Table()->model()->rowCount() == 8; }, 3000));
  f.window->close();
  f.overview.Received(Body(0x6B, 0x05, 0x00003000), f.now);
  testing::PumpFor(2 * TBusOverviewWindow::kRefreshMs + 200);
  EXPECT_EQ(f.Table()->model()->rowCount(), 8);
}

TEST(BusOverviewWindow, AliveAndSilentAreToldApartInTextAndColour) {
  TOverviewFixture f;
  struct Case {
    std::uint32_t id;
    const char* what;
    std::function<void(TBusOverview&, std::uint32_t)> feed;
    const char* state;
  } cases[] = {
      {0x00001001, "answered a second ago", [&](TBusOverview& o, std::uint32_t id) {
         o.Received(Body(0x8B, 0xB4, id), f.now - 1s);
       }, "alive"},
      {0x00001002, "last heard just under a minute ago", [&](TBusOverview& o, std::uint32_t id) {
         o.Received(Body(0x8B, 0xB4, id), f.now - 59s);
       }, "alive"},
      {0x00001003, "last heard over a minute ago", [&](TBusOverview& o, std::uint32_t id) {
         o.Received(Body(0x8B, 0xB4, id), f.now - 61s);
       }, "silent"},
      {0x00001004, "only sent to, just now", [&](TBusOverview& o, std::uint32_t id) {
         o.Sent(Body(0xAB, 0xB4, id), false, f.now);
         o.TimedOut(id, f.now);
       }, "silent"},
      {0x00001005, "only a checksum error named it", [&](TBusOverview& o, std::uint32_t id) {
         o.ChecksumError(Body(0x8B, 0xB4, id), f.now);
       }, "silent"},
  };
  for (const Case& c : cases) c.feed(f.overview, c.id);
  f.window->Refresh();
  const std::vector<std::string> states = f.Shown({ocState});
  ASSERT_EQ(states.size(), std::size(cases));
  QAbstractItemModel* model = f.Table()->model();
  std::set<QRgb> colours[2];
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(states[i], cases[i].state);
    const QModelIndex state = model->index(static_cast<int>(i), ocState);
    const QBrush background = state.data(Qt::BackgroundRole).value<QBrush>();
    ASSERT_NE(background.style(), Qt::NoBrush);
    colours[states[i] == "alive"].insert(background.color().rgb());
  }
  // One colour each, and not the same one.
  ASSERT_EQ(colours[0].size(), 1u);
  ASSERT_EQ(colours[1].size(), 1u);
  EXPECT_NE(*colours[0].begin(), *colours[1].begin());
  // A minute on, everything is silent.
  f.now += 60s;
  f.window->Refresh();
  for (const std::string& state : f.Shown({ocState})) EXPECT_EQ(state, "silent");
}

TEST(BusOverviewWindow, TheLineShowsItsRatesAndCounts) {
  TOverviewFixture f;
  f.overview.SetBaud(9600);
  // 30 telegrams in the last 10 s, 30 more a few minutes back; a drop and a loss.
  for (int i = 0; i < 30; ++i) {
    f.overview.BytesReceived(15, f.now - std::chrono::seconds(i % 10));
    f.overview.Received(Body(0x6B, 0x05, 0x1000), f.now - std::chrono::seconds(i % 10));
    f.overview.BytesReceived(15, f.now - 300s);
    f.overview.Received(Body(0x6B, 0x05, 0x1000), f.now - 300s);
  }
  f.overview.Sent(Body(0xAB, 0xB4, 0x1000), false, f.now - 30s);
  f.overview.ChecksumError(Body(0x6B, 0x05, 0x1000), f.now - 1s);
  f.overview.OutputDropped(42, f.now);
  f.overview.PortLost(f.now);
  f.window->Refresh();
  auto* rates = f.window->findChild<QTableWidget*>("LinkRatesTable");
  ASSERT_NE(rates, nullptr);
  auto cell = [&](int row, int column) { return rates->item(row, column)->text().toStdString(); };
  // Rows: 10 s, a minute, 10 minutes; columns: telegrams in and out, bytes in and out,
  // load, errors.
  EXPECT_EQ(cell(0, 0), "3.00");
  EXPECT_EQ(cell(1, 0), "0.50");
  EXPECT_EQ(cell(2, 0), "0.10");
  EXPECT_EQ(cell(0, 1), "0.00");
  EXPECT_EQ(cell(1, 1), "0.02");  // one in 60 s
  EXPECT_EQ(cell(0, 2), "45.0");
  EXPECT_EQ(cell(0, 4), "4.7");  // 450 bits a second of 9600
  EXPECT_EQ(cell(0, 5), "0.10");
  const QString totals = f.window->findChild<QLineEdit*>("EditLinkTotals")->text();
  for (const char* part : {"received 60 telegrams (900 bytes)", "sent 1 (15 bytes)", "1 checksum errors",
                           "42 bytes of output dropped", "1 port losses"}) {
    EXPECT_TRUE(totals.contains(QString::fromLatin1(part))) << part << " in " << totals.toStdString();
  }
  // The chart has the same history.
  auto* chart = f.window->findChild<TRateChart*>("RateChart");
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->Points(rsTelegrams).back().y(), f.overview.History(f.now).back().telegramsReceived);
  EXPECT_EQ(chart->Points(rsTelegrams).size(), 600);
  // A screen reader hears the newest second.
  EXPECT_EQ(chart->accessibleDescription().toStdString(), "last second: 3 telegrams/s, 0 errors/s, load 4.7 %");
}

TEST(BusOverviewWindow, ExportWritesTheRowsAndSaysWhenItCannot) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString readOnly = dir.filePath("read-only.csv");
  {
    QFile file(readOnly);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("kept\n");
  }
  ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  struct Case {
    const char* what;
    QString answer;
    bool written;    // the file holds the rows
    bool error;      // an error names the file
  } cases[] = {
      {"a new file", dir.filePath("overview.csv"), true, false},
      {"over an older export", dir.filePath("overview.csv"), true, false},
      {"a folder that is not there", dir.filePath("missing/overview.csv"), false, true},
      {"a folder in the file's place", dir.path(), false, true},
      {"a file without write permission", readOnly, false, true},
      {"cancelled", QString(), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TOverviewFixture f;
    FeedBus(f.overview, f.now);
    f.window->Refresh();
    f.saveDialog.answer = c.answer;
    f.Button("ButtonExportCsv")->click();
    EXPECT_EQ(f.saveDialog.asked, 1);
    EXPECT_EQ(f.saveDialog.askedBy, f.window.get());
    if (c.written) {
      EXPECT_EQ(ReadWholeFile(QFile::encodeName(c.answer).toStdString()), OverviewCsv(f.overview.Rows(f.bases)));
    }
    if (c.error) {
      ASSERT_EQ(f.errors.shown.size(), 1u);
      EXPECT_NE(f.errors.shown.front().find(QFile::encodeName(c.answer).toStdString()), std::string::npos)
          << f.errors.shown.front();
    } else {
      EXPECT_TRUE(f.errors.shown.empty()) << f.errors.shown.front();
    }
  }
  EXPECT_EQ(ReadWholeFile(QFile::encodeName(readOnly).toStdString()), "kept\n");
  EXPECT_FALSE(QDir(dir.filePath("missing")).exists());
}

// The main window with the link log on a port that is not there.
struct TFormFixture {
  TRecordingErrorDialog errors;
  TFixedSaveFileDialog saveDialog;
  std::unique_ptr<TForm1> form;
  TFormFixture() {
    TFormOptions options;
    options.saveFileDialog = &saveDialog;
    form = std::make_unique<TForm1>(options);
    form->SetErrorDialog(&errors);
  }
  QList<TBusOverviewWindow*> Windows() const { return form->findChildren<TBusOverviewWindow*>(); }
  QTabWidget* Pages() const { return form->findChild<QTabWidget*>("PageControl1"); }
};

TEST(BusOverviewWindow, TheButtonAndTheShortcutOpenOneWindowAndBringItBack) {
  TFormFixture f;
  TForm1& form = *f.form;
  form.resize(1024, 700);
  form.show();
  QApplication::setActiveWindow(&form);
  auto* button = form.findChild<QPushButton*>("ButtonBusOverview");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "&bus overview...");
  EXPECT_TRUE(button->toolTip().contains(QKeySequence(Qt::CTRL | Qt::Key_B).toString(QKeySequence::NativeText)))
      << button->toolTip().toStdString();
  EXPECT_TRUE(f.Windows().isEmpty());

  auto pressShortcut = [&] {
    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_B, Qt::ControlModifier);
  };
  struct Step {
    const char* what;
    std::function<void()> before;  // what the operator did to the window first
    std::function<void()> ask;
  } steps[] = {
      {"the button", [] {}, [&] { button->click(); }},
      {"the button again while it is open", [] {}, [&] { button->click(); }},
      {"the shortcut after closing it", [&] { f.Windows().front()->close(); }, pressShortcut},
      {"the shortcut from the tab Stations", [&] {
         f.Windows().front()->close();
         f.Pages()->setCurrentIndex(0);
       }, pressShortcut},
      {"the button after minimizing it", [&] {
         f.Pages()->setCurrentIndex(2);
         f.Windows().front()->showMinimized();
       }, [&] { button->click(); }},
  };
  TBusOverviewWindow* first = nullptr;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.before();
    step.ask();
    QApplication::processEvents();
    ASSERT_EQ(f.Windows().size(), 1);
    TBusOverviewWindow* window = f.Windows().front();
    if (first == nullptr) first = window;
    EXPECT_EQ(window, first);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_FALSE(window->isMinimized());
    // It blocks nothing: the main window takes its clicks as before.
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // It fits the screen the main window was made for.
    EXPECT_LE(window->width(), 1024);
    EXPECT_LE(window->height(), 700);
    EXPECT_GE(window->width(), 640);
  }
  EXPECT_TRUE(f.errors.shown.isEmpty());
  // The main window goes, and the overview with it, before the program it shows.
  f.form.reset();
}

TEST(BusOverviewWindow, FindInLogOpensTheFindBarOnTheIdsTelegrams) {
  TFormFixture f;
  TForm1& form = *f.form;
  form.show();
  TLinkLog& log = form.App().LinkLog();
  const std::size_t first = log.Count();  // after the lines the window starts with
  log.AppendLine(lkTx, "S 09.12.2026 02:41:20   AB C0 FFFFFF80 00001000 00   data names the sender");  // 0
  log.AppendLine(lkRx, "R 09.12.2026 02:41:21   8B B4 00000000 FFFFFE80 00   Station 3");                // 1
  log.AppendLine(lkInfo, "FFFFFF80 in a line of text");                                                 // 2
  log.AppendLine(lkRx, "R 09.12.2026 02:41:22   6B 05 70000000 FFFFFF80 30");                           // 3
  log.AppendLine(lkRx, "R 09.12.2026 02:41:23   6B 05 50000000 FFFFFF80 30");                           // 4
  const auto now = std::chrono::system_clock::now();
  form.App().Overview().Received(Body(0x6B, 0x05, 0xFFFFFF80), now);
  form.App().Overview().Received(Body(0x8B, 0xB4, 0xFFFFFE80), now);
  // The operator looks at another tab when asking.
  f.Pages()->setCurrentIndex(0);
  form.findChild<QPushButton*>("ButtonBusOverview")->click();
  ASSERT_EQ(f.Windows().size(), 1);
  TBusOverviewWindow* window = f.Windows().front();
  auto* table = window->findChild<QTableView*>("IdTable");
  auto* find = window->findChild<QPushButton*>("ButtonFindInLog");
  ASSERT_TRUE(table && find);
  EXPECT_FALSE(find->isEnabled());  // nothing selected
  int row = -1;
  for (int r = 0; r < table->model()->rowCount(); ++r) {
    if (table->model()->index(r, ocId).data().toString() == "FFFFFF80") row = r;
  }
  ASSERT_GE(row, 0);
  table->selectRow(row);
  ASSERT_TRUE(find->isEnabled());
  find->click();

  auto* bar = form.findChild<TFindBar*>("FindBar");
  auto* view = form.findChild<TLinkLogView*>("RichEdit1");
  ASSERT_TRUE(bar && view);
  EXPECT_EQ(f.Pages()->currentIndex(), 2);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(form.findChild<QLineEdit*>("FindField")->text(), "?? ?? ???????? FFFFFF80 *");
  EXPECT_EQ(form.findChild<QComboBox*>("FindMode")->currentText(), "pattern");
  ASSERT_TRUE(testing::PumpUntil([&] { return bar->Search().Done() && view->currentIndex().isValid(); }, 3000));
  // The ID's own telegrams, not those that carry it elsewhere.
  EXPECT_EQ(bar->Search().Hits(), (std::vector<std::size_t>{first + 3, first + 4}));
  EXPECT_EQ(view->currentIndex().row(), static_cast<int>(first + 3));
  // Once more goes on to its next telegram.
  find->click();
  EXPECT_EQ(view->currentIndex().row(), static_cast<int>(first + 4));
}

TEST(BusOverviewWindow, ACaptureGetsTheOverviewOfItsLines) {
  testing::UseUtcTimeZone();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("ardel-20261209-100000.log");
  auto line = [](int ms, const char* kind, const std::string& text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-09T10:00:%02d.%03d", ms / 1000, ms % 1000);
    return std::string(stamp) + "\t" + kind + "\t" + text + "\n";
  };
  auto telegram = [](char letter, const char* text) {
    return std::string(1, letter) + " 09.12.2026 10:00:00   " + text + "   ";
  };
  const std::string timeOut = "E 09.12.2026 10:00:00" + std::string(38, ' ') + "time out";
  const std::string repeat = "W 09.12.2026 10:00:00" + std::string(38, ' ') + "repeat it";
  {
    std::ofstream file(QFile::encodeName(path).toStdString());
    file << line(0, "tx", telegram('S', "AB B0 00000000 FFFFFF80 00"))         // 0: station 0 asked
         << line(30, "rx", telegram('R', "8B B0 01020304 FFFFFF80 00"))        // 1: and answers
         << line(1000, "tx", telegram('S', "AB C0 00000000 00001000 00"))      // 2: station 1 asked
         << line(1100, "repeat", repeat) << line(1100, "tx", telegram('S', "AB C0 00000000 00001000 00"))
         << line(1200, "repeat", repeat) << line(1200, "tx", telegram('S', "AB C0 00000000 00001000 00"))
         << line(1300, "error", timeOut)                                        // 7: and never answers
         << line(2000, "rx", telegram('R', "6B 05 70000000 0055AA01 30"));     // 8: a sender, at the end
  }
  QString error;
  std::unique_ptr<TCaptureWindow> capture(TCaptureWindow::Open(path, error));
  ASSERT_NE(capture, nullptr) << error.toStdString();
  capture->setAttribute(Qt::WA_DeleteOnClose, false);
  capture->SetStations([] { return Bases(); });
  capture->show();
  auto* button = capture->findChild<QPushButton*>("ButtonCaptureOverview");
  ASSERT_NE(button, nullptr);
  button->click();
  button->click();  // the same window again
  const QList<TBusOverviewWindow*> windows = capture->findChildren<TBusOverviewWindow*>();
  ASSERT_EQ(windows.size(), 1);
  TBusOverviewWindow* window = windows.front();
  EXPECT_TRUE(window->isVisible());
  auto* table = window->findChild<QTableView*>("IdTable");
  QAbstractItemModel* model = table->model();
  std::vector<std::string> shown;
  for (int r = 0; r < model->rowCount(); ++r) {
    QStringList cells;
    for (int c : {ocStation, ocOffset, ocId, ocState, ocReceived, ocSent, ocRepeats, ocCompleted, ocTimeouts,
                  ocResponseMax}) {
      cells << model->index(r, c).data().toString();
    }
    shown.push_back(cells.join('|').toStdString());
  }
  // Alive and silent as at the capture's end, not as at the time it is looked at.
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "0|00|FFFFFF80|alive|1|1|0|1|0|30.0",
                       "1|00|00001000|silent|0|1|2|0|1|",
                       "none||0055AA01|alive|1|0|0|0|0|",
                   }));
  // The same as the overview read from the file on its own.
  TBusOverview overview;
  TReplayResult result;
  std::string readError;
  ASSERT_TRUE(ReplayCaptureFile(QFile::encodeName(path).toStdString(), overview, result, readError));
  auto* rows = qobject_cast<TBusOverviewModel*>(qobject_cast<QSortFilterProxyModel*>(model)->sourceModel());
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(OverviewCsv(rows->Rows()), OverviewCsv(overview.Rows(Bases())));
  EXPECT_TRUE(window->findChild<QLineEdit*>("EditLinkTotals")->text().startsWith("received 2 telegrams"));

  // "find in log" goes to the ID's telegrams in the capture.
  for (int r = 0; r < model->rowCount(); ++r) {
    if (model->index(r, ocId).data().toString() == "00001000") table->selectRow(r);
  }
  window->findChild<QPushButton*>("ButtonFindInLog")->click();
  TFindBar* bar = capture->FindBar();
  EXPECT_EQ(bar->Field()->text(), "?? ?? ???????? 00001000 *");
  ASSERT_TRUE(testing::PumpUntil([&] { return bar->Search().Done() && capture->View()->currentIndex().isValid(); }));
  EXPECT_EQ(bar->Search().Hits(), (std::vector<std::size_t>{2, 4, 6}));
  EXPECT_EQ(capture->View()->currentIndex().row(), 2);
  // The overview goes with its capture.
  capture.reset();
}

TEST(BusOverviewWindow, Screenshot) {
  const char* grabDir = std::getenv("ARDEL_GRAB_DIR");
  if (grabDir == nullptr) GTEST_SKIP() << "ARDEL_GRAB_DIR names no folder";
  TOverviewFixture f;
  f.overview.SetBaud(9600);
  // Ten minutes of a bus: traffic that swells and ebbs, a burst of noise, a silent station.
  for (int s = 599; s >= 0; --s) {
    const TOverviewTime at = f.now - std::chrono::seconds(s);
    const int telegrams = 4 + (s % 120 < 60 ? (s % 60) / 6 : 10 - (s % 60) / 6);
    for (int i = 0; i < telegrams; ++i) {
      const std::uint32_t id = i % 2 == 0 ? 0xFFFFFF80 + static_cast<std::uint32_t>(i % 4) : 0x0055AA01;
      f.overview.BytesReceived(15, at);
      f.overview.Received(Body(0x6B, 0x05, id), at);
      f.overview.AckSent(id, at);
    }
    if (s % 5 == 0) {
      f.overview.Sent(Body(0xAB, 0xB4, 0xFFFFFF80), false, at);
      f.overview.Received(Body(0x8B, 0xB4, 0xFFFFFF80), at + std::chrono::milliseconds(18 + s % 7));
      f.overview.Completed(0xFFFFFF80, at + std::chrono::milliseconds(18 + s % 7));
    }
    if (s % 30 == 0) {
      f.overview.Sent(Body(0xAB, 0xC0, 0x00001000), false, at);
      f.overview.TimedOut(0x00001000, at);
    }
    if (s > 200 && s < 230) f.overview.ChecksumError(Body(0x6B, 0x05, 0x00001005), at);
  }
  f.window->resize(1000, 640);
  f.window->show();
  f.window->Refresh();
  f.SelectId("FFFFFF80");
  QApplication::processEvents();
  ASSERT_TRUE(f.window->grab().save(QString::fromLocal8Bit(grabDir) + "/bus_overview.png"));
  // And its button on the tab "Test".
  TFormFixture main;
  main.form->show();
  main.Pages()->setCurrentIndex(2);
  QApplication::processEvents();
  ASSERT_TRUE(main.form->grab().save(QString::fromLocal8Bit(grabDir) + "/bus_overview_button.png"));
}

}  // namespace
}  // namespace ardel::ui
