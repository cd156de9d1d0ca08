#include "ui/save_file_dialog.h"

#include <QFileDialog>

namespace ardel::ui {

QString TQtSaveFileDialog::GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory) {
  return QFileDialog::getSaveFileName(parent, caption, directory);
}

}  // namespace ardel::ui
