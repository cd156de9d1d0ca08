#pragma once
// The rule set: the lines of the rule editor, their classification, and the rule-set
// file. The editor holds the text while the operator types; the lines are read from
// it again only when an evaluation needs them after a change, so an edit takes effect
// with the next telegram and an unchanged rule set is never split again.

#include <string>
#include <string_view>
#include <vector>

#include "rules/rule_line.h"

namespace ardel {

// The view in which the operator edits the rule set.
class IRuleSetEditor {
 public:
  virtual ~IRuleSetEditor() = default;
  // The whole text, lines separated by LF (CR LF and lone CR are taken too).
  virtual std::string EditorText() const = 0;
  // Shows a rule set that replaced the previous one, lines separated by LF.
  virtual void ShowText(const std::string& text) = 0;
};

// A line that can act: an if line, a say action or a command action.
struct TRuleStep {
  TRuleKind kind = rkOther;
  std::string argument;
};

class TRuleSet {
 public:
  static constexpr const char* kFileName = "veskRuleset.txt";

  // The editor shows the current rule set at once and holds it from then on.
  void SetEditor(IRuleSetEditor* editor);
  // Cheap: the editor's text is read when the rules are next needed.
  void EditorChanged() { stale_ = true; }

  // Replaces the rule set; lines are separated by CR LF, lone CR or lone LF, and a
  // break at the very end leaves an empty last line, as an editor shows it.
  void SetText(std::string_view text);
  // The lines separated by LF.
  std::string Text() const;
  const std::vector<std::string>& Lines() const;
  // The lines that can act, in their order; the others never do anything.
  const std::vector<TRuleStep>& Steps() const;

  // The file's content: the lines joined by CR LF, nothing after the last one.
  std::string FileText() const;

  // Replaces the rule set by the file's content. Throws EFileError; the rule set
  // is then left as it was.
  void Load(const std::string& path);
  // Writes the lines joined by CR LF, nothing after the last one. Throws EFileError,
  // also instead of writing over an existing file that this rule set never came from.
  void Save(const std::string& path);
  // False for an existing file that was neither loaded nor saved here: its content
  // is unknown, so writing the editor over it could destroy a rule set.
  bool MayWriteTo(const std::string& path) const;

 private:
  // Reading the editor's text again is not a change of the rule set.
  void Refresh() const;
  void Replace(std::string_view text) const;

  IRuleSetEditor* editor_ = nullptr;
  mutable bool stale_ = false;
  mutable std::vector<std::string> lines_;
  mutable std::vector<TRuleStep> steps_;
  std::string ownPath_;  // the file loaded or saved last
};

}  // namespace ardel
