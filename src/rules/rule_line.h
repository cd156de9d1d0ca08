#pragma once
// The kinds of rule lines and the columns their arguments are read from.

#include <cstddef>
#include <string>
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

// What a line does, as the rule editor marks it. rmNothing: an ignored line or a lamp
// line. rmOddCondition: an if line that is read as written but is likely not what was
// meant (something other than blanks in the skipped columns 3 to 5, or no pattern).
// rmBadCommand: a command action whose command string is not valid; it is still queued
// on every match, refused by the transmit path at each try, and times out.
enum TRuleLineMark { rmEmpty, rmCondition, rmSay, rmCommand, rmComment, rmNothing, rmOddCondition, rmBadCommand };
TRuleLineMark MarkRuleLine(std::string_view line);

// A line as the rule editor shows it: its mark, the columns that the reading skips
// (0-based, possibly none) and where the argument stands, so the editor can show where a
// pattern or a command really starts; and a hint in words for the line's tool tip.
struct TRuleLineReading {
  TRuleLineMark mark = rmEmpty;
  std::size_t skippedFrom = 0;
  std::size_t skippedLength = 0;
  std::size_t argumentFrom = 0;
  std::size_t argumentLength = 0;
  std::string hint;
};
TRuleLineReading ReadRuleLine(std::string_view line);

}  // namespace ardel
