#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "cli/console.h"
#include "util/win32_text.h"

namespace ardel::cli {

void PrepareProcess() {
  // Texts go out as UTF-8 where the console takes it; Utf8ToLocale converts for one
  // that keeps its code page.
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
  // The log's colours are escape sequences, which a console shows once asked to.
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(out, &mode)) ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

// argv comes in the ANSI code page, which loses what it cannot hold.
std::vector<std::string> Arguments(int argc, char* argv[]) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {argv + 1, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8Text(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

namespace {

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return IsConsole(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)))); }

bool StandardInputIsTerminal() { return IsConsole(::GetStdHandle(STD_INPUT_HANDLE)); }

int StandardInputFd() { return ::_fileno(stdin); }

// A console's line reading holds its caller until Enter, and a pipe cannot be waited
// on: a thread of its own reads, and hands each piece to the loop.
struct TInputReader::TState {
  std::mutex mutex;
  bool alive = true;
  std::function<void(std::string_view)> onBytes;
};

TInputReader::TInputReader(IEventLoop& loop, int fd, std::function<void(std::string_view)> onBytes)
    : state_(std::make_shared<TState>()) {
  state_->onBytes = std::move(onBytes);
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  std::thread([&loop, handle, state = state_] {
    const bool console = IsConsole(handle);
    for (;;) {
      std::string piece;
      if (console) {
        wchar_t buffer[1024];
        DWORD n = 0;
        if (::ReadConsoleW(handle, buffer, 1024, &n, nullptr) && n > 0) {
          piece = WideToUtf8Text(std::wstring_view(buffer, n));
          // Ctrl+Z at the start of a line ends a console's input, as Ctrl+D on Linux.
          if (piece.front() == '\x1a') piece.clear();
        }
      } else {
        char buffer[4096];
        DWORD n = 0;
        if (::ReadFile(handle, buffer, sizeof buffer, &n, nullptr) && n > 0) piece.assign(buffer, n);
      }
      {
        const std::lock_guard<std::mutex> lock(state->mutex);
        if (!state->alive) return;
        loop.Wake([state, piece] {
          std::function<void(std::string_view)> onBytes;
          {
            const std::lock_guard<std::mutex> lock(state->mutex);
            if (!state->alive) return;
            onBytes = state->onBytes;
          }
          onBytes(piece);
        });
      }
      if (piece.empty()) return;
    }
  }).detach();
}

// The thread may sit in a read that nothing ends; it stops at its next piece, or with
// the process.
TInputReader::~TInputReader() {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  state_->alive = false;
}

}  // namespace ardel::cli
