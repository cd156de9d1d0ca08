#pragma once
// Page "Command / replay -queue": the command queue, the answer list and the controls
// that steer sending.

#include "ui/page.h"

class QLabel;

namespace ardel::ui {

class TPageQueue : public TPage {
 public:
  TPageQueue(TArdelApp& app, IErrorSink& errors, QWidget* parent);
  ~TPageQueue() override;

 private:
  void ShowRepeatCntr(int value);

  QLabel* Label16 = nullptr;
};

}  // namespace ardel::ui
