#include "ui/error_dialog.h"

#include <QMessageBox>
#include <cstdio>

namespace ardel::ui {

void TMessageBoxErrorDialog::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Ardel"), text, QMessageBox::Ok);
}

void TStandardErrorDialog::ShowError(QWidget*, const QString& text) {
  std::fprintf(stderr, "ardel: %s\n", text.toLocal8Bit().constData());
}

}  // namespace ardel::ui
