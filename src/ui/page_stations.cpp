#include "ui/page_stations.h"

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

#include "app/ardel_app.h"
#include "ui/fonts.h"
#include "ui/models.h"
#include "ui/page_station_commands.h"
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

TPageStations::TPageStations(TArdelApp& app, IErrorSink& errors, QWidget* parent)
    : TPage(app, errors, QStringLiteral("TabSheet1"), parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(4);

  // The station tab control: the displayed station, with the sixteen tabs below it.
  auto* station = new QFrame(this);
  station->setObjectName(QStringLiteral("stationFrame"));
  station->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(station);

  auto* Label2 = new QLabel(station);
  Label2->setObjectName(QStringLiteral("Label2"));
  QFont headingFont = Label2->font();
  headingFont.setPointSize(18);
  headingFont.setBold(true);
  Label2->setFont(headingFont);
  new TTextFieldLabel(app_.StationTab().StationHeading(), Label2, Bindings());
  grid->addWidget(Label2, 0, 0, 1, 2);

  auto* left = new QVBoxLayout;
  auto* sbiLabel = new QLabel(QStringLiteral("SBI (Station Base ID):"), station);
  sbiLabel->setObjectName(QStringLiteral("Label3"));
  auto* Edit3 = new QLineEdit(station);
  Edit3->setObjectName(QStringLiteral("Edit3"));
  Edit3->setFont(CourierNew(10, true));
  sbiLabel->setBuddy(Edit3);
  new TTextFieldLineEdit(app_.StationTab().DisplayedStation().sbi, Edit3, Bindings());
  connect(Edit3, &QLineEdit::textChanged, this, [this, Edit3] { Guarded([Edit3] { ShowSbiValidity(Edit3); }); });
  ShowSbiValidity(Edit3);

  auto* infiLabel = new QLabel(QStringLiteral("INFI (Input Filter):"), station);
  infiLabel->setObjectName(QStringLiteral("Label4"));
  auto* infiModel = new TTextLinesModel(app_.StationTab().DisplayedStation().infi, Bindings());
  auto* ListBox1 = new QListView(station);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setFont(CourierNew(10));
  ListBox1->setUniformItemSizes(true);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  UseInfoTipBackground(ListBox1);
  ListBox1->setModel(infiModel);
  infiLabel->setBuddy(ListBox1);

  auto* readInfiArea = new QHBoxLayout;
  left->addWidget(sbiLabel);
  left->addWidget(Edit3);
  left->addSpacing(8);
  left->addWidget(infiLabel);
  left->addWidget(ListBox1, 1);
  left->addLayout(readInfiArea);
  auto* leftColumn = new QWidget(station);
  leftColumn->setLayout(left);
  left->setContentsMargins(0, 0, 0, 0);
  leftColumn->setFixedWidth(180);
  grid->addWidget(leftColumn, 1, 0);

  auto* stationCommandsArea = new QWidget(station);
  stationCommandsArea->setObjectName(QStringLiteral("stationCommandsArea"));
  auto* stationCommandsLayout = new QVBoxLayout(stationCommandsArea);
  stationCommandsLayout->setContentsMargins(0, 0, 0, 0);
  stationCommandsLayout->addStretch(1);
  grid->addWidget(stationCommandsArea, 1, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);

  auto* TabControl1 = new QTabBar(this);
  TabControl1->setObjectName(QStringLiteral("TabControl1"));
  TabControl1->setAccessibleName(QStringLiteral("Station"));
  TabControl1->setShape(QTabBar::RoundedSouth);
  TabControl1->setExpanding(false);
  TabControl1->setUsesScrollButtons(true);
  TabControl1->setAttribute(Qt::WA_Hover);
  for (int s = 0; s < kStationCount; ++s) TabControl1->addTab(FromBytes(StationCaption(s)));
  // Bound only now: adding the first tab selects it.
  new TValueTabBar(app_.StationTab().SelectedStation(), TabControl1,
                   [this](int index) { Guarded([&] { app_.StationTab().TabControl1Switch(index); }); }, Bindings());

  auto* stationArea = new QVBoxLayout;
  stationArea->setSpacing(0);
  stationArea->addWidget(station, 1);
  stationArea->addWidget(TabControl1);
  layout->addLayout(stationArea, 1);

  // The information field along the bottom, "clr" to its right.
  auto* bottom = new QWidget(this);
  bottom->setFixedHeight(117);
  auto* bottomLayout = new QHBoxLayout(bottom);
  bottomLayout->setContentsMargins(0, 0, 0, 0);
  auto* Memo1 = new QPlainTextEdit(bottom);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setAccessibleName(QStringLiteral("Information field"));
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  UseInfoTipBackground(Memo1);
  new TTextLinesPlainText(app_.Information(), Memo1, Bindings());
  auto* ButtonClrMemo1 = new QPushButton(QStringLiteral("c&lr"), bottom);
  ButtonClrMemo1->setObjectName(QStringLiteral("ButtonClrMemo1"));
  ButtonClrMemo1->setAccessibleDescription(QStringLiteral("Empties the information field"));
  connect(ButtonClrMemo1, &QPushButton::clicked, this, [this] { Guarded([this] { app_.Information().Clear(); }); });
  // Offered after a station reported its new base ID as set; nothing changes until it
  // is pressed.
  auto* Button27 = new QPushButton(bottom);
  Button27->setObjectName(QStringLiteral("Button27"));
  Button27->setAccessibleDescription(
      QStringLiteral("Takes the station's new SBI into its column, its SBI field and the data file"));
  new TTextFieldButton(app_.StationTab().StationReports().OfferCaption(), Button27, Bindings(), true);
  new TValueVisibility(app_.StationTab().StationReports().OfferShown(), Button27, Bindings());
  connect(Button27, &QPushButton::clicked, this, [this] { Guarded([this] { app_.StationTab().Button27Click(); }); });
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ButtonClrMemo1, 0, Qt::AlignLeft);
  buttons->addWidget(Button27);
  buttons->addStretch(1);
  bottomLayout->addWidget(Memo1, 1);
  bottomLayout->addLayout(buttons);
  layout->addWidget(bottom);

  new TStationCommands(app_, Errors(), stationCommandsArea, stationCommandsLayout, Bindings());
  auto* Button11 = new QPushButton(QStringLiteral("&read INFI"), ListBox1->parentWidget());
  Button11->setObjectName(QStringLiteral("Button11"));
  connect(Button11, &QPushButton::clicked, this, [this] { Guarded([this] { app_.StationTab().Button11Click(); }); });
  readInfiArea->addWidget(Button11);
  ChainTabOrder();
}

void ShowSbiValidity(QLineEdit* edit) {
  ShowFieldValidity(edit, IsValidSbi(ToBytes(edit->text())), QStringLiteral("not a valid SBI"));
}

}  // namespace ardel::ui
