// Page "Setup": the tick interval and the settings of the next start.

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QSpinBox>

#include "stations/configuration.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "ui/value_views.h"

namespace ardel::ui {

void TForm1::BuildSetupPage(QWidget* page) {
  setupLayout_ = new QGridLayout(page);
  auto* intervalLabel = new QLabel(QStringLiteral("Interval Time (ms)"), page);
  intervalLabel->setObjectName(QStringLiteral("Label13"));
  SpinEdit1 = new QSpinBox(page);
  SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
  SpinEdit1->setRange(kTickIntervalMin, kTickIntervalMax);
  SpinEdit1->setSingleStep(25);
  intervalLabel->setBuddy(SpinEdit1);
  new TValueSpinBox(app_->TickInterval(), SpinEdit1, [this](const QString& text) { SpinEdit1Change(text); },
                    bindings_.get());
  setupLayout_->addWidget(intervalLabel, 0, 0);
  setupLayout_->addWidget(SpinEdit1, 0, 1);

  // The port for the next start.
  auto* portLabel = new QLabel(QStringLiteral("ComPort (1..4):"), page);
  portLabel->setObjectName(QStringLiteral("Label14"));
  SpinEdit2 = new QSpinBox(page);
  SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
  SpinEdit2->setRange(kComportMin, kComportMax);
  SpinEdit2->setSingleStep(1);
  portLabel->setBuddy(SpinEdit2);
  new TValueSpinBox(app_->PortNumber(), SpinEdit2,
                    [this](const QString& text) { Guarded([&] { SpinEdit2Change(text); }); }, bindings_.get());
  Label18 = new QLabel(
      QStringLiteral("you must close and reopen the application to activate the new comport !!!"), page);
  Label18->setObjectName(QStringLiteral("Label18"));
  QFont warningFont = Label18->font();
  warningFont.setBold(true);
  Label18->setFont(warningFont);
  QPalette warningPalette = Label18->palette();
  warningPalette.setColor(QPalette::Window, QColor(255, 0, 0));
  warningPalette.setColor(QPalette::WindowText, QColor(0, 0, 0));
  Label18->setPalette(warningPalette);
  Label18->setAutoFillBackground(true);
  Label18->setMargin(2);
  new TValueVisibility(app_->PortWarning(), Label18, bindings_.get());
  setupLayout_->addWidget(portLabel, 1, 0);
  setupLayout_->addWidget(SpinEdit2, 1, 1);
  setupLayout_->addWidget(Label18, 1, 2, 1, 2, Qt::AlignLeft);

  // What the port uses; a label only.
  auto* interfaceBox = new QGroupBox(QStringLiteral("Interface"), page);
  interfaceBox->setObjectName(QStringLiteral("GroupBox1"));
  auto* interfaceLayout = new QVBoxLayout(interfaceBox);
  auto* lineSettings = new QLabel(QStringLiteral("9600baud   8data   1stp   noparity"), interfaceBox);
  lineSettings->setObjectName(QStringLiteral("Label21"));
  interfaceLayout->addWidget(lineSettings);
  setupLayout_->addWidget(interfaceBox, 2, 0, 1, 3);

  BuildLogSetup(page, 3);

  auto* buildBox = new QFrame(page);
  buildBox->setObjectName(QStringLiteral("Panel1"));
  buildBox->setFrameShape(QFrame::StyledPanel);
  auto* buildLayout = new QHBoxLayout(buildBox);
  auto* build = new QLabel(QStringLiteral("Build 13.10.07"), buildBox);
  build->setObjectName(QStringLiteral("Label22"));
  buildLayout->addWidget(build);
  setupLayout_->addWidget(buildBox, 11, 0, 1, 4);

  setupLayout_->setColumnStretch(3, 1);
  setupLayout_->setRowStretch(10, 1);
}

void TForm1::SpinEdit1Change(const QString& text) { app_->SpinEdit1Change(ToBytes(text)); }

void TForm1::SpinEdit2Change(const QString& text) { app_->SpinEdit2Change(ToBytes(text)); }

}  // namespace ardel::ui
