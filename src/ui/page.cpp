#include "ui/page.h"

namespace ardel::ui {

TPage::TPage(TArdelApp& app, IErrorSink& errors, const QString& objectName, QWidget* parent)
    : QWidget(parent), app_(app), errors_(errors) {
  setObjectName(objectName);
}

TPage::~TPage() {
  bindings_.reset();
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) delete child;
}

}  // namespace ardel::ui
