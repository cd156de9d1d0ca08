#include "app/overview_feed.h"

#include "link/telegram_fields.h"
#include "stations/station_commands.h"

namespace ardel {

void TOverviewFeed::GoodTelegram(const TTelegramBody& body) {
  const TOverviewTime now = clock_();
  overview_.Received(body, now);
  if (waiting_.size() == kWaitingMax) waiting_.pop_front();
  waiting_.emplace_back(body, now);
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
  for (auto entry = waiting_.begin(); entry != waiting_.end(); ++entry) {
    if (FormatTelegramText(entry->first) == telegramText) {
      takenAt_ = entry->second;
      waiting_.erase(waiting_.begin(), entry + 1);
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
