#include "ui/form1.h"

#include <QShowEvent>
#include <QStatusBar>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/page_data.h"
#include "ui/page_queue.h"
#include "ui/page_ruleset.h"
#include "ui/page_setup.h"
#include "ui/page_stations.h"
#include "ui/page_test.h"
#include "ui/status_bar.h"

namespace ardel::ui {

TForm1::TForm1(TFormOptions options, QWidget* parent)
    : QWidget(parent), runSequences_(options.runSequences) {
  ISaveFileDialog* saveFileDialog = options.saveFileDialog;
  IOpenFileDialog* openFileDialog = options.openFileDialog;
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

  IErrorSink& errors = *this;
  AddPage(new TPageStations(*app_, errors, PageControl1), QStringLiteral("Stations"));
  AddPage(new TPageRuleset(*app_, errors, PageControl1), QStringLiteral("RuleSet"));
  AddPage(new TPageTest(*app_, errors, saveFileDialog, openFileDialog, PageControl1),
          QStringLiteral("Test"));
  AddPage(new TPageData(*app_, errors, PageControl1), QStringLiteral("Data"));
  AddPage(new TPageQueue(*app_, errors, PageControl1), QStringLiteral("Command / replay -queue"));
  setupPage_ = new TPageSetup(*app_, errors, PageControl1);
  AddPage(setupPage_, QStringLiteral("Setup"));
  PageControl1->setCurrentIndex(0);
  layout->addWidget(NewPortStatusBar(*app_, this, bindings_.get()));

  if (runSequences_) app_->FormCreate();
  setupPage_->ShowLogCapture();
}

TForm1::~TForm1() {
  if (runSequences_) FormDestroy();
  // The pages and the status bar watch the program's objects, which go before QObject's
  // children do.
  delete PageControl1;
  bindings_.reset();
}

void TForm1::AddPage(QWidget* page, const QString& caption) { PageControl1->addTab(page, caption); }

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
