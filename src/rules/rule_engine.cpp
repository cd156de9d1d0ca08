#include "rules/rule_engine.h"

#include <optional>
#include <string>
#include <utility>

#include "util/wild_match.h"
#include "util/text_encoding.h"

namespace ardel {

TRuleEngine::TRuleEngine(const TRuleSet& ruleSet, TQueues& queues, TLinkLog& linkLog,
                         TTextLines& messageField)
    : ruleSet_(ruleSet), queues_(queues), linkLog_(linkLog), messageField_(messageField) {}

void TRuleEngine::RuleCheck(std::string_view telegramText) {
  if (!processRuleset_) return;
  const bool debugInfo = linkLog_.Switches().debugInfo;
  // One evaluation is one moment: the stamp is taken once, when a line first needs it.
  std::optional<std::string> stamp;
  auto timeStamp = [&]() -> const std::string& {
    if (!stamp) stamp = linkLog_.TimeStamp();
    return *stamp;
  };
  if (debugInfo) {
    linkLog_.AppendLine(lkRule,
                        "- " + timeStamp() + "  Enter Rulecheck with " + std::string(telegramText));
  }

  const TTextMatcher matcher(telegramText);
  bool match = false;
  for (const TRuleStep& step : ruleSet_.Steps()) {
    if (step.kind == rkIf) {
      match = matcher.Matches(step.argument);
    } else if (!match) {
      continue;
    } else if (step.kind == rkSay) {
      messageField_.Append(timeStamp() + "   " + Latin1ToUtf8(step.argument));
    } else if (step.kind == rkCommand) {
      queues_.EnqueueCommand(step.argument);
      if (debugInfo) {
        linkLog_.AppendLine(lkRule, "- " + timeStamp() + "  due to Rule:  " + Latin1ToUtf8(step.argument));
      }
    }
  }
}

}  // namespace ardel
