#pragma once
// Runs the rule set against received telegrams: matching if lines enable the then
// lines below them, which queue command strings or write to the message field.

#include <string_view>

#include "log/link_log.h"
#include "queue/queues.h"
#include "rules/rule_set.h"
#include "util/text_lines.h"

namespace ardel {

class TRuleEngine {
 public:
  // All four are the program's own objects and must outlive the engine. The time stamps
  // are the link log's, so every line of a moment carries the same text.
  TRuleEngine(const TRuleSet& ruleSet, TQueues& queues, TLinkLog& linkLog, TTextLines& messageField);

  // "process Ruleset": on at start, not saved anywhere.
  bool ProcessRuleset() const { return processRuleset_; }
  void SetProcessRuleset(bool on) { processRuleset_ = on; }

  // One received telegram text through every line of the rule set as it stands now.
  // Grey trace lines go to the link log when its "Debug Info" switch is on.
  void RuleCheck(std::string_view telegramText);

 private:
  const TRuleSet& ruleSet_;
  TQueues& queues_;
  TLinkLog& linkLog_;
  TTextLines& messageField_;
  bool processRuleset_ = true;
};

}  // namespace ardel
