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
      // Typos and lines that can never act.
      {"then sy hello", rmNothing},                        // no "say": a command that is none
      {"then AB C0 00000000 FFFFFF8 FF", rmNothing},       // a digit short
      {"then AB C0 00000000 FFFFFG80 FF", rmNothing},      // not hexadecimal
      {"then lamp 3", rmNothing},
      {"If   *", rmNothing},
      {" then say hello", rmNothing},
      {"; not a comment here", rmNothing},
  };
  for (const Case& c : cases) EXPECT_EQ(MarkRuleLine(c.line), c.mark) << c.line;
}

}  // namespace
}  // namespace ardel
