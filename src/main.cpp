#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/program_files.h"
#include "app/quit_signals.h"
#include "stations/ini_file.h"
#include "ui/error_dialog.h"
#include "ui/form1.h"
#include "ui/qt_event_loop.h"
#include "util/text_file.h"

namespace {

std::vector<std::string> Arguments(int argc, char* argv[]) { return {argv + 1, argv + argc}; }

// The answers that need no window.
int Answer(const ardel::TCommandLine& line) {
  switch (line.action) {
    case ardel::caHelp:
      std::fputs(ardel::kUsageText, stdout);
      return 0;
    case ardel::caVersion:
      std::fputs(ardel::kVersionText, stdout);
      return 0;
    default:
      std::fprintf(stderr, "ardel: %s\nTry 'ardel --help'.\n", line.error.c_str());
      return 2;
  }
}

std::string WorkingDirectory() {
  std::vector<char> buffer(4096);
  return ::getcwd(buffer.data(), buffer.size()) != nullptr ? std::string(buffer.data()) : std::string("/");
}

}  // namespace

int main(int argc, char* argv[]) {
  // Asked on a terminal, perhaps without a display.
  const ardel::TCommandLine first = ardel::ParseCommandLine(Arguments(argc, argv));
  if (first.action == ardel::caHelp || first.action == ardel::caVersion) return Answer(first);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ardel"));
  QApplication::setDesktopFileName(QStringLiteral("ardel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ardel")));
  // The time stamps follow the user's locale.
  std::setlocale(LC_ALL, "");

  // Qt has taken its own arguments out by now.
  const ardel::TCommandLine line = ardel::ParseCommandLine(Arguments(argc, argv));
  if (line.action != ardel::caRun) return Answer(line);

  ardel::ui::TFormOptions options;
  std::string directory;
  if (!line.directory.empty()) {
    const char* home = std::getenv("HOME");
    directory = ardel::DirectoryFromArgument(line.directory, home != nullptr ? home : "", WorkingDirectory());
    try {
      ardel::MakeDirectories(directory);
    } catch (const ardel::EFileError& e) {
      std::fprintf(stderr, "ardel: %s\n", e.what());
      return 1;
    }
  }
  const ardel::TProgramFiles files = ardel::ProgramFilesFor(ardel::ProgramFileName(), directory);
  options.programDirectory = files.programDirectory;
  options.configFileName = files.configFileName;
  options.runSequences = true;

  // Installed before the window, so a signal during the start-up waits for the loop.
  ardel::ui::TForm1* window = nullptr;
  ardel::ui::TStandardErrorDialog terminal;
  ardel::ui::TQtEventLoop loop;
  ardel::TQuitSignals quit(loop, [&](int) {
    // Nobody may be there to close a dialog: failures of the shut-down go to the terminal.
    if (window != nullptr) window->SetErrorDialog(&terminal);
    // Ends a modal dialog's loop too; the shut-down runs as the window is destroyed.
    loop.Quit(0);
  });
  ardel::ui::TForm1 form(options);
  window = &form;
  form.show();
  const int status = app.exec();
  // Here rather than in the window's destructor, so that a shut-down that could not save
  // everything ends the program with a failure.
  return form.FormDestroy() ? status : 1;
}
