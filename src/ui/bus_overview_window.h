#pragma once
// "bus overview...": a window of its own beside the log, with the line's rates, a chart
// of its last ten minutes and a row per ID, shown again about once a second while open.
// The same window shows the live link and an opened capture.

#include <QString>
#include <QWidget>
#include <functional>

#include "app/event_loop.h"
#include "link/time_stamp.h"
#include "log/bus_overview.h"
#include "ui/save_file_dialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;

namespace ardel::ui {

class TBusOverviewModel;
class TOverviewSortModel;
class TRateChart;

// What the window shows and where its actions go.
struct TOverviewSource {
  const TBusOverview* overview = nullptr;
  // Each station's SBI as it is now; none when not given.
  std::function<TStationBases()> stations;
  // The time the rates and "alive" are taken at: the clock for the live link, the
  // capture's end for a capture.
  TClock now = SystemClock();
  // Opens the log's find bar on the pattern; "find in log" is off without it.
  std::function<void(const QString& pattern)> findInLog;
  // Where "export CSV..." starts asking.
  QString folder;
};

class TBusOverviewWindow : public QWidget {
  Q_OBJECT
 public:
  // A window of its own over parent; the standard save dialog when saveFileDialog is null.
  TBusOverviewWindow(TOverviewSource source, IErrorSink& errors, ISaveFileDialog* saveFileDialog,
                     QWidget* parent = nullptr);
  ~TBusOverviewWindow() override;

  // Shows the overview as it is now.
  void Refresh();
  // Shows the window, in front.
  void Bring();

  static constexpr int kRefreshMs = 1000;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowRates(TOverviewTime now);
  void ShowTotals();
  void UpdateButtons();
  const TIdRow* SelectedRow() const;
  void ButtonFindInLogClick();
  void ButtonExportCsvClick();

  TOverviewSource source_;
  IErrorSink& errors_;
  TQtSaveFileDialog defaultSaveFileDialog_;
  ISaveFileDialog* saveFileDialog_;
  QTimer* timer_;
  TBusOverviewModel* model_;
  TOverviewSortModel* sorted_;
  QTableWidget* rates_;
  QLineEdit* totals_;
  TRateChart* chart_;
  QTableView* table_;
  QPushButton* findInLog_;
  QPushButton* exportCsv_;
  bool sized_ = false;  // the columns were fitted to the rows
};

}  // namespace ardel::ui
