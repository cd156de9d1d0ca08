#pragma once
// Page "Data": the whole station table, editable in place.

#include "ui/page.h"

namespace ardel::ui {

class TPageData : public TPage {
 public:
  TPageData(TArdelApp& app, IErrorSink& errors, QWidget* parent);
};

}  // namespace ardel::ui
