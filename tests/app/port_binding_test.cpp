// A network port as the program binds it, on both systems: what it says while its
// server is not there yet, and how it comes back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "port_binding_fixture.h"
#include "support/loopback_server.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::Contains;
using testing::PortBindingTest;
using testing::TLoopbackServer;

// The system's own words for a refused connection.
#ifdef _WIN32
constexpr const char* kRefusedWords = "refused";
#else
constexpr const char* kRefusedWords = "Connection refused";
#endif

// A server that refuses: lost once, tried every second without a word, never "open"
// nor "back" until a server takes the connection.
TEST_F(PortBindingTest, ANetworkPortIsConnectingUntilItsConnectionStands) {
  unsigned short port = 0;
  {
    TLoopbackServer gone;
    port = gone.Port();
  }
  Bind(TPortMap{{"COM1", "socket://127.0.0.1:" + std::to_string(port)}});
  std::vector<TPortState> seen;
  binding_->OpenPortAtStart();
  EXPECT_EQ(Status().state, psConnecting);
  EXPECT_EQ(PortStateText(Status()), "connecting");
  ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psLost; }));
  EXPECT_EQ(Status().fault, ekREFUSED);
  EXPECT_TRUE(Contains(Status().reason, kRefusedWords)) << Status().reason;
  ASSERT_TRUE(binding_->PortRetryTimer().IsActive());
  for (int i = 0; i < 3; ++i) {
    loop_.Advance(1000ms);
    ASSERT_TRUE(loop_.RunUntil([&] { return !binding_->ComPort().IsOpen(); }));
    seen.push_back(Status().state);
  }
  EXPECT_EQ(seen, (std::vector<TPortState>{psLost, psLost, psLost}));
  EXPECT_EQ(Lines(colors::kError, "lost").size(), 1u);
  EXPECT_TRUE(Lines(colors::kBlack, "is back").empty());

  TLoopbackServer server(port);
  loop_.Advance(1000ms);
  EXPECT_NE(Status().state, psOpen);
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psOpen; }));
  EXPECT_EQ(Lines(colors::kBlack, "is back").size(), 1u);
  EXPECT_FALSE(binding_->PortRetryTimer().IsActive());
  EXPECT_TRUE(binding_->ComPort().IsConnected());
}

}  // namespace
}  // namespace ardel
