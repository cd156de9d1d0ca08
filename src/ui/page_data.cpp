// Page "Data": the whole station table, editable in place.

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/station_models.h"

namespace ardel::ui {

void TForm1::BuildDataPage(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  stationTableModel_ = new TStationTableModel(app_->StationTable(), bindings_.get());
  StringGrid1 = new QTableView(page);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->setAccessibleName(QStringLiteral("Station table"));
  StringGrid1->setFont(CourierNew(8));
  StringGrid1->setModel(stationTableModel_);
  StringGrid1->setItemDelegate(new TLatin1CellDelegate(StringGrid1));
  StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
  StringGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  StringGrid1->setWordWrap(false);
  StringGrid1->setCornerButtonEnabled(false);

  // Row 0 and column 0 are the headers: fixed cells that stay in view.
  QHeaderView* rows = StringGrid1->verticalHeader();
  rows->setMinimumSectionSize(1);
  rows->setDefaultSectionSize(16);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setSectionsClickable(false);
  QHeaderView* columns = StringGrid1->horizontalHeader();
  columns->setMinimumSectionSize(1);
  columns->setDefaultSectionSize(64);
  columns->setSectionsClickable(false);
  columns->setHighlightSections(false);
  rows->setHighlightSections(false);
  layout->addWidget(StringGrid1);
}

}  // namespace ardel::ui
