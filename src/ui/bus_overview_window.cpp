#include "ui/bus_overview_window.h"

#include <QAbstractItemView>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <string>

#include "ui/bus_overview_model.h"
#include "ui/page.h"
#include "ui/rate_chart.h"
#include "util/text_file.h"

namespace ardel::ui {
namespace {

struct TRateColumn {
  const char* caption;
  double TLinkRates::*value;
  int decimals;
};

constexpr TRateColumn kRateColumns[] = {
    {"telegrams/s in", &TLinkRates::telegramsReceived, 2},
    {"telegrams/s out", &TLinkRates::telegramsSent, 2},
    {"bytes/s in", &TLinkRates::bytesReceived, 1},
    {"bytes/s out", &TLinkRates::bytesSent, 1},
    {"load %", &TLinkRates::loadPercent, 1},
    {"errors/s", &TLinkRates::errors, 2},
};

struct TRateWindow {
  const char* caption;
  std::chrono::seconds span;
};

constexpr TRateWindow kRateWindows[] = {
    {"last 10 s", std::chrono::seconds(10)},
    {"last minute", std::chrono::seconds(60)},
    {"last 10 minutes", std::chrono::seconds(600)},
};

QLabel* Label(const char* name, const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setBuddy(buddy);
  return label;
}

}  // namespace

TBusOverviewWindow::TBusOverviewWindow(TOverviewSource source, IErrorSink& errors, ISaveFileDialog* saveFileDialog,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window),
      source_(std::move(source)),
      errors_(errors),
      saveFileDialog_(saveFileDialog != nullptr ? saveFileDialog : &defaultSaveFileDialog_) {
  setObjectName(QStringLiteral("BusOverviewWindow"));
  setWindowTitle(QStringLiteral("bus overview"));
  auto* layout = new QVBoxLayout(this);

  // The line: rates over three windows, then the counts since the start.
  rates_ = new QTableWidget(static_cast<int>(std::size(kRateWindows)), static_cast<int>(std::size(kRateColumns)), this);
  rates_->setObjectName(QStringLiteral("LinkRatesTable"));
  rates_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rates_->setAccessibleName(QStringLiteral("link rates"));
  for (int c = 0; c < rates_->columnCount(); ++c) {
    rates_->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(kRateColumns[c].caption)));
  }
  for (int r = 0; r < rates_->rowCount(); ++r) {
    rates_->setVerticalHeaderItem(r, new QTableWidgetItem(QString::fromLatin1(kRateWindows[r].caption)));
    for (int c = 0; c < rates_->columnCount(); ++c) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      rates_->setItem(r, c, item);
    }
  }
  rates_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  rates_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  rates_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  rates_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  rates_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  totals_ = new QLineEdit(this);
  totals_->setObjectName(QStringLiteral("EditLinkTotals"));
  totals_->setReadOnly(true);
  auto* lineGrid = new QGridLayout;
  lineGrid->addWidget(Label("LabelLinkRates", QStringLiteral("&link:"), rates_, this), 0, 0, Qt::AlignTop);
  lineGrid->addWidget(rates_, 0, 1);
  lineGrid->addWidget(Label("LabelLinkTotals", QStringLiteral("since the start:"), totals_, this), 1, 0);
  lineGrid->addWidget(totals_, 1, 1);
  lineGrid->setColumnStretch(1, 1);
  layout->addLayout(lineGrid);

  // The chart over the table; the operator moves the border between them.
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setObjectName(QStringLiteral("SplitterOverview"));
  splitter->setChildrenCollapsible(false);
  auto* chartPane = new QWidget(splitter);
  chartPane->setObjectName(QStringLiteral("PaneRateChart"));
  auto* chartLayout = new QVBoxLayout(chartPane);
  chartLayout->setContentsMargins(0, 0, 0, 0);
  chart_ = new TRateChart(chartPane);
  chart_->setObjectName(QStringLiteral("RateChart"));
  chart_->setAccessibleName(QStringLiteral("telegrams, errors and load of the last 10 minutes"));
  // Below this Qt Charts cuts its axis labels to "...".
  chart_->setMinimumHeight(220);
  chartLayout->addWidget(Label("LabelRateChart", QStringLiteral("last 10 minutes:"), chart_, chartPane));
  chartLayout->addWidget(chart_, 1);

  auto* tablePane = new QWidget(splitter);
  tablePane->setObjectName(QStringLiteral("PaneIdTable"));
  auto* tableLayout = new QVBoxLayout(tablePane);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  model_ = new TBusOverviewModel(this);
  sorted_ = new TOverviewSortModel(this);
  sorted_->setSourceModel(model_);
  table_ = new QTableView(tablePane);
  table_->setObjectName(QStringLiteral("IdTable"));
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(ocStation, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setAlternatingRowColors(true);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  tableLayout->addWidget(Label("LabelIdTable", QStringLiteral("&IDs, by station:"), table_, tablePane));
  tableLayout->addWidget(table_, 1);
  splitter->addWidget(chartPane);
  splitter->addWidget(tablePane);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  layout->addWidget(splitter, 1);

  auto* buttons = new QHBoxLayout;
  findInLog_ = new QPushButton(QStringLiteral("&find in log"), this);
  findInLog_->setObjectName(QStringLiteral("ButtonFindInLog"));
  findInLog_->setToolTip(QStringLiteral("Opens the log's find bar on the telegrams of the selected ID"));
  exportCsv_ = new QPushButton(QStringLiteral("&export CSV..."), this);
  exportCsv_->setObjectName(QStringLiteral("ButtonExportCsv"));
  auto* close = new QPushButton(QStringLiteral("&close"), this);
  close->setObjectName(QStringLiteral("ButtonCloseOverview"));
  buttons->addWidget(findInLog_);
  buttons->addWidget(exportCsv_);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(findInLog_, &QPushButton::clicked, this, [this] { Guarded(errors_, [this] { ButtonFindInLogClick(); }); });
  connect(exportCsv_, &QPushButton::clicked, this, [this] { Guarded(errors_, [this] { ButtonExportCsvClick(); }); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  // A double click on a row finds it in the log, as the button does.
  connect(table_, &QAbstractItemView::activated, this, [this] {
    if (findInLog_->isEnabled()) Guarded(errors_, [this] { ButtonFindInLogClick(); });
  });
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateButtons(); });
  connect(sorted_, &QAbstractItemModel::layoutChanged, this, [this] { UpdateButtons(); });

  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
  UpdateButtons();
  resize(1000, 640);
}

