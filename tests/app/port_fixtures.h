#pragma once
// What the port cases of the program's tests share: a telegram's bytes on the wire, and
// a stable name for a device that can come and go.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "link/telegram.h"

namespace ardel::testing {

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline std::string Wire(const TTelegramBody& body) {
  const TWireTelegram wire = EncodeTelegram(body);
  return std::string(wire.begin(), wire.end());
}

// A stable name that follows the device, as udev's by-id links do: a lost device is
// tried again by this name only. In a folder of its own, or in the one given.
class TDeviceLink {
 public:
  TDeviceLink() {
    char dir[] = "/tmp/ardel-app-XXXXXX";
    if (::mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
    ownDir_ = dir;
    path_ = ownDir_ + "/adapter";
  }
  explicit TDeviceLink(const std::string& dir) : path_(dir + "/link-adapter") {}
  ~TDeviceLink() {
    ::unlink(path_.c_str());
    if (!ownDir_.empty()) std::filesystem::remove_all(ownDir_);
  }
  TDeviceLink(const TDeviceLink&) = delete;
  TDeviceLink& operator=(const TDeviceLink&) = delete;

  const std::string& Path() const { return path_; }
  void PointTo(const std::string& device) const { ASSERT_EQ(::symlink(device.c_str(), path_.c_str()), 0); }
  void Remove() const { ASSERT_EQ(::unlink(path_.c_str()), 0); }

 private:
  std::string ownDir_;
  std::string path_;
};

}  // namespace ardel::testing
