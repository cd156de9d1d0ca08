// Page "Test": the link log with its switches.

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/models.h"

namespace ardel::ui {

void TForm1::BuildTestPage(QWidget* page) {
  testLayout_ = new QVBoxLayout(page);

  auto* header = new QHBoxLayout;
  auto makeSwitch = [&](QCheckBox*& box, const char* name, const char* caption, bool& flag) {
    box = new QCheckBox(QString::fromLatin1(caption), page);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(flag);
    connect(box, &QCheckBox::toggled, this, [&flag](bool on) { flag = on; });
    header->addWidget(box);
  };
  TLinkLogSwitches& switches = linkLog_.Switches();
  makeSwitch(CheckBox1, "CheckBox1", "raw reception", switches.rawReception);
  makeSwitch(CheckBox2, "CheckBox2", "Stop Loging", switches.stopLogging);
  makeSwitch(CheckBox4, "CheckBox4", "Debug Info", switches.debugInfo);
  header->addStretch(1);
  Button4 = new QPushButton(QStringLiteral("clear Log"), page);
  Button4->setObjectName(QStringLiteral("Button4"));
  connect(Button4, &QPushButton::clicked, this, [this] { Guarded([this] { Button4Click(); }); });
  header->addWidget(Button4);
  testLayout_->addLayout(header);

  auto* label = new QLabel(QStringLiteral("RS485 Link Log"), page);
  label->setObjectName(QStringLiteral("Label1"));
  linkLogModel_ = new TLinkLogModel(linkLog_, this);
  RichEdit1 = new TLinkLogView(page);
  RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
  RichEdit1->setFont(CourierNewPixels(11, true));
  RichEdit1->setModel(linkLogModel_);
  label->setBuddy(RichEdit1);
  testLayout_->addWidget(label);
  testLayout_->addWidget(RichEdit1, 1);
}

void TForm1::Button4Click() { linkLog_.Clear(); }

}  // namespace ardel::ui
