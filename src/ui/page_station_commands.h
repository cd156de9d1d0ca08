#pragma once
// The station command groups beside the displayed station: "LED Out 0", "change Base
// ID" and "simulate a TRT-Command of PTM".

#include <QObject>

#include "app/event_loop.h"

class QAbstractButton;
class QLineEdit;
class QVBoxLayout;
class QWidget;

namespace ardel {
class TArdelApp;
}

namespace ardel::ui {

class TStationCommands : public QObject {
 public:
  // The groups go into area's layout above what it holds; bindings holds their bindings
  // to the program's fields.
  TStationCommands(TArdelApp& app, IErrorSink& errors, QWidget* area, QVBoxLayout* areaLayout, QObject* bindings);

 private:
  // The one handler of all thirteen command buttons; each button carries its command
  // template and tag as properties.
  void Button12Click(QAbstractButton* button);
  // Recolours the offset field after each change of its text.
  void Edit2Change();

  TArdelApp& app_;
  IErrorSink& errors_;
  QLineEdit* Edit2 = nullptr;  // offset
};

}  // namespace ardel::ui
