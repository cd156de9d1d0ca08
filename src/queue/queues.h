#pragma once
// The command queue, the answer list and the state the queue tick steps on.

#include <functional>
#include <string>

#include "util/line_list.h"

namespace ardel {

constexpr int kRepeatStart = 3;

class TQueues {
 public:
  TLineList& Commands() { return commands_; }
  TLineList& Answers() { return answers_; }
  const TLineList& Commands() const { return commands_; }
  const TLineList& Answers() const { return answers_; }

  // Command strings enter at the top and are taken from the bottom.
  void EnqueueCommand(std::string commandString) { commands_.InsertTop(std::move(commandString)); }
  void EnqueueAnswer(std::string telegramText) { answers_.InsertTop(std::move(telegramText)); }

  int RepeatCntr() const { return repeatCntr_; }
  void SetRepeatCntr(int value);
  // Called with the new value whenever it changes, so its display follows.
  void SetRepeatCntrChanged(std::function<void(int)> handler) { repeatChanged_ = std::move(handler); }

  bool TransmitPermit() const { return transmitPermit_; }
  void SetTransmitPermit(bool permit) { transmitPermit_ = permit; }

  bool AutoTransmit() const { return autoTransmit_; }
  // "AutoTransmit" clicked: the permit follows the box.
  void SetAutoTransmit(bool checked);
  // "Single Transmit": allows one step and nothing else.
  void SingleTransmit() { transmitPermit_ = true; }

 private:
  TLineList commands_;
  TLineList answers_;
  int repeatCntr_ = kRepeatStart;
  bool transmitPermit_ = true;
  bool autoTransmit_ = true;
  std::function<void(int)> repeatChanged_;
};

}  // namespace ardel
