#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ardel_app.h"
#include "app/program_files.h"
#include "app/quit_signals.h"
#include "app/window_beacon.h"
#include "util/ini_file.h"
#include "ui/capture_window.h"
#include "ui/error_dialog.h"
#include "ui/form1.h"
#include "ui/qt_event_loop.h"
#include "ui/window_process.h"
#include "stations/station_file.h"
#include "util/directory_lock.h"
#include "util/file_io.h"
#include "util/text_encoding.h"
#include "util/text_file.h"

namespace {

std::vector<std::string> Arguments(int argc, char* argv[]) { return ardel::ui::WindowArguments(argc, argv); }

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

// The core's texts for people are UTF-8; the terminal has the locale's encoding.
void PrintError(const std::string& text) {
  std::fprintf(stderr, "ardel: %s\n", ardel::Utf8ToLocale(text).c_str());
}

// The program directory of this run as --dir or the installation names it; empty: the
// program file's own.
std::string DirectoryOf(const ardel::TCommandLine& line) {
  if (!line.directory.empty()) {
    return ardel::DirectoryFromArgument(line.directory, ardel::HomeDirectory(), ardel::WorkingDirectory());
  }
  return ardel::ui::DefaultProgramDirectory(ardel::ExtractFilePath(ardel::ProgramFileName()));
}

// The files of this run; nothing after a message when --dir cannot be made.
std::optional<ardel::TProgramFiles> FilesOf(const ardel::TCommandLine& line) {
  const std::string directory = DirectoryOf(line);
  if (!directory.empty()) {
    try {
      ardel::MakeDirectories(directory);
    } catch (const ardel::EFileError& e) {
      PrintError(e.what());
      return std::nullopt;
    }
  }
  return ardel::ProgramFilesFor(ardel::ProgramFileName(), directory);
}

bool IsScreenlessPlatform(const std::string& name) {
  return name.rfind("offscreen", 0) == 0 || name.rfind("minimal", 0) == 0;
}

// Whether a dialog can reach anyone: Qt's offscreen and minimal platforms have no screen,
// whether the environment or "-platform" names them (Wine passes no QT_QPA_PLATFORM on).
bool HaveDisplay(int argc, char* argv[]) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "-platform") return !IsScreenlessPlatform(argv[i + 1]);
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return !IsScreenlessPlatform(platform);
  return ardel::ui::SystemHasDisplay();
}

// How long a second start waits for the running window to answer.
constexpr std::chrono::milliseconds kWindowAnswerWait{2000};

// Takes the program directory for this process. Nothing when it did; otherwise the exit
// status, after the running window was brought to the front or the refusal was shown,
// before anything was read or written.
std::optional<int> LockProgramDirectory(ardel::TDirectoryLock& lock, const ardel::TProgramFiles& files, int& argc,
                                        char* argv[]) {
  if (files.programDirectory.empty() || lock.Held()) return std::nullopt;
  try {
    if (lock.Acquire(files.programDirectory)) return std::nullopt;
  } catch (const ardel::EFileError& e) {
    // A file system without locks still lets the operator work.
    PrintError(std::string(e.what()) + "; going on without the lock");
    return std::nullopt;
  }
  // On a desktop, starting a program that runs already means "show it to me".
  if (lock.Holder() > 0 && ardel::AskWindowToFront(lock.Holder(), kWindowAnswerWait)) {
    std::printf("ardel: the program directory %s is in use by process %ld; its window was brought to the front\n",
                files.programDirectory.c_str(), static_cast<long>(lock.Holder()));
    return 0;
  }
  const std::string text = lock.RefusalText();
  PrintError(text);
  if (HaveDisplay(argc, argv)) {
    std::unique_ptr<QApplication> app;
    if (QCoreApplication::instance() == nullptr) app = std::make_unique<QApplication>(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("Ardel"), QString::fromUtf8(text.c_str()), QMessageBox::Ok);
  }
  return 1;
}

// A capture, read-only: no lock, no port, no program files.
int ViewCapture(const ardel::TCommandLine& line) {
  QString error;
  ardel::ui::TCaptureWindow* window =
      ardel::ui::TCaptureWindow::Open(QFile::decodeName(line.viewFile.c_str()), error);
  if (window == nullptr) {
    PrintError(error.toStdString());
    return 1;
  }
  // The program directory's station data file, when there is one, places the capture's
  // IDs in the stations' blocks; it is read once and never written.
  ardel::TStationBases bases{};
  const ardel::TProgramFiles files = ardel::ProgramFilesFor(ardel::ProgramFileName(), DirectoryOf(line));
  if (!files.programDirectory.empty()) {
    try {
      ardel::TStationTable table;
      ardel::LoadStationTable(table, files.programDirectory + "veskData.txt");
      bases = ardel::OverviewStationsOf(table);
    } catch (const std::exception&) {
      // Without a data file every ID is of no station.
    }
  }
  window->SetStations([bases] { return bases; });
  window->show();
  return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  // Asked on a terminal, perhaps without a display.
  const ardel::TCommandLine first = ardel::ParseCommandLine(Arguments(argc, argv));
  if (first.action == ardel::caHelp || first.action == ardel::caVersion) return Answer(first);

  // Before the window, and before a display is needed, where Qt's own arguments are
  // not in the way; otherwise once Qt has taken them out.
  std::setlocale(LC_ALL, "");
  ardel::TDirectoryLock lock;
  if (first.action == ardel::caRun) {
    const std::optional<ardel::TProgramFiles> files = FilesOf(first);
    if (!files) return 1;
    if (const std::optional<int> status = LockProgramDirectory(lock, *files, argc, argv)) return *status;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ardel"));
  QApplication::setDesktopFileName(QStringLiteral("ardel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ardel")));
  ardel::ui::PrepareWindowProcess();
  // The time stamps follow the user's locale.
  std::setlocale(LC_ALL, "");

  // Qt has taken its own arguments out by now.
  const ardel::TCommandLine line = ardel::ParseCommandLine(Arguments(argc, argv));
  if (line.action == ardel::caView) return ViewCapture(line);
  if (line.action != ardel::caRun) return Answer(line);

  const std::optional<ardel::TProgramFiles> files = FilesOf(line);
  if (!files) return 1;
  if (const std::optional<int> status = LockProgramDirectory(lock, *files, argc, argv)) return *status;
  ardel::ui::TFormOptions options;
  options.programDirectory = files->programDirectory;
  options.configFileName = files->configFileName;
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
  // Only the holder of the directory answers a second start; gone before the window.
  std::unique_ptr<ardel::TWindowBeacon> beacon;
  if (lock.Held()) {
    beacon = std::make_unique<ardel::TWindowBeacon>(loop, [&form] {
      form.showNormal();
      form.raise();
      form.activateWindow();
    });
  }
  form.show();
  const int status = app.exec();
  // Here rather than in the window's destructor, so that a shut-down that could not save
  // everything ends the program with a failure.
  return form.FormDestroy() ? status : 1;
}
