#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <map>

#include "support/ui_dialogs.h"
#include "support/captions.h"
#include "support/fonts.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

constexpr const char* kLed = "GroupBoxLedOut0";
constexpr const char* kChange = "GroupBoxChangeBaseId";
constexpr const char* kTrt = "GroupBoxSimulateTrt";

class StationCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TForm1>();
    form_->SetErrorDialog(&errors_);
    form_->show();
    QApplication::processEvents();
    sbi_ = form_->findChild<QLineEdit*>("Edit3");
    newSbi_ = form_->findChild<QLineEdit*>("Edit4");
    offset_ = form_->findChild<QLineEdit*>("Edit2");
    infi_ = form_->findChild<QListView*>("ListBox1");
    readInfi_ = form_->findChild<QPushButton*>("Button11");
    ASSERT_TRUE(sbi_ && newSbi_ && offset_ && infi_ && readInfi_);
  }

  QPushButton* ButtonByCaption(const QString& caption) const {
    QPushButton* found = nullptr;
    for (auto* button : form_->findChildren<QPushButton*>()) {
      if (testing::ShownCaption(button->text()) == caption) {
        EXPECT_EQ(found, nullptr) << "two buttons " << caption.toStdString();
        found = button;
      }
    }
    EXPECT_NE(found, nullptr) << caption.toStdString();
    return found;
  }

  // Clicks the button and returns what it put at the top of the command queue.
  std::string Click(const QString& caption) {
    const std::size_t before = form_->App().Queues().Commands().Count();
    QTest::mouseClick(ButtonByCaption(caption), Qt::LeftButton);
    const TLineList& commands = form_->App().Queues().Commands();
    EXPECT_EQ(commands.Count(), before + 1) << caption.toStdString();
    return commands.Count() > before ? commands.At(0) : std::string();
  }

  // Types over the field's text, as the operator does.
  static void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    EXPECT_EQ(edit->text(), text);
  }

  static bool Red(const QLineEdit* edit) { return edit->palette().color(QPalette::Base) == QColor(255, 0, 0); }

  QRect GeometryInForm(const QWidget* widget) const {
    return QRect(widget->mapTo(form_.get(), QPoint(0, 0)), widget->size());
  }

  TRecordingErrorDialog errors_;
  std::unique_ptr<TForm1> form_;
  QLineEdit* sbi_ = nullptr;
  QLineEdit* newSbi_ = nullptr;
  QLineEdit* offset_ = nullptr;
  QListView* infi_ = nullptr;
  QPushButton* readInfi_ = nullptr;
};

TEST_F(StationCommandsTest, EveryButtonInItsGroupQueuesItsCommandString) {
  struct Case {
    const char* group;
    const char* caption;
    const char* line;  // for SBI FFFFFF80, offset 0 and new SBI FF800000
  } cases[] = {
      {kLed, "Signal_On", "AB C0 00000000 FFFFFF80 FF"},   {kLed, "Signal_Flash", "AB C0 00000000 FFFFFF80 AA"},
      {kLed, "Signal_Off", "AB C0 00000000 FFFFFF80 00"},  {kTrt, "AO", "6B 05 30000000 FFFFFF80 10"},
      {kTrt, "AI", "6B 05 10000000 FFFFFF80 10"},          {kTrt, "B0", "6B 05 70000000 FFFFFF80 10"},
      {kTrt, "BI", "6B 05 50000000 FFFFFF80 10"},          {kTrt, "CO", "6B 05 B0000000 FFFFFF80 10"},
      {kTrt, "CI", "6B 05 90000000 FFFFFF80 10"},          {kTrt, "DO", "6B 05 F0000000 FFFFFF80 10"},
      {kTrt, "DI", "6B 05 D0000000 FFFFFF80 10"},          {kTrt, "Release_all", "6B 05 00000000 FFFFFF80 00"},
      {kChange, "change now", "AB D0 FF800000 FFFFFF80 00"},
  };
  ASSERT_EQ(sbi_->text(), "FFFFFF80");
  EXPECT_EQ(newSbi_->text(), "FF800000");
  EXPECT_EQ(offset_->text(), "0");
  for (const auto& c : cases) {
    QPushButton* button = ButtonByCaption(c.caption);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->parentWidget()->objectName(), c.group) << c.caption;
    EXPECT_EQ(Click(c.caption), c.line) << c.caption;
  }
  EXPECT_TRUE(errors_.shown.isEmpty()) << errors_.shown.join("\n").toStdString();
  // Quick clicks queue in click order: the first one is at the bottom.
  const TLineList& commands = form_->App().Queues().Commands();
  EXPECT_EQ(commands.At(commands.Count() - 1), cases[0].line);

  const std::map<const char*, const char*> titles = {
      {kLed, "LED Out 0"}, {kChange, "change Base ID"}, {kTrt, "simulate a TRT-Command of PTM"}};
  for (const auto& [name, title] : titles) {
    auto* group = form_->findChild<QGroupBox*>(name);
    ASSERT_NE(group, nullptr) << name;
    EXPECT_EQ(group->title(), title);
  }
  for (const auto& [label, field] : std::map<QString, QLineEdit*>{
           {"to NEW SBI (Station Base ID):", newSbi_}, {"Offset (hex 0..7F)", offset_}}) {
    bool found = false;
    for (auto* l : form_->findChildren<QLabel*>()) {
      if (l->text() == label) found = l->buddy() == field;
    }
    EXPECT_TRUE(found) << label.toStdString();
  }
  auto* note = form_->findChild<QLabel*>("LabelChangeBaseIdNote");
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->text(),
            "don't forget to bring Station in LRN Mode and check Info field at the bottom for feedback");
  EXPECT_TRUE(note->wordWrap());
}

