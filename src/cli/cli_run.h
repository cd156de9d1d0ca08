#pragma once
// One run of ardel-cli on a started program: what it queues, what it waits for and
// when it ends. The program itself (files, port, tick, rules) is TArdelApp's.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ardel_app.h"
#include "app/event_loop.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/input_lines.h"

namespace ardel::cli {

class TCliRun : public ICommandOutcomeObserver {
 public:
  // The app has run its start-up sequence. Messages for people go to err.
  TCliRun(const TCliOptions& options, TArdelApp& app, IEventLoop& loop, int inputFd, bool inputIsTerminal,
          std::FILE* err);
  ~TCliRun() override;
  TCliRun(const TCliRun&) = delete;
  TCliRun& operator=(const TCliRun&) = delete;

  // Queues what the command line asks for and starts waiting.
  void Start();
  // SIGINT or SIGTERM: ends the run; unmet expectations and unanswered commands make it
  // a failure.
  void Interrupted();

  void CommandDone(const TCommandOutcome& outcome) override;

 private:
  // Follows one line list; the run gets told what went in and what came out.
  class TListFollower : public ILineListObserver {
   public:
    TListFollower(TLineList& list, std::function<void()> inserted, std::function<void(std::string)> removed)
        : list_(list), inserted_(std::move(inserted)), removed_(std::move(removed)) {
      list_.AddObserver(this);
    }
    ~TListFollower() override { list_.RemoveObserver(this); }
    void BeforeInsert(std::size_t) override {}
    void AfterInsert() override {
      if (inserted_) inserted_();
    }
    void BeforeRemove(std::size_t index) override { removing_ = list_.At(index); }
    void AfterRemove() override {
      if (removed_) removed_(std::move(removing_));
    }

   private:
    TLineList& list_;
    std::function<void()> inserted_;
    std::function<void(std::string)> removed_;
    std::string removing_;
  };

  struct TExpectation {
    std::string pattern;
    int seen = 0;
  };

  void Queue(const std::string& commandString);
  void InputLine(const TInputLine& line);
  void StartSubcommand();
  void ReadInput(std::string_view bytes);
  void AnswerTaken(const std::string& telegramText);
  void CommandRemoved(const std::string& commandString);
  void TimeRanOut();
  // Ends the loop's run once the handler that is running has finished.
  void EndSoon(int status);
  bool ExpectationsMet() const;
  // What is still awaited, one line each, to err.
  void ReportPending();
  void Say(const std::string& text);

  TCliOptions options_;
  TArdelApp& app_;
  IEventLoop& loop_;
  int inputFd_;
  bool inputIsTerminal_;
  std::FILE* err_;

  std::vector<TExpectation> expectations_;
  // The commands of a subcommand still in the queue, and how many of them timed out.
  bool capturing_ = false;
  std::vector<std::string> own_;
  bool lastRemovedWasOwn_ = false;
  int ownTimedOut_ = 0;
  // The input has ended on a terminal: the run ends once the queue is empty.
  bool endWhenQueueEmpty_ = false;
  bool ending_ = false;
  TInputLines input_;

  std::unique_ptr<TListFollower> commands_;
  std::unique_ptr<TListFollower> answers_;
  std::unique_ptr<TInputReader> inputReader_;
  std::unique_ptr<ITimer> timeLimit_;
};

}  // namespace ardel::cli
