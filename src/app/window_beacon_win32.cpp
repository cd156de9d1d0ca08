#include "app/window_beacon.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ardel {

namespace {

constexpr std::string_view kRequest = "front\n";
constexpr std::string_view kAnswer = "ok\n";
// Askers served at once; more wait for the pipe, and one that says nothing keeps only
// its own line until it goes.
constexpr std::size_t kMaxAskers = 8;

std::wstring PipeName(pid_t pid) { return L"\\\\.\\pipe\\ardel-window-" + std::to_wstring(pid); }

// The milliseconds left until the deadline, none once it passed.
DWORD MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

// A handle closed with its owner.
struct THandle {
  HANDLE handle = nullptr;
  THandle() = default;
  explicit THandle(HANDLE h) : handle(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() {
    if (handle != nullptr) ::CloseHandle(handle);
  }
};

// One instance of the pipe and what passes on it. The overlapped call in flight writes
// into the line, so a line never moves.
struct TLine {
  THandle pipe;
  THandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED overlapped{};
  char bytes[16] = {};
  std::string request;
  bool answered = false;
  bool pending = false;

  OVERLAPPED* Start() {
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event.handle;
    ::ResetEvent(event.handle);
    return &overlapped;
  }
  // Whether the call started is on its way, or done: either way the event tells.
  bool Started(BOOL done) {
    pending = done || ::GetLastError() == ERROR_IO_PENDING;
    return pending;
  }
  // What the call in flight moved; false when it failed (the other end went).
  bool Finish(DWORD& moved) {
    pending = false;
    return ::GetOverlappedResult(pipe.handle, &overlapped, &moved, FALSE) != 0;
  }
  ~TLine() {
    // The call in flight ends before the buffer it writes into goes.
    if (pending && pipe.handle != nullptr) {
      DWORD moved = 0;
      ::CancelIoEx(pipe.handle, &overlapped);
      ::GetOverlappedResult(pipe.handle, &overlapped, &moved, TRUE);
    }
  }
};

// Whether a server has the name already. Windows refuses the first instance of a name
// that is taken, Wine makes another instance of it: asking first tells on both.
bool NameTaken(const std::wstring& name) {
  return ::WaitNamedPipeW(name.c_str(), 1) || ::GetLastError() != ERROR_FILE_NOT_FOUND;
}

HANDLE NewInstance(const std::wstring& name, bool first) {
  // Only the owner and the administrators may write to the pipe by default: another
  // user's start cannot bring this window forward. Nobody from another machine either.
  const DWORD open = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  const DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
  return ::CreateNamedPipeW(name.c_str(), open, mode, PIPE_UNLIMITED_INSTANCES, 64, 64, 0, nullptr);
}

}  // namespace

// The pipe is served by a thread of its own, which waits for the askers; the main thread
// hears only of the requests, through the loop.
class TWindowBeacon::TListener {
 public:
  TListener(IEventLoop& loop, std::function<void()> onRequest)
      : loop_(loop), onRequest_(std::make_shared<std::function<void()>>(std::move(onRequest))) {
    // The first instance claims the name: a second beacon of this process, or a program
    // that took the name before, leaves this one deaf.
    if (NameTaken(name_)) return;
    auto first = std::make_unique<TLine>();
    first->pipe.handle = NewInstance(name_, true);
    if (first->pipe.handle == INVALID_HANDLE_VALUE) first->pipe.handle = nullptr;
    if (first->pipe.handle == nullptr || first->event.handle == nullptr || stop_.handle == nullptr) return;
    listening_ = std::move(first);
    thread_ = std::thread([this] { Serve(); });
  }

  ~TListener() {
    if (!thread_.joinable()) return;
    ::SetEvent(stop_.handle);
    thread_.join();
  }

  bool Listening() const { return thread_.joinable(); }

