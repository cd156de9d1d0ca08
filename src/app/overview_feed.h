#pragma once
// Feeds the bus overview from the running program: the receive and transmit paths'
// traffic, the queue tick's outcomes and the port's events, each at the program's clock.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "app/queue_tick.h"
#include "link/link_traffic.h"
#include "link/time_stamp.h"
#include "log/bus_overview.h"

namespace ardel {

class TOverviewFeed : public ILinkTraffic, public ICommandOutcomeObserver {
 public:
  // The overview outlives the feed.
  TOverviewFeed(TBusOverview& overview, TClock clock) : overview_(overview), clock_(std::move(clock)) {}

  void BytesReceived(std::size_t count) override { overview_.BytesReceived(count, clock_()); }
  void GoodTelegram(const TTelegramBody& body) override;
  void ChecksumError(const TTelegramBody& framed) override { overview_.ChecksumError(framed, clock_()); }
  void TelegramSent(const TTelegramBody& body, TSendKind kind) override;

  // The tick takes a received telegram's text from the answer list; an answer that
  // completes a command does so while it is taken, and its time is its reception's.
  void TelegramTaken(const std::string& telegramText);
  void CommandDone(const TCommandOutcome& outcome) override;

  void OutputDropped(std::size_t bytes) { overview_.OutputDropped(bytes, clock_()); }
  void PortLost() { overview_.PortLost(clock_()); }

  // Received telegrams the tick has not taken yet, at most this many remembered.
  static constexpr std::size_t kWaitingMax = 4096;

 private:
  TBusOverview& overview_;
  TClock clock_;
  // The answer list is first in, first out: each good telegram's reception time waits
  // here until the tick takes its text.
  std::deque<std::pair<TTelegramBody, TOverviewTime>> waiting_;
  std::optional<TOverviewTime> takenAt_;
};

}  // namespace ardel
