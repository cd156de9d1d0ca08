// Page "Command / replay -queue": the command queue, the answer list and the
// controls that steer sending.

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>

#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/models.h"

namespace ardel::ui {

void TForm1::BuildQueuePage(QWidget* page) {
  auto* grid = new QGridLayout(page);

  auto makeList = [&](QListView*& view, TLineListModel*& model, TLineList& list, const char* name) {
    model = new TLineListModel(list, this);
    view = new QListView(page);
    view->setObjectName(QString::fromLatin1(name));
    view->setUniformItemSizes(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setFont(CourierNew(9));
    view->setModel(model);
  };
  makeList(ListBox2, commandModel_, app_->Queues().Commands(), "ListBox2");
  makeList(ListBox3, answerModel_, app_->Queues().Answers(), "ListBox3");

  auto* commandsCaption = new QLabel(QStringLiteral("normal commands entered from top"), page);
  commandsCaption->setObjectName(QStringLiteral("Label15"));
  commandsCaption->setBuddy(ListBox2);
  auto* answersCaption = new QLabel(QStringLiteral("answers entered from top"), page);
  answersCaption->setObjectName(QStringLiteral("Label17"));
  answersCaption->setBuddy(ListBox3);
  Label16 = new QLabel(page);
  Label16->setObjectName(QStringLiteral("Label16"));

  CheckBox3 = new QCheckBox(QStringLiteral("AutoTransmit"), page);
  CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
  CheckBox3->setChecked(app_->Queues().AutoTransmit());
  connect(CheckBox3, &QCheckBox::clicked, this,
          [this](bool checked) { Guarded([&] { app_->Queues().SetAutoTransmit(checked); }); });
  Button26 = new QPushButton(QStringLiteral("Single Transmit"), page);
  Button26->setObjectName(QStringLiteral("Button26"));
  connect(Button26, &QPushButton::clicked, this,
          [this] { Guarded([this] { app_->Queues().SingleTransmit(); }); });

  grid->addWidget(commandsCaption, 0, 0);
  grid->addWidget(ListBox2, 1, 0);
  grid->addWidget(Label16, 2, 0);
  grid->addWidget(answersCaption, 0, 1);
  grid->addWidget(ListBox3, 1, 1);
  auto* controls = new QHBoxLayout;
  controls->addWidget(CheckBox3);
  controls->addWidget(Button26);
  controls->addStretch(1);
  grid->addLayout(controls, 3, 0, 1, 2);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 2);
  grid->setRowStretch(1, 1);

  app_->Queues().SetRepeatCntrChanged([this](int value) { ShowRepeatCntr(value); });
  ShowRepeatCntr(app_->Queues().RepeatCntr());
}

void TForm1::ShowRepeatCntr(int value) {
  Label16->setText(QStringLiteral("normal commands processed from bottom          RepeatCntr: ") +
                   QString::number(value));
}

}  // namespace ardel::ui
