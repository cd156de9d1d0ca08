#pragma once
// The bus overview of a capture: its lines fed in order give the counts, the times and
// the outcomes the live overview had. What a capture does not hold stays unknown: noise
// between telegrams (bytes count per telegram), the IDs of checksum errors logged without
// their bytes, and the commands of the queue that were never transmitted.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "link/link_traffic.h"
#include "link/telegram.h"
#include "log/bus_overview.h"
#include "log/capture_file.h"

namespace ardel {

// The local time of a capture line's stamp ("2026-12-09T02:41:21.123"); nothing for
// another text. Remembers the hour it converted last, so a run of lines costs no
// calendar arithmetic.
class TCaptureTimeReader {
 public:
  std::optional<TOverviewTime> Read(std::string_view stamp);

 private:
  char hour_[13] = {};
  bool known_ = false;
  std::time_t hourStart_ = 0;
};

class TOverviewReplay {
 public:
  // The overview outlives the replay.
  explicit TOverviewReplay(TBusOverview& overview) : overview_(overview) {}

  // One line of a capture, without its line break. False for a line not of the
  // capture's form, which counts nothing.
  bool FeedLine(std::string_view line);
  // A line already taken apart, as a capture file's view holds it.
  void Feed(const TCaptureLine& line);
  // After the last line: a transmission whose fate the next line would have told counts
  // as sent.
  void Finish();

  std::uint64_t Lines() const { return lines_; }
  // The stamp of the last line fed.
  std::optional<TOverviewTime> LastTime() const { return lastTime_; }

 private:
  void CommitPending();

  TBusOverview& overview_;
  TCaptureTimeReader times_;
  std::uint64_t lines_ = 0;
  std::optional<TOverviewTime> lastTime_;
  // A transmission counts once the next line did not say it was not sent.
  bool pending_ = false;
  TTelegramBody pendingBody_{};
  TSendKind pendingKind_ = skCommand;
  TOverviewTime pendingAt_{};
  // The tick's "repeat it" comes right before the repetition.
  bool repeatNext_ = false;
  // An ACK follows the telegram it acknowledges at once.
  bool afterRx_ = false;
  TTelegramBody lastRx_{};
  // The queue sends one command at a time: the last transmitted one is the one an
  // answer completes or the tick's time-out drops.
  bool outstanding_ = false;
  char outstandingText_[kTelegramTextSize] = {};
  std::uint32_t outstandingId_ = 0;
};

struct TReplayResult {
  std::uint64_t lines = 0;       // of the capture's form
  std::uint64_t unreadable = 0;  // left out, the last line cut included
  std::optional<TOverviewTime> lastTime;
};

// Reads a whole capture file in large blocks, line by line without a copy. False with
// the error text when it cannot be opened or read.
bool ReplayCaptureFile(const std::string& path, TBusOverview& overview, TReplayResult& result, std::string& error);

}  // namespace ardel
