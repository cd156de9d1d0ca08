#pragma once
// Page "Setup": the tick interval, the settings of the next start, where the link log's
// capture goes and the table "Ports".

#include "ui/page.h"

class QGridLayout;
class QString;

namespace ardel::ui {

class TElidedLineEdit;

class TPageSetup : public TPage {
 public:
  TPageSetup(TArdelApp& app, IErrorSink& errors, QWidget* parent);

  // Shows the capture's folder and file as they are now; a timer repeats it, as the file
  // changes when it rotates or a failed capture starts anew.
  void ShowLogCapture();

 private:
  void SpinEdit1Change(const QString& text);
  void SpinEdit2Change(const QString& text);
  void BuildLogSetup(QGridLayout* layout, int row);
  void ButtonLogFolderClick();
  // The capture's switch and folder for the next start.
  void BuildCaptureChoice(QGridLayout* layout, int row);
  // The table "Ports": each port's device and RS485 mode, written at once.
  void BuildPortsTable(QGridLayout* layout, int row);

  TElidedLineEdit* EditLogFolder = nullptr;
  TElidedLineEdit* EditLogFile = nullptr;
};

}  // namespace ardel::ui
