#include "ui/page_ruleset.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/ardel_app.h"
#include "ui/fonts.h"
#include "ui/models.h"
#include "ui/rule_highlighter.h"
#include "ui/station_models.h"
#include "ui/text_views.h"
#include "ui/value_views.h"

namespace ardel::ui {

TPageRuleset::TPageRuleset(TArdelApp& app, IErrorSink& errors, QWidget* parent)
    : TPage(app, errors, QStringLiteral("TabSheet2"), parent) {
  auto* layout = new QVBoxLayout(this);
  auto* Splitter1 = new QSplitter(Qt::Vertical, this);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setChildrenCollapsible(false);
  layout->addWidget(Splitter1);

  auto* upper = new QWidget(Splitter1);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(0, 0, 0, 0);
  auto* Label19 = new QLabel(QStringLiteral("Ruleset:"), upper);
  Label19->setObjectName(QStringLiteral("Label19"));
  auto* CheckBox5 = new QCheckBox(QStringLiteral("&process Ruleset"), upper);
  CheckBox5->setObjectName(QStringLiteral("CheckBox5"));
  CheckBox5->setChecked(app_.RuleEngine().ProcessRuleset());
  connect(CheckBox5, &QCheckBox::toggled, this, [this](bool on) { app_.RuleEngine().SetProcessRuleset(on); });
  auto* Button9 = new QPushButton(QStringLiteral("&save Ruleset"), upper);
  Button9->setObjectName(QStringLiteral("Button9"));
  connect(Button9, &QPushButton::clicked, this, [this] { Guarded([this] { Button9Click(); }); });
  auto* Memo2 = new QPlainTextEdit(upper);
  Memo2->setObjectName(QStringLiteral("Memo2"));
  Memo2->setFont(CourierNew(10));
  Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Label19->setBuddy(Memo2);
  WarnBeyondLatin1(Memo2);
  new TRuleLineHighlighter(Memo2);
  Memo2->setToolTip(RuleLineKey());
  // Says whether and where "save Ruleset" wrote the file.
  auto* Label24 = new QLabel(upper);
  Label24->setObjectName(QStringLiteral("Label24"));
  Label24->setAccessibleName(QStringLiteral("Ruleset saved"));
  Label24->setTextInteractionFlags(Qt::TextSelectableByMouse);
  new TTextFieldLabel(app_.RuleSetSaved(), Label24, Bindings(), true);
  upperLayout->addWidget(Label19);
  upperLayout->addWidget(CheckBox5, 0, Qt::AlignLeft);
  upperLayout->addWidget(Button9, 0, Qt::AlignLeft);
  upperLayout->addWidget(Memo2, 1);
  upperLayout->addWidget(Label24);

  auto* lower = new QWidget(Splitter1);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  auto* heading = new QHBoxLayout;
  auto* Label20 = new QLabel(QStringLiteral("Message Field:"), lower);
  Label20->setObjectName(QStringLiteral("Label20"));
  auto* Button10 = new QPushButton(QStringLiteral("c&lr"), lower);
  Button10->setObjectName(QStringLiteral("Button10"));
  Button10->setAccessibleDescription(QStringLiteral("Empties the message field"));
  connect(Button10, &QPushButton::clicked, this, [this] { Guarded([this] { Button10Click(); }); });
  heading->addWidget(Label20);
  heading->addWidget(Button10);
  heading->addStretch(1);
  // The messages are the rules' output: the operator reads and copies them.
  auto* Memo3 = new QPlainTextEdit(lower);
  Memo3->setObjectName(QStringLiteral("Memo3"));
  Memo3->setReadOnly(true);
  Memo3->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Label20->setBuddy(Memo3);
  lowerLayout->addLayout(heading);
  lowerLayout->addWidget(Memo3, 1);

  Splitter1->setStretchFactor(0, 3);
  Splitter1->setStretchFactor(1, 1);

  ruleSetEditor_ = std::make_unique<TRuleSetEditorView>(Memo2, app_.RuleSet());
  messageFieldView_ = std::make_unique<TTextLinesPlainText>(app_.MessageField(), Memo3);
  ChainTabOrder();
}

TPageRuleset::~TPageRuleset() {
  ruleSetEditor_.reset();
  messageFieldView_.reset();
}

void TPageRuleset::Button9Click() { app_.SaveRuleSetFile(); }

void TPageRuleset::Button10Click() { app_.MessageField().Clear(); }

}  // namespace ardel::ui
