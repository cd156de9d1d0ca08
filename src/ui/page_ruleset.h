#pragma once
// Page "RuleSet": the rule editor above a movable divider, the message field below.

#include <memory>

#include "ui/page.h"

namespace ardel::ui {

class TRuleSetEditorView;
class TTextLinesPlainText;

class TPageRuleset : public TPage {
 public:
  TPageRuleset(TArdelApp& app, IErrorSink& errors, QWidget* parent);
  // The editor's view reads the editor as it lets go of the rule set, so it goes while
  // the editor is still there.
  ~TPageRuleset() override;

 private:
  void Button9Click();   // save Ruleset
  void Button10Click();  // clr (message field)

  std::unique_ptr<TRuleSetEditorView> ruleSetEditor_;
  std::unique_ptr<TTextLinesPlainText> messageFieldView_;
};

}  // namespace ardel::ui
