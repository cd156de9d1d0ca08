#pragma once
// Page "Stations": the station tab control with the displayed station, its commands
// beside it, and the information field along the bottom.

#include "ui/page.h"

class QLineEdit;

namespace ardel::ui {

// Recolours an SBI field after each change of its text.
void ShowSbiValidity(QLineEdit* edit);

class TPageStations : public TPage {
 public:
  TPageStations(TArdelApp& app, IErrorSink& errors, QWidget* parent);
};

}  // namespace ardel::ui
