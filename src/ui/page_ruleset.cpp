// Page "RuleSet": the rule editor above a movable divider, the message field below.

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "ui/station_models.h"
#include "util/text_file.h"

namespace ardel::ui {

void TForm1::BuildRuleSetPage(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  Splitter1 = new QSplitter(Qt::Vertical, page);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setChildrenCollapsible(false);
  layout->addWidget(Splitter1);

  auto* upper = new QWidget(Splitter1);
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(0, 0, 0, 0);
  Label19 = new QLabel(QStringLiteral("Ruleset:"), upper);
  Label19->setObjectName(QStringLiteral("Label19"));
  CheckBox5 = new QCheckBox(QStringLiteral("process Ruleset"), upper);
  CheckBox5->setObjectName(QStringLiteral("CheckBox5"));
  CheckBox5->setChecked(ruleEngine_.ProcessRuleset());
  connect(CheckBox5, &QCheckBox::toggled, this, [this](bool on) { ruleEngine_.SetProcessRuleset(on); });
  Button9 = new QPushButton(QStringLiteral("save Ruleset"), upper);
  Button9->setObjectName(QStringLiteral("Button9"));
  connect(Button9, &QPushButton::clicked, this, [this] { Guarded([this] { Button9Click(); }); });
  Memo2 = new QPlainTextEdit(upper);
  Memo2->setObjectName(QStringLiteral("Memo2"));
  Memo2->setFont(CourierNew(10));
  Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Label19->setBuddy(Memo2);
  WarnBeyondLatin1(Memo2);
  upperLayout->addWidget(Label19);
  upperLayout->addWidget(CheckBox5, 0, Qt::AlignLeft);
  upperLayout->addWidget(Button9, 0, Qt::AlignLeft);
  upperLayout->addWidget(Memo2, 1);

  auto* lower = new QWidget(Splitter1);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  auto* heading = new QHBoxLayout;
  Label20 = new QLabel(QStringLiteral("Message Field:"), lower);
  Label20->setObjectName(QStringLiteral("Label20"));
  Button10 = new QPushButton(QStringLiteral("clr"), lower);
  Button10->setObjectName(QStringLiteral("Button10"));
  Button10->setAccessibleDescription(QStringLiteral("Empties the message field"));
  connect(Button10, &QPushButton::clicked, this, [this] { Guarded([this] { Button10Click(); }); });
  heading->addWidget(Label20);
  heading->addWidget(Button10);
  heading->addStretch(1);
  // The messages are the rules' output: the operator reads and copies them.
  Memo3 = new QPlainTextEdit(lower);
  Memo3->setObjectName(QStringLiteral("Memo3"));
  Memo3->setReadOnly(true);
  Memo3->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Label20->setBuddy(Memo3);
  lowerLayout->addLayout(heading);
  lowerLayout->addWidget(Memo3, 1);

  Splitter1->setStretchFactor(0, 3);
  Splitter1->setStretchFactor(1, 1);

  ruleSetEditor_ = std::make_unique<TRuleSetEditorView>(Memo2, ruleSet_);
  messageFieldView_ = std::make_unique<TTextLinesPlainText>(messageField_, Memo3);
}

std::string TForm1::RuleSetPath() const {
  if (programDirectory_.empty()) return {};
  std::string path = programDirectory_;
  if (path.back() != '/') path += '/';
  return path + TRuleSet::kFileName;
}

void TForm1::LoadRuleSet(const std::string& path) { ruleSet_.Load(path); }

void TForm1::SaveRuleSet(const std::string& path) { ruleSet_.Save(path); }

void TForm1::Button9Click() {
  const std::string path = RuleSetPath();
  if (path.empty()) {
    throw EFileError(std::string("cannot save ") + TRuleSet::kFileName +
                     ": the program directory is not known");
  }
  SaveRuleSet(path);
}

void TForm1::Button10Click() { messageField_.Clear(); }

}  // namespace ardel::ui
