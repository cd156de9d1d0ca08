#include "ui/form1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace ardel::ui {
namespace {

const std::string kVersionWire("\xA5\x5A\xAB\xB0\x00\x00\x00\x00\xFF\xFF\xFF\x80\x00\xD8\x11", 15);

template <typename T>
T* Find(QWidget& form, const char* name) {
  T* child = form.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

TEST(Form1, WindowAndPages) {
  TForm1 form;
  EXPECT_EQ(form.windowTitle(), "Ardel V0.1");
  auto* pages = Find<QTabWidget>(form, "PageControl1");
  ASSERT_NE(pages, nullptr);
  const QStringList expected{"Stations", "RuleSet", "Test", "Data", "Command / replay -queue", "Setup"};
  ASSERT_EQ(pages->count(), expected.size());
  for (int i = 0; i < pages->count(); ++i) EXPECT_EQ(pages->tabText(i), expected[i]);
  EXPECT_EQ(pages->currentIndex(), 0);
}

TEST(Form1, DeliveredTelegramShowsBlueAndTopsTheAnswerList) {
  TForm1 form;
  auto* log = Find<QAbstractItemView>(form, "RichEdit1");
  auto* answers = Find<QListView>(form, "ListBox3");
  ASSERT_TRUE(log && answers);
  ASSERT_EQ(log->model()->rowCount(), 1);  // the column guide
  form.App().ReceivePath().ComPort1ReceiveCallBack(kVersionWire);
  form.App().ReceivePath().ComPort1ReceiveCallBack(std::string("\xA5\x5A\x8B\xB4\x00\x00\x00\x00\xFF\xFF\xFF\x80\x03\xBF", 14));
  ASSERT_EQ(log->model()->rowCount(), 3);
  const QModelIndex first = log->model()->index(1, 0);
  EXPECT_TRUE(first.data().toString().contains("   AB B0 00000000 FFFFFF80 00   "));
  EXPECT_EQ(first.data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
  ASSERT_EQ(answers->model()->rowCount(), 2);
  EXPECT_EQ(answers->model()->index(0, 0).data().toString(), "8B B4 00000000 FFFFFF80 03");
  EXPECT_EQ(answers->model()->index(1, 0).data().toString(), "AB B0 00000000 FFFFFF80 00");
}

TEST(Form1, SwitchesClearAndCopy) {
  TForm1 form;
  form.show();
  auto* raw = Find<QCheckBox>(form, "CheckBox1");
  auto* stop = Find<QCheckBox>(form, "CheckBox2");
  auto* debug = Find<QCheckBox>(form, "CheckBox4");
  auto* clear = Find<QPushButton>(form, "Button4");
  auto* log = Find<QAbstractItemView>(form, "RichEdit1");
  ASSERT_TRUE(raw && stop && debug && clear && log);
  EXPECT_FALSE(raw->isChecked() || stop->isChecked() || debug->isChecked());

  clear->click();
  EXPECT_EQ(log->model()->rowCount(), 0);
  raw->click();
  form.App().ReceivePath().ComPort1ReceiveCallBack(std::string("\xA5\xFF", 2));
  raw->click();
  stop->click();
  form.App().ReceivePath().ComPort1ReceiveCallBack(kVersionWire);
  EXPECT_EQ(log->model()->rowCount(), 2);
  EXPECT_EQ(form.App().Queues().Answers().Count(), 1u);
  debug->click();
  EXPECT_TRUE(form.App().LinkLog().Switches().debugInfo);

  log->selectAll();
  log->setFocus();
  QTest::keySequence(log, QKeySequence::Copy);
  EXPECT_EQ(QApplication::clipboard()->text(),
            "  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:A5\n"
            "  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:FF");
}

TEST(Form1, TransmitControls) {
  TForm1 form;
  auto* autoTransmit = Find<QCheckBox>(form, "CheckBox3");
  auto* single = Find<QPushButton>(form, "Button26");
  auto* repeat = Find<QLabel>(form, "Label16");
  ASSERT_TRUE(autoTransmit && single && repeat);
  EXPECT_TRUE(autoTransmit->isChecked());
  EXPECT_TRUE(repeat->text().startsWith("normal commands processed from bottom"));
  // Set by the start-up sequence, which has not run.
  EXPECT_TRUE(repeat->text().endsWith("RepeatCntr: 0"));
  EXPECT_FALSE(form.App().Queues().TransmitPermit());
  autoTransmit->click();
  autoTransmit->click();
  EXPECT_TRUE(form.App().Queues().TransmitPermit());
  autoTransmit->click();
  EXPECT_FALSE(form.App().Queues().TransmitPermit());
  single->click();
  EXPECT_TRUE(form.App().Queues().TransmitPermit());
  form.App().Queues().SetRepeatCntr(1);
  EXPECT_TRUE(repeat->text().endsWith("RepeatCntr: 1"));
  form.App().Queues().EnqueueCommand("AB B0 00000000 FFFFFF80 00");
  auto* commands = Find<QListView>(form, "ListBox2");
  ASSERT_NE(commands, nullptr);
  EXPECT_EQ(commands->model()->rowCount(), 1);
}

}  // namespace
}  // namespace ardel::ui
