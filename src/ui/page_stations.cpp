// Page "Stations": the station tab control with the displayed station, and the
// information field along the bottom.

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "ui/station_models.h"
#include "ui/value_views.h"

namespace ardel::ui {

namespace {

void UseInfoTipBackground(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
  palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
  widget->setPalette(palette);
}

}  // namespace

void TForm1::BuildStationsPage(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setSpacing(4);

  // The station tab control: the displayed station, with the sixteen tabs below it.
  auto* station = new QFrame(page);
  station->setObjectName(QStringLiteral("stationFrame"));
  station->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(station);

  Label2 = new QLabel(station);
  Label2->setObjectName(QStringLiteral("Label2"));
  QFont headingFont = Label2->font();
  headingFont.setPointSize(18);
  headingFont.setBold(true);
  Label2->setFont(headingFont);
  new TTextFieldLabel(app_->StationTab().StationHeading(), Label2, bindings_.get());
  grid->addWidget(Label2, 0, 0, 1, 2);

  auto* left = new QVBoxLayout;
  auto* sbiLabel = new QLabel(QStringLiteral("SBI (Station Base ID):"), station);
  sbiLabel->setObjectName(QStringLiteral("Label3"));
  Edit3 = new QLineEdit(station);
  Edit3->setObjectName(QStringLiteral("Edit3"));
  Edit3->setFont(CourierNew(10, true));
  sbiLabel->setBuddy(Edit3);
  new TTextFieldLineEdit(app_->StationTab().DisplayedStation().sbi, Edit3, bindings_.get());
  connect(Edit3, &QLineEdit::textChanged, this, [this] { Guarded([this] { Edit3Change(Edit3); }); });
  Edit3Change(Edit3);

  auto* infiLabel = new QLabel(QStringLiteral("INFI (Input Filter):"), station);
  infiLabel->setObjectName(QStringLiteral("Label4"));
  infiModel_ = new TTextLinesModel(app_->StationTab().DisplayedStation().infi, bindings_.get());
  ListBox1 = new QListView(station);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setFont(CourierNew(10));
  ListBox1->setUniformItemSizes(true);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  UseInfoTipBackground(ListBox1);
  ListBox1->setModel(infiModel_);
  infiLabel->setBuddy(ListBox1);

  readInfiArea_ = new QHBoxLayout;
  left->addWidget(sbiLabel);
  left->addWidget(Edit3);
  left->addSpacing(8);
  left->addWidget(infiLabel);
  left->addWidget(ListBox1, 1);
  left->addLayout(readInfiArea_);
  auto* leftColumn = new QWidget(station);
  leftColumn->setLayout(left);
  left->setContentsMargins(0, 0, 0, 0);
  leftColumn->setFixedWidth(180);
  grid->addWidget(leftColumn, 1, 0);

  stationCommandsArea_ = new QWidget(station);
  stationCommandsArea_->setObjectName(QStringLiteral("stationCommandsArea"));
  stationCommandsLayout_ = new QVBoxLayout(stationCommandsArea_);
  stationCommandsLayout_->setContentsMargins(0, 0, 0, 0);
  stationCommandsLayout_->addStretch(1);
  grid->addWidget(stationCommandsArea_, 1, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);

  TabControl1 = new QTabBar(page);
  TabControl1->setObjectName(QStringLiteral("TabControl1"));
  TabControl1->setAccessibleName(QStringLiteral("Station"));
  TabControl1->setShape(QTabBar::RoundedSouth);
  TabControl1->setExpanding(false);
  TabControl1->setUsesScrollButtons(true);
  TabControl1->setAttribute(Qt::WA_Hover);
  for (int s = 0; s < kStationCount; ++s) TabControl1->addTab(FromBytes(StationCaption(s)));
  // Bound only now: adding the first tab selects it.
  new TValueTabBar(app_->StationTab().SelectedStation(), TabControl1,
                   [this](int index) { Guarded([&] { app_->StationTab().TabControl1Switch(index); }); },
                   bindings_.get());

  auto* stationArea = new QVBoxLayout;
  stationArea->setSpacing(0);
  stationArea->addWidget(station, 1);
  stationArea->addWidget(TabControl1);
  layout->addLayout(stationArea, 1);

  // The information field along the bottom, "clr" to its right.
  auto* bottom = new QWidget(page);
  bottom->setFixedHeight(117);
  auto* bottomLayout = new QHBoxLayout(bottom);
  bottomLayout->setContentsMargins(0, 0, 0, 0);
  Memo1 = new QPlainTextEdit(bottom);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setAccessibleName(QStringLiteral("Information field"));
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  UseInfoTipBackground(Memo1);
  new TTextLinesPlainText(app_->Information(), Memo1, bindings_.get());
  ButtonClrMemo1 = new QPushButton(QStringLiteral("clr"), bottom);
  ButtonClrMemo1->setObjectName(QStringLiteral("ButtonClrMemo1"));
  ButtonClrMemo1->setAccessibleDescription(QStringLiteral("Empties the information field"));
  connect(ButtonClrMemo1, &QPushButton::clicked, this, [this] { Guarded([this] { app_->Information().Clear(); }); });
  // Offered after a station reported its new base ID as set; nothing changes until it
  // is pressed.
  Button27 = new QPushButton(bottom);
  Button27->setObjectName(QStringLiteral("Button27"));
  Button27->setAccessibleDescription(
      QStringLiteral("Takes the station's new SBI into its column, its SBI field and the data file"));
  new TTextFieldButton(app_->StationTab().StationReports().OfferCaption(), Button27, bindings_.get(), true);
  new TValueVisibility(app_->StationTab().StationReports().OfferShown(), Button27, bindings_.get());
  connect(Button27, &QPushButton::clicked, this, [this] { Guarded([this] { app_->StationTab().Button27Click(); }); });
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ButtonClrMemo1, 0, Qt::AlignLeft);
  buttons->addWidget(Button27);
  buttons->addStretch(1);
  bottomLayout->addWidget(Memo1, 1);
  bottomLayout->addLayout(buttons);
  layout->addWidget(bottom);
}

void TForm1::Edit3Change(QLineEdit* edit) {
  ShowFieldValidity(edit, IsValidSbi(ToBytes(edit->text())), QStringLiteral("not a valid SBI"));
}

}  // namespace ardel::ui
