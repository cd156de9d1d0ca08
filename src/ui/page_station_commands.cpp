#include "ui/page_station_commands.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ardel_app.h"
#include "ui/fonts.h"
#include "ui/models.h"
#include "ui/page.h"
#include "ui/page_stations.h"
#include "ui/station_models.h"
#include "ui/value_views.h"

namespace ardel::ui {

namespace {

constexpr const char* kTemplateProperty = "commandTemplate";
constexpr const char* kTagProperty = "tag";
// The caption the logs name the command by; the button's own carries its access key.
constexpr const char* kCaptionProperty = "commandCaption";

struct TButtonName {
  const char* caption;
  const char* objectName;
  // The caption with its access key marked; null: the button has none.
  const char* withAccessKey = nullptr;
};

constexpr TButtonName kButtonNames[] = {
    {"Signal_On", "ButtonSignalOn", "Signal_O&n"},
    {"Signal_Flash", "ButtonSignalFlash", "Signal_&Flash"},
    {"Signal_Off", "ButtonSignalOff", "Signal_&Off"},
    {"change now", "ButtonChangeNow", "&change now"},
    {"AO", "ButtonAO"},
    {"AI", "ButtonAI"},
    {"B0", "ButtonB0"},
    {"BI", "ButtonBI"},
    {"CO", "ButtonCO"},
    {"CI", "ButtonCI"},
    {"DO", "ButtonDO"},
    {"DI", "ButtonDI"},
    {"Release_all", "ButtonReleaseAll", "R&elease_all"},
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

TStationCommands::TStationCommands(TArdelApp& app, IErrorSink& errors, QWidget* area, QVBoxLayout* areaLayout,
                                   QObject* bindings)
    : QObject(area), app_(app), errors_(errors) {
  QPushButton* buttons[kStationCommandButtons.size()] = {};
  for (std::size_t i = 0; i < kStationCommandButtons.size(); ++i) {
    const TStationCommandButton& command = kStationCommandButtons[i];
    const char* caption = kButtonNames[i].withAccessKey != nullptr ? kButtonNames[i].withAccessKey : command.caption;
    auto* button = new QPushButton(QString::fromLatin1(caption), area);
    button->setObjectName(QString::fromLatin1(kButtonNames[i].objectName));
    button->setProperty(kTemplateProperty, QString::fromLatin1(command.commandTemplate));
    button->setProperty(kTagProperty, command.tag);
    button->setProperty(kCaptionProperty, QString::fromLatin1(command.caption));
    connect(button, &QPushButton::clicked, this, [this, button] { Guarded(errors_, [&] { Button12Click(button); }); });
    buttons[i] = button;
  }

  // "LED Out 0": the three buttons side by side.
  auto* ledOutGroup = new QGroupBox(QStringLiteral("LED Out 0"), area);
  ledOutGroup->setObjectName(QStringLiteral("GroupBoxLedOut0"));
  auto* ledLayout = new QHBoxLayout(ledOutGroup);
  for (int i = 0; i < 3; ++i) ledLayout->addWidget(buttons[i]);

  // "change Base ID": the new SBI field over "change now", the note beside them.
  auto* changeBaseIdGroup = new QGroupBox(QStringLiteral("change Base ID"), area);
  changeBaseIdGroup->setObjectName(QStringLiteral("GroupBoxChangeBaseId"));
  auto* changeLayout = new QGridLayout(changeBaseIdGroup);
  auto* newSbiLabel = new QLabel(QStringLiteral("to NEW SBI (Station Base ID):"), changeBaseIdGroup);
  newSbiLabel->setObjectName(QStringLiteral("LabelNewSbi"));
  QLineEdit* Edit4 = NewHexField("Edit4", changeBaseIdGroup);
  newSbiLabel->setBuddy(Edit4);
  new TTextFieldLineEdit(app_.StationTab().StationCommandFields().newSbi, Edit4, bindings);
  connect(Edit4, &QLineEdit::textChanged, this, [this, Edit4] { Guarded(errors_, [Edit4] { ShowSbiValidity(Edit4); }); });
  ShowSbiValidity(Edit4);
  auto* note = new QLabel(
      QStringLiteral("don't forget to bring Station in LRN Mode and check Info field at the bottom for feedback"),
      changeBaseIdGroup);
  note->setObjectName(QStringLiteral("LabelChangeBaseIdNote"));
  note->setWordWrap(true);
  changeLayout->addWidget(newSbiLabel, 0, 0);
  changeLayout->addWidget(Edit4, 1, 0);
  changeLayout->addWidget(buttons[3], 2, 0);
  changeLayout->addWidget(note, 1, 1, 2, 1);
  changeLayout->setColumnStretch(1, 1);

  // "simulate a TRT-Command of PTM": the offset on the left; the O button of each
  // column above its I button; "Release_all" beneath all four columns.
  auto* simulateTrtGroup = new QGroupBox(QStringLiteral("simulate a TRT-Command of PTM"), area);
  simulateTrtGroup->setObjectName(QStringLiteral("GroupBoxSimulateTrt"));
  auto* trtLayout = new QGridLayout(simulateTrtGroup);
  auto* offsetLabel = new QLabel(QStringLiteral("Offset (hex 0..7F)"), simulateTrtGroup);
  offsetLabel->setObjectName(QStringLiteral("LabelOffset"));
  Edit2 = NewHexField("Edit2", simulateTrtGroup);
  offsetLabel->setBuddy(Edit2);
  new TTextFieldLineEdit(app_.StationTab().StationCommandFields().offset, Edit2, bindings);
  connect(Edit2, &QLineEdit::textChanged, this, [this] { Guarded(errors_, [this] { Edit2Change(); }); });
  Edit2Change();
  // One cell over both rows of buttons, so Tab takes the offset before them.
  auto* offsetColumn = new QVBoxLayout;
  offsetColumn->setContentsMargins(0, 0, 0, 0);
  offsetColumn->addWidget(offsetLabel);
  offsetColumn->addStretch(1);
  offsetColumn->addWidget(Edit2);
  trtLayout->addLayout(offsetColumn, 0, 0, 2, 1);
  for (int column = 0; column < 4; ++column) {
    trtLayout->addWidget(buttons[4 + 2 * column], 0, 1 + column);
    trtLayout->addWidget(buttons[5 + 2 * column], 1, 1 + column);
  }
  trtLayout->addWidget(buttons[12], 2, 1, 1, 4);
  for (int column = 1; column <= 4; ++column) trtLayout->setColumnStretch(column, 1);
  trtLayout->setColumnMinimumWidth(0, offsetLabel->sizeHint().width());

  int at = 0;
  for (QGroupBox* group : {ledOutGroup, changeBaseIdGroup, simulateTrtGroup}) {
    areaLayout->insertWidget(at++, group);
  }
}

void TStationCommands::Button12Click(QAbstractButton* button) {
  // The failure only warns: the command goes out with target address 00000000.
  app_.StationTab().Button12Click(ToBytes(button->property(kCaptionProperty).toString()), ToBytes(button->property(kTemplateProperty).toString()),
                      button->property(kTagProperty).toInt(),
                      [this] { errors_.ShowError(kCannotCalcTargetAddress, teLatin1); });
}

void TStationCommands::Edit2Change() {
  ShowFieldValidity(Edit2, IsOffsetInRange(ToBytes(Edit2->text())), QStringLiteral("offset not below 80"));
}

}  // namespace ardel::ui
