// Page "Setup": the tick interval and the settings of the next start.

#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>

#include "ui/form1.h"
#include "ui/models.h"

namespace ardel::ui {

void TForm1::BuildSetupPage(QWidget* page) {
  setupLayout_ = new QGridLayout(page);
  auto* intervalLabel = new QLabel(QStringLiteral("Interval Time (ms)"), page);
  intervalLabel->setObjectName(QStringLiteral("Label13"));
  SpinEdit1 = new QSpinBox(page);
  SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
  SpinEdit1->setRange(kTickIntervalMin, kTickIntervalMax);
  SpinEdit1->setSingleStep(25);
  SpinEdit1->setValue(kTickIntervalStart);
  intervalLabel->setBuddy(SpinEdit1);
  connect(SpinEdit1, &QSpinBox::textChanged, this, [this](const QString& text) { SpinEdit1Change(text); });
  setupLayout_->addWidget(intervalLabel, 0, 0);
  setupLayout_->addWidget(SpinEdit1, 0, 1);
  setupLayout_->setColumnStretch(3, 1);
  setupLayout_->setRowStretch(10, 1);
}

void TForm1::SpinEdit1Change(const QString& text) {
  // Restarts the period at once.
  Timer1->start(TickIntervalFromText(ToBytes(text)));
}

void TForm1::Timer1Timer() {
  // No dialog from here: a modal loop inside the tick would let the tick run again.
  try {
    tick_->Timer1Timer();
  } catch (const std::exception& e) {
    linkLog_.AppendLine(colors::kError, "E " + linkLog_.TimeStamp() + "   " + e.what());
  }
}

}  // namespace ardel::ui
