#include <gtest/gtest.h>

#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QTabWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "support/fonts.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

std::vector<std::string> Commands(TForm1& form) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < form.App().Queues().Commands().Count(); ++i) out.push_back(form.App().Queues().Commands().At(i));
  return out;
}

TEST(TestPage, SendQueuesTheWholeTextAndKeepsTheListFree) {
  TForm1 form;
  auto* combo = form.findChild<QComboBox*>("ComboBox1");
  auto* send = form.findChild<QPushButton*>("Button6");
  ASSERT_TRUE(combo && send);
  EXPECT_EQ(combo->currentText(), TManualSend::kInitialCommand);
  EXPECT_EQ(combo->count(), 1);
  send->click();
  EXPECT_EQ(Commands(form), std::vector<std::string>{TManualSend::kInitialCommand});
  EXPECT_EQ(combo->count(), 1);
  combo->setEditText("AB C0 FF000000 FFFFFF80 00");
  send->click();
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentText(), "AB C0 FF000000 FFFFFF80 00");
  EXPECT_EQ(Commands(form).front(), "AB C0 FF000000 FFFFFF80 00");
}

TEST(TestPage, PresetsAndTheirArrows) {
  TForm1 form;
  auto* combo = form.findChild<QComboBox*>("ComboBox1");
  const char* presets[] = {"Button5", "Button3", "Button2"};
  const char* arrows[] = {"Button1", "Button7", "Button8"};
  for (int i = 0; i < 3; ++i) {
    auto* preset = form.findChild<QPushButton*>(presets[i]);
    auto* arrow = form.findChild<QPushButton*>(arrows[i]);
    ASSERT_TRUE(preset && arrow) << i;
    EXPECT_EQ(preset->text(), "[empty]");
    EXPECT_EQ(arrow->text(), "<-");
  }
  auto* top = form.findChild<QPushButton*>("Button5");
  form.findChild<QPushButton*>("Button2")->click();  // never set
  combo->setEditText("AB B0 00000000 00000001 00");
  form.findChild<QPushButton*>("Button1")->click();
  combo->setEditText("something else");
  top->click();
  EXPECT_EQ(top->text(), "AB B0 00000000 00000001 00");
  EXPECT_EQ(Commands(form), (std::vector<std::string>{"AB B0 00000000 00000001 00", "[empty]"}));
}

TEST(TestPage, EnterInTheCommandLineSendsWhatTheButtonSends) {
  // Typed with the keyboard; one window presses Enter, the other clicks "send".
  std::vector<std::string> queued[2];
  int listed[2] = {};
  for (int byEnter = 0; byEnter < 2; ++byEnter) {
    TForm1 form;
    form.show();
    auto* combo = form.findChild<QComboBox*>("ComboBox1");
    ASSERT_NE(combo, nullptr);
    // The box has the focus and hands the keys to its line edit.
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, "AB C0 00000000 FFFFFF80 FF   on");
    if (byEnter) {
      QTest::keyClick(combo, Qt::Key_Return);
    } else {
      form.findChild<QPushButton*>("Button6")->click();
    }
    queued[byEnter] = Commands(form);
    listed[byEnter] = combo->count();
    EXPECT_EQ(combo->currentText(), "AB C0 00000000 FFFFFF80 FF   on");
  }
  EXPECT_EQ(queued[1], std::vector<std::string>{"AB C0 00000000 FFFFFF80 FF   on"});
  EXPECT_EQ(queued[1], queued[0]);
  EXPECT_EQ(listed[1], 2);
  EXPECT_EQ(listed[1], listed[0]);
}

TEST(TestPage, RawReceptionHintAndMillisecondSwitch) {
  TForm1 form;
  form.show();
  auto* raw = form.findChild<QCheckBox*>("CheckBox1");
  auto* ms = form.findChild<QCheckBox*>("CheckBox6");
  auto* hint = form.findChild<QLabel*>("Label23");
  ASSERT_TRUE(raw && ms && hint);
  EXPECT_EQ(ms->text(), "ms");
  EXPECT_FALSE(ms->isChecked());
  EXPECT_TRUE(hint->isHidden());
  form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
  QApplication::processEvents();
  const int narrowest = form.minimumSizeHint().width();
  raw->click();
  EXPECT_FALSE(hint->isHidden());
  EXPECT_EQ(hint->text(), "raw reception: framing, acknowledgements and rules are paused");
  QApplication::processEvents();
  const int withHint = form.minimumSizeHint().width();
  raw->click();
  EXPECT_TRUE(hint->isHidden());
  ms->click();
  EXPECT_TRUE(form.App().LinkLog().Switches().milliseconds);
  // The log's key names every colour it uses.
  const QString key = form.findChild<QWidget*>("RichEdit1")->toolTip();
  for (const char* colour : {"rgb(0, 128, 0)", "rgb(0, 0, 255)", "rgb(255, 0, 0)", "rgb(0, 255, 0)",
                             "rgb(128, 0, 128)", "rgb(128, 128, 128)"}) {
    EXPECT_TRUE(key.contains(QString::fromLatin1(colour))) << colour;
  }
  // The hint does not widen the window.
  if (!testing::TextWidthsAreReal()) GTEST_SKIP() << testing::kNoRealTextWidths;
  EXPECT_EQ(withHint, narrowest);
}

TEST(TestPage, PresetButtonsShowThePresetsOfTheProgram) {
  TForm1 form;
  form.App().ManualSend().SetPreset(2, "AB B0 00000000 FFFFFF80 00   from the file");
  EXPECT_EQ(form.findChild<QPushButton*>("Button2")->text(), "AB B0 00000000 FFFFFF80 00   from the file");
}

TEST(TestPage, AckPolicyRadios) {
  TForm1 form;
  const char* captions[] = {"always", "randomly (50%)", "never upon 1st TG", "never"};
  const TAckPolicy policies[] = {apAlways, apRandomly, apNeverUponFirst, apNever};
  EXPECT_EQ(form.App().TransmitPath().Policy(), apAlways);
  for (int i = 3; i >= 0; --i) {
    auto* radio = form.findChild<QRadioButton*>(QStringLiteral("RadioButton%1").arg(i + 1));
    ASSERT_NE(radio, nullptr);
    EXPECT_EQ(radio->text(), captions[i]);
    radio->click();
    EXPECT_EQ(form.App().TransmitPath().Policy(), policies[i]);
  }
}

}  // namespace
}  // namespace ardel::ui
