#pragma once
// The rule editor bound to the rule set.

#include <QMetaObject>
#include <string>

#include "rules/rule_set.h"

class QPlainTextEdit;

namespace ardel::ui {

// The rule set lives in the editor while the operator types; each edit only marks it
// changed, and the rule set reads the text when it next needs it.
class TRuleSetEditorView : public IRuleSetEditor {
 public:
  TRuleSetEditorView(QPlainTextEdit* editor, TRuleSet& ruleSet);
  ~TRuleSetEditorView() override;
  TRuleSetEditorView(const TRuleSetEditorView&) = delete;
  TRuleSetEditorView& operator=(const TRuleSetEditorView&) = delete;

  std::string EditorText() const override;
  void ShowText(const std::string& text) override;

 private:
  QPlainTextEdit* editor_;
  TRuleSet& ruleSet_;
  QMetaObject::Connection edits_;
  bool showing_ = false;
};

}  // namespace ardel::ui
