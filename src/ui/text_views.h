#pragma once
// Plain-text widgets bound to the core's texts: the rule editor to the rule set, and a
// read-only field to a list of text lines such as the message field.

#include <QMetaObject>
#include <string>

#include "rules/rule_set.h"
#include "util/text_lines.h"

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

class TTextLinesView : public ITextLinesObserver {
 public:
  TTextLinesView(QPlainTextEdit* field, TTextLines& lines);
  ~TTextLinesView() override;
  TTextLinesView(const TTextLinesView&) = delete;
  TTextLinesView& operator=(const TTextLinesView&) = delete;

  void LineAppended(const std::string& line) override;
  void Cleared() override;

 private:
  QPlainTextEdit* field_;
  TTextLines& lines_;
};

}  // namespace ardel::ui
