#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringListModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <optional>

#include "support/event_loop.h"
#include "support/fonts.h"
#include "support/program_directory.h"
#include "ui/capture_window.h"
#include "ui/find_bar.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "ui/qt_event_loop.h"

namespace ardel::ui {
namespace {

class TFixedOpenFileDialog : public IOpenFileDialog {
 public:
  QString GetOpenFileName(QWidget*, const QString&, const QString&) override { return answer; }
  QString answer;
};

// The window on a port that is not there: the log and its find bar, no link.
struct TWindowWithoutPort {
  testing::TProgramDirectory files;
  bool written = (files.WriteDataFiles(), true);
  TRecordingErrorDialog errors;
  TFixedOpenFileDialog openDialog;
  TForm1 form{WithOpenDialog(files.Options({{"COM1", files.File("no-such-device")}}), openDialog)};
  TWindowWithoutPort() { form.SetErrorDialog(&errors); }

  static TFormOptions WithOpenDialog(TFormOptions options, IOpenFileDialog& dialog) {
    options.openFileDialog = &dialog;
    return options;
  }
};

bool Finished(TFindBar& bar) {
  return testing::PumpUntil([&] { return bar.Search().Done(); }, 3000);
}

QString Accessible(QWidget* view, int row) {
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
  if (list == nullptr || row >= list->childCount()) return QStringLiteral("(none)");
  QAccessibleInterface* item = list->child(row);
  return item != nullptr ? item->text(QAccessible::Name) : QStringLiteral("(none)");
}

TEST(FindBar, FindsStepsWrapsAndFiltersTheLiveLog) {
  TWindowWithoutPort window;
  TForm1& form = window.form;
  form.findChild<QPushButton*>("Button4")->click();
  TLinkLog& log = form.App().LinkLog();
  log.AppendLine(lkRx, "R 09.12.2026 02:41:21   8B B4 00000000 FFFFFF80 00   Station 0");  // 0
  log.AppendLine(lkInfo, "nothing here");                                                   // 1
  log.AppendLine(lkTx, "S 09.12.2026 02:41:22   AB B0 00000000 FFFFFE80 00   station 3");    // 2
  log.AppendLine(lkInfo, "the end");                                                        // 3
  auto* view = form.findChild<TLinkLogView*>("RichEdit1");
  auto* bar = form.findChild<TFindBar*>("FindBar");
  auto* field = form.findChild<QLineEdit*>("FindField");
  auto* mode = form.findChild<QComboBox*>("FindMode");
  auto* result = form.findChild<QLabel*>("FindResult");
  auto* only = form.findChild<QCheckBox*>("FindOnlyMatching");
  ASSERT_TRUE(view && bar && field && mode && result && only && form.findChild<QPushButton*>("FindNext") &&
              form.findChild<QPushButton*>("FindPrevious") && form.findChild<QPushButton*>("ButtonOpenCapture"));
  EXPECT_EQ(form.findChild<QLabel*>("FindLabel")->buddy(), field);

  form.show();
  form.findChild<QTabWidget*>()->setCurrentWidget(view->parentWidget());
  QApplication::setActiveWindow(&form);
  view->setFocus();
  EXPECT_TRUE(bar->isHidden());
  QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(field->hasFocus());

  QTest::keyClicks(field, "STATION");
  ASSERT_TRUE(Finished(*bar));
  EXPECT_EQ(result->text(), "2 found");
  // The focus made row 0 current; from no line the first hit is the first.
  view->setCurrentIndex(QModelIndex());
  const std::pair<Qt::KeyboardModifiers, int> steps[] = {
      {Qt::NoModifier, 0}, {Qt::NoModifier, 2}, {Qt::NoModifier, 0}, {Qt::ShiftModifier, 2}, {Qt::ShiftModifier, 0}};
  for (const auto& [modifiers, row] : steps) {
    QTest::keyClick(field, Qt::Key_Return, modifiers);
    EXPECT_EQ(view->currentIndex().row(), row);
  }
  EXPECT_EQ(result->text(), "1 of 2");
  QTest::keyClick(field, Qt::Key_F3);
  EXPECT_EQ(view->currentIndex().row(), 2);
  EXPECT_EQ(result->text(), "2 of 2");

  mode->setCurrentIndex(1);
  ASSERT_TRUE(Finished(*bar));
  EXPECT_EQ(result->text(), "no match");  // patterns keep their case and cover the whole text
  field->setText("* FFFFFE80 *");
  ASSERT_TRUE(Finished(*bar));
  EXPECT_EQ(result->text(), "1 of 1");
  field->setText("   ");
  ASSERT_TRUE(Finished(*bar));
  EXPECT_EQ(result->text(), "no match");

  // Only the matching lines, following new ones; back at the same line when cleared.
  mode->setCurrentIndex(0);
  field->setText("station");
  ASSERT_TRUE(Finished(*bar));
  only->setChecked(true);
  EXPECT_EQ(view->model(), bar->FilterModel());
  EXPECT_EQ(view->model()->rowCount(), 2);
  log.AppendLine(lkRx, "R 09.12.2026 02:41:23   8B B4 00000003 FFFFFF80 00   station 3 again");  // 4
  log.AppendLine(lkInfo, "not this");                                                            // 5
  ASSERT_TRUE(testing::PumpUntil([&] { return view->model()->rowCount() == 3; }, 3000));
  testing::PumpFor(20);
  EXPECT_EQ(view->model()->rowCount(), 3);
  EXPECT_EQ(view->model()->index(2, 0).data().toString(), log.Line(4).text.c_str());
  EXPECT_EQ(Accessible(view, 1), QString::fromStdString(log.Line(2).text));
  view->setCurrentIndex(view->model()->index(1, 0));
  only->setChecked(false);
  EXPECT_NE(view->model(), bar->FilterModel());
  EXPECT_EQ(view->currentIndex().row(), 2);

  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_TRUE(bar->isHidden());
  QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(bar->isVisible());
  form.findChild<QPushButton*>("FindNext")->setFocus();
  QTest::keyClick(form.findChild<QPushButton*>("FindNext"), Qt::Key_Escape);
  EXPECT_TRUE(bar->isHidden());

  // From the tab bar too, where switching tabs by keyboard leaves the focus; on another
  // tab Ctrl+F is not the log's.
  auto* tabs = form.findChild<QTabWidget*>();
  tabs->tabBar()->setFocus();
  QTest::keyClick(tabs->tabBar(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(field->hasFocus());
  QTest::keyClick(field, Qt::Key_Escape);
  tabs->setCurrentIndex(0);
  tabs->tabBar()->setFocus();
  QTest::keyClick(tabs->tabBar(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(bar->isHidden());
}

// The row lies in the view. Where glyphs are boxes (no fonts), a line may be wider than
// any view, so there only its height and its start count.
bool RowInView(const TLinkLogView& view, const QModelIndex& index) {
  QRect row = view.visualRect(index);
  if (!testing::TextWidthsAreReal()) row.setRight(row.left());
  return view.viewport()->rect().contains(row);
}

// On a live bus the hit that next found stays in view while lines keep coming; back at
// the end, the view follows them again.
TEST(FindBar, AHitStaysInViewWhileNewLinesArrive) {
  TWindowWithoutPort window;
  TForm1& form = window.form;
  TLinkLog& log = form.App().LinkLog();
  auto* view = form.findChild<TLinkLogView*>("RichEdit1");
  auto* bar = form.findChild<TFindBar*>("FindBar");
  form.show();
  form.findChild<QTabWidget*>()->setCurrentWidget(view->parentWidget());
  const int needle = static_cast<int>(log.Count()) + 5;
  for (int i = 0; i < 300; ++i) log.AppendLine(lkRx, i == 5 ? "the needle" : "R hay");
  testing::PumpFor(20);
  auto* scroll = view->verticalScrollBar();
  ASSERT_GT(scroll->maximum(), 0);
  EXPECT_EQ(scroll->value(), scroll->maximum());
  bar->Open();
  bar->Field()->setText("needle");
  ASSERT_TRUE(Finished(*bar));
  bar->FindNext();
  EXPECT_EQ(view->currentIndex().row(), needle);
  for (int i = 0; i < 50; ++i) log.AppendLine(lkRx, "R more hay");
  testing::PumpFor(20);
  EXPECT_TRUE(RowInView(*view, view->currentIndex()));
  scroll->setValue(scroll->maximum());
  log.AppendLine(lkRx, "R the newest");
  testing::PumpFor(20);
  EXPECT_EQ(scroll->value(), scroll->maximum());
  EXPECT_TRUE(RowInView(*view, view->model()->index(static_cast<int>(log.Count()) - 1, 0)));
}

TEST(FindBar, ALargeLogIsSearchedInSlicesBetweenOtherEvents) {
  TWindowWithoutPort window;
  TForm1& form = window.form;
  TLinkLog& log = form.App().LinkLog();
  for (int i = 0; i < 500000; ++i) log.AppendLineNoScroll(lkRx, i == 499999 ? "the needle" : "R hay and more hay");
  auto* bar = form.findChild<TFindBar*>("FindBar");
  bar->Open();
  int ticks = 0;
  QTimer other;
  QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
  other.start(0);
  bar->Field()->setText("NEEDLE");
  EXPECT_FALSE(bar->Search().Done());
  QCoreApplication::processEvents();
  EXPECT_FALSE(bar->Search().Done());
  EXPECT_GT(bar->Search().Scanned(), 0u);
  ASSERT_TRUE(Finished(*bar));
  EXPECT_GT(ticks, 1);
  EXPECT_EQ(bar->Search().Hits().size(), 1u);
  EXPECT_EQ(bar->Result()->text(), "1 found");
}

// Lines of hay that, on the way past one line, wake a job for the main thread, as the
// port's receive thread does in the middle of a slice.
class TWakingSource : public ILogLineSource {
 public:
  static constexpr std::size_t kWakeAt = 20000;
  std::size_t Count() const override { return 2000000; }
  void Scan(std::size_t from, std::size_t to, const TVisit& visit) const override {
    for (std::size_t i = from; i < to; ++i) {
      if (i == kWakeAt && wake) wake();
      visit(i, lkRx, "R hay");
    }
  }
  std::function<void()> wake;
};

// The job waits at most one chunk of the search, not the rest of its slice; a job dropped
// with its loop waits no more.
TEST(FindBar, ASearchStepsAsideForAWokenJob) {
  TWakingSource source;
  QStringListModel model;
  QWidget host;
  auto* view = new TLinkLogView(&host);
  view->setModel(&model);
  auto* bar = new TFindBar(source, &model, view, &host);
  TQtEventLoop loop;
  std::optional<std::size_t> scannedWhenRun;
  source.wake = [&] {
    loop.Wake([&] { scannedWhenRun = bar->Search().Scanned(); });
    EXPECT_TRUE(TQtEventLoop::JobsWaiting());
  };
  bar->Field()->setText("needle");
  ASSERT_TRUE(testing::PumpUntil([&] { return scannedWhenRun.has_value(); }, 3000));
  EXPECT_LE(*scannedWhenRun, TWakingSource::kWakeAt + TLogSearch::kChunkLines);
  EXPECT_FALSE(TQtEventLoop::JobsWaiting());
  source.wake = nullptr;
  ASSERT_TRUE(Finished(*bar));
  EXPECT_EQ(bar->Result()->text(), "no match");
  {
    TQtEventLoop gone;
    gone.Wake([] {});
    EXPECT_TRUE(TQtEventLoop::JobsWaiting());
  }
  EXPECT_FALSE(TQtEventLoop::JobsWaiting());
}

TEST(FindBar, TheLogViewIsAnAccessibleList) {
  TWindowWithoutPort window;
  TForm1& form = window.form;
  form.findChild<QPushButton*>("Button4")->click();
  form.App().LinkLog().AppendLine(lkRx, "R first line");
  form.App().LinkLog().AppendLine(lkTx, "S second line");
  form.show();
  auto* view = form.findChild<TLinkLogView*>("RichEdit1");
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->role(), QAccessible::List);
  EXPECT_EQ(list->childCount(), 2);
  QAccessibleInterface* second = list->child(1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->role(), QAccessible::ListItem);
  EXPECT_EQ(second->text(QAccessible::Name), "S second line");
  EXPECT_EQ(list->indexOfChild(second), 1);
  EXPECT_EQ(second->parent(), list);
  EXPECT_FALSE(second->state().selected);
  view->selectionModel()->select(view->model()->index(1, 0), QItemSelectionModel::Select);
  EXPECT_TRUE(second->state().selected);
  form.App().LinkLog().AppendLine(lkInfo, "third");
  EXPECT_EQ(list->childCount(), 3);
}

TEST(CaptureWindow, ShowsTheKindsColoursAndCountsWhatItCannotRead) {
  TWindowWithoutPort host;
  TForm1& form = host.form;
  const std::string path = host.files.File("ardel-20261209-024121.log");
  std::ofstream(path, std::ios::binary) << "2026-12-09T02:41:21.123\tinfo\tE dd.nn.yyyy\n"
                                           "2026-12-09T02:41:22.000\trx\tR 8B B4 station 0\n"
                                           "a line from elsewhere\n"
                                           "2026-12-09T02:41:23.000\terror\tE checksum error\n"
                                           "2026-12-09T02:42:00.000\ttx\tS AB B0 base\n"
                                           "2026-12-09T02:43:00.000\trx\tR cut in the mid";
  host.openDialog.answer = QString::fromStdString(path);
  form.findChild<QPushButton*>("ButtonOpenCapture")->click();
  auto* window = form.findChild<TCaptureWindow*>("CaptureWindow");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isWindow());
  // It goes with the main window, and stays on top of it.
  EXPECT_EQ(window->parentWidget(), &form);
  EXPECT_EQ(window->windowTitle(),
            "ardel-20261209-024121.log: 2026-12-09T02:41:21.123 to 2026-12-09T02:42:00.000 (read-only)");
  EXPECT_EQ(window->Note()->text(), "2 lines could not be read");
  auto* view = window->findChild<TLinkLogView*>("CaptureView");
  ASSERT_NE(view, nullptr);
  QAbstractItemModel* model = view->model();
  ASSERT_EQ(model->rowCount(), 4);
  const std::pair<int, TColor> colours[] = {
      {0, colors::kBlack}, {1, colors::kReceived}, {2, colors::kError}, {3, colors::kSent}};
  for (const auto& [row, colour] : colours) {
    EXPECT_EQ(model->index(row, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(colour.r, colour.g, colour.b))
        << row;
  }
  EXPECT_EQ(model->index(3, 0).data().toString(), "S AB B0 base");
  EXPECT_EQ(Accessible(view, 2), "E checksum error");

  // The same find bar and filter.
  auto* field = window->findChild<QLineEdit*>("FindField");
  auto* bar = window->FindBar();
  field->setText("8b b4");
  ASSERT_TRUE(Finished(*bar));
  bar->SetOnlyMatching(true);
  ASSERT_EQ(view->model()->rowCount(), 1);
  EXPECT_EQ(view->model()->index(0, 0).data().toString(), "R 8B B4 station 0");
  window->close();
}

TEST(CaptureWindow, AFileThatCannotBeOpenedSaysWhy) {
  QString error;
  EXPECT_EQ(TCaptureWindow::Open(QStringLiteral("/nonexistent/ardel.log"), error), nullptr);
  EXPECT_TRUE(error.contains("cannot open")) << error.toStdString();
}

}  // namespace
}  // namespace ardel::ui