TEST_F(StationCommandsTest, LayoutAtTheInitialWindowSize) {
  const QRect sbi = GeometryInForm(sbi_);
  const QRect list = GeometryInForm(infi_);
  const QRect led = GeometryInForm(form_->findChild<QGroupBox*>(kLed));
  const QRect change = GeometryInForm(form_->findChild<QGroupBox*>(kChange));
  const QRect trt = GeometryInForm(form_->findChild<QGroupBox*>(kTrt));
  // Right of the SBI field and the INFI list, top to bottom, all inside the window.
  for (const QRect& group : {led, change, trt}) {
    EXPECT_GT(group.left(), std::max(sbi.right(), list.right()));
    EXPECT_LE(group.right(), form_->width());
  }
  EXPECT_LT(led.bottom(), change.top());
  EXPECT_LT(change.bottom(), trt.top());
  EXPECT_LT(trt.bottom(), list.bottom());
  // "read INFI" under the list.
  const QRect read = GeometryInForm(readInfi_);
  EXPECT_GT(read.top(), list.bottom());
  EXPECT_LT(read.left(), list.right());

  // Each O button above its I button, columns A to D left to right, "Release_all" under
  // all of them and as wide as the four columns.
  const QRect release = GeometryInForm(ButtonByCaption("Release_all"));
  int previousLeft = -1;
  for (const auto& [o, i] : {std::pair{"AO", "AI"}, {"B0", "BI"}, {"CO", "CI"}, {"DO", "DI"}}) {
    const QRect upper = GeometryInForm(ButtonByCaption(o));
    const QRect lower = GeometryInForm(ButtonByCaption(i));
    EXPECT_EQ(upper.left(), lower.left()) << o;
    EXPECT_LT(upper.bottom(), lower.top()) << o;
    EXPECT_LT(lower.bottom(), release.top()) << i;
    EXPECT_GT(upper.left(), previousLeft) << o;
    previousLeft = upper.left();
  }
  EXPECT_EQ(release.left(), GeometryInForm(ButtonByCaption("AO")).left());
  EXPECT_EQ(release.right(), GeometryInForm(ButtonByCaption("DO")).right());
  // The offset label over its field, both left of the buttons.
  const QRect offset = GeometryInForm(offset_);
  EXPECT_LT(GeometryInForm(form_->findChild<QLabel*>("LabelOffset")).bottom(), offset.top());
  EXPECT_LT(offset.right(), GeometryInForm(ButtonByCaption("AO")).left());
  // Every caption fits its button.
  if (!testing::TextWidthsAreReal()) GTEST_SKIP() << testing::kNoRealTextWidths;
  for (auto* button : form_->findChildren<QPushButton*>()) {
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text())) << button->text().toStdString();
  }
}

TEST_F(StationCommandsTest, TargetAddressAndOffsetColouring) {
  struct Case {
    const char* sbi;
    const char* offset;
    bool offsetRed;
    const char* target;  // nullptr: "cannot calc target address", then 00000000
  } cases[] = {
      {"FFFFFF80", "7F", false, "FFFFFFFF"},
      {"FFFFFF80", "80", true, "00000000"},
      {"FFFFFF80", "7f", false, "FFFFFFFF"},
      {"FFFFFF80", "", true, nullptr},
      {" ", "0", false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sbi) + " + " + c.offset);
    errors_.shown.clear();
    Type(sbi_, c.sbi);
    Type(offset_, c.offset);
    EXPECT_EQ(Red(offset_), c.offsetRed);
    EXPECT_EQ(Click("AO"), std::string("6B 05 30000000 ") + (c.target ? c.target : "00000000") + " 10");
    EXPECT_EQ(errors_.shown, c.target ? QStringList() : QStringList{"cannot calc target address"});
  }
}

