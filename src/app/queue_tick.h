#pragma once
// The queue tick: interprets every answer that arrived since the last run, then takes
// at most one step on the oldest command (send, repeat, or drop after a time-out).

#include <functional>
#include <string>
#include <string_view>

#include "log/link_log.h"
#include "link/telegram_fields.h"
#include "link/transmit_path.h"
#include "queue/queues.h"
#include "stations/station_table.h"
#include "stations/station_view.h"
#include "util/observers.h"
#include "util/text_lines.h"

namespace ardel {

constexpr int kTickIntervalMin = 25;
constexpr int kTickIntervalMax = 2500;
constexpr int kTickIntervalStart = 100;

// The tick interval for the editor's text: a text that is not a whole number counts
// as 25, and nothing outside 25..2500 ever reaches the timer.
int TickIntervalFromText(std::string_view text);

enum TCommandOutcomeKind { coAnswered, coTimedOut };

// The oldest command has left the queue for this reason. Told right after its removal
// and the tick's log line about it, before anything else leaves the queue.
struct TCommandOutcome {
  std::string commandString;
  TCommandOutcomeKind kind = coAnswered;
};

class ICommandOutcomeObserver {
 public:
  virtual ~ICommandOutcomeObserver() = default;
  virtual void CommandDone(const TCommandOutcome& outcome) = 0;
};

class TQueueTick {
 public:
  struct TOutputs {
    // The date and time field.
    std::function<void(const std::string&)> showDateTime;
    // Rule evaluation of one telegram text.
    std::function<void(const std::string&)> ruleCheck;
    // Each telegram text as the run takes it from the answer list, before anything is
    // done with it.
    std::function<void(const std::string&)> telegramTaken;
    // The oldest command, at this position, is about to be dropped after its last
    // transmission.
    std::function<void(std::size_t position)> timedOut;
  };

  TQueueTick(TQueues& queues, TLinkLog& log, TTransmitPath& transmit, TStationTable& table,
             TDisplayedStation& shown, TTextLines& information, TOutputs outputs)
      : queues_(queues),
        log_(log),
        transmit_(transmit),
        table_(table),
        shown_(shown),
        information_(information),
        outputs_(std::move(outputs)) {}

  // One run. A call while a run is under way (from a nested event loop) does nothing.
  void Timer1Timer();

  // Each command that is answered or times out, once; a face learns it here and never
  // from the log's text.
  void AddOutcomeObserver(ICommandOutcomeObserver* observer) { outcomeObservers_.Add(observer); }
  void RemoveOutcomeObserver(ICommandOutcomeObserver* observer) { outcomeObservers_.Remove(observer); }

 private:
  struct TOldest {
    long k = -1;  // position of the oldest command, -1 for an empty queue
    std::string q;
  };
  TOldest ReadOldest() const;
  // The answer completes the oldest command: it leaves the queue.
  bool CompletionTest(std::string_view answerText, const TOldest& oldest);
  void StoreInfiAnswer(const TInfiAnswer& answer);
  void ReportBaseIdChange(const TBaseIdAnswer& answer);
  void Step();
  void AppendStatusLine(TLogKind kind, const char* prefix, const std::string& text);
  void TellOutcome(std::string commandString, TCommandOutcomeKind kind);

  TQueues& queues_;
  TLinkLog& log_;
  TTransmitPath& transmit_;
  TStationTable& table_;
  TDisplayedStation& shown_;
  TTextLines& information_;
  TOutputs outputs_;
  TObservers<ICommandOutcomeObserver> outcomeObservers_;
  bool running_ = false;
  std::string stamp_;  // one time stamp for all lines of a run
};

}  // namespace ardel
