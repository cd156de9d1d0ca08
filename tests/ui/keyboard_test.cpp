// The keyboard on every page: Tab follows the layout, and access keys do not clash.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

// The control a focus belongs to: a spin box's own field counts as the spin box.
QString ControlName(const QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    const QString name = widget->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) return name;
  }
  return {};
}

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pages_ = form_.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    ASSERT_NE(pages_, nullptr);
    form_.SetErrorDialog(&errors_);
    form_.show();
    form_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
  }

  QWidget* Show(const char* name) {
    auto* widget = form_.findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    if (widget == nullptr) return nullptr;
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
      if (pages_->indexOf(w) >= 0) pages_->setCurrentWidget(w);
    }
    QApplication::processEvents();
    return widget;
  }

  TForm1 form_;
  TRecordingErrorDialog errors_;
  QTabWidget* pages_ = nullptr;
};

TEST_F(KeyboardTest, ReadInfiIsWithinThreeTabsOfTheSbiField) {
  QWidget* sbi = Show("Edit3");
  ASSERT_NE(sbi, nullptr);
  sbi->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(ControlName(QApplication::focusWidget()), "Edit3");
  int presses = 0;
  while (ControlName(QApplication::focusWidget()) != "Button11" && presses < 3) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ++presses;
  }
  EXPECT_EQ(ControlName(QApplication::focusWidget()), "Button11") << "after " << presses << " presses of Tab";
}

// What Tab visits on a page, from its first control round the window and back.
QStringList TabChain(QWidget* page, QWidget* first) {
  QStringList names;
  QWidget* w = first;
  do {
    const bool stop = (w->focusPolicy() & Qt::TabFocus) && w->focusProxy() == nullptr && w->isEnabled() &&
                      w->isVisibleTo(page) && page->isAncestorOf(w);
    if (stop) names << ControlName(w);
    w = w->nextInFocusChain();
  } while (w != first);
  return names;
}

TEST_F(KeyboardTest, EveryPagesTabChainFollowsItsLayout) {
  struct TCase {
    const char* page;
    QStringList chain;
  };
  const TCase cases[] = {
      {"TabSheet1",
       {"Edit3", "ListBox1", "Button11", "ButtonSignalOn", "ButtonSignalFlash", "ButtonSignalOff", "Edit4",
        "ButtonChangeNow", "Edit2", "ButtonAO", "ButtonB0", "ButtonCO", "ButtonDO", "ButtonAI", "ButtonBI", "ButtonCI",
        "ButtonDI", "ButtonReleaseAll", "TabControl1", "Memo1", "ButtonClrMemo1"}},
      {"TabSheet2", {"CheckBox5", "Button9", "Memo2", "Button10", "Memo3"}},
      {"TabSheet3",
       {"CheckBox1", "CheckBox2", "CheckBox4", "CheckBox6", "Button4", "ButtonSaveLog", "ButtonOpenCapture",
        "RadioButton1", "RadioButton2", "RadioButton3", "RadioButton4", "Edit1", "ComboBox1", "Button6", "Button5",
        "Button1", "Button3", "Button7", "Button2", "Button8", "ButtonBusOverview", "RichEdit1"}},
      {"TabSheet5", {"ListBox2", "ListBox3", "CheckBox3", "Button26"}},
      {"TabSheet6",
       {"SpinEdit1", "SpinEdit2", "EditLogFolder", "ButtonLogFolder", "EditLogFile", "CheckBoxCapture",
        "EditCaptureFolder", "PortsTable", "ComboBoxPort1", "CheckBoxRs485Port1", "ComboBoxPort2",
        "CheckBoxRs485Port2", "ComboBoxPort3", "CheckBoxRs485Port3", "ComboBoxPort4", "CheckBoxRs485Port4"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.page);
    auto* page = form_.findChild<QWidget*>(QString::fromLatin1(c.page));
    ASSERT_NE(page, nullptr);
    pages_->setCurrentWidget(page);
    QApplication::processEvents();
    QWidget* first = page->findChild<QWidget*>(c.chain.front());
    ASSERT_NE(first, nullptr);
    if (first->focusProxy() != nullptr) first = first->focusProxy();
    EXPECT_EQ(TabChain(page, first).join(' ').toStdString(), c.chain.join(' ').toStdString());
  }
}

TEST_F(KeyboardTest, NoTwoControlsOnAPageShareAnAccessKey) {
  std::map<QString, QString> tabKeys;
  for (int i = 0; i < pages_->count(); ++i) {
    const QString key = QKeySequence::mnemonic(pages_->tabText(i)).toString();
    if (!key.isEmpty()) tabKeys[key] = pages_->tabText(i);
  }
  for (int i = 0; i < pages_->count(); ++i) {
    QWidget* page = pages_->widget(i);
    SCOPED_TRACE(page->objectName().toStdString());
    std::map<QString, QString> keys = tabKeys;
    for (QWidget* w : page->findChildren<QWidget*>()) {
      QString text;
      if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
      if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && label->buddy() != nullptr) text = label->text();
      const QString key = QKeySequence::mnemonic(text).toString();
      if (key.isEmpty()) continue;
      const auto [at, added] = keys.emplace(key, text);
      EXPECT_TRUE(added) << key.toStdString() << " on \"" << text.toStdString() << "\" and \""
                         << at->second.toStdString() << "\"";
    }
  }
}

TEST_F(KeyboardTest, TheButtonsUsedMostAnswerTheirAccessKey) {
  const char* kUsedMost[] = {"Button6",   "Button11",          "ButtonChangeNow",   "Button9",
                             "Button26",  "ButtonSignalOn",    "ButtonSignalFlash", "ButtonSignalOff",
                             "Button10",  "ButtonClrMemo1",    "ButtonReleaseAll"};
  for (const char* name : kUsedMost) {
    SCOPED_TRACE(name);
    auto* button = qobject_cast<QAbstractButton*>(Show(name));
    ASSERT_NE(button, nullptr);
    const QKeySequence key = QKeySequence::mnemonic(button->text());
    ASSERT_FALSE(key.isEmpty()) << button->text().toStdString();
    // An access key presses the button at once and releases it a moment later.
    QSignalSpy pressed(button, &QAbstractButton::pressed);
    QTest::keySequence(&form_, key);
    EXPECT_EQ(pressed.count(), 1) << key.toString().toStdString();
  }
}

}  // namespace
}  // namespace ardel::ui
