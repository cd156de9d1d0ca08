#include "rules/rule_set.h"

#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {

namespace {

std::vector<std::string> SplitRuleSetText(std::string_view text) {
  std::vector<std::string> lines = SplitLines(text);
  if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) lines.emplace_back();
  return lines;
}

bool MayExist(const std::string& path) { return !TargetIsFree(path); }

}  // namespace

void TRuleSet::SetEditor(IRuleSetEditor* editor) {
  Refresh();  // an edit in the editor that goes away is kept
  editor_ = editor;
  if (editor_ != nullptr) editor_->ShowText(Text());
  stale_ = false;
}

void TRuleSet::SetText(std::string_view text) {
  Replace(text);
  if (editor_ != nullptr) editor_->ShowText(Text());
  // Showing it changes the editor, but to what is already here.
  stale_ = false;
}

std::string TRuleSet::Text() const {
  Refresh();
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines_[i];
  }
  return text;
}

const std::vector<std::string>& TRuleSet::Lines() const {
  Refresh();
  return lines_;
}

const std::vector<TRuleStep>& TRuleSet::Steps() const {
  Refresh();
  return steps_;
}

void TRuleSet::Refresh() const {
  if (!stale_) return;
  stale_ = false;
  if (editor_ != nullptr) Replace(editor_->EditorText());
}

void TRuleSet::Replace(std::string_view text) const {
  lines_ = SplitRuleSetText(text);
  steps_.clear();
  for (const std::string& line : lines_) {
    const TRuleLine rule = ClassifyRuleLine(line);
    if (rule.kind == rkIf || rule.kind == rkSay || rule.kind == rkCommand) {
      steps_.push_back({rule.kind, std::string(rule.argument)});
    }
  }
}

void TRuleSet::Load(const std::string& path) {
  const std::string content = ReadWholeFile(path);
  SetText(content);
  ownPath_ = path;
}

std::string TRuleSet::FileText() const {
  std::string content = JoinLinesCrLf(Lines());
  if (!content.empty()) content.resize(content.size() - 2);  // nothing after the last line
  return content;
}

void TRuleSet::Save(const std::string& path) {
  if (path.empty()) throw EFileError("cannot write the rule set: no file name");
  if (!MayWriteTo(path)) {
    throw EFileError("cannot write " + LocaleToUtf8(path) +
                     ": the rule set was never loaded from this file, so it is not written over");
  }
  WriteFileAtomically(path, FileText());
  ownPath_ = path;
}

bool TRuleSet::MayWriteTo(const std::string& path) const {
  return !path.empty() && (path == ownPath_ || !MayExist(path));
}

}  // namespace ardel
