#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "support/ui_dialogs.h"
#include "support/captions.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "util/text_file.h"

namespace ardel::ui {
namespace {

using namespace std::chrono_literals;

const std::chrono::system_clock::time_point kNow{1718000000s};
const std::string kAB = "AB B0 00000000 FFFFFF80 00";

class RuleSetPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::MakeTempDir("ardel-ui-rules").generic_string();
    path_ = dir_ + "/veskRuleset.txt";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<TForm1> MakeForm(std::string programDirectory) {
    TFormOptions options;
    options.clock = [] { return kNow; };
    auto form = std::make_unique<TForm1>(options);
    form->App().SetProgramDirectory(std::move(programDirectory));
    form->SetErrorDialog(&errors_);
    return form;
  }
  template <typename T>
  static T* Find(TForm1& form, const char* name) {
    T* widget = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  std::string dir_, path_;
  TRecordingErrorDialog errors_;
};

TEST_F(RuleSetPageTest, ControlsAsTheOperatorSeesThem) {
  auto form = MakeForm(dir_);
  auto* page = Find<QWidget>(*form, "TabSheet2");
  auto* memo2 = Find<QPlainTextEdit>(*form, "Memo2");
  auto* memo3 = Find<QPlainTextEdit>(*form, "Memo3");
  auto* process = Find<QCheckBox>(*form, "CheckBox5");
  auto* splitter = Find<QSplitter>(*form, "Splitter1");
  ASSERT_TRUE(page && memo2 && memo3 && process && splitter);
  EXPECT_TRUE(page->isAncestorOf(memo2));
  EXPECT_EQ(testing::ShownCaption(process->text()), "process Ruleset");
  EXPECT_TRUE(process->isChecked());
  EXPECT_EQ(testing::ShownCaption(Find<QPushButton>(*form, "Button9")->text()), "save Ruleset");
  EXPECT_EQ(testing::ShownCaption(Find<QPushButton>(*form, "Button10")->text()), "clr");
  EXPECT_EQ(Find<QLabel>(*form, "Label19")->text(), "Ruleset:");
  EXPECT_EQ(Find<QLabel>(*form, "Label19")->buddy(), memo2);
  EXPECT_EQ(Find<QLabel>(*form, "Label20")->text(), "Message Field:");
  EXPECT_EQ(Find<QLabel>(*form, "Label20")->buddy(), memo3);
  const QFontMetrics metrics(memo2->font());
  EXPECT_EQ(metrics.horizontalAdvance(u'i'), metrics.horizontalAdvance(u'W'));
  EXPECT_EQ(memo2->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo3->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(memo2->toPlainText().isEmpty());
  // Editor above the divider, message field below.
  EXPECT_TRUE(splitter->widget(0)->isAncestorOf(memo2));
  EXPECT_TRUE(splitter->widget(1)->isAncestorOf(memo3));

  if (const char* grabDir = std::getenv("ARDEL_GRAB_DIR")) {
    memo2->setPlainText("/ answers of station 0\nif   8B B4 *\nthen say INFI entry read\nthen lamp 1");
    form->App().RuleEngine().RuleCheck("8B B4 00000000 00000000 00");
    form->show();
    Find<QTabWidget>(*form, "PageControl1")->setCurrentWidget(page);
    QApplication::processEvents();
    form->grab().save(QString::fromLatin1(grabDir) + "/ruleset_page.png");
  }
}

// An operator's session: edit, see the rules act, switch them off, clear, save.
TEST_F(RuleSetPageTest, EditEvaluateClearAndSave) {
  const std::string content = "if   AB B0 *\r\nthen say caf\xE9\xA0ok\r\n\r\n/ end\r\n";
  WriteFileAtomically(path_, content);
  auto form = MakeForm(dir_ + "/");
  auto* memo2 = Find<QPlainTextEdit>(*form, "Memo2");
  auto* memo3 = Find<QPlainTextEdit>(*form, "Memo3");
  const std::string T = TimeStampText(kNow);

  form->App().LoadRuleSet(path_);
  EXPECT_EQ(memo2->toPlainText(), QString::fromLatin1("if   AB B0 *\nthen say caf\xE9 ok\n\n/ end\n"));
  form->App().RuleEngine().RuleCheck(kAB);
  EXPECT_EQ(memo3->toPlainText(), QString::fromLatin1(T + "   caf\xE9 ok"));

  // Saving what was loaded gives the file back byte for byte.
  auto* save = Find<QPushButton>(*form, "Button9");
  save->click();
  EXPECT_EQ(ReadWholeFile(path_), content);

  // An edit acts on the next telegram, without saving.
  memo2->moveCursor(QTextCursor::Start);
  memo2->insertPlainText("if   *\nthen AB B1 00000000 00000001 00\n");
  form->App().RuleEngine().RuleCheck(kAB);
  EXPECT_EQ(memo3->document()->blockCount(), 2);
  ASSERT_EQ(form->App().Queues().Commands().Count(), 1u);
  EXPECT_EQ(form->App().Queues().Commands().At(0), "AB B1 00000000 00000001 00");

  Find<QCheckBox>(*form, "CheckBox5")->click();
  form->App().RuleEngine().RuleCheck(kAB);
  EXPECT_EQ(memo3->document()->blockCount(), 2);
  EXPECT_EQ(form->App().Queues().Commands().Count(), 1u);

  auto* clr = Find<QPushButton>(*form, "Button10");
  clr->click();
  EXPECT_TRUE(memo3->toPlainText().isEmpty());
  EXPECT_EQ(form->App().MessageField().Count(), 0u);
  clr->click();
  EXPECT_TRUE(memo3->toPlainText().isEmpty());
  EXPECT_TRUE(errors_.shown.isEmpty()) << errors_.shown.join('\n').toStdString();

  // Without a program directory there is nowhere to save, and the operator is told.
  auto lost = MakeForm("");
  Find<QPushButton>(*lost, "Button9")->click();
  ASSERT_EQ(errors_.shown.size(), 1);
  EXPECT_TRUE(errors_.shown[0].contains("program directory"));
}

}  // namespace
}  // namespace ardel::ui

namespace ardel::ui {
namespace {

// The editor view lets go of the rule set while the editor still exists.
TEST(RuleSetPageLifetime, UnsavedEditWhenTheWindowGoes) {
  auto form = std::make_unique<TForm1>();
  form->findChild<QPlainTextEdit*>("Memo2")->setPlainText("if   *\nthen say unsaved");
  form.reset();
}

}  // namespace
}  // namespace ardel::ui

#include <QTextBlock>
#include <QTextLayout>
#include <QHelpEvent>
#include <QTextCursor>
#include <QToolTip>

#include "ui/rule_highlighter.h"

namespace ardel::ui {
namespace {

TEST_F(RuleSetPageTest, EachLineIsMarkedByWhatItDoes) {
  auto form = MakeForm(dir_);
  auto* memo2 = Find<QPlainTextEdit>(*form, "Memo2");
  struct Case {
    const char* line;
    TRuleLineMark mark;
    int argumentAt;  // where the pattern or command is read from; -1: whole line one colour
    const char* hintHas;
  } cases[] = {
      {"/ station 0 on a press", rmComment, -1, ""},
      {"if   6B 05 ?0000000 FFFFFF80 10", rmCondition, 5, "\"6B 05 ?0000000 FFFFFF80 10\""},
      {"if 6B 05 ?0000000 FF800005 10", rmOddCondition, 5, "\" 05 ?0000000 FF800005 10\""},
      {"then say hi", rmSay, -1, "\"hi\""},
      {"then AB C0 00000000 FFFFFF80 FF   on", rmCommand, 5, "AB C0 00000000 FFFFFF80 FF"},
      {"then sy typo", rmBadCommand, 5, "\"sy typo\", which is no valid command string"},
      {"If   *", rmNothing, -1, "does nothing"},
  };
  QStringList lines;
  for (const Case& c : cases) lines << QString::fromLatin1(c.line);
  memo2->setPlainText(lines.join(u'\n'));
  QApplication::processEvents();
  QTextBlock block = memo2->document()->firstBlock();
  for (const Case& c : cases) {
    ASSERT_TRUE(block.isValid()) << c.line;
    const QList<QTextLayout::FormatRange> formats = block.layout()->formats();
    ASSERT_FALSE(formats.isEmpty()) << c.line;
    // Every character carries the line's colour.
    int covered = 0;
    for (const auto& range : formats) {
      EXPECT_EQ(range.format.foreground().color(), RuleLineColor(c.mark)) << c.line;
      covered = std::max(covered, range.start + range.length);
    }
    EXPECT_EQ(covered, block.length() - 1) << c.line;
    if (c.argumentAt >= 0) {
      // The skipped columns before the argument look apart from the argument itself.
      auto formatAt = [&](int column) {
        QTextCharFormat f;
        for (const auto& range : formats) {
          if (column >= range.start && column < range.start + range.length) f = range.format;
        }
        return f;
      };
      EXPECT_NE(formatAt(c.argumentAt - 1).background(), formatAt(c.argumentAt).background()) << c.line;
    }
    EXPECT_TRUE(RuleLineHint(block.text()).contains(QString::fromLatin1(c.hintHas))) << c.line;
    block = block.next();
  }
  // Line breaks are no characters beyond Latin-1: the editor is not red for them.
  EXPECT_NE(memo2->palette().color(QPalette::Base), QColor(255, 0, 0));
  // The distinct marks are told apart, and the key names them.
  EXPECT_NE(RuleLineColor(rmNothing), RuleLineColor(rmCommand));
  EXPECT_NE(RuleLineColor(rmOddCondition), RuleLineColor(rmCondition));
  EXPECT_TRUE(memo2->toolTip().contains("does nothing"));
  EXPECT_TRUE(memo2->toolTip().contains("columns 3 to 5"));

  // Pointing at a line shows what it does; pointing below the last line shows the key.
  form->show();
  auto* tabs = Find<QTabWidget>(*form, "PageControl1");
  for (int i = 0; i < tabs->count(); ++i) {
    if (tabs->widget(i)->isAncestorOf(memo2)) tabs->setCurrentIndex(i);
  }
  QApplication::processEvents();
  QTextCursor third(memo2->document()->findBlockByNumber(2));
  const QPoint onThird = memo2->cursorRect(third).center() + QPoint(4, 0);
  QHelpEvent pointAt(QEvent::ToolTip, onThird, memo2->viewport()->mapToGlobal(onThird));
  QApplication::sendEvent(memo2->viewport(), &pointAt);
  EXPECT_TRUE(QToolTip::text().contains("\" 05 ?0000000 FF800005 10\"")) << QToolTip::text().toStdString();
  QToolTip::hideText();
}

TEST_F(RuleSetPageTest, SaveSaysWhereItWrote) {
  auto form = MakeForm(dir_);
  auto* saved = Find<QLabel>(*form, "Label24");
  EXPECT_TRUE(saved->text().isEmpty());
  Find<QPushButton>(*form, "Button9")->click();
  ASSERT_TRUE(errors_.shown.isEmpty()) << errors_.shown.join(" | ").toStdString();
  EXPECT_TRUE(std::filesystem::exists(path_));
  EXPECT_TRUE(saved->text().startsWith("Ruleset saved to " + QString::fromStdString(path_) + " at "))
      << saved->text().toStdString();
}

}  // namespace
}  // namespace ardel::ui
