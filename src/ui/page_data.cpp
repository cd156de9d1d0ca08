#include "ui/page_data.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include "app/ardel_app.h"
#include "ui/fonts.h"
#include "ui/station_models.h"

namespace ardel::ui {

TPageData::TPageData(TArdelApp& app, IErrorSink& errors, QWidget* parent)
    : TPage(app, errors, QStringLiteral("TabSheet4"), parent) {
  auto* layout = new QVBoxLayout(this);
  auto* model = new TStationTableModel(app_.StationTable(), Bindings());
  auto* grid = new QTableView(this);
  grid->setObjectName(QStringLiteral("StringGrid1"));
  grid->setAccessibleName(QStringLiteral("Station table"));
  grid->setFont(CourierNew(8));
  grid->setModel(model);
  grid->setItemDelegate(new TLatin1CellDelegate(grid));
  grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  grid->setSelectionBehavior(QAbstractItemView::SelectItems);
  grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  grid->setWordWrap(false);
  grid->setCornerButtonEnabled(false);

  // Row 0 and column 0 are the headers: fixed cells that stay in view.
  QHeaderView* rows = grid->verticalHeader();
  rows->setMinimumSectionSize(1);
  rows->setDefaultSectionSize(16);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setSectionsClickable(false);
  QHeaderView* columns = grid->horizontalHeader();
  columns->setMinimumSectionSize(1);
  columns->setDefaultSectionSize(64);
  columns->setSectionsClickable(false);
  columns->setHighlightSections(false);
  rows->setHighlightSections(false);
  layout->addWidget(grid);
}

}  // namespace ardel::ui
