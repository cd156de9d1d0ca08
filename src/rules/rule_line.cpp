#include "rules/rule_line.h"

#include <algorithm>

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

TRuleLineMark MarkRuleLine(std::string_view line) { return ReadRuleLine(line).mark; }

namespace {

std::size_t ArgumentOffset(std::string_view line, std::string_view argument) {
  return argument.empty() ? std::min(line.size(), kArgumentColumn)
                          : static_cast<std::size_t>(argument.data() - line.data());
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

TRuleLineReading ReadIfLine(std::string_view line, std::string_view pattern) {
  TRuleLineReading r;
  r.skippedFrom = 2;
  r.skippedLength = std::min(line.size(), kArgumentColumn) - r.skippedFrom;
  r.argumentFrom = ArgumentOffset(line, pattern);
  r.argumentLength = pattern.size();
  const std::string_view skipped = line.substr(r.skippedFrom, r.skippedLength);
  if (pattern.empty()) {
    r.mark = rmOddCondition;
    r.hint = "no pattern (it starts in column 6): this condition never matches";
  } else if (skipped.find_first_not_of(' ') != std::string_view::npos || skipped.size() < 3) {
    r.mark = rmOddCondition;
    r.hint = "columns 3 to 5 are skipped whatever they hold, so the pattern matched is " + Quoted(pattern) +
             "; write \"if\" and three blanks before the pattern";
  } else {
    r.mark = rmCondition;
    r.hint = "matches received telegrams against " + Quoted(pattern);
  }
  return r;
}

TRuleLineReading ReadCommandLine(std::string_view line, std::string_view command) {
  TRuleLineReading r;
  r.skippedFrom = std::min(line.size(), std::size_t{4});
  r.skippedLength = std::min(line.size(), kArgumentColumn) - r.skippedFrom;
  r.argumentFrom = ArgumentOffset(line, command);
  r.argumentLength = command.size();
  const TParsedCommand parsed = ParseCommandString(command);
  if (parsed.kind == pkValid) {
    r.mark = rmCommand;
    r.hint = "queues the command string " + Quoted(command) + ", which sends " + FormatTelegramText(parsed.body);
  } else {
    r.mark = rmBadCommand;
    r.hint = "queues " + Quoted(command) +
             ", which is no valid command string: nothing goes out, each try logs \"no valid command "
             "string\" and the command times out";
  }
  return r;
}

}  // namespace

TRuleLineReading ReadRuleLine(std::string_view line) {
  const TRuleLine rule = ClassifyRuleLine(line);
  TRuleLineReading r;
  switch (rule.kind) {
    case rkEmpty:
      r.mark = rmEmpty;
      return r;
    case rkComment:
      r.mark = rmComment;
      return r;
    case rkIf:
      return ReadIfLine(line, rule.argument);
    case rkSay:
      r.mark = rmSay;
      r.argumentFrom = ArgumentOffset(line, rule.argument);
      r.argumentLength = rule.argument.size();
      r.hint = "writes " + Quoted(rule.argument) + " into the message field";
      return r;
    case rkCommand:
      return ReadCommandLine(line, rule.argument);
    case rkLamp:
      r.mark = rmNothing;
      r.hint = "a lamp line does nothing";
      return r;
    case rkOther:
      break;
  }
  r.mark = rmNothing;
  r.hint = "does nothing: a rule line starts with \"if\", \"then\" or \"/\" in column 1";
  return r;
}

}  // namespace ardel
