#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <csignal>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "stations/ini_file.h"
#include "stations/program_files.h"
#include "ui/error_dialog.h"
#include "ui/form1.h"
#include "ui/quit_signals.h"
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
  // A file-size limit makes a write fail instead of ending the program.
  std::signal(SIGXFSZ, SIG_IGN);
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
  ardel::ui::TQuitSignals quit([&](int) {
    // Nobody may be there to close a dialog: failures of the shut-down go to the terminal.
    if (window != nullptr) window->SetErrorDialog(&terminal);
    // Ends a modal dialog's loop too; the shut-down runs as the window is destroyed.
    QCoreApplication::exit(0);
  });
  ardel::ui::TForm1 form(options);
  window = &form;
  form.show();
  return app.exec();
}
