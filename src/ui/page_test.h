#pragma once
// Page "Test": the link log with its switches, the ACK policy, the command line with its
// presets. Nothing here writes to the port: operator actions go through the queue.

#include <QPointer>
#include <QString>

#include "ui/find_bar.h"
#include "ui/page.h"
#include "ui/save_file_dialog.h"

class QComboBox;

namespace ardel::ui {

class TBusOverviewWindow;
class TLinkLogView;

// The key to the link log's colours, as rich text.
QString LinkLogColourKey();

class TPageTest : public TPage {
 public:
  // The dialogs ask where "save Log as..." writes and which capture "open capture..."
  // opens; the standard ones when null.
  TPageTest(TArdelApp& app, IErrorSink& errors, ISaveFileDialog* saveFileDialog, IOpenFileDialog* openFileDialog,
            QWidget* parent);
  // The overview window goes before the program it shows.
  ~TPageTest() override;

 private:
  // Opens the bus overview, or brings the one open to the front.
  void ButtonBusOverviewClick();
  void Button4Click();
  void Button6Click();
  void PresetClick(int preset);
  void PresetSetClick(int preset);
  void ButtonSaveLogClick();
  void ButtonOpenCaptureClick();

  TQtSaveFileDialog defaultSaveFileDialog_;
  TQtOpenFileDialog defaultOpenFileDialog_;
  ISaveFileDialog* saveFileDialog_;
  IOpenFileDialog* openFileDialog_;
  QComboBox* ComboBox1 = nullptr;   // command line
  TLinkLogView* RichEdit1 = nullptr;
  TFindBar* findBar_ = nullptr;
  QPointer<TBusOverviewWindow> overview_;
};

}  // namespace ardel::ui
