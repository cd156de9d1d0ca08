#include <windows.h>

#include "util/directory_lock.h"
#include "util/text_file.h"
#include "util/win32_text.h"

namespace ardel {

namespace {

// The lock covers a byte far beyond the process id, so that a refused start can still
// read who holds it: Windows refuses reads of a locked range.
constexpr DWORD kLockOffsetHigh = 1;

pid_t ReadPid(HANDLE file) {
  char buffer[32] = {};
  OVERLAPPED at{};
  DWORD n = 0;
  if (!::ReadFile(file, buffer, sizeof buffer - 1, &n, &at) || n == 0) return 0;
  long value = 0;
  for (DWORD i = 0; i < n && buffer[i] >= '0' && buffer[i] <= '9'; ++i) value = value * 10 + (buffer[i] - '0');
  return static_cast<pid_t>(value);
}

HANDLE HandleOf(std::intptr_t fd) { return reinterpret_cast<HANDLE>(fd); }

}  // namespace

TDirectoryLock::~TDirectoryLock() {
  // The file stays, as on every system: a later start locks the same file.
  if (fd_ >= 0) ::CloseHandle(HandleOf(fd_));
}

bool TDirectoryLock::Acquire(const std::string& directory) {
  directory_ = directory;
  holder_ = 0;
  strange_ = "";
  const std::string path = directory + kFileName;
  const std::wstring name = PathToWide(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      strange_ = "a symbolic link";
      return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      strange_ = "a directory";
      return false;
    }
  }
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  bool writable = true;
  HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // A lock needs no write access: a read-only folder is still locked through a lock
    // file that is there, else through the folder itself.
    writable = false;
    file = ::CreateFileW(name.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
      file = ::CreateFileW(PathToWide(directory).c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    throw EFileError("cannot lock " + directory + ": " + Win32ErrorText(::GetLastError()));
  }
  if (writable && ::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    strange_ = "not a regular file";
    return false;
  }
  OVERLAPPED range{};
  range.OffsetHigh = kLockOffsetHigh;
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
    const DWORD error = ::GetLastError();
    holder_ = ReadPid(file);
    ::CloseHandle(file);
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return false;
    throw EFileError("cannot lock " + directory + ": " + Win32ErrorText(error));
  }
  if (writable) {
    const std::string pid = std::to_string(::GetCurrentProcessId()) + "\r\n";
    LARGE_INTEGER start{};
    DWORD n = 0;
    if (::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file)) {
      ::WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &n, nullptr);
    }
  }
  fd_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

}  // namespace ardel
