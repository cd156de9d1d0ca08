#include "rules/rule_line.h"

#include <gtest/gtest.h>

#include <string>

namespace ardel {
namespace {

TEST(ClassifyRuleLine, KindsAndArguments) {
  const std::string longPattern = "if   " + std::string(100, 'P') + "cut";
  const std::string longCommand = "then " + std::string(100, 'C') + "cut";
  const std::string longMessage = "then say " + std::string(100, 'M') + "cut";
  struct Case {
    std::string line;
    TRuleKind kind;
    std::string argument;
  } cases[] = {
      {"", rkEmpty, ""},
      {"/if   *", rkComment, ""},
      {"/", rkComment, ""},
      {" if   *", rkOther, ""},
      {"If   *", rkOther, ""},
      {"THEN say x", rkOther, ""},
      {"   ", rkOther, ""},
      {"if   *", rkIf, "*"},
      {"if   6B 05 30000000 *", rkIf, "6B 05 30000000 *"},
      {"iffy AB", rkIf, "AB"},  // only the first two characters count
      {"ifXYZAB", rkIf, "AB"},  // columns 3 to 5 are skipped whatever they hold
      {"if", rkIf, ""},
      {"if   ", rkIf, ""},
      {"if    *", rkIf, " *"},
      {longPattern, rkIf, std::string(100, 'P')},
      {"then say lamp is on", rkSay, "lamp is on"},
      {"then say seen", rkSay, "seen"},
      {"then say", rkSay, ""},
      {"then say ", rkSay, ""},
      {"then AB B0 00000000 FFFFFF80 00 say", rkSay, ""},
      {"then AB B0 00000000 FFFFFF80 00   essay here", rkSay, "here"},
      {longMessage, rkSay, std::string(100, 'M')},
      {"then lamp 3", rkLamp, ""},
      {"then AB B0 00000000 FFFFFF80 00   lamp on", rkLamp, ""},
      {"then AB B0 00000000 FFFFFF80 00", rkCommand, "AB B0 00000000 FFFFFF80 00"},
      {"thenXAB B0 00000000 FFFFFF80 00", rkCommand, "AB B0 00000000 FFFFFF80 00"},
      {"thence AB", rkCommand, "e AB"},
      {"then", rkCommand, ""},
      {"then not hex at all", rkCommand, "not hex at all"},
      {longCommand, rkCommand, std::string(100, 'C')},
  };
  for (const Case& c : cases) {
    const TRuleLine rule = ClassifyRuleLine(c.line);
    EXPECT_EQ(rule.kind, c.kind) << c.line;
    EXPECT_EQ(rule.argument, c.argument) << c.line;
  }
}

TEST(MarkRuleLine, WhatEachLineDoes) {
  struct Case {
    const char* line;
    TRuleLineMark mark;
  } cases[] = {
      {"", rmEmpty},
      {"/ a comment", rmComment},
      {"if   6B 05 ?0000000 FFFFFF80 10", rmCondition},
      {"then say hello", rmSay},
      {"then AB C0 00000000 FFFFFF80 FF   Signal_On", rmCommand},
      {"then ABC000000000FFFFFF80FF", rmCommand},
      // Typos. A then line without "say" is queued on every match whatever it holds.
      {"then sy hello", rmBadCommand},                     // no "say": a command that is none
      {"then AB C0 00000000 FFFFFF8 FF", rmBadCommand},    // a digit short
      {"then AB C0 00000000 FFFFFG80 FF", rmBadCommand},   // not hexadecimal
      {"then", rmBadCommand},
      // An if line that reads otherwise than it looks: the pattern starts in column 6.
      {"if 6B 05 ?0000000 FF800005 10", rmOddCondition},
      {"if  6B 05 ?0000000 FF800005 10", rmOddCondition},
      {"iffy AB", rmOddCondition},
      {"if", rmOddCondition},
      {"if   ", rmOddCondition},
      {"if    *", rmCondition},  // a blank in the pattern is the operator's to write
      // Lines that can never act.
      {"then lamp 3", rmNothing},
      {"If   *", rmNothing},
      {" then say hello", rmNothing},
      {"; not a comment here", rmNothing},
  };
  for (const Case& c : cases) EXPECT_EQ(MarkRuleLine(c.line), c.mark) << c.line;
}

TEST(ReadRuleLine, ShowsWhereTheArgumentReallyStarts) {
  struct Case {
    std::string line;
    TRuleLineMark mark;
    std::size_t skippedFrom, skippedLength;
    std::string argument;  // the columns marked as the argument
    std::string hintHas;   // what the tool tip must say
  } cases[] = {
      {"if   6B 05 ?0000000 FFFFFF80 10", rmCondition, 2, 3, "6B 05 ?0000000 FFFFFF80 10",
       "\"6B 05 ?0000000 FFFFFF80 10\""},
      // One blank after "if": the reading drops "6B" and matches from " 05".
      {"if 6B 05 ?0000000 FF800005 10", rmOddCondition, 2, 3, " 05 ?0000000 FF800005 10",
       "the pattern matched is \" 05 ?0000000 FF800005 10\""},
      {"if", rmOddCondition, 2, 0, "", "never matches"},
      {"then AB C0 00000000 FFFFFF80 FF   on", rmCommand, 4, 1, "AB C0 00000000 FFFFFF80 FF   on",
       "sends AB C0 00000000 FFFFFF80 FF"},
      {"then sy typo", rmBadCommand, 4, 1, "sy typo", "queues \"sy typo\", which is no valid command string"},
      {"then say hi", rmSay, 0, 0, "hi", "\"hi\" into the message field"},
      {"then lamp 3", rmNothing, 0, 0, "", "does nothing"},
      {"If   *", rmNothing, 0, 0, "", "does nothing"},
      {"/ note", rmComment, 0, 0, "", ""},
  };
  for (const Case& c : cases) {
    const TRuleLineReading r = ReadRuleLine(c.line);
    EXPECT_EQ(r.mark, c.mark) << c.line;
    EXPECT_EQ(r.mark, MarkRuleLine(c.line)) << c.line;
    EXPECT_EQ(r.skippedFrom, c.skippedFrom) << c.line;
    EXPECT_EQ(r.skippedLength, c.skippedLength) << c.line;
    ASSERT_LE(r.argumentFrom + r.argumentLength, c.line.size()) << c.line;
    EXPECT_EQ(c.line.substr(r.argumentFrom, r.argumentLength), c.argument) << c.line;
    // The marked argument is exactly what the rule evaluation reads.
    if (r.mark != rmNothing && r.mark != rmComment) {
      EXPECT_EQ(ClassifyRuleLine(c.line).argument, c.argument) << c.line;
    }
    if (c.hintHas.empty()) {
      EXPECT_TRUE(r.hint.empty()) << c.line;
    } else {
      EXPECT_NE(r.hint.find(c.hintHas), std::string::npos) << c.line << ": " << r.hint;
    }
  }
}

}  // namespace
}  // namespace ardel
