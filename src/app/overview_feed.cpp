#include "app/overview_feed.h"

#include "link/telegram_fields.h"
#include "stations/station_commands.h"

namespace ardel {

void TOverviewFeed::GoodTelegram(const TTelegramBody& body) {
  overview_.Received(body, deliveredAt_);
  waiting_[(waitingFirst_ + waitingCount_) % kWaitingMax] = {body, deliveredAt_};
  if (waitingCount_ < kWaitingMax) {
    ++waitingCount_;
  } else {
    waitingFirst_ = (waitingFirst_ + 1) % kWaitingMax;
  }
}

void TOverviewFeed::TelegramSent(const TTelegramBody& body, TSendKind kind) {
  if (kind == skAck) {
    overview_.AckSent(BodyId(body), clock_());
  } else {
    overview_.Sent(body, kind == skRepetition, clock_());
  }
}

void TOverviewFeed::TelegramTaken(const std::string& telegramText) {
  takenAt_.reset();
  // Mostly the first; entries before it left the list another way.
  for (std::size_t i = 0; i < waitingCount_; ++i) {
    const TWaiting& entry = waiting_[(waitingFirst_ + i) % kWaitingMax];
    if (FormatTelegramText(entry.body) == telegramText) {
      takenAt_ = entry.at;
      waitingFirst_ = (waitingFirst_ + i + 1) % kWaitingMax;
      waitingCount_ -= i + 1;
      return;
    }
  }
}

void TOverviewFeed::CommandDone(const TCommandOutcome& outcome) {
  const std::optional<std::uint32_t> id = ParseHex32(ReadTelegramFields(outcome.commandString).id);
  const TOverviewTime now = clock_();
  if (outcome.kind == coTimedOut) {
    if (id) {
      overview_.TimedOut(*id, now);
    } else {
      overview_.TimedOut(now);
    }
    return;
  }
  if (id) overview_.Completed(*id, takenAt_.value_or(now));
}

}  // namespace ardel
