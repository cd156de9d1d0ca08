#pragma once
// What the port cases of the program's tests share: a telegram's bytes on the wire, and
// a stable name for a device that can come and go.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "link/telegram.h"
#include "support/temp_dir.h"

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
  TDeviceLink() : ownDir_(MakeTempDir("ardel-app").generic_string()), path_(ownDir_ + "/adapter") {}
  explicit TDeviceLink(const std::string& dir) : path_(dir + "/link-adapter") {}
  ~TDeviceLink() {
    std::error_code error;
    std::filesystem::remove(path_, error);
    if (!ownDir_.empty()) std::filesystem::remove_all(ownDir_, error);
  }
  TDeviceLink(const TDeviceLink&) = delete;
  TDeviceLink& operator=(const TDeviceLink&) = delete;

  const std::string& Path() const { return path_; }
  void PointTo(const std::string& device) const { std::filesystem::create_symlink(device, path_); }
  void Remove() const { ASSERT_TRUE(std::filesystem::remove(path_)); }

 private:
  std::string ownDir_;
  std::string path_;
};

}  // namespace ardel::testing
