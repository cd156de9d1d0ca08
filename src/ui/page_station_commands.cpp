// Page "Stations": the station command groups beside the displayed station and
// "read INFI" under its INFI list.

#include <QAbstractButton>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "ui/station_models.h"
#include "ui/value_views.h"

namespace ardel::ui {

namespace {

constexpr const char* kTemplateProperty = "commandTemplate";
constexpr const char* kTagProperty = "tag";

struct TButtonName {
  const char* caption;
  const char* objectName;
};

constexpr TButtonName kButtonNames[] = {
    {"Signal_On", "ButtonSignalOn"},
    {"Signal_Flash", "ButtonSignalFlash"},
    {"Signal_Off", "ButtonSignalOff"},
    {"change now", "ButtonChangeNow"},
    {"AO", "ButtonAO"},
    {"AI", "ButtonAI"},
    {"B0", "ButtonB0"},
    {"BI", "ButtonBI"},
    {"CO", "ButtonCO"},
    {"CI", "ButtonCI"},
    {"DO", "ButtonDO"},
    {"DI", "ButtonDI"},
    {"Release_all", "ButtonReleaseAll"},
};
static_assert(std::size(kButtonNames) == kStationCommandButtons.size());

QLineEdit* NewHexField(const char* objectName, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  edit->setFont(CourierNew(10, true));
  // Room for eight digits and no more, like the SBI field.
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("FFFFFFFF")) + 24);
  return edit;
}

}  // namespace

void TForm1::BuildStationCommands() {
  QWidget* area = stationCommandsArea_;
  QPushButton* buttons[kStationCommandButtons.size()] = {};
  for (std::size_t i = 0; i < kStationCommandButtons.size(); ++i) {
    const TStationCommandButton& command = kStationCommandButtons[i];
    auto* button = new QPushButton(QString::fromLatin1(command.caption), area);
    button->setObjectName(QString::fromLatin1(kButtonNames[i].objectName));
    button->setProperty(kTemplateProperty, QString::fromLatin1(command.commandTemplate));
    button->setProperty(kTagProperty, command.tag);
    connect(button, &QPushButton::clicked, this, [this, button] { Guarded([&] { Button12Click(button); }); });
    buttons[i] = button;
  }

  // "LED Out 0": the three buttons side by side.
  ledOutGroup_ = new QGroupBox(QStringLiteral("LED Out 0"), area);
  ledOutGroup_->setObjectName(QStringLiteral("GroupBoxLedOut0"));
  auto* ledLayout = new QHBoxLayout(ledOutGroup_);
  for (int i = 0; i < 3; ++i) ledLayout->addWidget(buttons[i]);

  // "change Base ID": the new SBI field over "change now", the note beside them.
  changeBaseIdGroup_ = new QGroupBox(QStringLiteral("change Base ID"), area);
  changeBaseIdGroup_->setObjectName(QStringLiteral("GroupBoxChangeBaseId"));
  auto* changeLayout = new QGridLayout(changeBaseIdGroup_);
  auto* newSbiLabel = new QLabel(QStringLiteral("to NEW SBI (Station Base ID):"), changeBaseIdGroup_);
  newSbiLabel->setObjectName(QStringLiteral("LabelNewSbi"));
  Edit4 = NewHexField("Edit4", changeBaseIdGroup_);
  newSbiLabel->setBuddy(Edit4);
  new TTextFieldLineEdit(app_->StationTab().StationCommandFields().newSbi, Edit4, bindings_.get());
  connect(Edit4, &QLineEdit::textChanged, this, [this] { Guarded([this] { Edit3Change(Edit4); }); });
  Edit3Change(Edit4);
  auto* note = new QLabel(
      QStringLiteral("don't forget to bring Station in LRN Mode and check Info field at the bottom for feedback"),
      changeBaseIdGroup_);
  note->setObjectName(QStringLiteral("LabelChangeBaseIdNote"));
  note->setWordWrap(true);
  changeLayout->addWidget(newSbiLabel, 0, 0);
  changeLayout->addWidget(Edit4, 1, 0);
  changeLayout->addWidget(buttons[3], 2, 0);
  changeLayout->addWidget(note, 1, 1, 2, 1);
  changeLayout->setColumnStretch(1, 1);

  // "simulate a TRT-Command of PTM": the offset on the left; the O button of each
  // column above its I button; "Release_all" beneath all four columns.
  simulateTrtGroup_ = new QGroupBox(QStringLiteral("simulate a TRT-Command of PTM"), area);
  simulateTrtGroup_->setObjectName(QStringLiteral("GroupBoxSimulateTrt"));
  auto* trtLayout = new QGridLayout(simulateTrtGroup_);
  auto* offsetLabel = new QLabel(QStringLiteral("Offset (hex 0..7F)"), simulateTrtGroup_);
  offsetLabel->setObjectName(QStringLiteral("LabelOffset"));
  Edit2 = NewHexField("Edit2", simulateTrtGroup_);
  offsetLabel->setBuddy(Edit2);
  new TTextFieldLineEdit(app_->StationTab().StationCommandFields().offset, Edit2, bindings_.get());
  connect(Edit2, &QLineEdit::textChanged, this, [this] { Guarded([this] { Edit2Change(); }); });
  Edit2Change();
  trtLayout->addWidget(offsetLabel, 0, 0);
  trtLayout->addWidget(Edit2, 1, 0);
  for (int column = 0; column < 4; ++column) {
    trtLayout->addWidget(buttons[4 + 2 * column], 0, 1 + column);
    trtLayout->addWidget(buttons[5 + 2 * column], 1, 1 + column);
  }
  trtLayout->addWidget(buttons[12], 2, 1, 1, 4);
  for (int column = 1; column <= 4; ++column) trtLayout->setColumnStretch(column, 1);
  trtLayout->setColumnMinimumWidth(0, offsetLabel->sizeHint().width());

  int at = 0;
  for (QGroupBox* group : {ledOutGroup_, changeBaseIdGroup_, simulateTrtGroup_}) {
    stationCommandsLayout_->insertWidget(at++, group);
  }

  Button11 = new QPushButton(QStringLiteral("read INFI"), ListBox1->parentWidget());
  Button11->setObjectName(QStringLiteral("Button11"));
  connect(Button11, &QPushButton::clicked, this, [this] { Guarded([this] { Button11Click(); }); });
  readInfiArea_->addWidget(Button11);
}

void TForm1::Button12Click(QAbstractButton* button) {
  // The failure only warns: the command goes out with target address 00000000.
  app_->StationTab().Button12Click(ToBytes(button->text()),
                                   ToBytes(button->property(kTemplateProperty).toString()),
                                   button->property(kTagProperty).toInt(),
                                   [this] { ShowError(kCannotCalcTargetAddress, teLatin1); });
}

void TForm1::Button11Click() { app_->StationTab().Button11Click(); }

void TForm1::Edit2Change() {
  ShowFieldValidity(Edit2, IsOffsetInRange(ToBytes(Edit2->text())), QStringLiteral("offset not below 80"));
}

}  // namespace ardel::ui
