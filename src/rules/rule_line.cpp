#include "rules/rule_line.h"

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

}  // namespace ardel
