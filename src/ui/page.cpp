#include "ui/page.h"

#include <QGridLayout>
#include <QLayout>
#include <QSplitter>
#include <QTableWidget>
#include <algorithm>
#include <tuple>
#include <vector>

namespace ardel::ui {

namespace {

void AddWidget(QWidget* widget, QList<QWidget*>& controls);

void AddLayout(QLayout* layout, QList<QWidget*>& controls) {
  std::vector<std::tuple<int, int, int>> order;  // row, column, item
  auto* grid = qobject_cast<QGridLayout*>(layout);
  for (int i = 0; i < layout->count(); ++i) {
    int row = 0;
    int column = i;
    if (grid != nullptr) {
      int rowSpan = 0;
      int columnSpan = 0;
      grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
    }
    order.emplace_back(row, column, i);
  }
  // A grid's items are kept in the order they were added, not where they sit.
  std::stable_sort(order.begin(), order.end());
  for (const auto& [row, column, i] : order) {
    QLayoutItem* item = layout->itemAt(i);
    if (QWidget* widget = item->widget()) {
      AddWidget(widget, controls);
    } else if (QLayout* inner = item->layout()) {
      AddLayout(inner, controls);
    }
  }
}

void AddWidget(QWidget* widget, QList<QWidget*>& controls) {
  if (auto* splitter = qobject_cast<QSplitter*>(widget)) {
    for (int i = 0; i < splitter->count(); ++i) AddWidget(splitter->widget(i), controls);
    return;
  }
  if (QLayout* layout = widget->layout()) {
    AddLayout(layout, controls);
    return;
  }
  if (widget->focusPolicy() & Qt::TabFocus) controls << widget;
  // Controls in a table's cells come after the table, row by row.
  if (auto* table = qobject_cast<QTableWidget*>(widget)) {
    for (int row = 0; row < table->rowCount(); ++row) {
      for (int column = 0; column < table->columnCount(); ++column) {
        if (QWidget* cell = table->cellWidget(row, column)) AddWidget(cell, controls);
      }
    }
  }
}

}  // namespace

QList<QWidget*> ControlsInLayoutOrder(QWidget* page) {
  QList<QWidget*> controls;
  if (page->layout() != nullptr) AddLayout(page->layout(), controls);
  return controls;
}

TPage::TPage(TArdelApp& app, IErrorSink& errors, const QString& objectName, QWidget* parent)
    : QWidget(parent), app_(app), errors_(errors) {
  setObjectName(objectName);
}

TPage::~TPage() {
  bindings_.reset();
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) delete child;
}

void TPage::ChainTabOrder() {
  const QList<QWidget*> controls = ControlsInLayoutOrder(this);
  for (qsizetype i = 1; i < controls.size(); ++i) setTabOrder(controls[i - 1], controls[i]);
}

}  // namespace ardel::ui
