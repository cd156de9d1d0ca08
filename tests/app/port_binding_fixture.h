#pragma once
// The port as the program binds it, on a loop whose clock the test moves, with the link
// log, the queues and the receive and transmit paths wired as the program wires them.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/port_binding.h"
#include "port_fixtures.h"
#include "queue/queues.h"
#include "support/fake_event_loop.h"
#include "support/temp_dir.h"

namespace ardel::testing {

class PortBindingTest : public ::testing::Test {
 protected:
  // Wired as the program wires it. Without a map, [Ports] comes from the configuration.
  void Bind(std::optional<TPortMap> map) {
    TPortBindingOptions options;
    options.portMap = std::move(map);
    options.deviceRoot = root_;
    binding_ = std::make_unique<TPortBinding>(loop_, log_, receive_, transmit_,
                                              [this](std::string text) { errors_.push_back(std::move(text)); },
                                              std::move(options));
    TComPort& port = binding_->ComPort();
    port.ReceiveMode = rmRAW;
    port.ReceiveCallBack = [this](const std::string& data) {
      receive_.ComPort1ReceiveCallBack(data);
      binding_->CountLinkTraffic();
    };
    port.OnPortOpen = [this](TComPort&) { receive_.ResetFramer(); };
    transmit_.SetWriter([this](std::string_view bytes) { return binding_->Send(bytes); });
    binding_->SetNextStartName("COM1");
  }
  void Start(const std::string& device) {
    Bind(TPortMap{{"COM1", device}});
    binding_->OpenPortAtStart();
    loop_.RunPending();
  }
  std::vector<std::string> Lines(TColor color, const std::string& part) const {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < log_.Count(); ++i) {
      if (log_.Line(i).color == color && Contains(log_.Line(i).text, part)) lines.push_back(log_.Line(i).text);
    }
    return lines;
  }
  const TPortStatus& Status() { return binding_->PortStatus().Value(); }

  std::string root_ = MakeTempDir("ardel-binding").generic_string();
  TFakeEventLoop loop_;
  TLinkLog log_;
  TQueues queues_;
  TReceivePath receive_{log_, queues_.Answers()};
  TTransmitPath transmit_{log_, receive_};
  std::vector<std::string> errors_;
  std::unique_ptr<TPortBinding> binding_;

  void TearDown() override {
    binding_.reset();
    std::error_code error;
    std::filesystem::remove_all(root_, error);
  }
};

}  // namespace ardel::testing