TBusOverviewWindow::~TBusOverviewWindow() = default;

void TBusOverviewWindow::Bring() {
  show();
  // A minimized window comes back as it was.
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  raise();
  activateWindow();
}

void TBusOverviewWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
  // The keys go to the rows, not to the rates above them.
  if (!table_->hasFocus()) table_->setFocus(Qt::OtherFocusReason);
  timer_->start();
}

void TBusOverviewWindow::hideEvent(QHideEvent* event) {
  // Nothing to show to: no work once a second.
  timer_->stop();
  QWidget::hideEvent(event);
}

void TBusOverviewWindow::Refresh() {
  if (source_.overview == nullptr) return;
  const TOverviewTime now = source_.now();
  model_->Show(source_.overview->Rows(source_.stations ? source_.stations() : TStationBases{}), now);
  ShowRates(now);
  ShowTotals();
  const std::vector<TLinkRates> history = source_.overview->History(now);
  chart_->SetHistory(history);
  if (!history.empty()) {
    const TLinkRates& last = history.back();
    chart_->setAccessibleDescription(QStringLiteral("last second: %1 telegrams/s, %2 errors/s, load %3 %")
                                         .arg(last.telegramsReceived + last.telegramsSent)
                                         .arg(last.errors)
                                         .arg(last.loadPercent, 0, 'f', 1));
  }
  // Once, to the first rows shown; the operator's widths stay after that.
  if (!sized_ && model_->rowCount() > 0 && isVisible()) {
    sized_ = true;
    table_->resizeColumnsToContents();
  }
  UpdateButtons();
}

void TBusOverviewWindow::ShowRates(TOverviewTime now) {
  for (int r = 0; r < rates_->rowCount(); ++r) {
    const TLinkRates rates = source_.overview->Rates(now, kRateWindows[r].span);
    for (int c = 0; c < rates_->columnCount(); ++c) {
      rates_->item(r, c)->setText(QString::number(rates.*kRateColumns[c].value, 'f', kRateColumns[c].decimals));
    }
  }
  // Tall enough for its rows, no taller.
  int height = rates_->horizontalHeader()->height() + 2 * rates_->frameWidth();
  for (int r = 0; r < rates_->rowCount(); ++r) height += rates_->rowHeight(r);
  rates_->setFixedHeight(height);
}

void TBusOverviewWindow::ShowTotals() {
  const TLinkTotals& t = source_.overview->Totals();
  totals_->setText(QStringLiteral("received %1 telegrams (%2 bytes), sent %3 (%4 bytes), %5 checksum errors, "
                                  "%6 time-outs, %7 bytes of output dropped, %8 port losses")
                       .arg(t.telegramsReceived)
                       .arg(t.bytesReceived)
                       .arg(t.telegramsSent)
                       .arg(t.bytesSent)
                       .arg(t.checksumErrors)
                       .arg(t.timeouts)
                       .arg(t.droppedBytes)
                       .arg(t.portLosses));
  totals_->setCursorPosition(0);
}

const TIdRow* TBusOverviewWindow::SelectedRow() const {
  const QModelIndexList rows = table_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return nullptr;
  return model_->RowAt(sorted_->mapToSource(rows.front()).row());
}

void TBusOverviewWindow::UpdateButtons() {
  const TIdRow* row = SelectedRow();
  // "other" stands for many IDs: there is no one pattern for it.
  findInLog_->setEnabled(source_.findInLog && row != nullptr && !row->other);
}

void TBusOverviewWindow::ButtonFindInLogClick() {
  const TIdRow* row = SelectedRow();
  if (row == nullptr || row->other || !source_.findInLog) return;
  source_.findInLog(IdPattern(row->id));
}

void TBusOverviewWindow::ButtonExportCsvClick() {
  const QString path = saveFileDialog_->GetSaveFileName(this, QStringLiteral("export CSV"), source_.folder);
  if (path.isEmpty()) return;
  // The rows as they are now, which the table then shows too.
  Refresh();
  const QByteArray name = QFile::encodeName(path);
  WriteFileAtomically(std::string(name.constData(), static_cast<std::size_t>(name.size())),
                      OverviewCsv(model_->Rows()));
}

}  // namespace ardel::ui
