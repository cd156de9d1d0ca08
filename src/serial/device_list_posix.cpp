#include "serial/device_list.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ardel {

namespace {

namespace fs = std::filesystem;

std::string Under(const std::string& root, const std::string& path) {
  if (root.empty() || root == "/") return path;
  return (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + path;
}

// Names with their digits compared as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> Names(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size()) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

// A ttyS with a UART behind it: the kernel makes ttyS0..31 whether or not there is
// one, and keeps the absent ones with the platform's placeholder driver, port type 0.
bool HasUart(const std::string& root, const std::string& name) {
  const std::string sys = Under(root, "/sys/class/tty/" + name);
  std::error_code error;
  const fs::path driver = fs::read_symlink(sys + "/device/driver", error);
  if (!error && driver.filename() != "serial8250") return true;
  std::ifstream type(sys + "/type");
  int number = 0;
  return type >> number && number != 0;
}

}  // namespace

std::string DescribeByIdName(const std::string& name) {
  std::string text = name;
  // Bus prefix and the interface suffix carry nothing for the reader.
  for (const char* bus : {"usb-", "pci-", "platform-"}) {
    if (text.rfind(bus, 0) == 0) {
      text.erase(0, std::string(bus).size());
      break;
    }
  }
  if (const std::size_t at = text.rfind("-if"); at != std::string::npos) {
    text.erase(at);
  } else if (const std::size_t port = text.rfind("-port"); port != std::string::npos) {
    text.erase(port);
  }
  // udev joins maker, model and serial number with "_"; with three parts or more the
  // last is the serial number, with two there may be none.
  if (std::count(text.begin(), text.end(), '_') >= 2) text.erase(text.rfind('_'));
  std::string spaced;
  for (char c : text) {
    const char out = c == '_' ? ' ' : c;
    if (out == ' ' && (spaced.empty() || spaced.back() == ' ')) continue;
    spaced.push_back(out);
  }
  while (!spaced.empty() && spaced.back() == ' ') spaced.pop_back();
  text = spaced;
  return text;
}

std::vector<TSerialDevice> ListSerialDevices(const std::string& root) {
  std::vector<TSerialDevice> devices;
  for (const std::string& name : Names(Under(root, "/dev/serial/by-id"), ""))
    devices.push_back({"/dev/serial/by-id/" + name, DescribeByIdName(name)});
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    for (const std::string& name : Names(Under(root, "/dev"), prefix)) devices.push_back({"/dev/" + name, ""});
  }
  for (const std::string& name : Names(Under(root, "/dev"), "ttyS")) {
    if (HasUart(root, name)) devices.push_back({"/dev/" + name, ""});
  }
  return devices;
}

TDeviceWatch::TDeviceWatch(const std::string& root) : root_(root) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  ::inotify_add_watch(fd_, Under(root_, "/dev").c_str(), IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO);
  WatchById();
}

TDeviceWatch::~TDeviceWatch() {
  if (fd_ >= 0) ::close(fd_);
}

std::chrono::milliseconds TDeviceWatch::PollInterval() { return std::chrono::milliseconds(0); }

void TDeviceWatch::WatchById() {
  // The folder comes with the first adapter and goes with the last.
  if (byIdWatch_ >= 0) return;
  byIdWatch_ = ::inotify_add_watch(fd_, Under(root_, "/dev/serial/by-id").c_str(),
                                   IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF);
}

bool TDeviceWatch::Changed() {
  if (fd_ < 0) return false;
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->wd == byIdWatch_ && (event->mask & (IN_DELETE_SELF | IN_IGNORED))) byIdWatch_ = -1;
      changed = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  WatchById();
  return changed;
}

}  // namespace ardel
