#include <QApplication>
#include <clocale>

#include "ui/form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // The time stamps follow the user's locale.
  std::setlocale(LC_ALL, "");
  ardel::ui::TFormOptions options;
  options.openPort = true;
  ardel::ui::TForm1 form(options);
  form.show();
  return app.exec();
}
