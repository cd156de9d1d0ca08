// Text at the window's edge: what cannot be stored is shown as such, what the system
// and the core give reads right.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <clocale>

#include "support/environment.h"
#include "support/locales.h"
#include "ui/error_dialog.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

bool Red(const QWidget* field) { return field->palette().color(QPalette::Base) == QColor(255, 0, 0); }

// The cell editor of the station grid, opened on the cell of station 0's SBI.
QLineEdit* OpenCellEditor(TForm1& form) {
  auto* grid = form.findChild<QTableView*>("StringGrid1");
  grid->edit(grid->model()->index(0, 0));
  return grid->findChild<QLineEdit*>();
}

// Each field warns while it holds a character that Latin-1 cannot hold, and only then.
TEST(TextEdges, FieldsTurnRedWhileTheyHoldACharacterBeyondLatin1) {
  TForm1 form;
  form.show();
  struct Case {
    const char* name;
    std::function<QWidget*(TForm1&)> field;
    std::function<void(QWidget*, const QString&)> type;
  } cases[] = {
      {"command line", [](TForm1& f) { return f.findChild<QComboBox*>("ComboBox1")->lineEdit(); },
       [](QWidget* w, const QString& t) { static_cast<QLineEdit*>(w)->setText(t); }},
      {"rule-set editor", [](TForm1& f) { return f.findChild<QPlainTextEdit*>("Memo2"); },
       [](QWidget* w, const QString& t) { static_cast<QPlainTextEdit*>(w)->setPlainText(t); }},
      {"station table cell", [](TForm1& f) { return OpenCellEditor(f); },
       [](QWidget* w, const QString& t) { static_cast<QLineEdit*>(w)->setText(t); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget* field = c.field(form);
    ASSERT_NE(field, nullptr);
    c.type(field, QString::fromUtf8("then say caf\xC3\xA9 \xC2\xA0 \xC3\xBF"));  // all Latin-1
    EXPECT_FALSE(Red(field));
    c.type(field, QString::fromUtf8("then say 10 \xE2\x82\xAC"));  // the euro sign is not
    EXPECT_TRUE(Red(field));
    EXPECT_FALSE(field->accessibleDescription().isEmpty());
    c.type(field, QStringLiteral("then say 10 EUR"));
    EXPECT_FALSE(Red(field));
  }
}

// Typing the start of an earlier entry sends that start, not the entry's tail.
TEST(TextEdges, CommandLineSendsWhatWasTyped) {
  TForm1 form;
  form.show();
  auto* combo = form.findChild<QComboBox*>("ComboBox1");
  // A completer completes only in the focused field of the active window.
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  combo->lineEdit()->setFocus();
  combo->lineEdit()->clear();
  QTest::keyClicks(combo->lineEdit(), "AB B0");
  EXPECT_EQ(combo->currentText(), "AB B0");
  form.findChild<QPushButton*>("Button6")->click();
  ASSERT_EQ(form.App().Queues().Commands().Count(), 1u);
  EXPECT_EQ(form.App().Queues().Commands().At(0), "AB B0");
}

// Log lines, the date and time field, the message field and error texts are UTF-8 from
// the core: a Japanese time stamp, a Latin-1 comment and a non-ASCII path read right.
TEST(TextEdges, TimeStampsCommentsAndErrorTextsReadRight) {
  const bool japanese = testing::UseGeneratedLocale("ja_JP", "UTF-8");
  TForm1 form;
  TRecordingErrorDialog errors;
  form.SetErrorDialog(&errors);
  form.App().RuleSet().SetText("if   *\nthen say caf\xE9");
  form.App().LinkLog().LogTelegram(colors::kSent, ' ', TTelegramBody{}, "caf\xE9");
  form.App().RuleEngine().RuleCheck("8B B0 00000000 FFFFFF80 00");
  form.App().Timer1Timer();

  const QString stamp = QString::fromUtf8(form.App().LinkLog().TimeStamp());
  auto* log = form.findChild<QAbstractItemView*>("RichEdit1");
  const QString line = log->model()->index(static_cast<int>(form.App().LinkLog().Count()) - 1, 0).data().toString();
  EXPECT_TRUE(line.endsWith(QString::fromUtf8("caf\xC3\xA9"))) << line.toStdString();
  EXPECT_TRUE(line.contains(stamp)) << line.toStdString();
  EXPECT_EQ(form.findChild<QLineEdit*>("Edit1")->text(), stamp);
  EXPECT_EQ(form.findChild<QPlainTextEdit*>("Memo3")->toPlainText(), stamp + QString::fromUtf8("   caf\xC3\xA9"));
  if (japanese) EXPECT_TRUE(stamp.contains(QString::fromUtf8("\xE5\xB9\xB4"))) << stamp.toStdString();

  form.App().SetProgramDirectory("/nonexistent/\xE6\x97\xA5\xE6\x9C\xAC/");
  form.findChild<QPushButton*>("Button9")->click();  // save Ruleset
  ASSERT_EQ(errors.shown.size(), 1);
  EXPECT_TRUE(errors.shown[0].contains(QString::fromUtf8("/\xE6\x97\xA5\xE6\x9C\xAC/veskRuleset.txt")))
      << errors.shown[0].toStdString();
  std::setlocale(LC_ALL, "C");
  testing::UnsetEnv("LOCPATH");
}

}  // namespace
}  // namespace ardel::ui
