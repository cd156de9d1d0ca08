#include <windows.h>
#include <io.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/poll_event_loop.h"
#include "util/win32_text.h"

namespace ardel {

namespace {

HANDLE EventOf(std::intptr_t wake) { return reinterpret_cast<HANDLE>(wake); }

}  // namespace

TPollEventLoop::TPollEventLoop() {
  // Manual reset: it stays set until the jobs are taken, as the eventfd stays readable.
  const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) {
    throw std::runtime_error("cannot create the wake-up event: " + Win32ErrorText(::GetLastError()));
  }
  wakeFd_ = reinterpret_cast<std::intptr_t>(event);
}

TPollEventLoop::~TPollEventLoop() { ::CloseHandle(EventOf(wakeFd_)); }

void TPollEventLoop::RingWakeFd() { ::SetEvent(EventOf(wakeFd_)); }

void TPollEventLoop::DrainWakeFd() { ::ResetEvent(EventOf(wakeFd_)); }

std::vector<std::uint64_t> TPollEventLoop::WaitReadable(int timeout) {
  std::vector<HANDLE> handles{EventOf(wakeFd_)};
  std::vector<std::uint64_t> ids;
  for (const auto& [id, watch] : watches_) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(watch.fd));
    // WaitForMultipleObjects takes 64 handles; a program here watches two or three.
    if (handle == INVALID_HANDLE_VALUE || handles.size() == MAXIMUM_WAIT_OBJECTS) continue;
    handles.push_back(handle);
    ids.push_back(id);
  }
  const DWORD wait = timeout < 0 ? INFINITE : static_cast<DWORD>(timeout);
  const DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
  if (result == WAIT_FAILED) {
    throw std::runtime_error("waiting for events failed: " + Win32ErrorText(::GetLastError()));
  }
  std::vector<std::uint64_t> readable;
  if (result >= WAIT_OBJECT_0 + 1 && result < WAIT_OBJECT_0 + handles.size()) {
    // The first one set is all a wait tells; the others that are set too come next round.
    readable.push_back(ids[result - WAIT_OBJECT_0 - 1]);
  }
  return readable;
}

}  // namespace ardel
