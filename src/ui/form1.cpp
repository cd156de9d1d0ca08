#include "ui/form1.h"

#include <QShowEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/models.h"
#include "ui/station_models.h"

namespace ardel::ui {

TForm1::TForm1(TFormOptions options, QWidget* parent)
    : QWidget(parent),
      linkLog_(options.clock),
      receivePath_(linkLog_, queues_),
      transmitPath_(linkLog_, receivePath_),
      ruleEngine_(ruleSet_, queues_, linkLog_, messageField_) {
  receivePath_.SetAckDecision([this](const TFrame& frame) { transmitPath_.AckDecision(frame); });
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Ardel V0.1"));
  QFont windowFont(QStringLiteral("MS Sans Serif"), 8);
  windowFont.setStyleHint(QFont::SansSerif);
  setFont(windowFont);
  move(266, 180);
  resize(790, 662);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  layout->addWidget(PageControl1);

  // What the start-up sequence sets is unset until it runs.
  queues_.SetRepeatCntr(0);
  queues_.SetTransmitPermit(false);

  BuildStationsPage(NewPage(QStringLiteral("Stations"), QStringLiteral("TabSheet1")));
  BuildStationCommands();
  BuildRuleSetPage(NewPage(QStringLiteral("RuleSet"), QStringLiteral("TabSheet2")));
  BuildTestPage(NewPage(QStringLiteral("Test"), QStringLiteral("TabSheet3")));
  BuildDataPage(NewPage(QStringLiteral("Data"), QStringLiteral("TabSheet4")));
  BuildQueuePage(NewPage(QStringLiteral("Command / replay -queue"), QStringLiteral("TabSheet5")));
  BuildSetupPage(NewPage(QStringLiteral("Setup"), QStringLiteral("TabSheet6")));
  PageControl1->setCurrentIndex(0);
  // The tick runs from the moment the window exists.
  tick_ = std::make_unique<TQueueTick>(
      queues_, linkLog_, transmitPath_, stationTable_, displayedStation_, information_,
      TQueueTick::TOutputs{[this](const std::string& stamp) { Edit1->setText(FromUtf8(stamp)); },
                           [this](const std::string& text) { ruleEngine_.RuleCheck(text); }});
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
  Timer1->start(kTickIntervalStart);

  SetUpComPort1(options);
  transmitPath_.SetWriter([this](std::string_view bytes) { ComPort1.SendString(bytes); });

  runSequences_ = options.runSequences;
  startUp_ = std::move(options);
  if (runSequences_) FormCreate();
}

TForm1::~TForm1() {
  if (runSequences_) FormDestroy();
  // The rule editor's view reads the editor as it lets go of the rule set, so it goes
  // while the editor is still there.
  ruleSetEditor_.reset();
  messageFieldView_.reset();
  // The widgets and models watch core members that die before QObject's children do.
  delete PageControl1;
  delete linkLogModel_;
  delete commandModel_;
  delete answerModel_;
}

QWidget* TForm1::NewPage(const QString& caption, const QString& objectName) {
  auto* page = new QWidget(PageControl1);
  page->setObjectName(objectName);
  PageControl1->addTab(page, caption);
  return page;
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_) return;
  placed_ = true;
  // 790 x 662 is the outer size; the frame is only known once the window is shown.
  const QSize frame = frameGeometry().size() - size();
  resize(790 - frame.width(), 662 - frame.height());
  move(266, 180);
}

void TForm1::ShowError(const char* text) { errorDialog_->ShowError(this, QString::fromUtf8(text)); }

}  // namespace ardel::ui
