#include "rules/rule_set.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "util/text_file.h"

namespace ardel {
namespace {

// Stands in for the rule editor: counts how often the rule set reads it.
class TFakeEditor : public IRuleSetEditor {
 public:
  std::string EditorText() const override {
    ++reads;
    return text;
  }
  void ShowText(const std::string& shown) override { text = shown; }
  std::string text;
  mutable int reads = 0;
};

class RuleSetFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ardel-rules-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/" + TRuleSet::kFileName;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_, path_;
};

TEST_F(RuleSetFileTest, SaveAndLoadKeepEveryByte) {
  const std::string files[] = {
      "",
      "if   AB B0 *\r\nthen say seen",
      "if   AB B0 *\r\nthen say seen\r\n",
      "\r\n\r\n/ comment\r\n  \r\nthen say \xE4\xB5\xFF\x01\r\n",
  };
  for (const std::string& content : files) {
    WriteFileAtomically(path_, content);
    TRuleSet rules;
    TFakeEditor editor;
    rules.SetEditor(&editor);
    rules.Load(path_);
    rules.Save(path_);
    EXPECT_EQ(ReadWholeFile(path_), content);
    TRuleSet again;
    again.Load(path_);
    EXPECT_EQ(again.Lines(), rules.Lines());
  }
}

TEST_F(RuleSetFileTest, ReadsEveryLineEndAndWritesCrLfBetweenLines) {
  WriteFileAtomically(path_, "a\nb\rc\r\n\nd\n");
  TRuleSet rules;
  TFakeEditor editor;
  rules.SetEditor(&editor);
  rules.Load(path_);
  EXPECT_EQ(rules.Lines(), (std::vector<std::string>{"a", "b", "c", "", "d", ""}));
  EXPECT_EQ(editor.text, "a\nb\nc\n\nd\n");
  rules.Save(path_);
  EXPECT_EQ(ReadWholeFile(path_), "a\r\nb\r\nc\r\n\r\nd\r\n");

  // What the editor holds is what is written: no line end is added after the last line.
  editor.text = "x\ny";
  rules.EditorChanged();
  rules.Save(path_);
  EXPECT_EQ(ReadWholeFile(path_), "x\r\ny");
}

TEST_F(RuleSetFileTest, NeverWritesOverAFileItDidNotLoad) {
  WriteFileAtomically(path_, "if   *\r\nthen say precious");
  TRuleSet rules;
  rules.SetText("then say other");
  EXPECT_FALSE(rules.MayWriteTo(path_));
  EXPECT_THROW(rules.Save(path_), EFileError);
  EXPECT_EQ(ReadWholeFile(path_), "if   *\r\nthen say precious");
  EXPECT_THROW(rules.Save(""), EFileError);

  // A missing file is created, and from then on it is the rule set's own.
  const std::string fresh = dir_ + "/fresh.txt";
  rules.Save(fresh);
  rules.SetText("then say changed");
  rules.Save(fresh);
  EXPECT_EQ(ReadWholeFile(fresh), "then say changed");

  // A failed load leaves the rule set and its file as they were.
  EXPECT_THROW(rules.Load(dir_ + "/missing.txt"), EFileError);
  EXPECT_EQ(rules.Text(), "then say changed");
  EXPECT_TRUE(rules.MayWriteTo(fresh));
}

TEST(RuleSet, ReadsTheEditorOnlyAfterAChange) {
  TRuleSet rules;
  TFakeEditor editor;
  rules.SetEditor(&editor);
  editor.text = "if   AB *\nthen say one\n/ note\nthen lamp\nthen AB 01";
  rules.EditorChanged();
  rules.EditorChanged();
  ASSERT_EQ(rules.Steps().size(), 3u);
  EXPECT_EQ(rules.Steps()[0].kind, rkIf);
  EXPECT_EQ(rules.Steps()[0].argument, "AB *");
  EXPECT_EQ(rules.Steps()[1].argument, "one");
  EXPECT_EQ(rules.Steps()[2].kind, rkCommand);
  rules.Steps();
  rules.Lines();
  EXPECT_EQ(editor.reads, 1);

  editor.text = "then say two";
  rules.EditorChanged();
  ASSERT_EQ(rules.Steps().size(), 1u);
  EXPECT_EQ(rules.Steps()[0].argument, "two");
  EXPECT_EQ(editor.reads, 2);
}

}  // namespace
}  // namespace ardel
