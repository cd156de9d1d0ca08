// The port as the program binds it, on a loop whose clock the test moves: what is tried
// again after a loss for each kind of port, a network port that is not there yet, and
// what counts as sent.

#include "app/port_binding.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "queue/queues.h"
#include "serial/pty_fixture.h"
#include "support/fake_event_loop.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::TFakeEventLoop;
using testing::TPty;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A TCP listener on the loopback; closed, its port refuses.
class TServer {
 public:
  explicit TServer(unsigned short port = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on the loopback");
    }
    port_ = ntohs(address.sin_port);
  }
  ~TServer() {
    if (client_ >= 0) ::close(client_);
    ::close(fd_);
  }
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;
  unsigned short Port() const { return port_; }
  std::string Url() const { return "socket://127.0.0.1:" + std::to_string(port_); }
  bool Accept() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return false;
    client_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return client_ >= 0;
  }
  void Hangup() {
    ::close(client_);
    client_ = -1;
  }

 private:
  int fd_ = -1;
  int client_ = -1;
  unsigned short port_ = 0;
};

class PortBindingTest : public ::testing::Test {
 protected:
  void Bind(TPortMap map) {
    TPortBindingOptions options;
    options.portMap = std::move(map);
    options.deviceRoot = root_;
    binding_ = std::make_unique<TPortBinding>(loop_, log_, receive_, transmit_,
                                              [this](std::string text) { errors_.push_back(std::move(text)); },
                                              std::move(options));
    transmit_.SetWriter([this](std::string_view bytes) { binding_->Send(bytes); });
    binding_->SetNextStartName("COM1");
  }
  std::vector<std::string> Lines(TColor color, const std::string& part) const {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < log_.Count(); ++i) {
      if (log_.Line(i).color == color && Contains(log_.Line(i).text, part)) lines.push_back(log_.Line(i).text);
    }
    return lines;
  }
  const TPortStatus& Status() { return binding_->PortStatus().Value(); }

  std::string root_ = [] {
    char dir[] = "/tmp/ardel-binding-XXXXXX";
    if (::mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
    return std::string(dir);
  }();
  TFakeEventLoop loop_;
  TLinkLog log_;
  TQueues queues_;
  TReceivePath receive_{log_, queues_.Answers()};
  TTransmitPath transmit_{log_, receive_};
  std::vector<std::string> errors_;
  std::unique_ptr<TPortBinding> binding_;

  void TearDown() override {
    binding_.reset();
    std::filesystem::remove_all(root_);
  }
};

// A server that refuses: lost once, tried every second without a word, never "open"
// nor "back" until a server takes the connection.
TEST_F(PortBindingTest, ANetworkPortIsConnectingUntilItsConnectionStands) {
  unsigned short port = 0;
  {
    TServer gone;
    port = gone.Port();
  }
  Bind({{"COM1", "socket://127.0.0.1:" + std::to_string(port)}});
  std::vector<TPortState> seen;
  binding_->OpenPortAtStart();
  EXPECT_EQ(Status().state, psConnecting);
  EXPECT_EQ(PortStateText(Status()), "connecting");
  ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psLost; }));
  EXPECT_EQ(Status().fault, ekREFUSED);
  EXPECT_TRUE(Contains(Status().reason, "Connection refused")) << Status().reason;
  ASSERT_TRUE(binding_->PortRetryTimer().IsActive());
  for (int i = 0; i < 3; ++i) {
    loop_.Advance(1000ms);
    ASSERT_TRUE(loop_.RunUntil([&] { return !binding_->ComPort().IsOpen(); }));
    seen.push_back(Status().state);
  }
  EXPECT_EQ(seen, (std::vector<TPortState>{psLost, psLost, psLost}));
  EXPECT_EQ(Lines(colors::kError, "lost").size(), 1u);
  EXPECT_TRUE(Lines(colors::kBlack, "is back").empty());

  TServer server(port);
  loop_.Advance(1000ms);
  EXPECT_NE(Status().state, psOpen);
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psOpen; }));
  EXPECT_EQ(Lines(colors::kBlack, "is back").size(), 1u);
  EXPECT_FALSE(binding_->PortRetryTimer().IsActive());
  EXPECT_TRUE(binding_->ComPort().IsConnected());
}

// One policy for every loss: a pseudo-terminal's number passes to other programs and is
// never reopened by itself; a stable link to one and a network port are tried again.
TEST_F(PortBindingTest, WhatIsTriedAgainFollowsTheKindOfPort) {
  struct TCase {
    const char* what;
    TPortState after;
    bool retried;
  };
  for (const TCase c : {TCase{"a pseudo-terminal by its number", psLostForGood, false},
                        TCase{"a link to a pseudo-terminal", psLost, true}, TCase{"a network port", psLost, true}}) {
    SCOPED_TRACE(c.what);
    auto pty = std::make_unique<TPty>();
    std::unique_ptr<TServer> server;
    std::string device = pty->Path();
    const std::string link = root_ + "/adapter";
    std::filesystem::remove(link);
    if (c.what == std::string("a link to a pseudo-terminal")) {
      ASSERT_EQ(::symlink(pty->Path().c_str(), link.c_str()), 0);
      device = link;
    } else if (c.what == std::string("a network port")) {
      server = std::make_unique<TServer>();
      device = server->Url();
    }
    Bind({{"COM1", device}});
    binding_->OpenPortAtStart();
    if (server) ASSERT_TRUE(server->Accept());
    ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psOpen; }));
    if (server) {
      server->Hangup();
    } else {
      std::filesystem::remove(link);
      pty.reset();
    }
    ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == c.after; }));
    EXPECT_EQ(Status().fault, ekLOST);
    EXPECT_EQ(binding_->PortRetryTimer().IsActive(), c.retried);
    const auto lost = Lines(colors::kError, "lost");
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(Contains(lost[0], "not opened again"), !c.retried) << lost[0];
    binding_.reset();
    log_.Clear();
  }
}

// The status bar's "sent" is what the port took: telegrams the output queue dropped,
// and those written while the port is closed, are not counted.
TEST_F(PortBindingTest, SentCountsWhatThePortTook) {
  TPty pty;
  Bind({{"COM1", pty.Path()}});
  transmit_.SendCommandString("AB B0 00000000 FFFFFF80 00");
  EXPECT_EQ(Status().counts.sent, 0u);
  binding_->OpenPortAtStart();
  ASSERT_EQ(Status().state, psOpen);
  // The far end takes nothing for now.
  constexpr int kTelegrams = 3000;
  for (int i = 0; i < kTelegrams; ++i) transmit_.SendCommandString("AB B0 00000000 FFFFFF80 00");
  EXPECT_EQ(transmit_.TelegramsSent(), kTelegrams + 1u);
  const std::uint64_t sent = Status().counts.sent;
  EXPECT_LT(sent, static_cast<std::uint64_t>(kTelegrams));
  std::string arrived;
  loop_.RunUntil([&] {
    arrived += pty.ReadAvailable();
    return arrived.size() > sent * 15;
  }, 1000ms);
  EXPECT_EQ(arrived.size(), sent * 15);
  EXPECT_EQ(Status().counts.sent, sent);
}

}  // namespace
}  // namespace ardel
