#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>

#include "util/file_io.h"
#include "util/win32_text.h"

namespace ardel {

namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// A number for the handle, as the C library gives them; -1 with errno on a failure.
int NumberOf(HANDLE handle, int flags) {
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOfWin32Error(::GetLastError());
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

// Others may read, write, rename and remove the file while it is open, as on Linux.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

int OpenToRead(const std::string& path) {
  return NumberOf(::CreateFileW(PathToWide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                  _O_RDONLY);
}

bool IsRegularFile(int fd) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(handle, &info) != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ReadSequentially(int) {}

int CreateNewFile(const std::string& path, int) {
  return NumberOf(::CreateFileW(PathToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
                  _O_RDWR);
}

bool MakeDirectory(const std::string& path) {
  if (::CreateDirectoryW(PathToWide(path).c_str(), nullptr)) return true;
  const DWORD error = ::GetLastError();
  // "C:" and the like refuse with "access denied" though they are there.
  errno = IsDirectory(path) || error == ERROR_ALREADY_EXISTS ? EEXIST : ErrnoOfWin32Error(error);
  return false;
}

bool IsDirectory(const std::string& path) {
  std::wstring name = PathToWide(path);
  if (name.size() == 2 && name[1] == L':') name += L'\\';
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsAbsolutePath(std::string_view path) {
  const auto separator = [](char c) { return c == '/' || c == '\\'; };
  // "/x" is on the current drive, which a program directory may well be.
  if (!path.empty() && separator(path[0])) return true;
  return path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && separator(path[2]);
}

std::string PathFromArgument(std::string_view argument) {
  std::string path(argument);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// Windows removes a file that no one has open any more when it was opened for that; the
// name stays visible until then, so it tells whose it is.
int OpenUnlinkedFile(const std::string& directory) {
  static std::atomic<unsigned> count{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = directory + "ardel-store-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(++count) + ".tmp";
    const HANDLE handle =
        ::CreateFileW(PathToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) continue;
    return NumberOf(handle, _O_RDWR);
  }
  errno = EEXIST;
  return -1;
}

std::string WorkingDirectory() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(size, L'\0');
  const DWORD n = ::GetCurrentDirectoryW(size, buffer.data());
  return PathFromArgument(WideToUtf8Text(std::wstring_view(buffer.data(), n)));
}

std::string HomeDirectory() {
  const wchar_t* profile = ::_wgetenv(L"USERPROFILE");
  return profile != nullptr ? PathFromArgument(WideToUtf8Text(profile)) : std::string();
}

std::string TemporaryDirectory() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  std::string directory = n > 0 && n <= MAX_PATH + 1 ? WideToUtf8Text(std::wstring_view(buffer, n)) : ".";
  for (char& c : directory) {
    if (c == '\\') c = '/';
  }
  if (directory.back() != '/') directory += '/';
  return directory;
}

std::int64_t ReadAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!::ReadFile(HandleOf(fd), into, want, &got, &at)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;
    errno = ErrnoOfWin32Error(error);
    return -1;
  }
  return got;
}

std::int64_t WriteAt(int fd, const char* bytes, std::size_t size, std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD put = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!::WriteFile(HandleOf(fd), bytes, want, &put, &at)) {
    errno = ErrnoOfWin32Error(::GetLastError());
    return -1;
  }
  return put;
}

bool TruncateFile(int fd, std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFileInformationByHandle(HandleOf(fd), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool CloseFile(int fd) { return ::_close(fd) == 0; }

bool RemoveFile(const std::string& path) { return ::DeleteFileW(PathToWide(path).c_str()) != 0; }

int CreateReplacement(const std::string& path, std::string& temp) {
  static std::atomic<unsigned> count{0};
  const std::size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = folder + ".ardel-save-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
    const HANDLE handle = ::CreateFileW(PathToWide(temp).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) continue;
    return NumberOf(handle, _O_RDWR);
  }
  errno = EEXIST;
  return -1;
}

bool CommitReplacement(int fd, const std::string& temp, const std::string& path) {
  if (!::FlushFileBuffers(HandleOf(fd))) {
    const int error = ErrnoOfWin32Error(::GetLastError());
    DropReplacement(fd, temp);
    errno = error;
    return false;
  }
  ::_close(fd);
  if (!::MoveFileExW(PathToWide(temp).c_str(), PathToWide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const int error = ErrnoOfWin32Error(::GetLastError());
    ::DeleteFileW(PathToWide(temp).c_str());
    errno = error;
    return false;
  }
  return true;
}

void DropReplacement(int fd, const std::string& temp) {
  ::_close(fd);
  ::DeleteFileW(PathToWide(temp).c_str());
}

std::tm LocalTime(std::time_t second) {
  std::tm local{};
  ::localtime_s(&local, &second);
  return local;
}

}  // namespace ardel
