#pragma once
// One process owns a program directory at a time. The lock is the system's lock on a file
// in the directory (flock on Linux, LockFileEx on Windows), so it ends with the process
// however the process ends; the file holds the owner's process id so that a refused
// start can say who holds it.

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace ardel {

class TDirectoryLock {
 public:
  static constexpr const char* kFileName = "ardel.lock";

  TDirectoryLock() = default;
  ~TDirectoryLock();
  TDirectoryLock(const TDirectoryLock&) = delete;
  TDirectoryLock& operator=(const TDirectoryLock&) = delete;

  // Takes the lock of the directory (with its trailing "/"), without waiting. False when
  // another process holds it, or when the lock's name holds something else than a
  // regular file; RefusalText() then says which. Throws EFileError when the file system
  // cannot lock at all.
  bool Acquire(const std::string& directory);
  bool Held() const { return fd_ >= 0; }

  // The process id in the lock file when the lock was refused; 0 when none was readable.
  pid_t Holder() const { return holder_; }
  // The refusal for the operator, naming the directory and the holder.
  std::string RefusalText() const;

 private:
  std::intptr_t fd_ = -1;  // the descriptor, or on Windows the handle
  pid_t holder_ = 0;
  std::string directory_;
  const char* strange_ = "";  // what holds the lock's name instead of a file
};

}  // namespace ardel
