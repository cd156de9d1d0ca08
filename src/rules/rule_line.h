#pragma once
// The kinds of rule lines and the columns their arguments are read from.

#include <cstddef>
#include <string_view>

namespace ardel {

enum TRuleKind {
  rkEmpty,    // ""
  rkComment,  // "/..."
  rkIf,       // "if   <telegram pattern>"
  rkSay,      // "then say <message>"
  rkLamp,     // "then lamp ...": does nothing
  rkCommand,  // "then <command string>"
  rkOther,    // anything else, ignored
};

struct TRuleLine {
  TRuleKind kind = rkOther;
  // A view into the classified line; empty for kinds without an argument.
  std::string_view argument;
};

// Arguments are at most this long; the rest of a line is cut off.
constexpr std::size_t kRuleArgumentLength = 100;

// Keywords are case-sensitive and start in column 1; only the first two ("if") or
// four ("then") characters count. The argument of an if line and of a command
// action starts in column 6; a message right after "say" and the character after it.
TRuleLine ClassifyRuleLine(std::string_view line);

// What a line does, as the rule editor marks it. A line that can never act is
// rmNothing: an ignored line, a lamp line, and a command action whose command string is
// not valid (it would only be queued, refused by the transmit path and time out).
enum TRuleLineMark { rmEmpty, rmCondition, rmSay, rmCommand, rmComment, rmNothing };
TRuleLineMark MarkRuleLine(std::string_view line);

}  // namespace ardel
