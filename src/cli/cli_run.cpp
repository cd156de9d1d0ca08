#include "cli/cli_run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli/log_output.h"
#include "link/telegram.h"
#include "util/wild_match.h"
#include "stations/station_commands.h"
#include "stations/station_view.h"
#include "util/text_encoding.h"

namespace ardel::cli {

namespace {

const char* SubcommandName(TSubcommand subcommand) {
  switch (subcommand) {
    case scReadInfi: return "read-infi";
    case scSignal: return "signal";
    case scChangeBaseId: return "change-base-id";
    default: return "";
  }
}

// A character beyond Latin-1 takes at most four bytes of UTF-8.
constexpr std::size_t kInputLineBytesMax = 4 * kCommandStringMax;

}  // namespace

TCliRun::TCliRun(const TCliOptions& options, TArdelApp& app, IEventLoop& loop, int inputFd, bool inputIsTerminal,
                 std::FILE* err)
    : options_(options),
      app_(app),
      loop_(loop),
      inputFd_(inputFd),
      inputIsTerminal_(inputIsTerminal),
      err_(err),
      input_(kInputLineBytesMax) {
  for (const std::string& pattern : options_.expects) expectations_.push_back({pattern});
  commands_ = std::make_unique<TListFollower>(
      app_.Queues().Commands(),
      [this] {
        if (capturing_) own_.push_back(app_.Queues().Commands().At(0));
      },
      [this](std::string text) { CommandRemoved(text); });
  // Counted as the tick takes each one, so that what the answer does (a table entry, the
  // information field, the rules) has happened when the run ends.
  answers_ = std::make_unique<TListFollower>(app_.Queues().Answers(), nullptr,
                                             [this](std::string text) { AnswerTaken(text); });
  app_.AddOutcomeObserver(this);
}

TCliRun::~TCliRun() { app_.RemoveOutcomeObserver(this); }

void TCliRun::Say(const std::string& text) {
  std::fprintf(err_, "ardel-cli: %s\n", Utf8ToLocale(text).c_str());
  std::fflush(err_);
}

void TCliRun::Start() {
  if (options_.timeoutSeconds) {
    timeLimit_ = loop_.NewTimer(tkSingleShot, [this] { TimeRanOut(); });
    timeLimit_->Start(std::chrono::milliseconds(static_cast<long long>(std::ceil(*options_.timeoutSeconds * 1000))));
  }
  for (const std::string& send : options_.sends) Queue(send);
  if (options_.subcommand != scNone) {
    StartSubcommand();
    return;
  }
  inputReader_ = std::make_unique<TInputReader>(loop_, inputFd_, [this](std::string_view bytes) { ReadInput(bytes); });
}

// Into the queue as "send" puts it there; the window's list of typed lines is not this
// program's, and keeping it in order costs time with every line.
void TCliRun::Queue(const std::string& commandString) {
  bool lossy = false;
  std::string bytes = Utf8ToLatin1(LocaleToUtf8(commandString), lossy);
  if (lossy) Say("a character beyond Latin-1 is sent as \"?\": " + LocaleToUtf8(commandString));
  app_.Queues().EnqueueCommand(std::move(bytes));
}

void TCliRun::InputLine(const TInputLine& line) {
  bool lossy = false;
  const bool tooLong = line.tooLong || Utf8ToLatin1(LocaleToUtf8(line.text), lossy).size() > kCommandStringMax;
  if (tooLong) {
    Say("input line " + std::to_string(line.number) + " is longer than a command string can be (" +
        std::to_string(kCommandStringMax) + " characters) and is not sent");
    return;
  }
  if (line.text.find_first_not_of(" \t") != std::string::npos) Queue(line.text);
}

void TCliRun::StartSubcommand() {
  // The operator's tab switch, then the button.
  TStationTab& tab = app_.StationTab();
  if (options_.station != tab.SelectedStation().Value()) tab.TabControl1Switch(options_.station);
  capturing_ = true;
  if (options_.subcommand == scReadInfi) {
    tab.Button11Click();
  } else {
    if (options_.subcommand == scChangeBaseId) tab.StationCommandFields().newSbi.SetText(options_.newSbi);
    const TStationCommandButton& button = kStationCommandButtons.at(static_cast<std::size_t>(options_.button));
    tab.Button12Click(button.caption, button.commandTemplate, button.tag, [this] { Say("cannot calc target address"); });
  }
  capturing_ = false;
}

void TCliRun::ReadInput(std::string_view bytes) {
  const auto line = [this](const TInputLine& l) { InputLine(l); };
  if (!bytes.empty()) {
    input_.Take(bytes, line);
    return;
  }
  // The end, or a descriptor that cannot be read.
  input_.End(line);
  inputReader_.reset();
  // A script's input ends long before its answers come; an operator's Ctrl-D means done.
  if (inputIsTerminal_ && expectations_.empty()) {
    endWhenQueueEmpty_ = true;
    if (app_.Queues().Commands().Count() == 0) EndSoon(0);
  }
}

void TCliRun::AnswerTaken(const std::string& telegramText) {
  if (expectations_.empty() || ending_ || ExpectationsMet()) return;
  for (TExpectation& e : expectations_) {
    if (e.seen < options_.count && WildMatch(telegramText, e.pattern)) ++e.seen;
  }
  // After the rest of the tick.
  if (ExpectationsMet()) loop_.Wake([this] { EndSoon(0); });
}

bool TCliRun::ExpectationsMet() const {
  return std::all_of(expectations_.begin(), expectations_.end(),
                     [this](const TExpectation& e) { return e.seen >= options_.count; });
}

void TCliRun::CommandRemoved(const std::string& commandString) {
  const auto own = std::find(own_.begin(), own_.end(), commandString);
  lastRemovedWasOwn_ = own != own_.end();
  if (lastRemovedWasOwn_) {
    own_.erase(own);
    // The tick tells the outcome right after it removes the command, so the end waits
    // for the tick to finish.
    if (own_.empty() && options_.subcommand != scNone) {
      loop_.Wake([this] {
        if (ownTimedOut_ > 0) {
          Say(std::string(SubcommandName(options_.subcommand)) + ": " + std::to_string(ownTimedOut_) +
              (ownTimedOut_ == 1 ? " command" : " commands") + " to station " + StationCaption(options_.station) +
              " timed out");
        }
        EndSoon(ownTimedOut_ > 0 ? 1 : 0);
      });
    }
  }
  if (endWhenQueueEmpty_ && app_.Queues().Commands().Count() == 0) EndSoon(0);
}

void TCliRun::CommandDone(const TCommandOutcome& outcome) {
  // The command removed last is the one this outcome is about.
  if (lastRemovedWasOwn_ && outcome.kind == coTimedOut) ++ownTimedOut_;
  lastRemovedWasOwn_ = false;
}

void TCliRun::ReportPending() {
  for (const TExpectation& e : expectations_) {
    if (e.seen >= options_.count) continue;
    Say("not met: --expect \"" + Latin1ToUtf8(e.pattern) + "\" (" + std::to_string(e.seen) + " of " +
        std::to_string(options_.count) + " received)");
  }
  if (options_.subcommand != scNone && !own_.empty()) {
    Say(std::string(SubcommandName(options_.subcommand)) + ": " + std::to_string(own_.size()) +
        (own_.size() == 1 ? " command" : " commands") + " to station " + StationCaption(options_.station) +
        " not answered yet");
  }
}

void TCliRun::TimeRanOut() {
  if (ending_) return;
  const bool failed = !ExpectationsMet() || (options_.subcommand != scNone && !own_.empty());
  if (failed) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", *options_.timeoutSeconds);
    Say(std::string("time ran out after ") + seconds + " s");
    ReportPending();
  }
  EndSoon(failed ? 1 : 0);
}

void TCliRun::Interrupted() {
  if (ending_) return;
  const bool failed = !ExpectationsMet() || (options_.subcommand != scNone && !own_.empty());
  if (failed) ReportPending();
  EndSoon(failed ? 1 : 0);
}

void TCliRun::EndSoon(int status) {
  if (ending_) return;
  ending_ = true;
  loop_.Quit(status);
}

}  // namespace ardel::cli