TEST_F(StationCommandsTest, RedFieldsAreNoObstacle) {
  Type(sbi_, "12345678");
  EXPECT_TRUE(Red(sbi_));
  EXPECT_EQ(Click("Signal_Flash"), "AB C0 00000000 12345678 AA");

  Type(sbi_, "FFFFFF80");
  struct Case {
    const char* newSbi;
    bool red;
  } cases[] = {{"FF800000", false}, {"FFFFFF80", false}, {"FF800001", true}, {"FF7FFF80", true}, {"", true}};
  for (const auto& c : cases) {
    Type(newSbi_, c.newSbi);
    EXPECT_EQ(Red(newSbi_), c.red) << c.newSbi;
    EXPECT_EQ(Click("change now"), std::string("AB D0 ") + c.newSbi + " FFFFFF80 00") << c.newSbi;
  }
  // A change of base ID leaves the station table alone.
  EXPECT_EQ(form_->App().StationTable().Cell(StationColumn(0), kSbiRow), "");
  EXPECT_TRUE(errors_.shown.isEmpty()) << errors_.shown.join("\n").toStdString();
}

TEST_F(StationCommandsTest, ReadInfi) {
  TStationTable& table = form_->App().StationTable();
  for (int i = 0; i < kInfiCount; ++i) table.SetCell(StationColumn(0), InfiRow(i), "FF800001");

  // The INFI list is empty at start, so every entry becomes "n.a.".
  ASSERT_EQ(infi_->model()->rowCount(), 0);
  Type(sbi_, "FFFFFF00");
  QTest::mouseClick(readInfi_, Qt::LeftButton);
  EXPECT_EQ(infi_->model()->rowCount(), 0);
  EXPECT_EQ(table.Cell(StationColumn(0), kSbiRow), "FFFFFF00");
  for (int i = 0; i < kInfiCount; ++i) EXPECT_EQ(table.Cell(StationColumn(0), InfiRow(i)), "n.a.") << i;
  const TLineList& commands = form_->App().Queues().Commands();
  ASSERT_EQ(commands.Count(), 16u);
  for (int i = 0; i < kInfiCount; ++i) {
    // Index 00 at the bottom, where the tick takes the oldest command from.
    EXPECT_EQ(commands.At(static_cast<std::size_t>(15 - i)), "AB B4 00000000 FFFFFF00" + HexByte(static_cast<std::uint8_t>(i)));
  }

  EXPECT_TRUE(errors_.shown.isEmpty()) << errors_.shown.join("\n").toStdString();
}

TEST_F(StationCommandsTest, TakeOverButtonAfter00AndNotAfterF7) {
  auto* takeOver = form_->findChild<QPushButton*>("Button27");
  auto* info = form_->findChild<QPlainTextEdit*>("Memo1");
  ASSERT_TRUE(takeOver && info);
  EXPECT_FALSE(takeOver->isVisible());
  form_->App().Queues().SetRepeatCntr(kRepeatStart);
  form_->App().Queues().SetTransmitPermit(true);
  form_->App().StationTable().WriteHeadings();
  struct Case {
    const char* code;
    bool offered;
  } cases[] = {{"F7", false}, {"00", true}, {"01", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Click("change now");
    form_->App().Timer1Timer();
    form_->App().Queues().EnqueueAnswer(std::string("8B D0 FF800000 FFFFFF80 ") + c.code);
    form_->App().Timer1Timer();
    EXPECT_EQ(form_->App().Queues().Commands().Count(), 0u);
    EXPECT_EQ(takeOver->isVisible(), c.offered);
    // Beside the information field, whose three lines stay as they are.
    EXPECT_TRUE(info->toPlainText().endsWith(" -> Dont forget to build a new Station-Tab with new SBI..."));
    if (c.offered) {
      EXPECT_EQ(takeOver->text(), "take FF800000 as SBI of station 0");
      EXPECT_GT(GeometryInForm(takeOver).left(), GeometryInForm(info).right());
    }
    EXPECT_EQ(sbi_->text(), "FFFFFF80");
  }
  // 01 withdrew the offer of the 00 before it; a new 00 brings it back and the press
  // takes it.
  Click("change now");
  form_->App().Timer1Timer();
  form_->App().Queues().EnqueueAnswer("8B D0 FF800000 FFFFFF80 00");
  form_->App().Timer1Timer();
  ASSERT_TRUE(takeOver->isVisible());
  takeOver->click();
  EXPECT_FALSE(takeOver->isVisible());
  EXPECT_EQ(sbi_->text(), "FF800000");
  EXPECT_EQ(form_->App().StationTable().Cell(StationColumn(0), kSbiRow), "FF800000");
  EXPECT_TRUE(errors_.shown.isEmpty()) << errors_.shown.join("\n").toStdString();
}

}  // namespace
}  // namespace ardel::ui
