#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "ui/form1.h"

namespace ardel::ui {
namespace {

std::vector<std::string> Commands(TForm1& form) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < form.Queues().Commands().Count(); ++i) out.push_back(form.Queues().Commands().At(i));
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

TEST(TestPage, AckPolicyRadios) {
  TForm1 form;
  const char* captions[] = {"always", "randomly (50%)", "never upon 1st TG", "never"};
  const TAckPolicy policies[] = {apAlways, apRandomly, apNeverUponFirst, apNever};
  EXPECT_EQ(form.TransmitPath().Policy(), apAlways);
  for (int i = 3; i >= 0; --i) {
    auto* radio = form.findChild<QRadioButton*>(QStringLiteral("RadioButton%1").arg(i + 1));
    ASSERT_NE(radio, nullptr);
    EXPECT_EQ(radio->text(), captions[i]);
    radio->click();
    EXPECT_EQ(form.TransmitPath().Policy(), policies[i]);
  }
}

}  // namespace
}  // namespace ardel::ui
