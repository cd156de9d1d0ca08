#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "cli/console.h"

namespace ardel::cli {

void PrepareProcess() {
  // A reader of the output that goes away must not end the program before it saves.
  ::signal(SIGPIPE, SIG_IGN);
  // A file-size limit makes a capture write fail, which the log reports, instead of
  // ending the program unsaved.
  ::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> Arguments(int argc, char* argv[]) { return {argv + 1, argv + argc}; }

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

int StandardInputFd() { return STDIN_FILENO; }

struct TInputReader::TState {
  std::function<void(std::string_view)> onBytes;
};

TInputReader::TInputReader(IEventLoop& loop, int fd, std::function<void(std::string_view)> onBytes)
    : state_(std::make_shared<TState>()) {
  state_->onBytes = std::move(onBytes);
  watch_ = loop.WatchReadable(fd, [fd, state = state_] {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    // A copy: the receiver may end this reader.
    const auto onBytes = state->onBytes;
    onBytes(n > 0 ? std::string_view(buffer, static_cast<std::size_t>(n)) : std::string_view());
  });
}

TInputReader::~TInputReader() = default;

}  // namespace ardel::cli
