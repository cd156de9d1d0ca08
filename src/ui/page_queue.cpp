#include "ui/page_queue.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>

#include "app/ardel_app.h"
#include "ui/fonts.h"
#include "ui/models.h"

namespace ardel::ui {

TPageQueue::TPageQueue(TArdelApp& app, IErrorSink& errors, QWidget* parent)
    : TPage(app, errors, QStringLiteral("TabSheet5"), parent) {
  auto* grid = new QGridLayout(this);

  auto makeList = [&](TLineList& list, const char* name) {
    auto* model = new TLineListModel(list, this);
    auto* view = new QListView(this);
    view->setObjectName(QString::fromLatin1(name));
    view->setUniformItemSizes(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setFont(CourierNew(9));
    view->setModel(model);
    return view;
  };
  QListView* commands = makeList(app_.Queues().Commands(), "ListBox2");
  QListView* answers = makeList(app_.Queues().Answers(), "ListBox3");

  auto* commandsCaption = new QLabel(QStringLiteral("normal commands entered from top"), this);
  commandsCaption->setObjectName(QStringLiteral("Label15"));
  commandsCaption->setBuddy(commands);
  auto* answersCaption = new QLabel(QStringLiteral("answers entered from top"), this);
  answersCaption->setObjectName(QStringLiteral("Label17"));
  answersCaption->setBuddy(answers);
  Label16 = new QLabel(this);
  Label16->setObjectName(QStringLiteral("Label16"));

  auto* autoTransmit = new QCheckBox(QStringLiteral("&AutoTransmit"), this);
  autoTransmit->setObjectName(QStringLiteral("CheckBox3"));
  autoTransmit->setChecked(app_.Queues().AutoTransmit());
  connect(autoTransmit, &QCheckBox::clicked, this,
          [this](bool checked) { Guarded([&] { app_.Queues().SetAutoTransmit(checked); }); });
  auto* singleTransmit = new QPushButton(QStringLiteral("&Single Transmit"), this);
  singleTransmit->setObjectName(QStringLiteral("Button26"));
  connect(singleTransmit, &QPushButton::clicked, this, [this] { Guarded([this] { app_.Queues().SingleTransmit(); }); });

  grid->addWidget(commandsCaption, 0, 0);
  grid->addWidget(commands, 1, 0);
  grid->addWidget(Label16, 2, 0);
  grid->addWidget(answersCaption, 0, 1);
  grid->addWidget(answers, 1, 1);
  auto* controls = new QHBoxLayout;
  controls->addWidget(autoTransmit);
  controls->addWidget(singleTransmit);
  controls->addStretch(1);
  grid->addLayout(controls, 3, 0, 1, 2);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 2);
  grid->setRowStretch(1, 1);

  app_.Queues().SetRepeatCntrChanged([this](int value) { ShowRepeatCntr(value); });
  ShowRepeatCntr(app_.Queues().RepeatCntr());
  ChainTabOrder();
}

TPageQueue::~TPageQueue() { app_.Queues().SetRepeatCntrChanged(nullptr); }

void TPageQueue::ShowRepeatCntr(int value) {
  Label16->setText(QStringLiteral("normal commands processed from bottom          RepeatCntr: ") +
                   QString::number(value));
}

}  // namespace ardel::ui
