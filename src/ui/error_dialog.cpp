#include "ui/error_dialog.h"

#include <QMessageBox>
#include <cstdio>

#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel::ui {

void TMessageBoxErrorDialog::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Ardel"), text, QMessageBox::Ok);
}

void TStandardErrorDialog::ShowError(QWidget*, const QString& text) {
  // Qt's local 8-bit encoding is always UTF-8 here; the terminal may have another.
  std::fprintf(stderr, "ardel: %s\n", Utf8ToLocale(WithLineFeeds(text.toStdString())).c_str());
}

}  // namespace ardel::ui
