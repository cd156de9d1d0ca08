#pragma once
// The main window: the six pages, the status bar under them, bound to one program.

#include <QWidget>
#include <memory>
#include <string_view>

#include "app/ardel_app.h"
#include "ui/error_dialog.h"
#include "ui/qt_event_loop.h"

class QTabWidget;

namespace ardel::ui {

class IOpenFileDialog;
class ISaveFileDialog;
class TPageSetup;

// The program's options, and whether creating the window runs the start-up sequence and
// destroying it the shut-down sequence. The program does; without them the window stays
// as a start-up that failed at its first step leaves it, and touches no file and no port.
struct TFormOptions : TAppOptions {
  bool runSequences = false;
  // Where "save Log as..." and "open capture..." ask for their files; the standard
  // dialogs when null.
  ISaveFileDialog* saveFileDialog = nullptr;
  IOpenFileDialog* openFileDialog = nullptr;
};

class TForm1 : public QWidget, private IErrorSink {
  Q_OBJECT
 public:
  explicit TForm1(TFormOptions options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // Where failures are shown; the window keeps the default unless told otherwise.
  void SetErrorDialog(IErrorDialog* dialog) { errorDialog_ = dialog; }

  // The program this window shows.
  TArdelApp& App() { return *app_; }

  // The shut-down sequence; true when it saved everything it was to save.
  bool FormDestroy() { return app_->FormDestroy(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowError(std::string_view text, TTextEncoding encoding) override;
  void AddPage(QWidget* page, const QString& caption);

  TMessageBoxErrorDialog defaultErrorDialog_;
  IErrorDialog* errorDialog_ = &defaultErrorDialog_;
  bool runSequences_ = false;
  bool placed_ = false;
  // The loop before the program, the program before the bindings of its objects: each
  // goes after what refers to it.
  TQtEventLoop loop_;
  std::unique_ptr<TArdelApp> app_;
  std::unique_ptr<QObject> bindings_ = std::make_unique<QObject>();

  QTabWidget* PageControl1 = nullptr;
  TPageSetup* setupPage_ = nullptr;
};

}  // namespace ardel::ui
