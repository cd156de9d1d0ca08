#include "app/queue_tick.h"

#include "link/telegram_fields.h"
#include "util/number_text.h"
#include "util/text_encoding.h"

namespace ardel {

namespace {

const std::string kBlanks38(38, ' ');
const std::string kBlanks46(46, ' ');

}  // namespace

int TickIntervalFromText(std::string_view text) {
  // Blanks around the number are what a spin editor shows; anything else is no number.
  const std::optional<long long> value = NumberFromFieldText(text);
  if (!value || *value < kTickIntervalMin) return kTickIntervalMin;
  if (*value > kTickIntervalMax) return kTickIntervalMax;
  return static_cast<int>(*value);
}

TQueueTick::TOldest TQueueTick::ReadOldest() const {
  const TLineList& commands = queues_.Commands();
  TOldest oldest;
  oldest.k = static_cast<long>(commands.Count()) - 1;
  if (oldest.k >= 0) oldest.q = commands.At(static_cast<std::size_t>(oldest.k));
  return oldest;
}

void TQueueTick::AppendStatusLine(TLogKind kind, const char* prefix, const std::string& text) {
  log_.AppendLine(kind, prefix + stamp_ + text);
}

bool TQueueTick::CompletionTest(std::string_view answerText, const TOldest& oldest) {
  if (oldest.k < 0 || !AnswerCompletes(answerText, oldest.q)) return false;
  queues_.Commands().RemoveAt(static_cast<std::size_t>(oldest.k));
  if (log_.Switches().debugInfo) {
    AppendStatusLine(lkOk, "ok", kBlanks46 + "remaining cmds " + std::to_string(queues_.Commands().Count()));
  }
  queues_.SetRepeatCntr(kRepeatStart);
  TellOutcome(oldest.q, coAnswered);
  return true;
}

void TQueueTick::TellOutcome(std::string commandString, TCommandOutcomeKind kind) {
  const TCommandOutcome outcome{std::move(commandString), kind};
  outcomeObservers_.Notify([&](ICommandOutcomeObserver& observer) { observer.CommandDone(outcome); });
}

void TQueueTick::StoreInfiAnswer(const TInfiAnswer& answer) {
  const auto column = FindStationColumn(table_, answer.id);
  if (!column) return;
  const int p = answer.index;
  if (p >= 0 && InfiRow(p) < table_.RowCount()) table_.SetCell(*column, InfiRow(p), std::string(answer.entry));
  ShowStation(table_, shown_.station, shown_);
}

void TQueueTick::ReportBaseIdChange(const TBaseIdAnswer& answer) {
  const std::string_view status = answer.status;
  std::string outcome;
  if (status == "00") {
    outcome = "new ID base set)";
  } else if (status == "01") {
    outcome = "ID base < 0xFF800000. ID base not allowed. New ID not set)";
  } else if (status == "02") {
    outcome = "ID programmed more than 10 times. New ID not set)";
  } else if (status == "F7") {
    outcome = "Station not in LRN-Mode. New ID not set)";
  }
  information_.Append("Station base ID change from " + std::string(answer.oldId) + " to " +
                      std::string(answer.newId));
  information_.Append(" ended with return Code: " + std::string(status) + "  (" + outcome);
  information_.Append(" -> Dont forget to build a new Station-Tab with new SBI...");
}

void TQueueTick::Timer1Timer() {
  if (running_) return;
  running_ = true;
  struct TRunning {
    bool& flag;
    ~TRunning() { flag = false; }
  } running{running_};

  stamp_ = log_.TimeStamp();
  if (outputs_.showDateTime) outputs_.showDateTime(stamp_);

  TOldest oldest = ReadOldest();
  TLineList& answers = queues_.Answers();
  while (answers.Count() > 0) {
    const std::string t = answers.At(answers.Count() - 1);
    answers.RemoveAt(answers.Count() - 1);
    if (outputs_.telegramTaken) outputs_.telegramTaken(t);
    // One answer completes one command at most.
    CompletionTest(t, oldest);
    if (const auto infi = ReadInfiAnswer(t)) StoreInfiAnswer(*infi);
    if (const auto baseId = ReadBaseIdAnswer(t)) ReportBaseIdChange(*baseId);
    if (outputs_.ruleCheck) outputs_.ruleCheck(t);
    oldest = ReadOldest();
  }
  Step();
}

void TQueueTick::Step() {
  const TOldest oldest = ReadOldest();
  if (oldest.k < 0 || !queues_.TransmitPermit()) return;
  queues_.SetTransmitPermit(queues_.AutoTransmit());
  const auto k = static_cast<std::size_t>(oldest.k);
  if (queues_.RepeatCntr() <= 0) {
    if (outputs_.timedOut) outputs_.timedOut(k);
    queues_.Commands().RemoveAt(k);
    AppendStatusLine(lkError, "E ", kBlanks38 + "time out");
    queues_.SetRepeatCntr(kRepeatStart);
    TellOutcome(oldest.q, coTimedOut);
    return;
  }
  if (queues_.RepeatCntr() < kRepeatStart) AppendStatusLine(lkRepeat, "W ", kBlanks38 + "repeat it");
  try {
    transmit_.SendCommandString(oldest.q, queues_.RepeatCntr() < kRepeatStart ? skRepetition : skCommand);
  } catch (const EConvertError& e) {
    // Such a command can never be sent: report it once and let the queue move on.
    queues_.Commands().RemoveAt(k);
    AppendStatusLine(lkError, "E ", kBlanks38 + e.what() + "   " + Latin1ToUtf8(oldest.q));
    queues_.SetRepeatCntr(kRepeatStart);
    return;
  }
  queues_.SetRepeatCntr(queues_.RepeatCntr() - 1);
}

}  // namespace ardel
