#include "ui/error_dialog.h"

#include <QMessageBox>

namespace ardel::ui {

void TMessageBoxErrorDialog::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Ardel"), text, QMessageBox::Ok);
}

}  // namespace ardel::ui
