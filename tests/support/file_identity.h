#pragma once
// A file's identity on its volume (the inode, or Windows' file index): a file renamed
// over another one has a new identity, a file written in place keeps its own.

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cstdint>
#include <string>

namespace ardel::testing {

// 0 when there is no such file.
inline std::uint64_t FileIdentity(const std::string& path) {
#ifdef _WIN32
  // Backup semantics: a directory opens as well.
  HANDLE handle = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  return known ? (std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow) : 0;
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0;
#endif
}

}  // namespace ardel::testing
