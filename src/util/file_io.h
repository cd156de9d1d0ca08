#pragma once
// Files by number for the log's store and its capture files: reads and writes at an
// offset, which move no position that another reader shares, as both systems have them.
// Each returns what the POSIX call returns (-1 on a failure) and leaves the cause in errno.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace ardel {

// For reading, without waiting in the open for a FIFO's writer or a device.
int OpenToRead(const std::string& path);
bool IsRegularFile(int fd);
// The file is read from start to end: reads may wait, and the system may read ahead.
void ReadSequentially(int fd);
// A new file for reading and writing, with the permissions of mode where the system has
// them; fails with EEXIST when the name is taken, by a link too.
int CreateNewFile(const std::string& path, int mode = 0644);
// One directory; EEXIST when a directory or anything else is there.
bool MakeDirectory(const std::string& path);
bool IsDirectory(const std::string& path);
// Absolute on this system: "/..." on Linux; "C:/...", "//server/..." and "/..." (on the
// current drive) on Windows.
bool IsAbsolutePath(std::string_view path);
// A path as the user typed it, with "/" between its folders as inside the program
// ("\" is one on Windows).
std::string PathFromArgument(std::string_view argument);
// A file without a name in the folder (ending in "/"), gone when closed.
int OpenUnlinkedFile(const std::string& directory);
// The folder for temporary files, ending in "/".
std::string TemporaryDirectory();
// The process's working folder, with "/" between its folders.
std::string WorkingDirectory();
// The user's home folder, with "/" between its folders; empty when the system names none.
std::string HomeDirectory();
std::int64_t ReadAt(int fd, char* into, std::size_t size, std::uint64_t offset);
std::int64_t WriteAt(int fd, const char* bytes, std::size_t size, std::uint64_t offset);
bool TruncateFile(int fd, std::uint64_t size);
// False when the last writes did not reach the file.
bool CloseFile(int fd);
bool RemoveFile(const std::string& path);
// A new file beside path that is to replace it, its name in temp; -1 and errno when
// none can be made.
int CreateReplacement(const std::string& path, std::string& temp);
// Flushes the replacement to disk, closes it and puts it in path's place, readable by
// all. On a failure the replacement is gone, the old file is as it was, and errno says
// why.
bool CommitReplacement(int fd, const std::string& temp, const std::string& path);
// Closes and removes a replacement that is not wanted.
void DropReplacement(int fd, const std::string& temp);

// The local time of a second since the epoch.
std::tm LocalTime(std::time_t second);

}  // namespace ardel
