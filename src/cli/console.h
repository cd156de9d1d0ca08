#pragma once
// What ardel-cli takes from the system it runs on: its arguments, folders, the terminal,
// standard input as it arrives.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/event_loop.h"

namespace ardel::cli {

// Before anything runs. A reader of the output that goes away, or a file-size limit,
// must not end the program before it saves (Linux); the console takes UTF-8 (Windows).
void PrepareProcess();
// The arguments after the program name, in UTF-8 on Windows whatever the code page.
std::vector<std::string> Arguments(int argc, char* argv[]);
bool IsTerminal(std::FILE* stream);
bool StandardInputIsTerminal();
int StandardInputFd();

// Standard input for the loop, piece by piece as it arrives; an empty piece is its end
// (or a read that failed), after which nothing comes. Reading stops when this goes.
class TInputReader {
 public:
  TInputReader(IEventLoop& loop, int fd, std::function<void(std::string_view bytes)> onBytes);
  ~TInputReader();
  TInputReader(const TInputReader&) = delete;
  TInputReader& operator=(const TInputReader&) = delete;

 private:
  struct TState;
  std::shared_ptr<TState> state_;
  std::unique_ptr<IWatch> watch_;
};

}  // namespace ardel::cli
