#include "rules/rule_line.h"

#include "link/telegram.h"

namespace ardel {

namespace {

// Characters from a 0-based position on, at most one argument long; empty past the end.
std::string_view ArgumentFrom(std::string_view line, std::size_t start) {
  if (start >= line.size()) return {};
  return line.substr(start, kRuleArgumentLength);
}

constexpr std::size_t kArgumentColumn = 5;  // column 6

}  // namespace

TRuleLine ClassifyRuleLine(std::string_view line) {
  if (line.empty()) return {rkEmpty, {}};
  if (line.front() == '/') return {rkComment, {}};
  if (line.starts_with("if")) return {rkIf, ArgumentFrom(line, kArgumentColumn)};
  if (!line.starts_with("then")) return {rkOther, {}};
  // "say" wins over "lamp", wherever either stands, even inside a command comment.
  if (const std::size_t say = line.find("say"); say != std::string_view::npos) {
    return {rkSay, ArgumentFrom(line, say + 4)};
  }
  if (line.find("lamp") != std::string_view::npos) return {rkLamp, {}};
  return {rkCommand, ArgumentFrom(line, kArgumentColumn)};
}

TRuleLineMark MarkRuleLine(std::string_view line) {
  const TRuleLine rule = ClassifyRuleLine(line);
  switch (rule.kind) {
    case rkEmpty:
      return rmEmpty;
    case rkComment:
      return rmComment;
    case rkIf:
      return rmCondition;
    case rkSay:
      return rmSay;
    case rkCommand:
      return ParseCommandString(rule.argument).kind == pkValid ? rmCommand : rmNothing;
    case rkLamp:
    case rkOther:
      break;
  }
  return rmNothing;
}

}  // namespace ardel
