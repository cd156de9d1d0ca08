#pragma once
// Feeds the bus overview from the running program: the receive and transmit paths'
// traffic, the queue tick's outcomes and the port's events, each at the program's clock.

#include <cstddef>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <cstdint>

#include "app/queue_tick.h"
#include "link/link_traffic.h"
#include "link/time_stamp.h"
#include "log/bus_overview.h"

namespace ardel {

class TOverviewFeed : public ILinkTraffic, public ICommandOutcomeObserver {
 public:
  // The overview outlives the feed.
  TOverviewFeed(TBusOverview& overview, TClock clock) : overview_(overview), clock_(std::move(clock)) {}

  // The telegrams of a delivery arrived with it: one reading of the clock serves them all.
  void BytesReceived(std::size_t count) override {
    deliveredAt_ = clock_();
    overview_.BytesReceived(count, deliveredAt_);
  }
  void GoodTelegram(const TTelegramBody& body) override;
  void ChecksumError(const TTelegramBody& framed) override { overview_.ChecksumError(framed, deliveredAt_); }
  void TelegramSent(const TTelegramBody& body, TSendKind kind) override;

  // The tick takes a received telegram's text from the answer list; an answer that
  // completes a command does so while it is taken, and its time is its reception's.
  void TelegramTaken(const std::string& telegramText);
  void CommandDone(const TCommandOutcome& outcome) override;

  void OutputDropped(std::size_t bytes) { overview_.OutputDropped(bytes, clock_()); }
  void PortLost() { overview_.PortLost(clock_()); }

  // Received telegrams the tick has not taken yet, at most this many remembered.
  static constexpr std::size_t kWaitingMax = 1024;

 private:
  TBusOverview& overview_;
  TClock clock_;
  TOverviewTime deliveredAt_{};
  // The answer list is first in, first out: each good telegram's reception time waits
  // in this ring until the tick takes its text; the oldest give way to new ones.
  struct TWaiting {
    TTelegramBody body;
    TOverviewTime at;
  };
  std::array<TWaiting, kWaitingMax> waiting_{};
  std::size_t waitingFirst_ = 0;
  std::size_t waitingCount_ = 0;
  std::optional<TOverviewTime> takenAt_;
};

}  // namespace ardel
