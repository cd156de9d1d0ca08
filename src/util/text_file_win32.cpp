#include <windows.h>

#include <algorithm>
#include <string>

#include "util/text_file.h"
#include "util/win32_text.h"

namespace ardel {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, DWORD error) {
  throw EFileError(what + " " + path + ": " + Win32ErrorText(error));
}

[[noreturn]] void FailNotRegular(const std::string& what, const std::string& path, const char* kind) {
  throw EFileError(what + " " + path + ": it is " + kind + ", not a regular file");
}

class THandle {
 public:
  explicit THandle(HANDLE handle) : handle_(handle) {}
  ~THandle() { Close(); }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    const bool closed = !Valid() || ::CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// 0, or the error of the failed write.
DWORD WriteAll(HANDLE handle, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(handle, bytes.data() + done, want, &put, nullptr)) return ::GetLastError();
    if (put == 0) return ERROR_DISK_FULL;
    done += put;
  }
  return 0;
}

// "<name>.<pid>.<count>.new" of a process that is gone: a save that was killed.
void RemoveStaleTemporaries(const std::string& directory, const std::string& name) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(PathToWide(directory + "/" + name + ".*.new").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string entry = WideToUtf8Text(found.cFileName);
    const std::string middle = entry.substr(name.size() + 1, entry.size() - name.size() - 5);
    const auto dot = middle.find('.');
    if (dot == std::string::npos || dot == 0) continue;
    DWORD pid = 0;
    bool digits = true;
    for (std::size_t i = 0; i < dot; ++i) {
      digits = digits && middle[i] >= '0' && middle[i] <= '9';
      if (digits && pid < 100000000) pid = pid * 10 + static_cast<DWORD>(middle[i] - '0');
    }
    if (!digits || pid == ::GetCurrentProcessId()) continue;
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process != nullptr) {
      const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
      ::CloseHandle(process);
      if (running) continue;
    } else if (::GetLastError() != ERROR_INVALID_PARAMETER) {
      continue;  // there, but not ours to look at
    }
    ::DeleteFileW(PathToWide(directory + "/" + entry).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

// For a folder that the user may not write into, but whose file the user may write:
// not atomic, but flushed to disk before it counts as saved.
void WriteInPlace(const std::string& path, std::string_view bytes) {
  THandle file(::CreateFileW(PathToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) Fail("cannot write", path, ::GetLastError());
  if (const DWORD error = WriteAll(file.Get(), bytes); error != 0) Fail("cannot write", path, error);
  if (!::SetEndOfFile(file.Get()) || !::FlushFileBuffers(file.Get())) Fail("cannot write", path, ::GetLastError());
  if (!file.Close()) Fail("cannot write", path, ::GetLastError());
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  const std::wstring name = PathToWide(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    FailNotRegular("cannot read", path, "a directory");
  }
  THandle file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) Fail("cannot open", path, ::GetLastError());
  // A device (NUL, CON, COM1) or a pipe is never waited on.
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK) FailNotRegular("cannot read", path, "a device");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Get(), &size)) Fail("cannot read", path, ::GetLastError());
  if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) Fail("cannot read", path, ERROR_FILE_TOO_LARGE);
  std::string data;
  data.reserve(static_cast<std::size_t>(size.QuadPart));
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) Fail("cannot read", path, ::GetLastError());
    if (got == 0) break;
    if (data.size() + got > maxBytes) Fail("cannot read", path, ERROR_FILE_TOO_LARGE);
    data.append(buffer, got);
  }
  return data;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::wstring target = PathToWide(path);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) FailNotRegular("cannot write", path, "a directory");
    // The read-only attribute is the user's "keep this"; replacing would not ask.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) Fail("cannot write", path, ERROR_ACCESS_DENIED);
  }

  static unsigned long saves = 0;
  std::string temp;
  HANDLE created = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temp = path + "." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(++saves) + ".new";
    created = ::CreateFileW(PathToWide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    error = created == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    if (created == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    if (exists && error == ERROR_ACCESS_DENIED) return WriteInPlace(path, bytes);
    Fail("cannot write", path, error);
  }
  THandle file(created);
  const std::wstring wideTemp = PathToWide(temp);
  auto failAndRemove = [&](DWORD failure) {
    file.Close();
    ::DeleteFileW(wideTemp.c_str());
    Fail("cannot write", path, failure);
  };
  if (const DWORD failure = WriteAll(file.Get(), bytes); failure != 0) failAndRemove(failure);
  if (!::FlushFileBuffers(file.Get())) failAndRemove(::GetLastError());
  if (!file.Close()) failAndRemove(::GetLastError());
  // ReplaceFileW keeps what the old file had that the user sees (attributes, security);
  // a file system without it gets a plain replacing move, written through.
  bool replaced = exists && ::ReplaceFileW(target.c_str(), wideTemp.c_str(), nullptr,
                                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
  if (!replaced &&
      !::MoveFileExW(wideTemp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failAndRemove(::GetLastError());
  }
  // What the user set on the old file (hidden, for one) stays, whichever way it went.
  if (exists) ::SetFileAttributesW(target.c_str(), attributes);
  RemoveStaleTemporaries(DirectoryOf(path), NameOf(path));
}

bool NameIsFree(const std::string& path) {
  if (::GetFileAttributesW(PathToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool TargetIsFree(const std::string& path) { return NameIsFree(path); }

}  // namespace ardel