 private:
  void Serve() {
    if (!Listen(*listening_)) return;
    for (;;) {
      // With every line taken, the next asker waits on the pipe until one is free.
      const bool room = askers_.size() < kMaxAskers;
      std::vector<HANDLE> events{stop_.handle};
      for (const auto& asker : askers_) events.push_back(asker->event.handle);
      if (room) events.push_back(listening_->event.handle);
      const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, INFINITE);
      if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) return;
      const std::size_t index = woke - WAIT_OBJECT_0 - 1;
      if (index < askers_.size()) {
        if (!Heard(*askers_[index])) askers_.erase(askers_.begin() + static_cast<std::ptrdiff_t>(index));
      } else if (!Connected()) {
        return;
      }
    }
  }

  // Waits on the line for the next asker; false when the pipe failed.
  bool Listen(TLine& line) {
    for (;;) {
      if (line.Started(::ConnectNamedPipe(line.pipe.handle, line.Start()))) return true;
      const DWORD error = ::GetLastError();
      line.pending = false;
      if (error == ERROR_PIPE_CONNECTED) {
        // It came between the instance and the call: no event tells of that.
        ::SetEvent(line.event.handle);
        return true;
      }
      // It came and went before the call: the line is free for the next.
      if (error != ERROR_NO_DATA || !::DisconnectNamedPipe(line.pipe.handle)) return false;
    }
  }

  // An asker came on the listening line: it becomes an asker's line, and a new instance
  // listens. False when no instance can listen any more.
  bool Connected() {
    DWORD moved = 0;
    const bool connected = !listening_->pending || listening_->Finish(moved);
    auto next = std::make_unique<TLine>();
    next->pipe.handle = NewInstance(name_, false);
    if (next->pipe.handle == INVALID_HANDLE_VALUE) next->pipe.handle = nullptr;
    if (!connected || next->pipe.handle == nullptr || next->event.handle == nullptr) {
      // Without a second instance this asker is let go, and the one there listens again.
      ::DisconnectNamedPipe(listening_->pipe.handle);
      return Listen(*listening_);
    }
    askers_.push_back(std::move(listening_));
    listening_ = std::move(next);
    if (!Read(*askers_.back())) askers_.pop_back();
    return Listen(*listening_);
  }

  // Reads on from the asker; false when it is to go.
  bool Read(TLine& line) {
    return line.Started(::ReadFile(line.pipe.handle, line.bytes, sizeof line.bytes, nullptr, line.Start()));
  }

  // Bytes came from the asker, or it went; false when it is to go.
  bool Heard(TLine& line) {
    DWORD got = 0;
    if (!line.Finish(got) || got == 0) return false;
    // After the answer the line stays until the asker closes it, so the answer is not
    // thrown away with the line before it is read.
    if (line.answered) return Read(line);
    line.request.append(line.bytes, got);
    if (line.request.size() < kRequest.size() && kRequest.starts_with(line.request)) return Read(line);
    if (line.request != kRequest) return false;
    // Queued before the answer: once the asker hears yes, the request waits on the loop.
    loop_.Wake([onRequest = std::weak_ptr<std::function<void()>>(onRequest_)] {
      if (const auto run = onRequest.lock(); run && *run) (*run)();
    });
    DWORD wrote = 0;
    const bool answered =
        line.Started(::WriteFile(line.pipe.handle, kAnswer.data(), static_cast<DWORD>(kAnswer.size()), nullptr,
                                 line.Start())) &&
        ::GetOverlappedResult(line.pipe.handle, &line.overlapped, &wrote, TRUE);
    line.pending = false;
    line.answered = true;
    return answered && Read(line);
  }

  IEventLoop& loop_;
  // Gone with the beacon: a request still queued on the loop then does nothing.
  std::shared_ptr<std::function<void()>> onRequest_;
  const std::wstring name_ = PipeName(static_cast<pid_t>(::GetCurrentProcessId()));
  THandle stop_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  // The thread's own from its start to its end.
  std::unique_ptr<TLine> listening_;
  std::vector<std::unique_ptr<TLine>> askers_;
  std::thread thread_;
};

TWindowBeacon::TWindowBeacon(IEventLoop& loop, std::function<void()> onRequest)
    : listener_(std::make_unique<TListener>(loop, std::move(onRequest))) {}

TWindowBeacon::~TWindowBeacon() = default;

bool TWindowBeacon::Listening() const { return listener_->Listening(); }

namespace {

// Waits for the call started on the pipe until the deadline; what it moved, or false
// when it failed or the time ran out (it is called off then).
bool Await(HANDLE pipe, OVERLAPPED& overlapped, BOOL done, std::chrono::steady_clock::time_point deadline,
           DWORD& moved) {
  if (!done && ::GetLastError() != ERROR_IO_PENDING) return false;
  if (::WaitForSingleObject(overlapped.hEvent, MsLeft(deadline)) != WAIT_OBJECT_0) {
    ::CancelIoEx(pipe, &overlapped);
    ::GetOverlappedResult(pipe, &overlapped, &moved, TRUE);
    return false;
  }
  return ::GetOverlappedResult(pipe, &overlapped, &moved, FALSE) != 0;
}

// The holder's pipe, waiting while all its instances are taken; nothing when there is
// none or the time ran out.
HANDLE OpenPipe(const std::wstring& name, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    // Identification only: whoever holds the name may not act as this user.
    const HANDLE pipe = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    if (::GetLastError() != ERROR_PIPE_BUSY) return nullptr;
    const DWORD left = MsLeft(deadline);
    if (left == 0) return nullptr;
    // It returns at once when the pipe is gone meanwhile; the next open then says so.
    ::WaitNamedPipeW(name.c_str(), left);
  }
}

}  // namespace

bool AskWindowToFront(pid_t holder, std::chrono::milliseconds wait) {
  if (holder <= 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  // Windows lets only the foreground program give the foreground away: the holder may
  // take it once it is asked.
  ::AllowSetForegroundWindow(static_cast<DWORD>(holder));
  const THandle pipe(OpenPipe(PipeName(holder), deadline));
  const THandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (pipe.handle == nullptr || event.handle == nullptr) return false;
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.handle;
  DWORD moved = 0;
  if (!Await(pipe.handle, overlapped,
             ::WriteFile(pipe.handle, kRequest.data(), static_cast<DWORD>(kRequest.size()), nullptr, &overlapped),
             deadline, moved) ||
      moved != kRequest.size()) {
    return false;
  }
  std::string answer;
  while (answer.size() < kAnswer.size()) {
    char bytes[8];
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event.handle;
    const DWORD want = static_cast<DWORD>(kAnswer.size() - answer.size());
    if (!Await(pipe.handle, overlapped, ::ReadFile(pipe.handle, bytes, want, nullptr, &overlapped), deadline, moved) ||
        moved == 0) {
      return false;
    }
    answer.append(bytes, moved);
  }
  return answer == kAnswer;
}

}  // namespace ardel
