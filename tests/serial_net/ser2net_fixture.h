#pragma once
// ser2net, the real network serial server, in front of a pseudo-terminal whose far end
// the test plays. It runs in the foreground with a configuration of its own on two
// free loopback ports: one raw, one Telnet with the com port option.

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace ardel::testing {

// A loopback port nobody listens on just now.
inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Whether something listens on the loopback port, asked of the kernel: a probing
// connection would make ser2net open the device.
inline bool Listens(int port) {
  std::ifstream table("/proc/net/tcp");
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line)) {
    if (line.find(wanted) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
  }
  return false;
}

class TSer2Net {
 public:
  // lineFormat as ser2net writes it, such as "19200e71": what the device starts with.
  TSer2Net(const std::string& device, const std::string& lineFormat = "9600n81")
      : rawPort_(FreeLoopbackPort()), telnetPort_(FreeLoopbackPort()) {
    char folder[] = "/tmp/ardel-ser2net-XXXXXX";
    if (::mkdtemp(folder) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = folder;
    config_ = folder_ + "/ser2net.yaml";
    std::ofstream out(config_);
    out << "%YAML 1.1\n---\n"
        << "connection: &raw\n"
        << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
        << "  connector: serialdev," << device << "," << lineFormat << ",local\n"
        << "connection: &rfc2217\n"
        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort_ << "\n"
        << "  connector: serialdev," << device << "," << lineFormat << ",local\n";
    out.close();
    Start();
  }
  ~TSer2Net() {
    Kill();
    std::remove(config_.c_str());
    ::rmdir(folder_.c_str());
  }
  TSer2Net(const TSer2Net&) = delete;
  TSer2Net& operator=(const TSer2Net&) = delete;

  void Start() {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execlp("ser2net", "ser2net", "-n", "-d", "-c", config_.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(Listens(rawPort_) && Listens(telnetPort_))) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("ser2net ended at start");
      }
      if (std::chrono::steady_clock::now() > end) throw std::runtime_error("ser2net does not listen");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  std::string RawUrl() const { return "socket://127.0.0.1:" + std::to_string(rawPort_); }
  std::string Rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }

 private:
  int rawPort_;
  int telnetPort_;
  pid_t pid_ = -1;
  std::string folder_;
  std::string config_;
};

}  // namespace ardel::testing
