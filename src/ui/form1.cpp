#include "ui/form1.h"

#include <QShowEvent>
#include <QStatusBar>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/models.h"
#include "ui/station_models.h"
#include "ui/status_bar.h"

namespace ardel::ui {

TForm1::TForm1(TFormOptions options, QWidget* parent)
    : QWidget(parent), runSequences_(options.runSequences) {
  app_ = std::make_unique<TArdelApp>(loop_, static_cast<IErrorSink&>(*this), std::move(options));
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

  BuildStationsPage(NewPage(QStringLiteral("Stations"), QStringLiteral("TabSheet1")));
  BuildStationCommands();
  BuildRuleSetPage(NewPage(QStringLiteral("RuleSet"), QStringLiteral("TabSheet2")));
  BuildTestPage(NewPage(QStringLiteral("Test"), QStringLiteral("TabSheet3")));
  BuildDataPage(NewPage(QStringLiteral("Data"), QStringLiteral("TabSheet4")));
  BuildQueuePage(NewPage(QStringLiteral("Command / replay -queue"), QStringLiteral("TabSheet5")));
  BuildSetupPage(NewPage(QStringLiteral("Setup"), QStringLiteral("TabSheet6")));
  PageControl1->setCurrentIndex(0);
  layout->addWidget(NewPortStatusBar(*app_, this, bindings_.get()));

  if (runSequences_) FormCreate();
  ShowLogCapture();
}

TForm1::~TForm1() {
  if (runSequences_) FormDestroy();
  // The rule editor's view reads the editor as it lets go of the rule set, so it goes
  // while the editor is still there.
  ruleSetEditor_.reset();
  messageFieldView_.reset();
  // The widgets and models watch the program's objects, which go before QObject's
  // children do.
  app_->Queues().SetRepeatCntrChanged(nullptr);
  bindings_.reset();
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

void TForm1::ShowError(std::string_view text, TTextEncoding encoding) {
  const auto size = static_cast<qsizetype>(text.size());
  errorDialog_->ShowError(this, encoding == teLatin1 ? QString::fromLatin1(text.data(), size)
                                                     : QString::fromUtf8(text.data(), size));
}

}  // namespace ardel::ui
