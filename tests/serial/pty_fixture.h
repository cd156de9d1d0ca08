#pragma once
// Pseudo-terminals as serial devices, and a tiny main loop that stands in for the
// window's event loop.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include <filesystem>

#include "serial/hand_over.h"
#include "serial/device_lock.h"

namespace ardel::testing {

using namespace std::chrono_literals;

// Work posted by the receive thread, run only when the test thread pumps.
class TTestLoop {
 public:
  TWakeMainThread Wake() {
    return [this](std::function<void()> run) {
      std::lock_guard lock(mutex_);
      posted_.push_back(std::move(run));
      ++wakes_;
      changed_.notify_all();
    };
  }

  // Runs posted work until done() holds or the time is up; false on time-out.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      if (done()) return true;
      std::function<void()> run;
      {
        std::unique_lock lock(mutex_);
        // In slices, so a condition that another thread makes true is seen too.
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return done();
        if (!changed_.wait_until(lock, std::min(end, now + 5ms),
                                 [&] { return !posted_.empty(); })) {
          continue;
        }
        run = std::move(posted_.front());
        posted_.pop_front();
      }
      run();
    }
  }

  // Runs posted work for a while.
  void RunFor(std::chrono::milliseconds span) {
    RunUntil([] { return false; }, span);
  }

  // Waits, running nothing, until n wakes have come in all.
  bool WaitForWakes(int n, std::chrono::milliseconds limit = 5000ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return wakes_ >= n; });
  }

  int Wakes() {
    std::lock_guard lock(mutex_);
    return wakes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> posted_;
  int wakes_ = 0;
};

// One pseudo-terminal; the test plays the far end on the master side.
class TPty {
 public:
  TPty() {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = ::ttyname(slave_);
  }
  ~TPty() {
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;

  const std::string& Path() const { return path_; }
  int Slave() const { return slave_; }

  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(master_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // What has arrived at the far end by now.
  std::string ReadAvailable() {
    std::string data;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
  }

  // The device goes away, as when an adapter is pulled.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  // Lets the port be the only one holding the device.
  void CloseSlave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// CPU time of the whole process, all threads.
inline double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A folder of its own, also the folder of device lock files while the test runs.
struct TScratch {
  std::string dir;
  std::string savedLocks = LockFolder();
  TScratch() {
    char name[] = "/tmp/ardel-port-XXXXXX";
    if (::mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp");
    dir = name;
    SetLockFolder(dir);
  }
  ~TScratch() {
    SetLockFolder(savedLocks);
    std::filesystem::remove_all(dir);
  }
};

}  // namespace ardel::testing
